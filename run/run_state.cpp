#include "run/run_state.h"

#include <stdexcept>

#include "platform/codepage.h"
#include "platform/file_error.h"
#include "platform/textfile.h"
#include "run/paths.h"
#include "run/value.h"
#include "settings/selection.h"

namespace run {
namespace {

[[noreturn]] void Fail(const std::string& path, const std::string& reason) {
  throw platform::FileError(platform::FileError::Kind::kOther, path, reason);
}

bool IsTwoDigits(const std::string& text) {
  return text.size() == 2 && text.find_first_not_of("0123456789") == std::string::npos;
}

int32_t LongOf(const std::string& text, const std::string& path) {
  try {
    return RoundToWhole(ValueOfText(text));
  } catch (const std::overflow_error& e) {
    Fail(path, e.what());
  }
}

}  // namespace

RunState StartRunState(platform::Files& files, const platform::Clock& clock) {
  RunState state;
  const std::string date = clock.DateText();
  state.year = date.size() >= 2 ? date.substr(date.size() - 2) : date;
  state.month = date.substr(std::min<std::size_t>(3, date.size()), 2);
  state.day = date.substr(0, 2);
  // A stamp of other characters would put separators into archive names.
  if (!IsTwoDigits(state.year) || !IsTwoDigits(state.month) || !IsTwoDigits(state.day)) {
    Fail("today's date \"" + date + "\"", "not a day-first date such as 05-12-2026");
  }
  state.groups = settings::LoadSelection(files);
  return state;
}

int32_t ReadLastNum(platform::Files& files) {
  platform::TextReader file(files, kLastNumFile);
  if (file.AtEnd()) Fail(file.path(), "the file is empty");
  return LongOf(file.ReadLine(), file.path());
}

int32_t ApplyPruneSize(platform::Files& files, int32_t lastNum) {
  platform::TextReader file(files, kPacketIni);
  std::string line;
  do {
    if (file.AtEnd()) Fail(file.path(), "no PRUNE_SIZE line");
    line = file.ReadLine();
  } while (platform::UpperCase(line.substr(0, 10)) != "PRUNE_SIZE");
  if (line.size() < 11) Fail(file.path(), "the PRUNE_SIZE line has no value");
  const int64_t limit = int64_t{lastNum} - LongOf(line.substr(11), file.path());
  if (limit < INT32_MIN || limit > INT32_MAX) {
    Fail(file.path(), "last number less PRUNE_SIZE is outside the range of a Long");
  }
  return static_cast<int32_t>(limit);
}

}  // namespace run
