// The run-list journal: its parser, a record's way back through its text,
// and a walk whose list lies beside the fuzzed journal (nothing computed).
#include <cstdlib>
#include <string_view>

#include "fuzz_support.h"
#include "runlist/run_journal.h"
#include "runlist/run_list_walker.h"

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, std::size_t size) {
  using namespace kvo::core;
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const RunJournal journal = RunJournal::parse(text);
  if (journal.size() > size / 8 + 1) std::abort();  // a record takes more than eight bytes
  // Whatever a record holds, its own line reads back as that record.
  const JournalRecord record{contentHash(text), std::string(text.substr(0, 40)), std::string(text.substr(0, 60))};
  if (!record.settings.empty() && record.settings.find_first_of(" \t\r\n\f\v\"") == std::string::npos &&
      record.file.find_first_of("\r\n") == std::string::npos) {
    const RunJournal back = RunJournal::parse(formatJournalRecord(record));
    if (back.size() != 1 || !back.completed(record)) std::abort();
  }
  static const std::string kList = "   1    1 \nx.nmc \n";
  const auto list =
      kvo::fuzz::writeInput("journal.mrl", reinterpret_cast<const unsigned char*>(kList.data()), kList.size());
  (void)kvo::fuzz::writeInput("journal.mrl.journal", data, size);
  RunListWalk walk;
  walk.compute = [](const std::string&, const SoundingParameters&, std::string&) { return EntryStatus::Written; };
  (void)walkRunList(list, RunListFormat::User, walk);
  return 0;
}
