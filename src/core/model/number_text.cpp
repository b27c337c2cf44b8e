#include "model/number_text.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <system_error>

namespace kvo::core {
namespace {

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v'; }

std::string_view trimmed(std::string_view text) {
  while (!text.empty() && isBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && isBlank(text.back())) text.remove_suffix(1);
  return text;
}

// Strict decimal syntax: [sign] digits [. digits] [e [sign] digits], at least
// one digit in the mantissa. Rejects the words from_chars would also accept
// (inf, nan) and hexadecimal forms.
bool hasDecimalSyntax(std::string_view t) {
  std::size_t i = 0;
  if (i < t.size() && (t[i] == '+' || t[i] == '-')) ++i;
  std::size_t digits = 0;
  while (i < t.size() && t[i] >= '0' && t[i] <= '9') ++i, ++digits;
  if (i < t.size() && t[i] == '.') {
    ++i;
    while (i < t.size() && t[i] >= '0' && t[i] <= '9') ++i, ++digits;
  }
  if (digits == 0) return false;
  if (i < t.size() && (t[i] == 'e' || t[i] == 'E')) {
    ++i;
    if (i < t.size() && (t[i] == '+' || t[i] == '-')) ++i;
    std::size_t expDigits = 0;
    while (i < t.size() && t[i] >= '0' && t[i] <= '9') ++i, ++expDigits;
    if (expDigits == 0) return false;
  }
  return i == t.size();
}

std::optional<double> convertDecimal(std::string_view t) {
  if (!hasDecimalSyntax(t)) return std::nullopt;
  if (t.front() == '+') t.remove_prefix(1);  // from_chars takes no '+'
  double value = 0.0;
  const auto [end, ec] = std::from_chars(t.data(), t.data() + t.size(), value);
  if (ec != std::errc() || end != t.data() + t.size() || !std::isfinite(value)) return std::nullopt;
  return value;
}

}  // namespace

std::optional<double> parseFileNumber(std::string_view token) { return convertDecimal(token); }

std::optional<double> parseFieldNumber(std::string_view text) {
  const std::string_view t = trimmed(text);
  const auto comma = t.find(',');
  if (comma == std::string_view::npos) return convertDecimal(t);
  // A decimal comma: only one, and no decimal point beside it.
  if (t.find(',', comma + 1) != std::string_view::npos || t.find('.') != std::string_view::npos) {
    return std::nullopt;
  }
  std::string copy(t);
  copy[comma] = '.';
  return convertDecimal(copy);
}

std::optional<std::string> readNumberField(std::string_view text, std::string_view fieldName,
                                           double& value) {
  const auto parsed = parseFieldNumber(text);
  if (!parsed) {
    return std::string(fieldName) + ": \"" + std::string(trimmed(text)) + "\" is not a number";
  }
  value = *parsed;
  return std::nullopt;
}

std::string formatOneDecimal(double value) {
  if (!std::isfinite(value)) return std::isnan(value) ? "NAN" : (value > 0 ? "INF" : "-INF");
  // The value is first taken to 15 significant digits, the precision a
  // double holds for decimal input, so that a typed 149.95 (stored as
  // 149.9499999999999886) shows as 150.0; those digits are then rounded half
  // away from zero to one decimal.
  std::array<char, 64> buf{};
  const auto [end, ec] = std::to_chars(buf.data(), buf.data() + buf.size(), std::fabs(value),
                                       std::chars_format::scientific, 14);
  if (ec != std::errc()) return "0.0";
  const std::string_view sci(buf.data(), static_cast<std::size_t>(end - buf.data()));
  const std::size_t ePos = sci.find('e');
  std::string digits;  // the 15 significant digits
  for (const char c : sci.substr(0, ePos)) {
    if (c != '.') digits.push_back(c);
  }
  int exponent = 0;
  std::from_chars(sci.data() + ePos + 1 + (sci[ePos + 1] == '+' ? 1 : 0), sci.data() + sci.size(),
                  exponent);
  // Fixed notation: digits[k] has weight 10^(exponent - k). Keep the integer
  // part and one decimal; the digit of weight 10^-2 decides the rounding.
  const int intDigits = exponent + 1;
  auto digitOfWeight = [&](int power) -> int {  // decimal digit of weight 10^power
    const int k = exponent - power;
    return (k >= 0 && k < static_cast<int>(digits.size())) ? digits[static_cast<std::size_t>(k)] - '0' : 0;
  };
  std::string kept;
  for (int power = std::max(intDigits - 1, 0); power >= -1; --power) {
    if (power == -1) kept.push_back('.');
    kept.push_back(static_cast<char>('0' + digitOfWeight(power)));
  }
  if (digitOfWeight(-2) >= 5) {
    // Add one unit in the last kept place, carrying leftwards over the point.
    std::size_t i = kept.size();
    bool carry = true;
    while (carry && i-- > 0) {
      if (kept[i] == '.') continue;
      if (kept[i] == '9') {
        kept[i] = '0';
      } else {
        ++kept[i];
        carry = false;
      }
    }
    if (carry) kept.insert(kept.begin(), '1');
  }
  const bool zero = kept.find_first_not_of("0.") == std::string::npos;
  return (value < 0 && !zero) ? "-" + kept : kept;
}

std::string formatFixed(double value, int width, int precision) {
  std::array<char, 400> buf{};
  const auto [end, ec] = std::to_chars(buf.data(), buf.data() + buf.size(), value,
                                       std::chars_format::fixed, precision);
  std::string text = ec == std::errc() ? std::string(buf.data(), end) : std::string("nan");
  if (static_cast<int>(text.size()) < width) text.insert(0, static_cast<std::size_t>(width) - text.size(), ' ');
  return text;
}

std::string formatInteger(long long value, int width) {
  std::string text = std::to_string(value);
  if (static_cast<int>(text.size()) < width) text.insert(0, static_cast<std::size_t>(width) - text.size(), ' ');
  return text;
}

}  // namespace kvo::core
