#include "app/form_layout.h"

#include <algorithm>
#include <climits>
#include <cmath>

namespace form {

std::optional<int> Pixels(double twips, double dpi) {
  const double px = std::nearbyint(twips * dpi / 1440.0);
  if (!std::isfinite(px) || px < INT_MIN || px > INT_MAX) return std::nullopt;
  return static_cast<int>(px);
}

bool Rect::Intersects(const Rect& other) const {
  return left < other.left + other.width && other.left < left + width &&
         top < other.top + other.height && other.top < top + height;
}

std::optional<double> StoredNumber(std::string_view text, const NumberFormat& format) {
  const auto isBlank = [](char c) { return c == ' ' || c == '\t'; };
  while (!text.empty() && isBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && isBlank(text.back())) text.remove_suffix(1);

  // Rewritten in the C locale's form for strtod, which is checked to take all of it.
  std::string plain;
  std::size_t i = 0;
  const auto digits = [&] {
    const std::size_t start = i;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9') plain += text[i++];
    return i - start;
  };
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) plain += text[i++];
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
  const double value = std::strtod(plain.c_str(), nullptr);
  if (!std::isfinite(value)) return std::nullopt;
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

// Whether [start, start + length) meets [areaStart, areaStart + areaLength).
bool Meets(long long start, long long length, long long areaStart, long long areaLength) {
  return start < areaStart + areaLength && areaStart < start + length;
}

}  // namespace

Rect Placement(const StoredTexts& stored, const NumberFormat& format, double dpi,
               const std::vector<Rect>& workAreas) {
  int maxWidth = INT_MAX, maxHeight = INT_MAX;
  if (!workAreas.empty()) {
    maxWidth = maxHeight = 0;
    for (const Rect& area : workAreas) {
      maxWidth = std::max(maxWidth, area.width);
      maxHeight = std::max(maxHeight, area.height);
    }
  }
  const auto size = [&](std::size_t key, int max) {
    const std::optional<int> px = StoredPixels(stored[key], format, dpi);
    return px && *px > 0 && *px <= max ? *px : DefaultPixels(key, dpi);
  };
  Rect r;
  r.width = size(2, maxWidth);
  r.height = size(3, maxHeight);

  // Each edge on its own: the left edge must leave part of the window over some work
  // area's columns, the top edge over some work area's rows.
  const auto edge = [&](std::size_t key, bool horizontal) {
    const std::optional<int> px = StoredPixels(stored[key], format, dpi);
    if (!px) return DefaultPixels(key, dpi);
    if (workAreas.empty()) return *px;
    for (const Rect& area : workAreas) {
      if (horizontal ? Meets(*px, r.width, area.left, area.width)
                     : Meets(*px, r.height, area.top, area.height)) {
        return *px;
      }
    }
    return DefaultPixels(key, dpi);
  };
  r.left = edge(0, true);
  r.top = edge(1, false);
  return r;
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
