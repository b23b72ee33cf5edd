#include "app/presenter.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace {

using Kind = run::Reporter::Kind;

// What reached the screen, in order: "paint 1=... 2=..." names only the panels that changed.
struct RecordingSurface : form::Surface {
  std::vector<std::string> events;
  std::string shown[2] = {form::kPanel1Idle, form::kPanel2Idle};

  void PaintPanels(const form::PanelTexts& panels) override {
    std::string event = "paint";
    for (int i = 0; i < 2; ++i) {
      if (!panels.changed[i]) continue;
      shown[i] = panels.texts[i];
      event += " " + std::to_string(i + 1) + "=" + panels.texts[i];
    }
    events.push_back(event);
  }
  void ShowBox(Kind kind, const std::string& text) override {
    const char* icon = kind == Kind::kError     ? "error"
                       : kind == Kind::kWarning ? "warning"
                                                : "plain";
    events.push_back(std::string("box ") + icon + ": " + text + " over " + shown[0] + "|" +
                     shown[1]);
  }
};

// One thing a run does at a moment of the presenter's clock: a panel text, or a box when
// `panel` is 0.
struct Step {
  std::int64_t ms;
  int panel;
  std::string text;
  Kind kind = Kind::kPlain;
};

struct ScriptedWindow {
  RecordingSurface surface;
  std::int64_t now = 50'000;
  std::vector<Step> script;
  form::Presenter presenter{surface,
                            [this](run::Reporter& reporter) {
                              for (const Step& step : script) {
                                now = step.ms;
                                if (step.panel == 0) {
                                  reporter.ShowMessage(step.kind, step.text);
                                } else {
                                  reporter.SetPanelText(step.panel, step.text);
                                }
                              }
                            },
                            [this] { return now; }};
};

struct RunRow {
  const char* name;
  std::vector<Step> script;  // times from 50,000, when the command is picked
  std::vector<std::string> expected;
};

const RunRow kRunRows[] = {
    {"shorter than a paint interval: painted once, before its box",
     {{50'001, 1, "B1"}, {50'002, 2, "A1"}, {50'003, 1, "B2"}, {50'004, 0, "done"}},
     {"paint 1=B2 2=A1", "box plain: done over B2|A1"}},
    {"not started: a box and no paint",
     {{50'001, 0, "refused", Kind::kError}},
     {"box error: refused over From: |To: "}},
    {"a text after an interval is painted at once, and only its panel",
     {{50'001, 1, "B1"}, {50'150, 1, "B2"}, {50'160, 0, "done"}},
     {"paint 1=B2", "box plain: done over B2|To: "}},
    {"the latest texts before each box, and nothing pending between boxes",
     {{50'001, 1, "B1"},
      {50'120, 2, "A1"},
      {50'130, 1, "B2"},
      {50'140, 0, "not recycled", Kind::kWarning},
      {50'141, 0, "done"}},
     {"paint 1=B1 2=A1", "paint 1=B2", "box warning: not recycled over B2|A1",
      "box plain: done over B2|A1"}},
    {"a text after the last box is painted when the run returns",
     {{50'001, 0, "done"}, {50'002, 1, "B9"}},
     {"box plain: done over From: |To: ", "paint 1=B9"}},
};

TEST(Presenter, PaintsARunsTextsAtItsPaceAndBeforeEveryBox) {
  for (const RunRow& row : kRunRows) {
    SCOPED_TRACE(row.name);
    ScriptedWindow s;
    s.script = row.script;
    s.presenter.Archive();
    EXPECT_EQ(s.surface.events, row.expected);
  }
}

// A long run: at most one paint per 100 ms of it, and the screen ends with its last texts.
TEST(Presenter, ALongRunPaintsAboutTenTimesASecond) {
  ScriptedWindow s;
  for (int line = 1; line <= 1000; ++line) {
    s.script.push_back({50'000 + line, 1, "B" + std::to_string(line)});
    if (line % 2 == 0) s.script.push_back({50'000 + line, 2, "A" + std::to_string(line)});
  }
  s.script.push_back({51'001, 0, "done"});
  s.presenter.Archive();
  ASSERT_FALSE(s.surface.events.empty());
  // 50,100 ... 51,000, then the last texts before the box, and the box.
  EXPECT_EQ(s.surface.events.size(), 10u + 1u + 1u);
  EXPECT_EQ(s.surface.events.back(), "box plain: done over B1000|A1000");
  EXPECT_EQ(s.presenter.Text(1), "B1000");
  EXPECT_EQ(s.presenter.Text(2), "A1000");
}

// A box of the system's own (the Recycle Bin refusing a file) runs the window's events: the
// command picked again then starts no run inside the run.
TEST(Presenter, TheCommandPickedDuringARunStartsNoSecondRun) {
  RecordingSurface surface;
  int runs = 0;
  form::Presenter* window = nullptr;
  form::Presenter presenter{surface, [&](run::Reporter&) {
                              ++runs;
                              EXPECT_TRUE(window->Running());
                              window->Archive();
                            }};
  window = &presenter;
  presenter.Archive();
  EXPECT_EQ(runs, 1);
  EXPECT_FALSE(presenter.Running());
  presenter.Archive();
  EXPECT_EQ(runs, 2);
}

TEST(Presenter, VersionIsPaintedAtOnceEvenRightAfterARun) {
  ScriptedWindow s;
  s.script = {{50'001, 1, "B1"}, {50'002, 0, "done"}};
  s.presenter.Archive();
  s.surface.events.clear();
  s.presenter.ShowVersion();  // within the paint interval of the run's last paint
  EXPECT_EQ(s.surface.events,
            (std::vector<std::string>{std::string("paint 1=") + form::kVersionText +
                                      " 2=" + form::kCreditText}));
}

}  // namespace
