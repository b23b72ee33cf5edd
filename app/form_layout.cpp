#include "app/form_layout.h"

#include <algorithm>
#include <charconv>
#include <climits>
#include <cmath>

namespace form {

std::optional<int> Pixels(double twips, double dpi) {
  const double px = std::nearbyint(twips * dpi / 1440.0);
  if (!std::isfinite(px) || px < INT_MIN || px > INT_MAX) return std::nullopt;
  return static_cast<int>(px);
}

bool Rect::Intersects(const Rect& other) const {
  // In long long: a stored position may put an edge near INT_MAX, where int sums overflow.
  const auto meets = [](long long start, long long length, long long otherStart,
                        long long otherLength) {
    return start < otherStart + otherLength && otherStart < start + length;
  };
  return meets(left, width, other.left, other.width) && meets(top, height, other.top, other.height);
}

std::optional<double> StoredNumber(std::string_view text, const NumberFormat& format) {
  const auto isBlank = [](char c) { return c == ' ' || c == '\t'; };
  while (!text.empty() && isBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && isBlank(text.back())) text.remove_suffix(1);

  // Rewritten with a decimal point for from_chars, which, unlike strtod, does not follow the
  // C library's locale: under a decimal-comma locale strtod would stop at the point.
  std::string plain;
  std::size_t i = 0;
  const auto digits = [&] {
    const std::size_t start = i;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9') plain += text[i++];
    return i - start;
  };
  if (i < text.size() && text[i] == '-')
    plain += text[i++];
  else if (i < text.size() && text[i] == '+')
    ++i;  // from_chars takes no plus sign
  std::size_t mantissa = digits();
  if (i < text.size() && text[i] == format.decimalPoint) {
    plain += '.';
    ++i;
    mantissa += digits();
  }
  if (mantissa == 0) return std::nullopt;
  if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
    plain += 'e';
    ++i;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) plain += text[i++];
    if (digits() == 0) return std::nullopt;
  }
  if (i != text.size()) return std::nullopt;
  double value = 0;
  const char* end = plain.data() + plain.size();
  const auto [stop, error] = std::from_chars(plain.data(), end, value);
  if (error != std::errc() || stop != end || !std::isfinite(value)) return std::nullopt;
  return value;
}

namespace {

// The pixels of one stored value, or nothing when it is missing or no number of pixels.
std::optional<int> StoredPixels(const std::optional<std::string>& text, const NumberFormat& format,
                                double dpi) {
  if (!text) return std::nullopt;
  const std::optional<double> twips = StoredNumber(*text, format);
  return twips ? Pixels(*twips, dpi) : std::nullopt;
}

int DefaultPixels(std::size_t key, double dpi) {
  return Pixels(kPlacementKeys[key].fallback, dpi).value_or(0);
}

}  // namespace

Rect Placement(const StoredTexts& stored, const NumberFormat& format, double dpi,
               const std::vector<Rect>& workAreas) {
  // A size larger than every work area is one the user meant as "all of it": it is fitted
  // to the largest, however large the number. Without work areas there is nothing to fit to.
  std::optional<int> maxWidth, maxHeight;
  for (const Rect& area : workAreas) {
    maxWidth = std::max(maxWidth.value_or(0), area.width);
    maxHeight = std::max(maxHeight.value_or(0), area.height);
  }
  const auto size = [&](std::size_t key, std::optional<int> max) {
    const std::optional<double> twips =
        stored[key] ? StoredNumber(*stored[key], format) : std::nullopt;
    const double px = twips ? std::nearbyint(*twips * dpi / 1440.0) : 0;
    if (!(px > 0)) return DefaultPixels(key, dpi);
    if (max && px > *max) return *max;
    return px <= INT_MAX ? static_cast<int>(px) : DefaultPixels(key, dpi);
  };
  Rect r;
  r.width = size(2, maxWidth);
  r.height = size(3, maxHeight);

  // Each edge on its own first: the left edge must leave part of the window over some work
  // area's columns, the top edge over some work area's rows.
  const auto onSome = [&](const Rect& window) {
    return std::any_of(workAreas.begin(), workAreas.end(),
                       [&](const Rect& area) { return window.Intersects(area); });
  };
  const auto edge = [&](std::size_t key, bool horizontal) {
    const std::optional<int> px = StoredPixels(stored[key], format, dpi);
    if (!px) return DefaultPixels(key, dpi);
    Rect strip = horizontal ? Rect{*px, INT_MIN / 2, r.width, INT_MAX}
                            : Rect{INT_MIN / 2, *px, INT_MAX, r.height};
    return workAreas.empty() || onSome(strip) ? *px : DefaultPixels(key, dpi);
  };
  r.left = edge(0, true);
  r.top = edge(1, false);

  // Edges that each meet a different work area (screens set diagonally) can still leave the
  // whole window off all of them: then the left edge, the top edge or both take the default.
  if (workAreas.empty() || onSome(r)) return r;
  const Rect defaults{DefaultPixels(0, dpi), DefaultPixels(1, dpi), r.width, r.height};
  for (const Rect& candidate : {Rect{defaults.left, r.top, r.width, r.height},
                                Rect{r.left, defaults.top, r.width, r.height}}) {
    if (onSome(candidate)) return candidate;
  }
  return defaults;
}

int PanelWidth(int barWidth, double dpi) {
  const int end = Pixels(kBarEndWidth, dpi).value_or(0);
  const int minimum = Pixels(kPanelMinWidth, dpi).value_or(0);
  return std::max(minimum, (barWidth - end) / 2);
}

bool PaintPacer::Changed(std::int64_t nowMs) {
  if (nowMs - lastPaintMs_ >= intervalMs_) {
    lastPaintMs_ = nowMs;
    pending_ = false;
    return true;
  }
  pending_ = true;
  return false;
}

}  // namespace form
