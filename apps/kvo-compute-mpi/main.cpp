// kvo-compute-mpi: a run list computed by a farm of MPI processes.
//
//   mpirun -n N kvo-compute-mpi run-list FILE [--threads T] [--sampling S] [--tolerance T] [--quiet]
//
// Process 0 is the master: it reads the list and its journal, hands the
// entries not yet completed out one at a time to whichever process asks,
// records every outcome (the journal and the list's start entry are written
// by it alone) and prints the summary. Every process computes, the master
// too, in a thread of its own beside the one that talks to the others. The
// result files are those of kvo-compute run-list, written by the process
// that computed the entry. SIGINT or SIGTERM (mpirun passes its own on)
// stops every process after its current depth: a stopped entry writes
// nothing, and the next run computes only what is missing.

#include <mpi.h>
#include <sched.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <deque>
#include <iostream>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "cli.h"
#include "model/number_text.h"
#include "compute_commands.h"
#include "farm_messages.h"
#include "runlist/run_journal.h"
#include "runlist/run_list_walker.h"

namespace kvo::farm {
namespace {

constexpr char kProgram[] = "kvo-compute-mpi";
constexpr int kMaster = 0;
constexpr int kTagRequest = 1;  // to the master: the last entry's report and a request for the next
constexpr int kTagAssign = 2;   // from the master: the next entry, or none
// How long a waiting process sleeps between looks at its mailbox: MPI's own
// blocking calls spin, which would take a core from the computations (mpirun
// binds up to two processes to one core each, the master's computing thread
// and its dispatcher then share it). An entry takes a second or more, so a
// hand-out up to 10 ms late costs nothing.
constexpr auto kPoll = std::chrono::milliseconds(10);

using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

// Computes one entry and reports it. The parameter file's hash is taken
// before it is read, so that a file changed meanwhile is computed again by
// the next run rather than wrongly taken as done.
EntryReport computeEntry(const cli::ComputeRequest& request, const Assignment& entry, std::stop_token stop) {
  const auto start = Clock::now();
  EntryReport report;
  report.number = entry.number;
  std::string ignored;
  report.hash = core::fileContentHash(entry.file, ignored).value_or(std::string());
  core::SoundingParameters params;
  if (auto reason = core::loadRunListEntry(entry.file, params)) {
    report.status = core::EntryStatus::Skipped;
    report.message = *reason;
  } else {
    report.status = cli::computeRunListEntry(request, entry.file, params, stop, nullptr, std::cerr, report.message);
  }
  report.seconds = secondsSince(start);
  return report;
}

void send(const std::string& text, int to, int tag) {
  MPI_Send(text.data(), static_cast<int>(text.size()), MPI_CHAR, to, tag, MPI_COMM_WORLD);
}

// A message of `tag` if one is waiting; from any process when `from` is MPI_ANY_SOURCE.
std::optional<std::pair<int, std::string>> receiveIfWaiting(int from, int tag) {
  int waiting = 0;
  MPI_Status status;
  MPI_Iprobe(from, tag, MPI_COMM_WORLD, &waiting, &status);
  if (!waiting) return std::nullopt;
  int length = 0;
  MPI_Get_count(&status, MPI_CHAR, &length);
  std::string text(static_cast<std::size_t>(length), '\0');
  MPI_Recv(text.data(), length, MPI_CHAR, status.MPI_SOURCE, tag, MPI_COMM_WORLD, MPI_STATUS_IGNORE);
  return std::make_pair(status.MPI_SOURCE, std::move(text));
}

std::string receiveWaiting(int from, int tag) {
  for (;;) {
    if (auto message = receiveIfWaiting(from, tag)) return std::move(message->second);
    std::this_thread::sleep_for(kPoll);
  }
}

// Every process waits here for the others before MPI_Finalize, sleeping
// rather than spinning.
void waitForAll() {
  MPI_Request barrier;
  MPI_Ibarrier(MPI_COMM_WORLD, &barrier);
  int done = 0;
  for (;;) {
    MPI_Test(&barrier, &done, MPI_STATUS_IGNORE);
    if (done) return;
    std::this_thread::sleep_for(kPoll);
  }
}

// The processes other than the master: ask, compute, report, until told
// there is nothing more.
void worker(const cli::ComputeRequest& request, std::stop_token stop) {
  EntryReport last;
  for (;;) {
    send(packReport(last), kMaster, kTagRequest);
    const auto entry = unpackAssignment(receiveWaiting(kMaster, kTagAssign));
    if (!entry || entry->number == 0) return;
    last = computeEntry(request, *entry, stop);
  }
}

// The master's own computing thread: takes one entry at a time.
class LocalWorker {
 public:
  LocalWorker(const cli::ComputeRequest& request, std::stop_token stop)
      : m_thread([this, request, stop](std::stop_token quit) { run(request, stop, quit); }) {}
  ~LocalWorker() { m_thread.request_stop(); }
  bool busy() const { return m_busy; }
  void assign(Assignment entry) {
    {
      const std::lock_guard lock(m_mutex);
      m_entry = std::move(entry);
    }
    m_busy = true;
    m_wake.notify_all();
  }
  std::optional<EntryReport> takeReport() {
    const std::lock_guard lock(m_mutex);
    if (!m_report) return std::nullopt;
    m_busy = false;
    return std::exchange(m_report, std::nullopt);
  }

