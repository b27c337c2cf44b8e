#include "farm_messages.h"

#include <cstdio>

#include "model/number_text.h"

namespace kvo::farm {
namespace {

// Splits off the text up to the next `separator`.
std::string_view take(std::string_view& text, char separator) {
  const std::size_t at = text.find(separator);
  const std::string_view head = text.substr(0, at);
  text = at == std::string_view::npos ? std::string_view() : text.substr(at + 1);
  return head;
}

}  // namespace

std::string packReport(const EntryReport& r) {
  char seconds[32];
  std::snprintf(seconds, sizeof seconds, "%.3f", r.seconds);
  return std::to_string(r.number) + " " + std::to_string(static_cast<int>(r.status)) + " " +
         (r.hash.empty() ? std::string("-") : r.hash) + " " + seconds + "\n" + r.message;
}

std::optional<EntryReport> unpackReport(std::string_view text) {
  std::string_view head = take(text, '\n');
  EntryReport r;
  const auto n = core::parseWholeNumber<int>(take(head, ' '));
  const auto status = core::parseWholeNumber<int>(take(head, ' '));
  const std::string_view hash = take(head, ' ');
  if (!n || *n < 0 || !status || *status < static_cast<int>(core::EntryStatus::Written) ||
      *status > static_cast<int>(core::EntryStatus::Stopped) || hash.empty()) {
    return std::nullopt;
  }
  double seconds = 0.0;
  if (std::sscanf(std::string(head).c_str(), "%lf", &seconds) != 1) return std::nullopt;
  r.number = *n;
  r.status = static_cast<core::EntryStatus>(*status);
  r.hash = hash == "-" ? std::string() : std::string(hash);
  r.seconds = seconds;
  r.message = std::string(text);
  return r;
}

std::string packAssignment(const Assignment& a) { return std::to_string(a.number) + "\n" + a.file; }

std::optional<Assignment> unpackAssignment(std::string_view text) {
  const auto n = core::parseWholeNumber<int>(take(text, '\n'));
  if (!n || *n < 0) return std::nullopt;
  return Assignment{*n, std::string(text)};
}

}  // namespace kvo::farm
