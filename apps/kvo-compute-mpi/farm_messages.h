#pragma once
// The messages of the run-list farm: a process's request for work, carrying
// the outcome of the entry it computed last, and the master's answer, the
// next entry or none. Both travel as text.

#include <optional>
#include <string>
#include <string_view>

#include "runlist/run_list_walker.h"

namespace kvo::farm {

// What a process reports of one entry.
struct EntryReport {
  int number = 0;  // 0: no entry yet (the first request)
  core::EntryStatus status = core::EntryStatus::Written;
  std::string hash;  // of the parameter file as it was computed (empty: unreadable)
  double seconds = 0.0;
  std::string message;
};

// "number status hash seconds\nmessage"
std::string packReport(const EntryReport& report);
std::optional<EntryReport> unpackReport(std::string_view text);

// "number\nfile"; number 0 and no file: no more work.
struct Assignment {
  int number = 0;
  std::string file;
};
std::string packAssignment(const Assignment& assignment);
std::optional<Assignment> unpackAssignment(std::string_view text);

}  // namespace kvo::farm
