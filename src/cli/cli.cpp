#include "cli.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <functional>
#include <iostream>
#include <memory>
#include <optional>
#include <stop_token>
#include <thread>

#include "compute_commands.h"
#include "field_command.h"
#include "help_formatter.h"
#include "kernel_commands.h"
#include "model/parameter_checks.h"
#include "model/parameter_file.h"

namespace kvo::cli {
namespace {

constexpr const char* kProgram = "kvo-compute";

constexpr const char* kSummary =
    "Surface NMR kernel modelling from the command line. A command's options may come before or after "
    "its file; \"kvo-compute COMMAND --help\" shows one command.";

constexpr const char* kExitCodes = "Exit codes: 0 success, 1 computation failed, 2 bad arguments or bad input.\n";

constexpr const char* kComputeHelp =
    "Compute the kernel of a parameter file (checked first as by validate) and write the result files "
    "beside it, as the desktop program's Run does: the file's name with its last three characters "
    "replaced by \"mrm\" (the kernel matrix) and, in the single-depth mode, by \"dat\" (the signal "
    "table). Shows progress on a terminal and prints the files written and a short table of the kernel. "
    "Ctrl-C stops after the current depth and writes nothing.";

constexpr const char* kRunListHelp =
    "Compute a run list from its start entry: the run-list working file (KVO_Run_List.ncc) or a run-list "
    "file (*.mrl). Each entry completed is recorded, with a hash of its parameter file, in the journal "
    "LIST.journal beside the list; an entry the journal holds with the same file contents and sampling "
    "is not computed again, a changed one is. After each entry the list's start entry is rewritten to "
    "the first entry not yet done, so an interrupted list resumes there; Ctrl-C (or SIGTERM) stops after "
    "the current depth and writes no half a result. Entries whose file cannot be read or fails the checks "
    "are reported and skipped.";

// The MPI farm's help, after "Usage: PROGRAM".
constexpr const char* kFarmHelp =
    " run-list FILE [--sampling classic|converged] [--tolerance T] [--threads N] [--quiet]\n"
    "\n"
    "Compute a run list (KVO_Run_List.ncc or *.mrl) with a farm of MPI processes,\n"
    "started by mpirun: mpirun -n 16 kvo-compute-mpi run-list grid.mrl --threads 1\n"
    "Process 0 hands the entries not yet completed out one at a time to whichever\n"
    "process is free, computes too, and alone records each entry completed in the\n"
    "list's journal (LIST.journal) and the list's start entry. The result files are\n"
    "those kvo-compute run-list writes. SIGINT or SIGTERM to mpirun stops every\n"
    "process after its current depth; the next run computes only what is missing.\n"
    "The summary gives the entries completed, skipped (completed before) and\n"
    "failed, the wall time and the entries per minute.\n"
    "\n"
    "Options:\n"
    "  --sampling classic|converged  as kvo-compute (default converged)\n"
    "  --tolerance T                 of the converged sampling (default 1e-3)\n"
    "  --threads N                   worker threads per process (default: all\n"
    "                                cores; 1 when the processes fill the cores)\n"
    "  -q, --quiet                   no line per entry\n"
    "  -h, --help                    this text\n"
    "  --version                     the version\n"
    "\n"
    "Exit codes: 0 every entry done, 1 an entry failed or the run was stopped,\n"
    "2 bad arguments or an unreadable list.\n";

constexpr const char* kValidateHelp =
    "Read a parameter file and apply every check a run applies (frequency, inclination, maximum depth, "
    "pulse duration, maximum pulse moment, layers, Tx and Rx loops). Prints \"OK\" and exits 0, or prints "
    "the first failing check's message and exits 2.";

constexpr const char* kFieldHelp =
    "The magnetic field of a unit current in a loop's wire over a layered earth. Reads field points "
    "\"x y z\" (m, z down) from standard input, one per line, and writes per point: x y z Re Hx Re Hy "
    "Re Hz Im Hx Im Hy Im Hz (A/m, \"%.9e\").";

constexpr const char* kForwardHelp =
    "The signal a water-content model gives through a computed kernel (a matrix file of this program or "
    "an earlier version). Prints per pulse moment (A-ms) the initial signal: real and imaginary parts "
    "and amplitude (nV) and phase (degrees). Tab-separated with a header line, or comma-separated with "
    "--format csv.";

constexpr const char* kExportHelp =
    "A kernel archive (NAME.npz, written beside every NAME.mrm) in another tool's format: mrsk, a MATLAB "
    "file with the struct kdata (K: pulse moments x layers, complex, V per unit water content of each "
    "layer; model.z: the layers' lower boundaries, m; measure.pm_vec: pulse moments, A s), or csv, a "
    "plain table of the same layer kernel.";

// Every argument of every command, as typed; one parse fills them.
struct Arguments {
  ComputeArguments compute;  // the top-level form, FILE.nmc
  ComputeArguments runList;
  std::vector<std::string> validateFiles;
  FieldArguments field;
  ForwardArguments forward;
  ExportArguments exporting;
  std::vector<std::string> helpTopics;
};

// An option with one value. CLI11 would take the next argument as the value
// even when it is another option; taken as optional here, a missing value
// stays empty and is reported by name (missingValueOrUnknown).
CLI::Option* valueOption(CLI::App& app, const std::string& name, std::string& value, const std::string& valueName,
                         const std::string& description) {
  return app.add_option(name, value, description)->type_name(valueName)->expected(0, 1)->take_last();
}

// The same for an option whose values accumulate when it is repeated.
CLI::Option* listOption(CLI::App& app, const std::string& name, std::vector<std::string>& values,
                        const std::string& valueName, const std::string& description) {
  return app.add_option(name, values, description)
      ->type_name(valueName)
      ->expected(0, 1)
      ->allow_extra_args(false)
      ->take_all();
}

void addComputeOptions(CLI::App& app, ComputeArguments& a, bool withResultFile) {
  app.add_option("FILE", a.files);
  if (withResultFile) {
    valueOption(app, "-o", a.resultFile, "RESULT.mrm",
                "Name the result files after RESULT.mrm instead of the parameter file.");
  }
  valueOption(app, "--sampling", a.sampling, "classic|converged",
              "converged (the default: every depth and pulse moment integrated to the tolerance, the physical "
              "Bloch-Siegert shift; a separate receiver on sloping ground is still computed with the classic "
              "sampling, and the summary says so) or classic (the scheme of earlier versions, to reproduce "
              "their results).");
  valueOption(app, "--tolerance", a.tolerance, "T",
              "Of the converged sampling, relative to each depth's largest |K| (default 1e-3, from 1e-6 to "
              "0.1); the summary gives the error estimate.");
  valueOption(app, "--threads", a.threads, "N",
              "The number of worker threads (default: all cores); the result is the same for any number.");
  app.add_flag("-q,--quiet", a.quiet,
               "Print less: no progress, no table of the kernel, no line per entry of a run list.");
}

// The command tree of kvo-compute over one set of Arguments.
class CommandLine {
 public:
  CommandLine() : m_app(kComputeHelp, kProgram), m_help(std::make_shared<HelpFormatter>(kProgram, kSummary, kExitCodes)) {
    // Set before the sub-commands are made: they inherit both.
    m_app.formatter(m_help);
    m_app.set_help_flag("-h,--help", "Show this text.");
    m_app.allow_extras();
    m_app.require_subcommand(0, 1);  // a second command's name is an argument of the first
    m_app.set_version_flag("--version", std::string(kProgram) + " " + KVO_VERSION);
    addComputeOptions(m_app, m_args.compute, true);
    m_help->addCommand("Computing a parameter file", &m_app, "FILE.nmc",
                       "[-o RESULT.mrm] [--sampling classic|converged] [--tolerance T] [--threads N] [--quiet]");

    runList = m_app.add_subcommand("run-list", kRunListHelp);
    addComputeOptions(*runList, m_args.runList, false);
    valueOption(*runList, "--shard", m_args.runList.shard, "I/N",
                "Compute only entries I, I+N, I+2N, ... of the list (1-based): one task of a job array. "
                "Shards may run at once on several machines over a shared folder.");
    runList->add_flag("--sbatch", m_args.runList.sbatch,
                      "Compute nothing: print a Slurm batch script that computes the list as a job array "
                      "(sbatch SCRIPT), one --shard per array task.");
    valueOption(*runList, "--shards", m_args.runList.shards, "N",
                "Of --sbatch: the number of array tasks (default: one per entry not yet completed, at most "
                "1000); --threads gives each task's cpus-per-task (default 1).");
    m_help->addCommand("Computing a run list", runList, "run-list",
                       "FILE [--sampling classic|converged] [--tolerance T] [--threads N] [--quiet] "
                       "[--shard I/N | --sbatch [--shards N]]");

    validate = m_app.add_subcommand("validate", kValidateHelp);
    validate->add_option("FILE", m_args.validateFiles);
    m_help->addCommand("Checking a parameter file", validate, "validate", "FILE.nmc");

    field = m_app.add_subcommand("field", kFieldHelp);
    valueOption(*field, "--frequency", m_args.field.frequency, "HZ", "The frequency of the current (Hz).");
    listOption(*field, "--layers", m_args.field.layers, "BOTTOM:RES[,BOTTOM:RES...]",
               "The bottom depth in m and resistivity in ohm-m of each layer, the first pair being the thin top "
               "layer, e.g. 0.02:1e8,10:100,40:5,0:50; the last layer is a half-space; at most 8 layers.");
    valueOption(*field, "--loop", m_args.field.loop, "TYPE:SIZE[:SEPARATION]",
                "The loop, its wire built as a computation builds it: TYPE 1 circular, 2 square, 3 eight, "
                "4 eight square; SIZE in m (1 to 500), truncated to whole metres; SEPARATION between the parts "
                "of an eight, m.");
    m_help->addCommand("The field of a loop", field, "field",
                       "--frequency HZ --layers BOTTOM:RES[,BOTTOM:RES...] --loop TYPE:SIZE[:SEPARATION]");

    forward = m_app.add_subcommand("forward", kForwardHelp);
    forward->add_option("RESULT", m_args.forward.files);
    listOption(*forward, "--water", m_args.forward.water, "TOP:BOTTOM:CONTENT[,...]",
               "Each layer from TOP to BOTTOM (m, within the kernel's depths, not overlapping) holds the water "
               "content CONTENT (a fraction, 0 to 1); the kernel is linear in depth between its nodes.");
    listOption(*forward, "--t2", m_args.forward.t2, "T2[,...]",
               "The decay time T2* of each water layer (s, one per layer): with --times, prints the decaying "
               "signal V(q, t) instead of the initial one.");
    valueOption(*forward, "--times", m_args.forward.times, "FIRST:LAST:COUNT",
                "COUNT times from FIRST to LAST (s) at which to give the decaying signal.");
    valueOption(*forward, "--noise", m_args.forward.noise, "SIGMA_NV",
                "Adds Gaussian noise of that standard deviation (nV) to the real and imaginary parts.");
    valueOption(*forward, "--seed", m_args.forward.seed, "N",
                "The noise's seed: the same noise for the same seed (default 1).");
    valueOption(*forward, "--format", m_args.forward.format, "tsv|csv",
                "Tab-separated (tsv, the default) or comma-separated (csv).");
    m_help->addCommand("The signal of a water model", forward, "forward",
                       "RESULT.mrm --water TOP:BOTTOM:CONTENT[,...] [--t2 T2[,...]] [--times FIRST:LAST:COUNT] "
                       "[--noise SIGMA_NV] [--seed N] [--format tsv|csv]");

    exporting = m_app.add_subcommand("export", kExportHelp);
    exporting->add_option("ARCHIVE", m_args.exporting.files);
    valueOption(*exporting, "--format", m_args.exporting.format, "mrsk|csv",
                "mrsk (a MATLAB file, as MATLAB inversion tool chains read kernels) or csv.");
    valueOption(*exporting, "-o", m_args.exporting.output, "OUTPUT",
                "The file to write (default: the archive's name with .mat or .csv).");
    m_help->addCommand("A kernel for other tools", exporting, "export", "NAME.npz --format mrsk|csv [-o OUTPUT]");

    help = m_app.add_subcommand("help", "Show this text, or one command's.");
    help->add_option("COMMAND", m_args.helpTopics);
    m_help->addLine("Help", "help [COMMAND]", "Show this text, or one command's (as COMMAND --help does).");
    m_help->addLine("Help", "--help, -h", "Show this text.");
    m_help->addLine("Help", "--version", "Show the program's version.");
  }
  CommandLine(const CommandLine&) = delete;
  CommandLine& operator=(const CommandLine&) = delete;

