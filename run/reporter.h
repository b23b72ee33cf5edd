#pragma once

#include <string>

namespace run {

/// What a run shows the user: the two status panels and message boxes. The window
/// implements it; tests record it.
class Reporter {
 public:
  enum class Kind { kPlain, kWarning, kError };

  virtual ~Reporter() = default;
  /// Replaces the whole text of panel 1 (the bulletin) or 2 (the archive file).
  virtual void SetPanelText(int panel, const std::string& text) = 0;
  /// A modal message captioned with the program's title; returns when dismissed.
  virtual void ShowMessage(Kind kind, const std::string& text) = 0;
};

}  // namespace run
