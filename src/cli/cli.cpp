#include "cli.h"

#include <array>
#include <filesystem>
#include <atomic>
#include <chrono>
#include <csignal>
#include <thread>
#include <iostream>
#include <charconv>
#include <cmath>
#include <istream>
#include <ostream>
#include <sstream>
#include <string_view>
#include <vector>

#include "model/parameter_checks.h"
#include "compute_commands.h"
#include "kernel_commands.h"
#include "model/number_text.h"
#include "model/parameter_file.h"
#include "numerics/layered_field.h"
#include "numerics/loop_wire.h"

namespace kvo::cli {
namespace {

constexpr std::string_view kUsage =
    R"(Usage: kvo-compute COMMAND [ARGUMENTS]

Surface NMR kernel modelling from the command line.

Commands:
  FILE.nmc [-o RESULT.mrm] [--sampling classic|converged] [--tolerance T]
           [--threads N] [--quiet]
                      Compute the kernel of a parameter file (checked first as
                      by validate) and write the result files beside it, as
                      the desktop program's Run does: the file's name with its
                      last three characters replaced by "mrm" (the kernel
                      matrix) and, in the single-depth mode, by "dat" (the
                      signal table); or under RESULT.mrm. --threads: the
                      number of worker threads (default: all cores); the
                      result is the same for any number. Shows progress on a
                      terminal and prints the files written and a short table
                      of the kernel. Ctrl-C stops after the current depth and
                      writes nothing. --sampling: converged (the default:
                      every depth and pulse moment integrated to the
                      tolerance, the physical Bloch-Siegert shift; a
                      separate receiver on sloping ground is still computed
                      with the classic sampling, and the summary says so)
                      or classic (the scheme of
                      earlier versions, to reproduce their results).
                      --tolerance: of the converged
                      sampling, relative to each depth's largest |K|
                      (default 1e-3); the summary gives the error estimate.
  run-list FILE [--sampling S] [--tolerance T] [--threads N] [--quiet]
                      Compute a run list from its start entry: the run-list
                      working file (KVO_Run_List.ncc) or a run-list file
                      (*.mrl). After each entry the list's start entry is
                      rewritten, so an interrupted list resumes where it
                      stopped; Ctrl-C stops after the current depth and keeps
                      the start on the entry that was running. Entries whose
                      file cannot be read or fails the checks are reported and
                      skipped.
  validate FILE.nmc   Read a parameter file and apply every check a run applies
                      (frequency, inclination, maximum depth, pulse duration,
                      maximum pulse moment, layers, Tx and Rx loops). Prints
                      "OK" and exits 0, or prints the first failing check's
                      message and exits 2.
  field --frequency HZ --layers BOTTOM:RES[,BOTTOM:RES...] --loop TYPE:SIZE[:SEPARATION]
                      The magnetic field of a unit current in a loop's wire
                      (built as a computation builds it: TYPE 1 circular,
                      2 square, 3 eight, 4 eight square; SIZE in m, truncated
                      to whole metres; SEPARATION between the parts of an
                      eight, m) over a layered earth (bottom depth in m and
                      resistivity in ohm-m of each layer, the first pair
                      being the thin top layer, e.g. 0.02:1e8,10:100,40:5,0:50;
                      the last layer is a half-space). Reads field points
                      "x y z" (m, z down) from standard input, one per line,
                      and writes per point: x y z Re Hx Re Hy Re Hz Im Hx
                      Im Hy Im Hz (A/m, "%.9e").
  forward RESULT.mrm --water TOP:BOTTOM:CONTENT[,...] [--t2 T2[,...]]
          [--times FIRST:LAST:COUNT] [--noise SIGMA_NV] [--seed N] [--format tsv|csv]
                      The signal a water-content model gives through a
                      computed kernel (a matrix file of this program or an
                      earlier version): each layer from TOP to BOTTOM (m,
                      within the kernel's depths, not overlapping) holds the
                      water content CONTENT (a fraction, 0 to 1); the kernel
                      is linear in depth between its nodes. Prints per pulse
                      moment (A-ms) the initial signal: real and imaginary
                      parts and amplitude (nV) and phase (degrees). --t2 (s,
                      one per layer) with --times (s, COUNT times from FIRST
                      to LAST) prints the decaying signal V(q, t) instead;
                      --noise adds Gaussian noise of that standard deviation
                      (nV) to the real and imaginary parts, the same for the
                      same --seed (default 1). Tab-separated with a header
                      line, or comma-separated with --format csv.
  help, --help, -h    Show this text.
  --version           Show the program's version.

Exit codes: 0 success, 1 computation failed, 2 bad arguments or bad input.
)";

int validate(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  if (args.size() != 2) {
    err << "kvo-compute validate: expected one parameter file, got " << args.size() - 1
        << "\nUsage: kvo-compute validate FILE.nmc\n";
    return kExitBadInput;
  }
  core::SoundingParameters params;
  if (const auto problem = core::readCheckedParameterFile(args[1], params)) {
    err << problem->message << "\n";
    return kExitBadInput;
  }
  out << "OK\n";
  return kExitOk;
}

// Splits `text` at `separator`.
std::vector<std::string> split(std::string_view text, char separator) {
  std::vector<std::string> parts;
  std::size_t start = 0;
  for (std::size_t pos; (pos = text.find(separator, start)) != std::string_view::npos; start = pos + 1) {
    parts.emplace_back(text.substr(start, pos - start));
  }
  parts.emplace_back(text.substr(start));
  return parts;
}

std::string scientific9(double value) {
  std::array<char, 64> buf{};
  const auto [end, ec] = std::to_chars(buf.data(), buf.data() + buf.size(), value,
                                       std::chars_format::scientific, 9);
  return ec == std::errc() ? std::string(buf.data(), end) : std::string("nan");
}

struct FieldArguments {
  double frequency = 0.0;
  std::vector<double> bottoms;
  std::vector<double> resistivities;
  int type = 0;
  double size = 0.0;
  double separation = 0.0;
};

// Parses the options of `field`; the message names the option that is wrong.
std::optional<std::string> parseFieldArguments(const std::vector<std::string>& args, FieldArguments& a) {
  bool haveFrequency = false, haveLayers = false, haveLoop = false;
  for (std::size_t i = 1; i < args.size(); ++i) {
    const std::string& option = args[i];
    if (i + 1 >= args.size()) return "option " + option + " needs a value";
    const std::string& value = args[++i];
    if (option == "--frequency") {
      const auto f = core::parseFieldNumber(value);
      if (!f || !(*f > 0)) return "--frequency: \"" + value + "\" is not a positive number of Hz";
      a.frequency = *f;
      haveFrequency = true;
    } else if (option == "--layers") {
      for (const std::string& pair : split(value, ',')) {
        const auto parts = split(pair, ':');
        const auto bottom = parts.size() == 2 ? core::parseFieldNumber(parts[0]) : std::nullopt;
        const auto resistivity = parts.size() == 2 ? core::parseFieldNumber(parts[1]) : std::nullopt;
        if (!bottom || !resistivity || !(*resistivity > 0)) {
          return "--layers: \"" + pair + "\" is not BOTTOM:RESISTIVITY (m and a positive ohm-m)";
        }
        a.bottoms.push_back(*bottom);
        a.resistivities.push_back(*resistivity);
      }
      if (a.bottoms.size() > 8) return std::string("--layers: at most 8 layers, the top layer included");
      haveLayers = true;
    } else if (option == "--loop") {
      const auto parts = split(value, ':');
      const auto type = parts.size() >= 2 ? core::parseFieldNumber(parts[0]) : std::nullopt;
      const auto size = parts.size() >= 2 ? core::parseFieldNumber(parts[1]) : std::nullopt;
      const auto separation = parts.size() == 3 ? core::parseFieldNumber(parts[2]) : std::optional<double>(0.0);
      if (!type || !size || !separation || parts.size() > 3 || !(*type >= 1 && *type <= 4) ||
          *type != std::trunc(*type) || !(*size >= 1.0 && *size <= 500.0) ||
          !(std::fabs(*separation) <= 1000.0)) {
        return "--loop: \"" + value +
               "\" is not TYPE:SIZE[:SEPARATION] (type 1 to 4, size 1 to 500 m, separation -1000 to 1000 m)";
      }
      a.type = static_cast<int>(*type);
      a.size = *size;
      a.separation = *separation;
      haveLoop = true;
    } else {
      return "unknown option \"" + option + "\"";
    }
  }
  if (!haveFrequency) return std::string("--frequency is missing");
  if (!haveLayers) return std::string("--layers is missing");
  if (!haveLoop) return std::string("--loop is missing");
  return std::nullopt;
}

int field(const std::vector<std::string>& args, std::istream& in, std::ostream& out, std::ostream& err) {
  FieldArguments a;
  if (auto e = parseFieldArguments(args, a)) {
    err << "kvo-compute field: " << *e << "\n";
    return kExitBadInput;
  }
  core::LoopWireShape wire;
  if (core::LoopWire(a.type, std::trunc(a.size), wire, a.separation * 0.5) != 0) {
    err << "kvo-compute field: cannot build the wire of loop type " << a.type << "\n";
    return kExitBadInput;
  }
  // Read every point first: a bad line is refused before anything is written.
  std::vector<core::SpaceVector> points;
  std::string line;
  for (int number = 1; std::getline(in, line); ++number) {
    std::istringstream fields(line);
    std::vector<std::string> tokens;
    for (std::string t; fields >> t;) tokens.push_back(t);
    if (tokens.empty()) continue;
    core::SpaceVector p{};
    bool ok = tokens.size() == 3;
    for (std::size_t k = 0; ok && k < 3; ++k) {
      const auto v = core::parseFileNumber(tokens[k]);
      ok = v.has_value();
      if (ok) p[k] = *v;
    }
    if (!ok) {
      err << "kvo-compute field: line " << number << " of the points: \"" << line
          << "\" is not three numbers x y z\n";
      return kExitBadInput;
    }
    points.push_back(p);
  }
  const int layers = static_cast<int>(a.bottoms.size());
  const int segments = wire.segmentCount;
  // As many points per call as the component's block holds.
  const int perCall = std::min<int>((static_cast<int>(core::kFieldBlockFloats) - 1) / 6,
                                    (static_cast<int>(core::kFieldBlockFloats) - 6 - 2 * layers - 3 * (segments + 1)) / 3);
  std::vector<core::SpaceVector> re(points.size()), im(points.size());
  for (std::size_t first = 0; first < points.size(); first += static_cast<std::size_t>(perCall)) {
    const std::size_t count = std::min(points.size() - first, static_cast<std::size_t>(perCall));
    core::LayeredFieldRequest request;
    request.segmentCount = segments;
    request.frequency = a.frequency;
    request.wire = std::span<const core::SpaceVector>(wire.vertices.data(), static_cast<std::size_t>(segments) + 1);
    request.layerCount = layers;
    request.resistivities = a.resistivities;
    request.bottoms = a.bottoms;
    request.pointCount = static_cast<int>(count);
    request.points = std::span<const core::SpaceVector>(points).subspan(first, count);
    if (core::ComputeLayeredField(request, std::span(re).subspan(first, count),
                                  std::span(im).subspan(first, count)) != 0) {
      err << "kvo-compute field: the field computation failed for the points of lines "
          << first + 1 << " to " << first + count << "\n";
      return kExitFailed;
    }
  }
  for (std::size_t i = 0; i < points.size(); ++i) {
    std::string row;
    for (double v : points[i]) row += scientific9(v) + " ";
    for (double v : re[i]) row += scientific9(v) + " ";
    for (std::size_t k = 0; k < 3; ++k) row += scientific9(im[i][k]) + (k < 2 ? " " : "\n");
    out << row;
  }
  return kExitOk;
}

}  // namespace

// Ctrl-C asks a running computation to stop. The handler may only set a
// flag; a small thread turns the flag into a stop request.
std::atomic<bool> g_interrupted{false};

extern "C" void onInterrupt(int) { g_interrupted.store(true); }

class InterruptBridge {
 public:
  InterruptBridge() {
    g_interrupted.store(false);
    m_previous = std::signal(SIGINT, onInterrupt);
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
  ~InterruptBridge() {
    m_watcher.request_stop();
    m_watcher.join();
    std::signal(SIGINT, m_previous);
  }
  InterruptBridge(const InterruptBridge&) = delete;
  InterruptBridge& operator=(const InterruptBridge&) = delete;
  std::stop_token token() const { return m_stop.get_token(); }

 private:
  std::stop_source m_stop;
  void (*m_previous)(int) = SIG_DFL;
  std::jthread m_watcher;
};

int runCli(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  return runCli(args, std::cin, out, err);
}

int runCli(const std::vector<std::string>& args, std::istream& in, std::ostream& out, std::ostream& err) {
  if (args.empty()) {
    err << "kvo-compute: no command given\n\n" << kUsage;
    return kExitBadInput;
  }
  const std::string& command = args.front();
  if (command == "help" || command == "--help" || command == "-h") {
    out << kUsage;
    return kExitOk;
  }
  if (command == "--version") {
    out << "kvo-compute " << KVO_VERSION << "\n";
    return kExitOk;
  }
  if (command == "validate") return validate(args, out, err);
  if (command == "field") return field(args, in, out, err);
  if (command == "forward") return forwardCommand(args, out, err);
  if (command == "run-list") {
    InterruptBridge interrupt;
    return runListCommand(args, out, err, interrupt.token());
  }
  // A parameter file to compute: a name ending in ".nmc", or any existing file.
  std::error_code ec;
  if (command.ends_with(".nmc") || std::filesystem::is_regular_file(command, ec)) {
    InterruptBridge interrupt;
    return computeCommand(args, out, err, interrupt.token());
  }
  err << "kvo-compute: unknown command \"" << command << "\"\n\n" << kUsage;
  return kExitBadInput;
}

}  // namespace kvo::cli
