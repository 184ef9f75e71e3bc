#include "cli/NumberText.hpp"

#include <algorithm>
#include <cctype>
#include <cfloat>
#include <climits>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <string>

namespace tl {

namespace {

bool isDigit(char c) { return std::isdigit(static_cast<unsigned char>(c)) != 0; }

// Whether text is spelt as a plain decimal number: a sign, digits with at most one point
// (at least one digit in all), and an exponent of digits with its own sign.
bool spelledAsDecimal(std::string_view text) {
    std::size_t i = 0;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
    std::size_t digits = 0;
    bool point = false;
    for (; i < text.size(); ++i) {
        if (isDigit(text[i])) ++digits;
        else if (text[i] == '.' && !point) point = true;
        else break;
    }
    if (digits == 0) return false;
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        ++i;
        if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
        const std::size_t start = i;
        while (i < text.size() && isDigit(text[i])) ++i;
        if (i == start) return false;
    }
    return i == text.size();
}

} // namespace

std::optional<double> decimalNumber(std::string_view text) {
    if (!spelledAsDecimal(text)) return std::nullopt;
    // strtod reads what the spelling check let through completely; it sets ERANGE both
    // for values beyond the double range (which are refused) and for values too small
    // for a normal double (which it rounds towards 0, as a number that small means 0).
    const std::string copy(text);
    const double value = std::strtod(copy.c_str(), nullptr);
    if (!std::isfinite(value)) return std::nullopt;
    return value;
}

std::optional<long long> wholeNumber(std::string_view text) {
    if (!text.empty() && text.front() == '+') text.remove_prefix(1);
    if (text.empty() || text.front() == '+') return std::nullopt;
    long long value = 0;
    const char* end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, value);
    if (error != std::errc() || stop != end) return std::nullopt;
    return value;
}

int clampedToInt(long long value) { return static_cast<int>(std::clamp<long long>(value, INT_MIN, INT_MAX)); }

float clampedToFloat(double value) { return static_cast<float>(std::clamp<double>(value, -FLT_MAX, FLT_MAX)); }

} // namespace tl
