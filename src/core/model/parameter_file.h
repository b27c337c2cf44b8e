#pragma once
// Parameter files: the working file "KVO_comp_param.ncc" in the start-up
// folder and the user's "*.nmc" files.
//
// Both hold seven lines of numbers, one per record (Tx loop 7 values, Rx loop
// 7, computing parameters 7, resistivity section 13, 3D target 16, topography
// 3, frequency shift 21), each value written as "%8.2f " and each line ended
// by "\n". The working file has a header line in front, "%s %s\n", with the
// last parameter file and the last run-list file. A name that contains a
// blank or a double quote (or is empty) is written in double quotes, with
// '\' and '"' escaped by a backslash; other names are written as they are.
//
// Reading takes whitespace-separated tokens: only the count of tokens, not
// the lines, separates the records. A file that is short, holds a token that
// is not a finite number, or a token longer than 19 characters is refused
// with a message naming the file and the line; the records and names are then
// untouched. Writing goes through a temporary file renamed over the target.

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "model/sounding_parameters.h"

namespace kvo::core {

inline constexpr std::string_view kWorkingFileName = "KVO_comp_param.ncc";
// The name held when no file is known yet.
inline constexpr std::string_view kNoFileName = "c:";
inline constexpr std::size_t kMaxTokenLength = 19;

enum class ParameterFileMode {
  HeaderOnly = 0,  // working file, header only
  Working = 1,     // working file, header and body
  Parameters = 2,  // the file named by the first name, body only
};

struct FileOutcome {
  enum class Status { Ok, CannotOpen, Damaged, CannotWrite };
  Status status = Status::Ok;
  std::string message;  // empty when Ok

  bool ok() const { return status == Status::Ok; }
};

std::filesystem::path workingFilePath(const std::filesystem::path& startupFolder);

// Reads a parameter file. Mode HeaderOnly and Working read the working file's
// header into the two names; Working and Parameters read the body into
// `params`. When the file cannot be opened both names become "c:". When it is
// damaged nothing changes.
FileOutcome readParameterFile(std::string& firstName, std::string& secondName,
                              ParameterFileMode mode, const std::filesystem::path& startupFolder,
                              SoundingParameters& params);

// The two names of the working file's header: the last parameter file and
// the last run-list (or picture) file; both "c:" when the file cannot be read.
std::pair<std::string, std::string> readWorkingFileHeader(const std::filesystem::path& startupFolder);

// Writes `params`: mode Working to the working file with the header (firstName,
// secondName), mode Parameters to the file named by firstName without a header.
FileOutcome writeParameterFile(const std::string& firstName, const std::string& secondName,
                               ParameterFileMode mode, const std::filesystem::path& startupFolder,
                               const SoundingParameters& params);

// The text of a parameter file: the header line (when `header` is set) and
// the seven body lines.
std::string formatParameterFile(const SoundingParameters& params,
                                const std::optional<std::pair<std::string, std::string>>& header);

// A file name as written in the header: as it is, or quoted when it holds a
// blank, a double quote or nothing.
std::string headerName(std::string_view name);

// The folder a file dialog opens in for a remembered file name: the name's
// folder, or the start-up folder for "c:", a name without a folder, or a
// folder that does not exist.
std::filesystem::path dialogFolderFor(std::string_view name,
                                      const std::filesystem::path& startupFolder);

// `name` with its last three characters replaced by `extension` (no dot is
// looked for: "model" with "mrm" gives "momrm").
std::string withLastThreeReplaced(std::string_view name, std::string_view extension);

// The parameter file that goes with a result file: the result file's name
// with its last three characters replaced by "nmc" (run1.mrm -> run1.nmc).
std::string parameterFileForResult(std::string_view resultFile);

}  // namespace kvo::core