 private:
  void run(const cli::ComputeRequest& request, std::stop_token stop, std::stop_token quit) {
    for (;;) {
      Assignment entry;
      {
        std::unique_lock lock(m_mutex);
        if (!m_wake.wait(lock, quit, [&] { return m_entry.has_value(); })) return;
        entry = std::move(*std::exchange(m_entry, std::nullopt));
      }
      EntryReport report = computeEntry(request, entry, stop);
      const std::lock_guard lock(m_mutex);
      m_report = std::move(report);
    }
  }

  std::mutex m_mutex;
  std::condition_variable_any m_wake;
  std::optional<Assignment> m_entry;
  std::optional<EntryReport> m_report;
  bool m_busy = false;  // used by the master's thread only
  std::jthread m_thread;
};

struct Tally {
  int completed = 0, before = 0, failed = 0, stopped = 0;
};

// The master: hands out the entries, records the outcomes, prints the summary.
int master(const cli::ComputeRequest& request, int processes, std::stop_token stop) {
  const auto start = Clock::now();
  core::RunListSession session;
  const std::string settings = core::samplingTag(request.sampling, request.tolerance);
  const auto openError = session.open(request.file, cli::runListFormat(request.file), settings);
  if (openError) std::cerr << kProgram << ": " << *openError << "\n";
  if (!openError && session.fulfilled()) std::cout << core::kRunListFulfilled << "\n";
  Tally tally;
  std::deque<int> queue;
  if (!openError) {
    for (int n = session.begin(); n <= session.total(); ++n) {
      if (session.completedAsOpened(n)) {
        ++tally.before;
      } else {
        queue.push_back(n);
      }
    }
  }
  // The first failure to write the journal or the start entry is reported
  // and ends the handing out.
  std::string journalError;
  auto noteJournalError = [&](const std::optional<std::string>& error) {
    if (!error || !journalError.empty()) return;
    journalError = *error;
    std::cerr << kProgram << ": " << *error << "\n";
  };
  auto record = [&](const EntryReport& r, int process) {
    const std::string& file = session.entry(r.number);
    std::optional<std::string> error;
    switch (r.status) {
      case core::EntryStatus::Written:
        ++tally.completed;
        if (!request.quiet) {
          std::cout << "entry " << r.number << "/" << session.total() << ": " << file << ": computed by process "
                    << process << " in " << core::formatFixed(r.seconds, 0, 2) << " s\n"
                    << std::flush;
        }
        error = session.recordWritten(r.number, r.hash);
        break;
      case core::EntryStatus::Failed:
      case core::EntryStatus::Skipped:
        ++tally.failed;
        std::cerr << "entry " << r.number << " " << (r.status == core::EntryStatus::Failed ? "failed" : "skipped")
                  << ": " << (r.message.empty() ? file : r.message) << "\n"
                  << std::flush;
        error = session.recordTried(r.number);
        break;
      case core::EntryStatus::Stopped:
      case core::EntryStatus::Completed: ++tally.stopped; break;
    }
    noteJournalError(error);
  };
  auto next = [&]() -> Assignment {
    if (stop.stop_requested() || queue.empty() || !journalError.empty()) return {};
    const int n = queue.front();
    queue.pop_front();
    return {n, session.entry(n)};
  };

  cli::ComputeRequest quiet = request;  // no progress bars between the lines
  quiet.quiet = true;
  LocalWorker local(quiet, stop);
  if (Assignment first = next(); first.number > 0) local.assign(std::move(first));
  int remoteActive = processes - 1;
  while (remoteActive > 0 || local.busy()) {
    bool moved = false;
    if (auto report = local.takeReport()) {
      record(*report, kMaster);
      if (Assignment entry = next(); entry.number > 0) local.assign(std::move(entry));
      moved = true;
    }
    if (auto message = receiveIfWaiting(MPI_ANY_SOURCE, kTagRequest)) {
      const auto report = unpackReport(message->second);
      if (report && report->number > 0 && report->number <= session.total()) record(*report, message->first);
      const Assignment entry = next();
      if (entry.number == 0) --remoteActive;
      send(packAssignment(entry), message->first, kTagAssign);
      moved = true;
    }
    if (!moved) std::this_thread::sleep_for(kPoll);
  }
  if (!openError) noteJournalError(session.refreshStart());
  if (openError) return cli::kExitBadInput;

  const double wall = secondsSince(start);
  const int notComputed = tally.stopped + static_cast<int>(queue.size());
  std::cout << "Run list " << request.file << ": " << std::max(0, session.total() - session.begin() + 1)
            << " entries from entry " << session.begin() << ": " << tally.completed << " completed, "
            << tally.before << " skipped (completed before), " << tally.failed << " failed";
  if (notComputed > 0) std::cout << ", " << notComputed << " not computed (stopped)";
  std::cout << "; wall time " << core::formatFixed(wall, 0, 2) << " s, "
            << core::formatFixed(wall > 0 ? 60.0 * tally.completed / wall : 0.0, 0, 1) << " entries per minute, "
            << processes << (processes == 1 ? " process, " : " processes, ")
            << (request.threads == 1 ? std::string("1 thread") : std::to_string(request.threads) + " threads")
            << " each\n";
  if (notComputed > 0) {
    std::cerr << kProgram << ": stopped; the list resumes at entry " << session.startEntry() << "\n";
  }
  return tally.failed > 0 || notComputed > 0 || !journalError.empty() ? cli::kExitFailed : cli::kExitOk;
}

}  // namespace
}  // namespace kvo::farm

