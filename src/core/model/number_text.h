#pragma once
// Conversions between numbers and the texts of window fields and files.
//
// Window fields accept what a user types: surrounding blanks, a leading '+'
// or '-', a decimal point or a decimal comma, an exponent. Files accept only
// the C notation with a decimal point. Neither accepts anything that is not a
// finite number ("inf", "nan", "1e999", "12abc" are all refused).

#include <charconv>
#include <optional>
#include <string>
#include <string_view>

namespace kvo::core {

// A whole number filling `token` (decimal digits, a leading minus for a
// signed type; no '+', no blanks), or nullopt when it is not one or does not
// fit in `Integer`.
template <class Integer>
std::optional<Integer> parseWholeNumber(std::string_view token) {
  Integer value{};
  const auto [end, ec] = std::from_chars(token.data(), token.data() + token.size(), value);
  if (token.empty() || ec != std::errc() || end != token.data() + token.size()) return std::nullopt;
  return value;
}

// A number typed in a window field, or nullopt when the text is not a finite number.
std::optional<double> parseFieldNumber(std::string_view text);

// A number token of a text file (decimal point only, no blanks), or nullopt.
std::optional<double> parseFileNumber(std::string_view token);

// Converts the text of the field called `fieldName` into `value`. Returns the
// message naming the field when the text is not a number; `value` is then
// unchanged.
std::optional<std::string> readNumberField(std::string_view text, std::string_view fieldName,
                                           double& value);

// The window's display format "0.0": one decimal, rounded half away from zero
// from the value's 15 significant digits (149.95 shows as "150.0"), no
// thousands separators ("-5.0", "1000000.0").
std::string formatOneDecimal(double value);

// C's "%W.Pf" in the C locale, whatever the process locale: right-aligned in
// at least `width` characters, `precision` decimals, decimal point '.'.
std::string formatFixed(double value, int width, int precision);

// C's "%Wi": right-aligned in at least `width` characters.
std::string formatInteger(long long value, int width);

// Closed-interval range check; NaN fails.
constexpr bool inClosedRange(double value, double low, double high) {
  return value >= low && value <= high;
}

}  // namespace kvo::core
