// StringPair: a name and a value, such as a required system property and the
// value that the JVM must report for it.
#ifndef BV_JVM_STRING_PAIR_H_
#define BV_JVM_STRING_PAIR_H_

#include "foundation/deque.h"
#include "foundation/sstring.h"

class StringPair {
 public:
  StringPair(const SString& name, const SString& value) : m_name(name), m_value(value) {}

  const SString& getName() const { return m_name; }
  const SString& getValue() const { return m_value; }

 private:
  SString m_name;
  SString m_value;
};

class StringPairPtrDE : public PtrDE<StringPair> {
 public:
  using PtrDE::PtrDE;
};
// Owns its pairs.
class StringPairPtrDeque : public PtrDeque<StringPair, StringPairPtrDE> {};

#endif  // BV_JVM_STRING_PAIR_H_
