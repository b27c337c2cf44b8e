// Both run-list readers, and a walk over whatever list they accept (without
// computing anything).
#include <cstdlib>

#include "fuzz_support.h"
#include "runlist/run_list_walker.h"

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, std::size_t size) {
  using namespace kvo::core;
  const auto file = kvo::fuzz::writeInput("list.mrl", data, size);
  for (RunListFormat format : {RunListFormat::Working, RunListFormat::User}) {
    RunList list{{"keep"}, 3, "k"};
    const FileOutcome r = readRunList(file, format, list);
    if (!r.ok() && !(list == RunList{{"keep"}, 3, "k"})) std::abort();
    if (r.ok() && (list.entries.size() > static_cast<std::size_t>(kMaxRunListEntries))) std::abort();
  }
  const auto copy = kvo::fuzz::writeInput("walk.mrl", data, size);
  RunListWalk walk;
  walk.compute = [](const std::string&, const SoundingParameters&, std::string&) { return EntryStatus::Written; };
  (void)walkRunList(copy, RunListFormat::User, walk);
  return 0;
}
