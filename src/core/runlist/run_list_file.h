#pragma once
// Run lists: ordered lists of parameter files computed one after the other
// from a start entry, so that an interrupted list resumes where it stopped.
//
// Working file "KVO_Run_List.ncc" in the start-up folder:
//   "%4i %4i %s \n"   entry count n, start entry (1-based), the run list's own file
//   n x "%s \n"        the entries' parameter files
// User file (*.mrl):
//   "%4i %4i \n"      entry count n, start entry
//   n x "%s \n"
// Names with blanks are written in double quotes (see quoteFileName); other
// names as they are. Reading takes whitespace-separated tokens.

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "model/parameter_file.h"

namespace kvo::core {

inline constexpr std::string_view kRunListWorkingFileName = "KVO_Run_List.ncc";
inline constexpr int kMaxRunListEntries = 900;

enum class RunListFormat { Working, User };

struct RunList {
  std::vector<std::string> entries;
  int start = 1;  // as stored; readers of the list take a start below 1 as 1
  std::string runListFile{kNoFileName};  // working format only

  friend bool operator==(const RunList&, const RunList&) = default;
};

std::filesystem::path runListWorkingFile(const std::filesystem::path& startupFolder);

std::string formatRunList(const RunList& list, RunListFormat format);

// Reads a run list. A file that cannot be opened gives CannotOpen; one that
// is short, holds a count or start that is not an integer, a count outside
// 0..900 or an unterminated quote gives Damaged with the line. `list` changes
// only on success.
FileOutcome readRunList(const std::filesystem::path& file, RunListFormat format, RunList& list);

// Writes a run list through a temporary file renamed over the target.
FileOutcome writeRunList(const std::filesystem::path& file, RunListFormat format,
                         const RunList& list);

}  // namespace kvo::core