  // Parses `args` (without the program's name); throws CLI::ParseError.
  void parse(const std::vector<std::string>& args) {
    std::vector<std::string> reversed(args.rbegin(), args.rend());  // CLI11 takes them last first
    m_app.parse(reversed);
  }

  const CLI::App& root() const { return m_app; }
  // The sub-command given, or the root for the top-level form.
  const CLI::App* chosen() const {
    const auto given = m_app.get_subcommands();
    return given.empty() ? &m_app : given.front();
  }
  const Arguments& args() const { return m_args; }
  const HelpFormatter& formatter() const { return *m_help; }
  std::string wholeHelp() const { return m_help->make_help(&m_app, kProgram, CLI::AppFormatMode::Normal); }

  CLI::App* runList = nullptr;
  CLI::App* validate = nullptr;
  CLI::App* field = nullptr;
  CLI::App* forward = nullptr;
  CLI::App* exporting = nullptr;
  CLI::App* help = nullptr;

 private:
  Arguments m_args;
  CLI::App m_app;
  std::shared_ptr<HelpFormatter> m_help;
};

// What CLI11 lets through and every command refuses alike: an unknown
// option, an option without its value, an argument with no place.
std::optional<std::string> generalProblem(const CLI::App& command) {
  const std::vector<std::string> left = command.remaining();
  for (const std::string& arg : left) {
    if (arg != "--" && arg.starts_with('-')) return "unknown option \"" + arg + "\"";
  }
  for (const CLI::Option* o : command.get_options()) {
    if (!o->nonpositional() || o->get_type_size_max() == 0) continue;
    for (const std::string& value : o->results()) {
      if (value.empty()) return "option " + o->get_name() + " needs a value";
    }
  }
  for (const std::string& arg : left) {
    if (arg != "--") return "unexpected argument \"" + arg + "\"";
  }
  return std::nullopt;
}

// Arguments of the top-level form given before a sub-command's name.
std::optional<std::string> givenBeforeCommand(const CommandLine& line, const CLI::App& command) {
  const std::string where = " comes before the command " + command.get_name() + " (its arguments follow it)";
  if (!line.args().compute.files.empty()) return "\"" + line.args().compute.files.front() + "\"" + where;
  for (const CLI::Option* o : line.root().get_options()) {
    if (o->nonpositional() && o->count() > 0) return o->get_name() + where;
  }
  for (const std::string& arg : line.root().remaining()) return "\"" + arg + "\"" + where;
  return std::nullopt;
}

int validateCommand(const std::vector<std::string>& files, std::ostream& out, std::ostream& err) {
  core::SoundingParameters params;
  if (const auto problem = core::readCheckedParameterFile(files.front(), params)) {
    err << problem->message << "\n";
    return kExitBadInput;
  }
  out << "OK\n";
  return kExitOk;
}

}  // namespace

namespace {
// The signal handler may only set a flag; a small thread of the bridge turns
// the flag into a stop request.
std::atomic<bool> g_interrupted{false};
extern "C" void onInterrupt(int) { g_interrupted.store(true); }
}  // namespace

InterruptBridge::InterruptBridge() {
  g_interrupted.store(false);
  m_previous = std::signal(SIGINT, onInterrupt);
  m_previousTerm = std::signal(SIGTERM, onInterrupt);
  m_watcher = std::jthread([this](std::stop_token done) {
    while (!done.stop_requested()) {
      if (g_interrupted.load()) {
        m_stop.request_stop();
        return;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
  });
}

InterruptBridge::~InterruptBridge() {
  m_watcher.request_stop();
  m_watcher.join();
  std::signal(SIGINT, m_previous);
  std::signal(SIGTERM, m_previousTerm);
}

std::optional<int> parseRunListArguments(const std::vector<std::string>& args, const std::string& program,
                                         ComputeRequest& request, std::ostream& out, std::ostream& err) {
  CommandLine line;
  auto bad = [&](const std::string& what) {
    err << program << ": " << what << "\n";
    return kExitBadInput;
  };
  if (args.empty()) return bad("no command given (run-list FILE)");
  try {
    line.parse(args);
  } catch (const CLI::CallForHelp&) {
    out << "Usage: " << program << kFarmHelp;
    return kExitOk;
  } catch (const CLI::CallForVersion&) {
    out << program << " " << KVO_VERSION << "\n";
    return kExitOk;
  } catch (const CLI::ParseError& e) {
    return bad(e.what());
  }
  const CLI::App* command = line.chosen();
  if (command != line.runList) return bad("the only command is run-list FILE");
  if (auto problem = givenBeforeCommand(line, *command)) return bad(*problem);
  if (auto problem = generalProblem(*command)) return bad(*problem);
  if (auto problem = checkComputeArguments(line.args().runList, request)) return bad(*problem);
  if (request.shard || request.sbatch) {
    return bad("--shard and --sbatch are for kvo-compute; the farm hands the entries out itself");
  }
  return std::nullopt;
}

int runCli(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  return runCli(args, std::cin, out, err);
}

int runCli(const std::vector<std::string>& args, std::istream& in, std::ostream& out, std::ostream& err) {
  CommandLine line;
  if (args.empty()) {
    err << kProgram << ": no command given\n\n" << line.wholeHelp();
    return kExitBadInput;
  }
  try {
    line.parse(args);
  } catch (const CLI::CallForHelp&) {
    out << line.root().help();
    return kExitOk;
  } catch (const CLI::CallForVersion& version) {
    out << version.what() << "\n";
    return kExitOk;
  } catch (const CLI::ParseError& e) {
    err << kProgram << ": " << e.what() << "\n";
    return kExitBadInput;
  }

  const CLI::App* command = line.chosen();
  const Arguments& a = line.args();
  const bool topLevel = command == &line.root();
  // A parameter file to compute: a name ending in ".nmc", or any existing file.
  if (topLevel && !a.compute.files.empty()) {
    const std::string& first = a.compute.files.front();
    std::error_code ec;
    if (!first.ends_with(".nmc") && !std::filesystem::is_regular_file(first, ec)) {
      err << kProgram << ": unknown command \"" << first << "\"\n\n" << line.wholeHelp();
      return kExitBadInput;
    }
  }
  const std::string prefix = std::string(kProgram) + (topLevel ? "" : " " + command->get_name()) + ": ";
  auto badArguments = [&](const std::string& message) {
    err << prefix << message << "\n" << line.formatter().usage(command);
    return kExitBadInput;
  };
  if (!topLevel) {
    if (const auto problem = givenBeforeCommand(line, *command)) return badArguments(*problem);
  }
  if (const auto problem = generalProblem(*command)) return badArguments(*problem);

  if (command == line.help) {
    if (a.helpTopics.empty()) {
      out << line.wholeHelp();
      return kExitOk;
    }
    const auto commands = line.root().get_subcommands(std::function<bool(const CLI::App*)>());
    const auto topic = std::find_if(commands.begin(), commands.end(), [&](const CLI::App* sub) {
      return sub->get_name() == a.helpTopics.front();
    });
    if (topic == commands.end()) return badArguments("\"" + a.helpTopics.front() + "\" is not a command");
    if (a.helpTopics.size() > 1) return badArguments("\"" + a.helpTopics[1] + "\": one command at a time");
    out << (*topic)->help();
    return kExitOk;
  }
  if (command == line.validate) {
    if (a.validateFiles.size() != 1) {
      return badArguments("expected one parameter file, got " + std::to_string(a.validateFiles.size()));
    }
    return validateCommand(a.validateFiles, out, err);
  }
  if (command == line.field) {
    FieldRequest request;
    if (const auto problem = checkFieldArguments(a.field, request)) return badArguments(*problem);
    return fieldCommand(request, in, out, err);
  }
  if (command == line.forward) {
    ForwardRequest request;
    if (const auto problem = checkForwardArguments(a.forward, request)) return badArguments(*problem);
    return forwardCommand(request, out, err);
  }
  if (command == line.exporting) {
    ExportRequest request;
    if (const auto problem = checkExportArguments(a.exporting, request)) return badArguments(*problem);
    return exportCommand(request, out, err);
  }
  ComputeRequest request;
  if (const auto problem = checkComputeArguments(topLevel ? a.compute : a.runList, request)) {
    return badArguments(*problem);
  }
  InterruptBridge interrupt;
  return topLevel ? computeCommand(request, out, err, interrupt.token())
                  : runListCommand(request, out, err, interrupt.token());
}

}  // namespace kvo::cli