int main(int argc, char** argv) {
  using namespace kvo;
  // Arguments first: help, version and bad arguments need no MPI.
  cli::ComputeRequest request;
  if (auto code = cli::parseRunListArguments({argv + 1, argv + argc}, farm::kProgram, request, std::cout, std::cerr)) {
    return *code;
  }
  int provided = 0;
  if (MPI_Init_thread(&argc, &argv, MPI_THREAD_FUNNELED, &provided) != MPI_SUCCESS) {
    std::cerr << farm::kProgram << ": MPI could not be started\n";
    return cli::kExitFailed;
  }
  int rank = 0, processes = 1;
  MPI_Comm_rank(MPI_COMM_WORLD, &rank);
  MPI_Comm_size(MPI_COMM_WORLD, &processes);
  // Only the master prints the kernel's progress and entries.
  request.quiet = request.quiet || rank != farm::kMaster;
  // mpirun may bind a process to fewer cores than the machine has: "all
  // cores" means the cores this process may run on, and more threads than
  // those only take turns.
  cpu_set_t cores;
  CPU_ZERO(&cores);
  if (::sched_getaffinity(0, sizeof cores, &cores) == 0) {
    const int usable = CPU_COUNT(&cores);
    if (request.threads == 0) {
      request.threads = usable;
    } else if (request.threads > usable && rank == farm::kMaster) {
      std::cerr << farm::kProgram << ": each process may run on " << usable << (usable == 1 ? " core" : " cores")
                << " but computes with " << request.threads << " threads; start mpirun with --bind-to none or "
                << "--map-by slot:PE=" << request.threads << "\n";
    }
  }
  int code = cli::kExitOk;
  {
    const cli::InterruptBridge interrupt;
    if (rank == farm::kMaster) {
      code = farm::master(request, processes, interrupt.token());
    } else {
      farm::worker(request, interrupt.token());
    }
  }
  farm::waitForAll();
  // Every process ends with the master's code: mpirun reports the first non-zero one.
  MPI_Bcast(&code, 1, MPI_INT, farm::kMaster, MPI_COMM_WORLD);
  MPI_Finalize();
  return code;
}
