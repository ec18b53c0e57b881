#include "tagfile/tag_index.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "tagfile/tag_file.h"

namespace {

// Many names through several growths, then every other one removed (which
// shifts runs of slots back) and some added again: each lookup still finds
// exactly the entries that are in.
TEST(TagIndexTest, FindsWhatIsInAfterGrowthsAndRemovals) {
  const int count = 5000;
  std::vector<std::unique_ptr<TagFileEntry>> entries;
  std::vector<std::string> names;
  TagIndex index;
  for (int i = 0; i < count; ++i) {
    names.push_back("TAG_" + std::to_string(i));
    entries.emplace_back(new TagFileEntry(SString(names[i].c_str()), new StringDeque()));
    TagFileEntry*& slot = index.findOrAdd(names[i].c_str());
    ASSERT_EQ(nullptr, slot) << i;
    slot = entries[i].get();
  }
  for (int i = 0; i < count; i += 2) index.remove(names[i].c_str());
  index.remove("never there");
  for (int i = 0; i < count; ++i) {
    ASSERT_EQ(i % 2 ? entries[i].get() : nullptr, index.find(names[i].c_str())) << i;
  }
  for (int i = 0; i < count; i += 4) index.findOrAdd(names[i].c_str()) = entries[i].get();
  for (int i = 0; i < count; ++i) {
    TagFileEntry* want = i % 2 || i % 4 == 0 ? entries[i].get() : nullptr;
    ASSERT_EQ(want, index.find(names[i].c_str())) << i;
  }
  EXPECT_EQ(entries[1].get(), index.findOrAdd(names[1].c_str()));
  EXPECT_EQ(nullptr, TagIndex().find(""));
}

}  // namespace
