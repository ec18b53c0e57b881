#include "foundation/deque.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

// Counts live instances, to check which sequence deletes what.
struct Tracked {
  static int live;
  explicit Tracked(int v) : value(v) { ++live; }
  ~Tracked() { --live; }
  int value;
};
int Tracked::live = 0;

class TrackedPtrDE : public PtrDE<Tracked> {
 public:
  using PtrDE::PtrDE;
};
class TrackedPtrDeque : public PtrDeque<Tracked, TrackedPtrDE> {};

TEST(DequeTest, InvalidIndexesYieldNullOrTheEmptyString) {
  TrackedPtrDeque d;
  EXPECT_EQ(nullptr, d.back());
  EXPECT_EQ(nullptr, d.front());
  d.pop_back();
  d.erase(3);
  d.push_back(new Tracked(1));
  EXPECT_EQ(nullptr, d.at(-1));
  EXPECT_EQ(nullptr, d.at(1));
  EXPECT_EQ(1, d.at(0)->value);

  StringDeque s;
  EXPECT_EQ(&StringDeque::emptyString, &s.back());
  s.push_back("a");
  EXPECT_EQ(&StringDeque::emptyString, &s.at(-1));
  EXPECT_EQ(&StringDeque::emptyString, &s.at(1));
  EXPECT_TRUE(StringDeque::emptyString.empty());
}

TEST(DequeTest, GrowsByDoublingAndClearKeepsTheCapacity) {
  {
    TrackedPtrDeque d;
    EXPECT_EQ(0, d.capacity());
    d.push_back(new Tracked(0));
    EXPECT_EQ(4, d.capacity());
    for (int i = 1; i < 32; ++i) d.push_back(new Tracked(i));
    EXPECT_EQ(32, d.capacity());
    d.push_back(new Tracked(32));
    EXPECT_EQ(64, d.capacity());
    EXPECT_EQ(33, Tracked::live);
    d.clear();
    EXPECT_EQ(0, Tracked::live);
    EXPECT_EQ(64, d.capacity());
    EXPECT_TRUE(d.empty());
    d.push_back(new Tracked(7));
  }
  EXPECT_EQ(0, Tracked::live);
}

// Many insertions at the front, the middle and the end across several
// growths: every element keeps its place, nothing is lost or deleted early,
// and the spare room stays below the size (plus the first step).
TEST(DequeTest, KeepsOrderAndOwnershipAcrossGrowths) {
  {
    TrackedPtrDeque d;
    std::vector<int> model;
    for (int i = 0; i < 5000; ++i) {
      long at = i % 3 == 0 ? 0 : i % 3 == 1 ? -1 : static_cast<long>(model.size() / 2);
      d.insert(at, new Tracked(i));
      model.insert(at < 0 ? model.end() : model.begin() + at, i);
      ASSERT_LE(d.capacity(), 2 * d.size() + 4) << i;
    }
    ASSERT_EQ(static_cast<long>(model.size()), d.size());
    for (long i = 0; i < d.size(); ++i) ASSERT_EQ(model[i], d.at(i)->value) << i;
    EXPECT_EQ(nullptr, d.at(d.size()));
    EXPECT_EQ(5000, Tracked::live);
    d.erase(2500);
    EXPECT_EQ(4999, Tracked::live);
    EXPECT_EQ(model[2501], d.at(2500)->value);
  }
  EXPECT_EQ(0, Tracked::live);
}

TEST(DequeTest, EraseDeletesTheElementAndClosesTheGap) {
  TrackedPtrDeque d;
  for (int i = 0; i < 3; ++i) d.push_back(new Tracked(i));
  d.erase(0);
  EXPECT_EQ(2, Tracked::live);
  ASSERT_EQ(2, d.size());
  EXPECT_EQ(1, d.at(0)->value);
  EXPECT_EQ(2, d.at(1)->value);
  d.push_front(new Tracked(9));
  d.insert(1, new Tracked(8));
  d.insert(-1, new Tracked(7));
  d.insert(100, new Tracked(6));  // past the end appends
  int want[] = {9, 8, 1, 2, 7, 6};
  ASSERT_EQ(6, d.size());
  for (int i = 0; i < 6; ++i) EXPECT_EQ(want[i], d.at(i)->value) << i;
  d.pop_front();
  d.pop_back();
  EXPECT_EQ(8, d.front()->value);
  EXPECT_EQ(7, d.back()->value);
  d.clear();
  EXPECT_EQ(0, Tracked::live);
}

TEST(DequeTest, StringDequeStoresCopies) {
  StringDeque d;
  SString s("one");
  d.push_back(s);
  s += "two";
  d.push_front("zero");
  EXPECT_EQ(0, d.at(1).compare("one"));
  EXPECT_EQ(0, d.front().compare("zero"));
  d.at(1) += "!";
  EXPECT_EQ(0, d.back().compare("one!"));
  EXPECT_EQ(0, s.compare("onetwo"));
}

}  // namespace
