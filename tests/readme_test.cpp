// What an operator reads about the files the program makes, against the one list of them.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>

#include "run/paths.h"

namespace {

std::string Contents(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

TEST(Readme, NamesEveryFileTheProgramMakesInWinpacksTree) {
  for (const char* readme :
       {KELVARON_SOURCE_DIR "/packaging/windows/README.txt.in", KELVARON_SOURCE_DIR "/README.md"}) {
    SCOPED_TRACE(readme);
    const std::string text = Contents(readme);
    ASSERT_FALSE(text.empty());
    for (const std::string_view path : run::kNamesCreated) {
      const std::string name(path.substr(path.rfind('\\') + 1));
      SCOPED_TRACE(name);
      EXPECT_NE(text.find(name), std::string::npos);
    }
  }
}

}  // namespace
