// Waiting for a file to be no other program's, on a clock of the test's own: programs open
// and close the file at set moments, and the wait must end when (and only when) nobody holds
// it, however their closes are told.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/holders.h"

namespace {

using std::chrono::milliseconds;

struct Open {
  std::string id;
  int from, to;  // held from `from` up to `to` (ms)
};

// The programs of a table row, seen as a system sees them: told of each close (Linux), or
// left to ask again and again (Windows).
class Scripted final : public platform::Holders {
 public:
  Scripted(std::vector<Open> opens, bool closesTold)
      : opens_(std::move(opens)), told_(closesTold) {}

  std::vector<std::string> Scan(const std::vector<std::string>&) override {
    std::vector<std::string> held;
    for (const Open& o : opens_) {
      if (o.from <= now_ && now_ < o.to) held.push_back(o.id);
    }
    return held;
  }
  bool AnyHolds(const std::vector<std::string>& held) override {
    for (const Open& o : opens_) {
      for (const std::string& id : held) {
        if (id == o.id && o.from <= now_ && now_ < o.to) return true;
      }
    }
    return false;
  }
  bool AwaitClose(milliseconds wait) override {
    if (++waits_ > 100'000) throw std::runtime_error("the wait never ends");
    const int end = now_ + static_cast<int>(wait.count());
    if (!told_) {
      now_ = std::min(end, now_ + 2);
      return true;
    }
    int closed = end + 1;
    for (const Open& o : opens_) {
      if (now_ < o.to && o.to <= end) closed = std::min(closed, o.to);
    }
    now_ = std::min(closed, end);
    return closed <= end;
  }
  Clock::time_point Now() override { return Clock::time_point(milliseconds(now_)); }
  int now() const { return now_; }

 private:
  std::vector<Open> opens_;
  bool told_;
  int now_ = 0;
  int waits_ = 0;
};

TEST(Holders, TheWaitEndsWhenNobodyHoldsTheFile) {
  struct Row {
    const char* name;
    bool closesTold;
    int settle, limit;
    std::vector<Open> opens;
    bool alone;
    int endsAt;  // ms on the test's clock
  } rows[] = {
      {"nobody holds it", true, 0, 100, {}, true, 0},
      {"one lets go before the limit", true, 0, 100, {{"a", 0, 30}}, true, 30},
      {"one holds it past the limit", true, 0, 100, {{"a", 0, 1000}}, false, 100},
      {"one that opens while another holds it is waited for too",
       true,
       0,
       2000,
       {{"a", 0, 200}, {"b", 100, 1000}},
       true,
       1000},
      {"nobody holds it, through the settle", true, 50, 100, {}, true, 50},
      {"a late open in the settle is waited for",
       true,
       50,
       500,
       {{"a", 0, 30}, {"b", 60, 200}},
       true,
       250},
      {"the settle runs on past the limit", true, 50, 100, {{"a", 0, 95}}, true, 145},
      {"a close in the settle past the limit",
       true,
       50,
       100,
       {{"a", 0, 95}, {"b", 97, 105}},
       true,
       145},
      {"a late open past the limit ends it",
       true,
       50,
       100,
       {{"a", 0, 95}, {"b", 120, 1000}},
       false,
       145},
      {"asked again: one lets go", false, 0, 100, {{"a", 0, 31}}, true, 32},
      {"asked again: one holds it past the limit", false, 0, 100, {{"a", 0, 1000}}, false, 100},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    Scripted holders(row.opens, row.closesTold);
    EXPECT_EQ(platform::AwaitAlone(holders, milliseconds(row.settle), milliseconds(row.limit)),
              row.alone);
    EXPECT_EQ(holders.now(), row.endsAt);
  }
}

}  // namespace
