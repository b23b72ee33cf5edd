#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace run {

/// The value of the number a text begins with: blanks, tabs and line feeds are ignored
/// wherever they stand; then a sign, digits with at most one ".", an exponent (E or D, sign,
/// digits). A text that does not begin with a number has the value 0.
double ValueOfText(std::string_view text);

/// Rounds to the nearest whole number, halfway to even; throws std::overflow_error outside
/// the 32-bit range.
int32_t RoundToWhole(double value);

/// The sequence number as an archive name holds it: "01" to "09", then "10", ..., "100".
std::string SequenceText(int number);

}  // namespace run
