#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>

#include "app/form_layout.h"
#include "run/reporter.h"

// What the window does between a command and the screen, once for both toolkits: the panel
// texts, when they are painted while a run holds the event loop, and that the latest of them
// are on the screen before any message box comes up and when the run returns.
namespace form {

/// The texts of the two panels, and which of them changed since they were last painted.
struct PanelTexts {
  std::array<std::string, 2> texts{kPanel1Idle, kPanel2Idle};
  std::array<bool, 2> changed{};
};

/// What a toolkit's window does for the presenter: drawing only.
class Surface {
 public:
  virtual ~Surface() = default;
  /// Puts the changed texts into their panels and paints them at once where the window is
  /// shown (the run holds the event loop, so nothing else would).
  virtual void PaintPanels(const PanelTexts& panels) = 0;
  /// A modal box captioned kTitle with the icon of `kind`; returns when dismissed.
  virtual void ShowBox(run::Reporter::Kind kind, const std::string& text) = 0;
};

/// The window's commands and the Reporter through which a run speaks to the user.
class Presenter : public run::Reporter {
 public:
  /// One archive run, reporting through the Reporter it is given.
  using ArchiveRun = std::function<void(run::Reporter&)>;
  /// Milliseconds of a clock that never goes back.
  using Ticks = std::function<std::int64_t()>;

  Presenter(Surface& surface, ArchiveRun archive, Ticks now = SteadyMs);

  /// The text of panel 1 or 2 as the run last set it, painted or not.
  const std::string& Text(int panel) const { return panels_.texts.at(panel - 1); }

  /// File > Move to archive: the run, with its last texts painted before it returns. Picked
  /// again while the run goes on (a box of the system's own runs the window's events), it
  /// starts no second run.
  void Archive();
  bool Running() const { return running_; }
  /// File > Version: the version and the credit in the panels, painted at once.
  void ShowVersion();

  void SetPanelText(int panel, const std::string& text) override;
  void ShowMessage(Kind kind, const std::string& text) override;

  static std::int64_t SteadyMs();

 private:
  void PaintPending();

  Surface& surface_;
  ArchiveRun archive_;
  Ticks now_;
  PanelTexts panels_;
  PaintPacer pacer_;
  bool running_ = false;
};

}  // namespace form
