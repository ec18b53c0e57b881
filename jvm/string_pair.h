// StringPair: a name and a value, such as a required system property and the
// value that the JVM must report for it, with the operator that compares
// them (PROPERTY_EQUALS unless given).
#ifndef BV_JVM_STRING_PAIR_H_
#define BV_JVM_STRING_PAIR_H_

#include "foundation/deque.h"
#include "foundation/sstring.h"
#include "jvm/property_condition.h"

class StringPair {
 public:
  StringPair(const SString& name, const SString& value,
             PropertyOperator op = PROPERTY_EQUALS)
      : m_name(name), m_value(value), m_operator(op) {}

  const SString& getName() const { return m_name; }
  const SString& getValue() const { return m_value; }
  PropertyOperator getOperator() const { return m_operator; }

 private:
  SString m_name;
  SString m_value;
  PropertyOperator m_operator;
};

class StringPairPtrDE : public PtrDE<StringPair> {
 public:
  using PtrDE::PtrDE;
};
// Owns its pairs.
class StringPairPtrDeque : public PtrDeque<StringPair, StringPairPtrDE> {};

#endif  // BV_JVM_STRING_PAIR_H_
