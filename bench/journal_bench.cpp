// The bookkeeping of a run list per entry: recording an entry completed
// (journal line appended under the lock and flushed to disk, the journal
// read again, the list's start entry rewritten), for lists of 100 and 900
// entries, and reading a journal of N records.
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "runlist/run_journal.h"
#include "runlist/run_list_walker.h"

namespace {

namespace fs = std::filesystem;
using namespace kvo::core;

fs::path benchFolder() {
  const fs::path folder = fs::temp_directory_path() / ("kvo_journal_bench_" + std::to_string(::getpid()));
  fs::remove_all(folder);
  fs::create_directories(folder);
  return folder;
}

// A list of `entries` parameter files (small files of distinct contents).
fs::path makeList(const fs::path& folder, int entries) {
  RunList list;
  for (int i = 1; i <= entries; ++i) {
    const fs::path file = folder / ("model_" + std::to_string(i) + ".nmc");
    std::ofstream(file) << "model " << i << "\n";
    list.entries.push_back(file.string());
  }
  const fs::path path = folder / "grid.mrl";
  writeRunList(path, RunListFormat::User, list);
  return path;
}

// Records every entry of a list once: the master's or a shard's cost per entry.
void BM_RecordEntries(benchmark::State& state) {
  const int entries = static_cast<int>(state.range(0));
  const fs::path folder = benchFolder();
  const fs::path list = makeList(folder, entries);
  for (auto _ : state) {
    state.PauseTiming();
    fs::remove(runJournalFile(list));
    RunList reset;
    readRunList(list, RunListFormat::User, reset);
    reset.start = 1;
    writeRunList(list, RunListFormat::User, reset);
    RunListSession session;
    session.open(list, RunListFormat::User, "classic");
    state.ResumeTiming();
    for (int n = 1; n <= entries; ++n) {
      if (session.recordWritten(n, session.hashNow(n))) state.SkipWithError("record failed");
    }
  }
  state.SetItemsProcessed(state.iterations() * entries);
  fs::remove_all(folder);
}
BENCHMARK(BM_RecordEntries)->Arg(100)->Arg(900)->Unit(benchmark::kMillisecond);

void BM_ReadJournal(benchmark::State& state) {
  const fs::path folder = benchFolder();
  const fs::path journal = folder / "grid.mrl.journal";
  {
    std::ofstream out(journal);
    for (long i = 0; i < state.range(0); ++i) {
      out << formatJournalRecord({contentHash(std::to_string(i)), "converged/0.001",
                                  "grid_WE_" + std::to_string(i) + "_NS_0.nmc"});
    }
  }
  std::string message;
  for (auto _ : state) benchmark::DoNotOptimize(RunJournal::read(journal, message));
  state.SetItemsProcessed(state.iterations() * state.range(0));
  fs::remove_all(folder);
}
BENCHMARK(BM_ReadJournal)->Arg(900)->Arg(10000)->Unit(benchmark::kMicrosecond);

}  // namespace
