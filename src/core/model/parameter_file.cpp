#include "model/parameter_file.h"

#include <array>
#include <cmath>
#include <span>
#include <type_traits>

#include "model/number_text.h"
#include "util/token_reader.h"
#include "util/atomic_file.h"

namespace kvo::core {
namespace {

// A parameter file is a few hundred bytes; anything far larger is not one.
constexpr std::size_t kMaxParameterFileBytes = 1 << 20;

struct RecordLayout {
  std::string_view name;
  std::size_t count;
};
constexpr std::array<RecordLayout, 7> kRecords = {{{"Tx loop", kLoopUsedSlots},
                                                   {"Rx loop", kLoopUsedSlots},
                                                   {"computing parameters", kComputingUsedSlots},
                                                   {"resistivity section", kSectionUsedSlots},
                                                   {"3D target", kTargetUsedSlots},
                                                   {"topography", kSlopeUsedSlots},
                                                   {"frequency shift", kFrequencyShiftUsedSlots}}};

// The seven records in file order.
template <class Params>
auto recordsOf(Params& p) {
  using Value = std::conditional_t<std::is_const_v<Params>, const double, double>;
  return std::array<std::span<Value>, 7>{p.tx, p.rx, p.computing, p.section,
                                         p.target, p.slope, p.frequencyShift};
}

FileOutcome failure(FileOutcome::Status status, std::string message) {
  return {status, std::move(message)};
}

std::string damaged(const std::filesystem::path& file, int line, std::string_view what) {
  return "File \"" + file.string() + "\" is damaged: line " + std::to_string(line) + ", " +
         std::string(what);
}

// Reads the header's two names from `tokens`.
std::optional<std::string> readHeader(TokenReader& tokens, const std::filesystem::path& file,
                                      std::string& first, std::string& second) {
  std::array<std::string*, 2> names = {&first, &second};
  for (std::size_t i = 0; i < names.size(); ++i) {
    const auto token = tokens.next();
    const char* which = i == 0 ? "first" : "second";
    if (!token) {
      return damaged(file, tokens.line(),
                     std::string("header: the ") + which + " file name is missing");
    }
    if (token->unterminatedQuote) {
      return damaged(file, token->line,
                     std::string("header: the ") + which + " file name has no closing quote");
    }
    *names[i] = token->text;
  }
  return std::nullopt;
}

// Reads the seven records' values from `tokens` into `params`.
std::optional<std::string> readBody(TokenReader& tokens, const std::filesystem::path& file,
                                    SoundingParameters& params) {
  auto records = recordsOf(params);
  for (std::size_t r = 0; r < kRecords.size(); ++r) {
    const auto& layout = kRecords[r];
    const std::string recordName =
        "record " + std::to_string(r + 1) + " (" + std::string(layout.name) + ")";
    for (std::size_t v = 0; v < layout.count; ++v) {
      const std::string where = recordName + ", value " + std::to_string(v + 1) + " of " +
                                std::to_string(layout.count);
      const auto token = tokens.next();
      if (!token) return damaged(file, tokens.line(), "the file ends before " + where);
      if (token->text.size() > kMaxTokenLength) {
        return damaged(file, token->line,
                       where + ": a token longer than " + std::to_string(kMaxTokenLength) +
                           " characters");
      }
      const auto value = parseFileNumber(token->text);
      if (!value) {
        return damaged(file, token->line, where + ": \"" + token->text + "\" is not a number");
      }
      records[r][v] = *value;
    }
  }
  return std::nullopt;
}

}  // namespace

std::filesystem::path workingFilePath(const std::filesystem::path& startupFolder) {
  return startupFolder / std::string(kWorkingFileName);
}

FileOutcome readParameterFile(std::string& firstName, std::string& secondName,
                              ParameterFileMode mode, const std::filesystem::path& startupFolder,
                              SoundingParameters& params) {
  const bool working = mode != ParameterFileMode::Parameters;
  const std::filesystem::path file =
      working ? workingFilePath(startupFolder) : std::filesystem::path(firstName);
  std::string message;
  const auto content = readSmallFile(file, kMaxParameterFileBytes, message);
  if (!content) {
    firstName = kNoFileName;
    secondName = kNoFileName;
    return failure(FileOutcome::Status::CannotOpen, message);
  }

  // Everything is read into copies first; the caller's names and records
  // change only once the whole file has been read.
  TokenReader tokens(*content);
  std::string first = firstName;
  std::string second = secondName;
  SoundingParameters read = params;
  if (working) {
    if (auto e = readHeader(tokens, file, first, second)) {
      return failure(FileOutcome::Status::Damaged, *e);
    }
  }
  if (mode != ParameterFileMode::HeaderOnly) {
    if (auto e = readBody(tokens, file, read)) return failure(FileOutcome::Status::Damaged, *e);
  }
  firstName = std::move(first);
  secondName = std::move(second);
  params = read;
  return {};
}

std::pair<std::string, std::string> readWorkingFileHeader(const std::filesystem::path& startupFolder) {
  std::pair<std::string, std::string> names;
  SoundingParameters unused;  // the header-only mode reads no records
  readParameterFile(names.first, names.second, ParameterFileMode::HeaderOnly, startupFolder, unused);
  return names;
}

std::string headerName(std::string_view name) { return quoteFileName(name); }

std::string formatParameterFile(const SoundingParameters& params,
                                const std::optional<std::pair<std::string, std::string>>& header) {
  std::string text;
  if (header) text += headerName(header->first) + " " + headerName(header->second) + "\n";
  const auto records = recordsOf(params);
  for (std::size_t r = 0; r < kRecords.size(); ++r) {
    for (std::size_t v = 0; v < kRecords[r].count; ++v) text += formatFixed(records[r][v], 8, 2) + " ";
    text += "\n";
  }
  return text;
}

FileOutcome writeParameterFile(const std::string& firstName, const std::string& secondName,
                               ParameterFileMode mode, const std::filesystem::path& startupFolder,
                               const SoundingParameters& params) {
  if (mode == ParameterFileMode::HeaderOnly) {
    return failure(FileOutcome::Status::CannotWrite, "A parameter file is never written header-only");
  }
  const bool working = mode == ParameterFileMode::Working;
  const std::filesystem::path file =
      working ? workingFilePath(startupFolder) : std::filesystem::path(firstName);
  // A value that is not finite, or so large that its text would be longer
  // than the reader takes, would make a file that no reader accepts.
  const auto records = recordsOf(params);
  for (std::size_t r = 0; r < kRecords.size(); ++r) {
    for (std::size_t v = 0; v < kRecords[r].count; ++v) {
      const std::string where = "Cannot write \"" + file.string() + "\": value " + std::to_string(v + 1) +
                                " of the " + std::string(kRecords[r].name);
      if (!std::isfinite(records[r][v])) {
        return failure(FileOutcome::Status::CannotWrite, where + " is not a number");
      }
      if (formatFixed(records[r][v], 8, 2).size() > kMaxTokenLength) {
        return failure(FileOutcome::Status::CannotWrite,
                       where + " is too large (" + formatFixed(records[r][v], 8, 2).substr(0, 24) +
                           "...) to be written in " + std::to_string(kMaxTokenLength) + " characters");
      }
    }
  }
  const std::string text = formatParameterFile(
      params, working ? std::optional(std::pair(firstName, secondName)) : std::nullopt);
  if (auto e = writeFileAtomically(file, text)) return failure(FileOutcome::Status::CannotWrite, *e);
  return {};
}

std::filesystem::path dialogFolderFor(std::string_view name,
                                      const std::filesystem::path& startupFolder) {
  if (name.empty() || name == kNoFileName) return startupFolder;
  const std::filesystem::path folder = std::filesystem::path(name).parent_path();
  std::error_code ec;
  if (folder.empty() || !std::filesystem::is_directory(folder, ec)) return startupFolder;
  return folder;
}

std::string withLastThreeReplaced(std::string_view name, std::string_view extension) {
  const std::size_t keep = name.size() >= 3 ? name.size() - 3 : 0;
  return std::string(name.substr(0, keep)) + std::string(extension);
}

std::string parameterFileForResult(std::string_view resultFile) {
  return withLastThreeReplaced(resultFile, "nmc");
}

}  // namespace kvo::core
