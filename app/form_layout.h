#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// What the two windows (Qt on Linux, Win32 on Windows) share that is not drawing: the
// texts, the placement from the stored settings, the widths of the status panels, and the
// pace at which the panels are painted during a run. Plain C++, no toolkit.
namespace form {

inline constexpr char kTitle[] = "Kelvaron";
inline constexpr char kMenuFile[] = "&File";
inline constexpr char kMenuArchive[] = "&Move to archive";
inline constexpr char kMenuVersion[] = "&Version";
inline constexpr char kMenuExit[] = "E&xit";
inline constexpr char kPanel1Idle[] = "From: ";
inline constexpr char kPanel2Idle[] = "To: ";
inline constexpr char kVersionText[] = "Kelvaron version: 1.01 of 07-JUL-2002.";
inline constexpr char kCreditText[] = "Archives marked Winpack bulletins by group.";
inline constexpr char kSettingsSection[] = "Settings";

// Measures of the window, in twips (1440 to the inch).
inline constexpr double kStatusBarHeight = 375;
inline constexpr double kPanelMinWidth = 1440;
inline constexpr double kBarEndWidth = 300;

/// One of the four stored placement values: its key and its default in twips.
struct StoredKey {
  const char* key;
  double fallback;
};
inline constexpr std::array<StoredKey, 4> kPlacementKeys = {
    {{"MainLeft", 1000}, {"MainTop", 1000}, {"MainWidth", 9500}, {"MainHeight", 2000}}};

/// Pixels for a measure in twips at `dpi` dots per inch, rounded to the nearest pixel.
/// Nothing when the result is not a finite number that fits an int.
std::optional<int> Pixels(double twips, double dpi);

/// A rectangle in pixels.
struct Rect {
  int left = 0, top = 0, width = 0, height = 0;
  bool Intersects(const Rect& other) const;
  bool operator==(const Rect&) const = default;
};

/// How the user's locale writes a number.
struct NumberFormat {
  char decimalPoint = '.';
  char groupSeparator = ',';
};

/// A stored text read as a number the way the user's locale writes it: blanks around it, a
/// sign, digits with at most one decimal separator of the locale, an optional exponent.
/// Nothing when the text is anything else or the number is not finite. The C library's
/// locale plays no part.
std::optional<double> StoredNumber(std::string_view text, const NumberFormat& format);

/// The stored texts of kPlacementKeys, in that order; nothing where a value is missing.
using StoredTexts = std::array<std::optional<std::string>, 4>;

/// The window's outer frame in pixels from the stored texts. A value that is missing, not a
/// number or not usable takes its default, value by value: a width or height of zero pixels
/// or less; a left or top that puts no part of the window on any work area's columns or rows;
/// and when the window still meets no work area, the left edge, else the top edge, else both.
/// A width or height larger than the widest or tallest work area is made that work area's.
/// With no work areas positions are not checked, and a size beyond an int takes its default.
Rect Placement(const StoredTexts& stored, const NumberFormat& format, double dpi,
               const std::vector<Rect>& workAreas);

/// The width of each of the two equal panels of a status bar `barWidth` pixels wide: the bar
/// less its end of 300 twips, halved, but at least 1440 twips.
int PanelWidth(int barWidth, double dpi);

/// Paces the painting of the panels during a run, which holds the window's event loop: at
/// most one paint per interval, and the latest texts always shown in the end.
class PaintPacer {
 public:
  explicit PaintPacer(std::int64_t intervalMs = 100) : intervalMs_(intervalMs) {}
  /// A panel text changed at `nowMs`: true when it is to be painted now (the pacer then counts
  /// the paint as done); false leaves it pending.
  bool Changed(std::int64_t nowMs);
  /// A run begins at `nowMs`: its first texts wait one interval like any later ones, so a
  /// run shorter than that is painted once, when it ends.
  void Begin(std::int64_t nowMs) {
    lastPaintMs_ = nowMs;
    pending_ = false;
  }
  /// Whether a change is waiting to be painted; Flush() marks it painted.
  bool Pending() const { return pending_; }
  void Flush() { pending_ = false; }

 private:
  std::int64_t intervalMs_;
  std::int64_t lastPaintMs_ = INT64_MIN / 2;
  bool pending_ = false;
};

}  // namespace form
