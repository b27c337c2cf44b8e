#include "runlist/run_list_file.h"


#include "model/number_text.h"
#include "util/atomic_file.h"
#include "util/token_reader.h"

namespace kvo::core {
namespace {

constexpr std::size_t kMaxRunListBytes = 4 << 20;

std::string damaged(const std::filesystem::path& file, int line, const std::string& what) {
  return "File \"" + file.string() + "\" is damaged: line " + std::to_string(line) + ", " + what;
}

std::optional<int> parseInteger(std::string_view token) {
  if (!token.empty() && token.front() == '+') token.remove_prefix(1);
  return parseWholeNumber<int>(token);
}

}  // namespace

std::filesystem::path runListWorkingFile(const std::filesystem::path& startupFolder) {
  return startupFolder / std::string(kRunListWorkingFileName);
}

std::string formatRunList(const RunList& list, RunListFormat format) {
  std::string text = formatInteger(static_cast<long long>(list.entries.size()), 4) + " " +
                     formatInteger(list.start, 4) + " ";
  if (format == RunListFormat::Working) text += quoteFileName(list.runListFile) + " ";
  text += "\n";
  for (const std::string& entry : list.entries) text += quoteFileName(entry) + " \n";
  return text;
}

FileOutcome readRunList(const std::filesystem::path& file, RunListFormat format, RunList& list) {
  std::string message;
  const auto content = readSmallFile(file, kMaxRunListBytes, message);
  if (!content) return {FileOutcome::Status::CannotOpen, message};
  TokenReader tokens(*content);
  auto fail = [&](int line, const std::string& what) {
    return FileOutcome{FileOutcome::Status::Damaged, damaged(file, line, what)};
  };

  RunList read;
  int count = 0;
  const std::pair<const char*, int*> header[] = {{"the number of entries", &count},
                                                 {"the start entry", &read.start}};
  for (const auto& [what, target] : header) {
    const auto token = tokens.next();
    if (!token) return fail(tokens.line(), std::string(what) + " is missing");
    const auto value = parseInteger(token->text);
    if (!value) return fail(token->line, std::string(what) + " \"" + token->text + "\" is not an integer");
    *target = *value;
  }
  if (count < 0 || count > kMaxRunListEntries) {
    return fail(1, "the list holds " + std::to_string(count) + " entries (0 to " +
                       std::to_string(kMaxRunListEntries) + " are possible)");
  }
  if (format == RunListFormat::Working) {
    const auto token = tokens.next();
    if (!token) return fail(tokens.line(), "the run list's file name is missing");
    if (token->unterminatedQuote) return fail(token->line, "a file name has no closing quote");
    read.runListFile = token->text;
  }
  for (int i = 0; i < count; ++i) {
    const auto token = tokens.next();
    if (!token) {
      return fail(tokens.line(), "the file ends after " + std::to_string(i) + " of " +
                                     std::to_string(count) + " entries");
    }
    if (token->unterminatedQuote) return fail(token->line, "a file name has no closing quote");
    read.entries.push_back(token->text);
  }
  list = std::move(read);
  return {};
}

FileOutcome writeRunList(const std::filesystem::path& file, RunListFormat format,
                         const RunList& list) {
  if (auto error = writeFileAtomically(file, formatRunList(list, format))) {
    return {FileOutcome::Status::CannotWrite, *error};
  }
  return {};
}

}  // namespace kvo::core
