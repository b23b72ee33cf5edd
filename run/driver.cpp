#include <stdexcept>

#include "platform/codepage.h"
#include "platform/file_error.h"
#include "run/archive_run.h"
#include "run/value.h"

namespace run {
namespace {

using platform::FileError;

[[noreturn]] void Fail(const std::string& path, const std::string& reason) {
  throw FileError(FileError::Kind::kOther, path, reason);
}

bool IsDigits(const std::string& text) {
  return text.size() == 2 && text.find_first_not_of("0123456789") == std::string::npos;
}

int32_t LongOf(const std::string& text, const std::string& path) {
  try {
    return LongOfValue(ValueOfText(text));
  } catch (const std::overflow_error& e) {
    Fail(path, e.what());
  }
}

std::string Plural(int n) { return std::to_string(n) + (n == 1 ? " bulletin" : " bulletins"); }

}  // namespace

void ArchiveRun::Set_Var() {
  s_.SeqNum = 1;
  const std::string date = clock_.DateText();
  s_.YearText = date.size() >= 2 ? date.substr(date.size() - 2) : date;
  s_.MonthText = date.substr(std::min<std::size_t>(3, date.size()), 2);
  s_.DayText = date.substr(0, 2);
  if (!IsDigits(s_.YearText) || !IsDigits(s_.MonthText) || !IsDigits(s_.DayText)) {
    Fail("today's date \"" + date + "\"", "not a day-first date such as 05-12-2026");
  }
  s_.SeqText = SeqTextOf(s_.SeqNum);
  settings::OpenParamFile(s_, *files_);
}

void ArchiveRun::ReadLastNum() {
  platform::TextReader file(*files_, kLastNumFile);
  if (file.AtEnd()) Fail(file.path(), "the file is empty");
  s_.HeadLine1 = file.ReadLine();
  s_.PruneLimit = LongOf(s_.HeadLine1, file.path());
}

void ArchiveRun::ApplyPruneSize() {
  platform::TextReader file(*files_, kPacketIni);
  for (;;) {
    if (file.AtEnd()) Fail(file.path(), "no PRUNE_SIZE line");
    s_.HeadLine1 = file.ReadLine();
    if (platform::UpperCase(s_.HeadLine1.substr(0, 10)) == "PRUNE_SIZE") break;
  }
  if (s_.HeadLine1.size() < 11) Fail(file.path(), "the PRUNE_SIZE line has no value");
  s_.PruneSize = LongOf(s_.HeadLine1.substr(11), file.path());
  const int64_t limit = int64_t{s_.PruneLimit} - s_.PruneSize;
  if (limit < INT32_MIN || limit > INT32_MAX) {
    Fail(file.path(), "last number less PRUNE_SIZE is outside the range of a Long");
  }
  s_.PruneLimit = static_cast<int32_t>(limit);
}

void ArchiveRun::ReplaceMarkedList() { files_->ReplaceFile(kNewMarkedList, kMarkedList); }

void ArchiveRun::Pass(platform::TextReader& marked, platform::TextWriter& newList) {
  // The test looks at the line processed last, so the first line that reaches the limit is
  // processed too.
  while (ValueOfText(s_.MarkedNum) < s_.PruneLimit && !marked.AtEnd()) {
    s_.MarkedLine = marked.ReadLine();
    s_.MarkedNum = s_.MarkedLine.substr(0, 6);
    s_.BullPath = BullPathOf(s_.MarkedNum);
    try {
      Do_It();
    } catch (const std::exception& e) {
      // The line at hand and every later one go to the new list unchanged, so the K marks
      // of the bulletins already moved are kept.
      passError_ = e.what();
      newList.WriteLine(s_.MarkedLine);
      break;
    }
    newList.WriteLine(s_.MarkedLine);
  }
  marked.CopyRestTo(newList);
}

void ArchiveRun::StartFresh() {
  archived_ = 0;
  passError_.clear();
  notRecycled_.clear();
  firstFree_.clear();
  files_ = std::make_unique<platform::Files>();
}

void ArchiveRun::MnuArchive_Click() {
  StartFresh();
  try {
    Set_Var();
    ReadLastNum();
    ApplyPruneSize();
  } catch (const std::exception& e) {
    reporter_.ShowMessage(Reporter::Kind::kError,
                          std::string("The archive run did not start.\n") + e.what() +
                              "\nNo bulletin was moved and MARKED.TXT is unchanged.");
    return;
  }

  s_.MarkedNum.assign(1, '1');  // (an assignment from "1" trips a false GCC 12 -Wrestrict)
  try {
    platform::TextReader marked(*files_, kMarkedList);
    platform::TextWriter newList = platform::TextWriter::Create(*files_, kNewMarkedList);
    try {
      Pass(marked, newList);
      marked.Close();
      newList.Sync();
      newList.Close();
    } catch (...) {
      newList.Discard();
      throw;
    }
    ReplaceMarkedList();
  } catch (const std::exception& e) {
    std::string text = std::string("The marked list could not be rewritten.\n") + e.what() +
                       "\nMARKED.TXT is unchanged.";
    if (archived_ > 0) {
      text += " " + Plural(archived_) +
              " had already been archived and sent to the trash; their lines carry no K mark.";
    }
    if (!passError_.empty()) text += "\nBefore that the run stopped at: " + passError_;
    reporter_.ShowMessage(Reporter::Kind::kError, text);
    return;
  }

  if (!passError_.empty()) {
    reporter_.ShowMessage(Reporter::Kind::kError,
                          "The archive run stopped.\n" + passError_ + "\n" + Plural(archived_) +
                              " had been archived before it and are marked K in MARKED.TXT; "
                              "this bulletin and the rest of the list were left as they were.");
    return;
  }
  if (!notRecycled_.empty()) {
    std::string text =
        "These bulletins were archived but could not be sent to the trash, so they are still "
        "in Winpack's folder:";
    for (const std::string& line : notRecycled_) text += "\n" + line;
    reporter_.ShowMessage(Reporter::Kind::kWarning, text);
  }
  reporter_.ShowMessage(Reporter::Kind::kPlain, kFinished);
}

}  // namespace run
