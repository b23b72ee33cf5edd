#include "run/messages.h"

namespace run {
namespace {

using Kind = Reporter::Kind;

std::string Plural(int n) { return std::to_string(n) + (n == 1 ? " bulletin" : " bulletins"); }

// "1 bulletin had been archived ... and is marked K", "2 bulletins ... and are marked K".
std::string MarkedSentence(int n, const char* when) {
  if (n == 0) return std::string("No bulletin had been archived") + when + ".";
  return Plural(n) + " had been archived" + when + " and " + (n == 1 ? "is" : "are") +
         " marked K in MARKED.TXT.";
}

std::string Listed(const char* heading, const std::vector<std::string>& items) {
  if (items.empty()) return {};
  std::string text = heading;
  for (const std::string& item : items) text += "\n" + item;
  return text;
}

std::vector<std::string> Lists(const Outcome& o) {
  std::vector<std::string> lists = {
      Listed("These bulletins were archived but the trash refused them, so they are still in "
             "Winpack's folder beside their archive copies:",
             o.notRecycled),
      Listed("These bulletins were not archived because their group cannot be a folder name "
             "on Windows; they stay where they are and their lines are unchanged:",
             o.notPortable),
      Listed("An interrupted run had copied these bulletins, but they left Winpack's folder "
             "before their copies got archive names; the copies are kept under these names, "
             "whole or not, for you to look at:",
             o.kept),
      Listed("These files in the archive's staging folder were not made by Kelvaron, so they "
             "are left where they are:",
             o.strays),
      Listed("These files beside MARKED.TXT may hold marked lines of an older list, but no "
             "journal of Kelvaron says which of them are in MARKED.TXT, so they are left where "
             "they are for you to look at:",
             o.oldListsKept),
      Listed("Winpack wrote these lines to MARKED.TXT in the instant the run replaced it, and "
             "the run could neither put them into the new list nor keep them in a file of their "
             "own, so they are shown here for you to mark again:",
             o.linesNotPut)};
  std::erase(lists, std::string());
  return lists;
}

// The one message of a run that did not complete, with every list appended.
std::string Failure(const Outcome& o) {
  const std::string stopped =
      o.passError.empty() ? std::string() : "\nBefore that the run stopped at: " + o.passError;
  if (o.list == Outcome::List::kUnchanged) {
    std::string text =
        "The marked list could not be rewritten.\n" + o.listError + "\nMARKED.TXT is unchanged.";
    if (const int n = o.archived + o.finished + o.inherited; n > 0) {
      text += ' ';  // (" " + a temporary trips a false GCC 12 -Wrestrict)
      text += Plural(n) + " had already been archived; " +
              (n == 1 ? "its line carries" : "their lines carry") +
              " no K mark yet, and the next run gives " + (n == 1 ? "it its" : "them their") +
              " K mark.";
    }
    return text + stopped;
  }
  if (o.list == Outcome::List::kReplaced) {
    std::string text =
        "MARKED.TXT was replaced by the new list, but the disk did not confirm that it is "
        "stored.\n" +
        o.listError + "\n" + MarkedSentence(o.marked, "") +
        " Should the power fail before the disk stores it, the next run gives the K marks again.";
    if (!o.oldListLeft.empty()) {
      text += " What another program wrote to the old list meanwhile is kept in ";
      text += o.oldListLeft;
      text += ", and the next run puts it into MARKED.TXT.";
    }
    return text + stopped;
  }
  if (!o.oldListLeft.empty() && o.passError.empty()) {
    return "MARKED.TXT was replaced by the new list, but another program kept the old list "
           "open, or went on writing to it, for longer than the run could wait: what it wrote "
           "there is kept in " +
           o.oldListLeft + ", and the next run puts it into MARKED.TXT.\n" +
           MarkedSentence(o.marked, "");
  }
  return "The archive run stopped.\n" + o.passError + "\n" +
         MarkedSentence(o.marked, " before it") +
         " The other bulletins were left where they were and their lines are unchanged.";
}

}  // namespace

std::vector<Message> Messages(const Outcome& o) {
  std::vector<Message> messages;
  const std::vector<std::string> lists = Lists(o);
  if (o.list != Outcome::List::kDurable || !o.passError.empty() || !o.oldListLeft.empty()) {
    std::string text = Failure(o);
    for (const std::string& list : lists) text += "\n" + list;
    messages.push_back({Kind::kError, text});
    return messages;
  }
  for (const std::string& list : lists) messages.push_back({Kind::kWarning, list});
  messages.push_back({Kind::kPlain, kFinished});
  return messages;
}

Message NotStarted(const std::string& reason) {
  return {Kind::kError, "The archive run did not start.\n" + reason +
                            "\nNo bulletin was moved and MARKED.TXT is unchanged."};
}

}  // namespace run
