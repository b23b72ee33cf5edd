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

}  // namespace

double ValueOfText(std::string_view text) {
  std::string digits;  // mantissa digits with the point, no sign
  bool negative = false, seenPoint = false, seenDigit = false;
  long exponent = 0;
  bool exponentNegative = false;
  std::size_t i = 0;
  auto skipBlanks = [&] {
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t' || text[i] == '\n')) ++i;
  };
  skipBlanks();
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
    negative = text[i] == '-';
    ++i;
  }
  for (;; ++i) {
    skipBlanks();
    if (i >= text.size()) break;
    const char c = text[i];
    if (c >= '0' && c <= '9') {
      digits += c;
      seenDigit = true;
    } else if (c == '.' && !seenPoint) {
      digits += c;
      seenPoint = true;
    } else {
      break;
    }
  }
  if (seenDigit && i < text.size() &&
      (text[i] == 'E' || text[i] == 'e' || text[i] == 'D' || text[i] == 'd')) {
    ++i;
    skipBlanks();
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) exponentNegative = text[i++] == '-';
    for (;; ++i) {
      skipBlanks();
      if (i >= text.size() || text[i] < '0' || text[i] > '9') break;
      // Saturate: any exponent this large already over- or underflows a double.
      if (exponent < 100000) exponent = exponent * 10 + (text[i] - '0');
    }
  }
  if (!seenDigit) return 0.0;
  const double value = FromDigits(digits, exponentNegative ? -exponent : exponent);
  return negative ? -value : value;
}

int32_t LongOfValue(double value) {
  const double rounded = std::nearbyint(value);  // the default rounding mode is half to even
  if (!(rounded >= -2147483648.0 && rounded <= 2147483647.0)) {
    throw std::overflow_error("number outside the range of a Long");
  }
  return static_cast<int32_t>(rounded);
}

std::string SeqTextOf(int number) {
  std::string text = std::to_string(number);
  if (number < 10) text.insert(text.begin(), '0');
  return text;
}

}  // namespace run
