// The names of a folder by folded form, against a plain map doing the same bookkeeping: a
// long run of additions and removals over few forms grows the table, empties slots and fills
// them again, and every answer must stay the map's.
#include <gtest/gtest.h>

#include <map>
#include <random>
#include <string>
#include <vector>

#include "platform/folded_names.h"

namespace {

struct Kept {
  std::string name;
  int count = 0;
};

void Check(const platform::FoldedNames& names, const std::map<std::string, Kept>& model, int forms,
           int step) {
  for (int f = 0; f < forms; ++f) {
    const std::string folded = "form" + std::to_string(f);
    const auto kept = model.find(folded);
    const platform::FoldedNames::Found found = names.Find(folded);
    const int count = kept == model.end() ? 0 : kept->second.count;
    ASSERT_EQ(found.count, count) << folded << " after step " << step;
    if (count > 0) {
      ASSERT_EQ(found.name, kept->second.name) << folded << " after step " << step;
    }
  }
}

TEST(FoldedNames, AnswersAsAPlainMapThroughGrowthAndRemoval) {
  constexpr int kForms = 300;
  std::mt19937 random(7);
  platform::FoldedNames names;
  std::map<std::string, Kept> model;
  for (int step = 0; step < 6000; ++step) {
    const std::string folded = "form" + std::to_string(random() % kForms);
    // Spellings of one form differ; the first in sorted order is the one kept.
    const std::string name = "Name" + std::to_string(random() % 5) + folded;
    if (random() % 3 == 0) {
      const int had = model.count(folded) != 0 ? model[folded].count : 0;
      ASSERT_EQ(names.Remove(folded), had) << folded << " at step " << step;
      // Which spelling is first among the rest is the disk's to tell: a caller reads again.
      if (had == 1) model.erase(folded);
      if (had > 1) --model[folded].count;
    } else {
      names.Add(folded, name);
      Kept& kept = model[folded];
      if (kept.count++ == 0 || name < kept.name) kept.name = name;
    }
    if (step % 97 == 0) Check(names, model, kForms, step);
  }
  Check(names, model, kForms, -1);
}

TEST(FoldedNames, KeepsTheFirstSpellingWhateverTheOrderOfAdding) {
  struct Row {
    std::vector<std::string> added;
    std::string found;
  } rows[] = {
      {{"b.TXT", "B.txt", "B.TXT"}, "B.TXT"},
      {{"B.TXT", "b.txt"}, "B.TXT"},
      {{"b.txt"}, "b.txt"},
  };
  for (const Row& row : rows) {
    platform::FoldedNames names(1);
    for (const std::string& name : row.added) names.Add("b.txt", name);
    EXPECT_EQ(names.Find("b.txt").name, row.found);
    EXPECT_EQ(names.Find("b.txt").count, static_cast<int>(row.added.size()));
  }
}

// The staging folder: every name a run puts there is taken away again, a hundred thousand in
// a long run, and what the table holds must stay that of the few present at a time.
TEST(FoldedNames, NamesThatComeAndGoLeaveNothingBehind) {
  platform::FoldedNames names;
  for (int n = 0; n < 100000; ++n) {
    const std::string folded = "tok-ares-" + std::to_string(n) + ".txt";
    names.Add(folded, folded);
    if (n >= 8) names.Remove("tok-ares-" + std::to_string(n - 8) + ".txt");
  }
  // Some hundreds of bytes for the nine present; grown for every name seen, megabytes.
  EXPECT_LT(names.bytes(), 4096u);
  EXPECT_EQ(names.Find("tok-ares-99999.txt").count, 1);
  EXPECT_EQ(names.Find("tok-ares-99991.txt").count, 0);
}

}  // namespace
