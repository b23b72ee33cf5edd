#include "run/value.h"

#include <charconv>
#include <cmath>
#include <limits>
#include <stdexcept>

namespace run {

namespace {

// The value of mantissa digits (with at most one point) times ten to the exponent.
double FromDigits(const std::string& digits, long exponent) {
  const std::string number = digits + "e" + std::to_string(exponent);
  double value = 0.0;
  const auto [end, ec] = std::from_chars(number.data(), number.data() + number.size(), value,
                                         std::chars_format::scientific);
  (void)end;
  if (ec != std::errc::result_out_of_range) return value;
  // Out of range is either too large or too close to zero; the position of the first
  // significant digit against the exponent tells which.
  const std::size_t point = digits.find('.');
  const std::size_t intDigits = point == std::string::npos ? digits.size() : point;
  const std::size_t firstNonZero = digits.find_first_not_of("0.");
  const long magnitude = static_cast<long>(intDigits) - static_cast<long>(firstNonZero) +
                         (firstNonZero > intDigits ? 1 : 0) + exponent;
  return magnitude > 0 ? std::numeric_limits<double>::infinity() : 0.0;
}

// Reads text as the classic Val does: blanks anywhere inside the number are passed over.
class Scan {
 public:
  explicit Scan(std::string_view text) : text_(text) {}

  /// The sign, the digits with at most one point, and whether any digit was read.
  bool Mantissa(bool& negative, std::string& digits) {
    Blanks();
    if (At('+') || At('-')) negative = text_[i_++] == '-';
    bool seenPoint = false, seenDigit = false;
    for (;; ++i_) {
      Blanks();
      if (Digit()) {
        seenDigit = true;
      } else if (!At('.') || seenPoint) {
        return seenDigit;
      }
      seenPoint = seenPoint || At('.');
      digits += text_[i_];
    }
  }

  /// The exponent after E or D (also written in lower case), saturated; 0 when none.
  long Exponent() {
    if (!(At('E') || At('e') || At('D') || At('d'))) return 0;
    ++i_;
    Blanks();
    bool negative = false;
    if (At('+') || At('-')) negative = text_[i_++] == '-';
    long exponent = 0;
    for (Blanks(); Digit(); ++i_, Blanks()) {
      // Any exponent this large already over- or underflows a double.
      if (exponent < 100000) exponent = exponent * 10 + (text_[i_] - '0');
    }
    return negative ? -exponent : exponent;
  }

 private:
  bool At(char c) const { return i_ < text_.size() && text_[i_] == c; }
  bool Digit() const { return i_ < text_.size() && text_[i_] >= '0' && text_[i_] <= '9'; }
  void Blanks() {
    while (At(' ') || At('\t') || At('\n')) ++i_;
  }

  std::string_view text_;
  std::size_t i_ = 0;
};

}  // namespace

double ValueOfText(std::string_view text) {
  Scan scan(text);
  bool negative = false;
  std::string digits;  // mantissa digits with the point, no sign
  if (!scan.Mantissa(negative, digits)) return 0.0;
  const double value = FromDigits(digits, scan.Exponent());
  return negative ? -value : value;
}

int32_t RoundToWhole(double value) {
  const double rounded = std::nearbyint(value);  // the default rounding mode is half to even
  if (!(rounded >= -2147483648.0 && rounded <= 2147483647.0)) {
    throw std::overflow_error("number outside the range of a Long");
  }
  return static_cast<int32_t>(rounded);
}

std::string SequenceText(int number) {
  std::string text = std::to_string(number);
  if (number < 10) text.insert(text.begin(), '0');
  return text;
}

}  // namespace run
