#pragma once

#include <optional>
#include <string_view>

namespace tl {

// The one way both programs read numbers from their command lines, named or by position:
// the whole text must be the number, so "12.5%", "0,5", "7px" or "8.jpg" are not numbers
// (no prefix is read the way atoi and atof read one).

// A decimal number ("10", "-1", "12.5", ".5", "1e-3"): finite, written without spaces,
// hexadecimal digits, "inf" or "nan". Values too small for a double read as 0, values
// too large for one are not numbers.
std::optional<double> decimalNumber(std::string_view text);

// A whole number that a long long holds ("4", "-3", "+2"), nothing else.
std::optional<long long> wholeNumber(std::string_view text);

// value in the range of an int or a float, the nearest end of that range beyond it.
int clampedToInt(long long value);
float clampedToFloat(double value);

} // namespace tl
