#include "app/presenter.h"

#include <chrono>
#include <utility>

namespace form {

Presenter::Presenter(Surface& surface, ArchiveRun archive, Ticks now)
    : surface_(surface), archive_(std::move(archive)), now_(std::move(now)) {}

std::int64_t Presenter::SteadyMs() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

void Presenter::Archive() {
  if (running_) return;
  running_ = true;
  pacer_.Begin(now_());
  archive_(*this);
  PaintPending();
  running_ = false;
}

void Presenter::ShowVersion() {
  SetPanelText(1, kVersionText);
  SetPanelText(2, kCreditText);
  PaintPending();
}

void Presenter::SetPanelText(int panel, const std::string& text) {
  panels_.texts.at(panel - 1) = text;
  panels_.changed.at(panel - 1) = true;
  // Painting every text of a run would cost more than the run itself.
  if (pacer_.Changed(now_())) {
    surface_.PaintPanels(panels_);
    panels_.changed = {};
  }
}

void Presenter::ShowMessage(Kind kind, const std::string& text) {
  // What the run last wrote is on the screen before the user is told anything.
  PaintPending();
  surface_.ShowBox(kind, text);
}

void Presenter::PaintPending() {
  if (!pacer_.Pending()) return;
  pacer_.Flush();
  surface_.PaintPanels(panels_);
  panels_.changed = {};
}

}  // namespace form
