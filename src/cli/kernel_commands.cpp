#include "kernel_commands.h"

#include <cmath>
#include <cstdint>
#include <optional>
#include <ostream>
#include <string_view>

#include "cli.h"
#include "text_pieces.h"
#include "compute/result_files.h"
#include "kernel/forward_model.h"
#include "kernel/kernel_export.h"
#include "kernel/kernel_file.h"
#include "model/number_text.h"

namespace kvo::cli {
namespace {

constexpr std::size_t kLargestTimeCount = 100000;

std::optional<double> number(std::string_view text) {
  const auto v = core::parseFieldNumber(text);
  if (!v || !std::isfinite(*v)) return std::nullopt;
  return v;
}

// "A,B,C" with every repetition of the option joined: "--water A --water B" is "--water A,B".
std::string joined(const std::vector<std::string>& values) {
  std::string text;
  for (const std::string& v : values) text += (text.empty() ? "" : ",") + v;
  return text;
}

}  // namespace

std::optional<std::string> checkForwardArguments(const ForwardArguments& args, ForwardRequest& a) {
  if (args.files.empty()) return std::string("no result file given");
  if (args.files.size() > 1) return "a second result file \"" + args.files[1] + "\" (one is read)";
  a.file = args.files[0];
  if (args.water.empty()) return std::string("--water is missing");
  const std::string water = joined(args.water);
  for (const std::string_view layer : pieces(water, ',')) {
    const auto parts = pieces(layer, ':');
    const auto top = parts.size() == 3 ? number(parts[0]) : std::nullopt;
    const auto bottom = parts.size() == 3 ? number(parts[1]) : std::nullopt;
    const auto content = parts.size() == 3 ? number(parts[2]) : std::nullopt;
    if (!top || !bottom || !content) {
      return "--water: \"" + std::string(layer) + "\" is not TOP:BOTTOM:CONTENT (m, m, a fraction)";
    }
    a.layers.push_back({*top, *bottom, *content, 0.0});
  }
  std::vector<double> t2;
  if (!args.t2.empty()) {
    const std::string t2Text = joined(args.t2);
    for (const std::string_view t : pieces(t2Text, ',')) {
      const auto v = number(t);
      if (!v || !(*v > 0.0)) return "--t2: \"" + std::string(t) + "\" is not a positive number of seconds";
      t2.push_back(*v);
    }
  }
  if (!args.times.empty()) {
    const std::string& value = args.times;
    const auto parts = pieces(value, ':');
    const auto first = parts.size() == 3 ? number(parts[0]) : std::nullopt;
    const auto last = parts.size() == 3 ? number(parts[1]) : std::nullopt;
    const auto count = parts.size() == 3 ? number(parts[2]) : std::nullopt;
    if (!first || !last || !count || !(*first >= 0.0 && *last >= *first) || !(*count >= 1.0) ||
        *count != std::trunc(*count) || *count > static_cast<double>(kLargestTimeCount) ||
        (*count == 1.0 && *last != *first)) {
      return "--times: \"" + value + "\" is not FIRST:LAST:COUNT (s, 0 <= FIRST <= LAST, COUNT 1 to " +
             std::to_string(kLargestTimeCount) + ")";
    }
    a.haveTimes = true;
    a.first = *first;
    a.last = *last;
    a.count = static_cast<std::size_t>(*count);
  }
  if (!args.noise.empty()) {
    const auto v = number(args.noise);
    if (!v || !(*v >= 0.0)) return "--noise: \"" + args.noise + "\" is not a standard deviation in nV (0 or more)";
    a.noise = *v;
  }
  if (!args.seed.empty()) {
    const std::string& value = args.seed;
    const auto seed = core::parseWholeNumber<std::uint64_t>(value);
    if (!seed) return "--seed: \"" + value + "\" is not a whole number from 0 to 18446744073709551615";
    a.seed = *seed;
  }
  if (!args.format.empty()) {
    if (args.format != "tsv" && args.format != "csv") return "--format: \"" + args.format + "\" is neither tsv nor csv";
    a.csv = args.format == "csv";
  }
  if (!t2.empty()) {
    if (!a.haveTimes) return std::string("--t2 needs --times (the times at which to give the decaying signal)");
    if (t2.size() != a.layers.size()) {
      return "--t2: " + std::to_string(t2.size()) + " values for " + std::to_string(a.layers.size()) +
             " water layers (one each)";
    }
    for (std::size_t i = 0; i < t2.size(); ++i) a.layers[i].t2 = t2[i];
  }
  if (!args.seed.empty() && args.noise.empty()) return std::string("--seed needs --noise");
  return std::nullopt;
}

int forwardCommand(const ForwardRequest& a, std::ostream& out, std::ostream& err) {
  const core::KernelReadResult read = core::ReadKernelFile(a.file);
  if (!read.data) {
    err << "kvo-compute forward: " << read.message << "\n";
    return kExitBadInput;
  }
  const core::KernelData& kernel = *read.data;
  if (const auto problem = core::CheckWaterModel(kernel, a.layers)) {
    err << "kvo-compute forward: " << *problem << "\n";
    return kExitBadInput;
  }
  std::vector<double> times{0.0};
  if (a.haveTimes) {
    times.assign(a.count, a.first);
    for (std::size_t t = 1; t < a.count; ++t) {
      times[t] = a.first + (a.last - a.first) * static_cast<double>(t) / static_cast<double>(a.count - 1);
    }
  }
  std::vector<std::complex<double>> values = core::ForwardCube(kernel, a.layers, times);
  if (a.noise > 0.0) core::AddNoise(values, a.noise, a.seed);

  const char* sep = a.csv ? "," : "\t";
  out << "pulse_moment_Ams" << sep;
  if (a.haveTimes) out << "time_s" << sep;
  out << "re_nV" << sep << "im_nV" << sep << "amplitude_nV" << sep << "phase_deg\n";
  for (std::size_t p = 0; p < kernel.pulseMoments.size(); ++p) {
    for (std::size_t t = 0; t < times.size(); ++t) {
      const std::complex<double> v = values[p * times.size() + t];
      out << core::formatFixed(kernel.pulseMoments[p], 0, 4) << sep;
      if (a.haveTimes) out << core::formatFixed(times[t], 0, 6) << sep;
      out << core::formatFixed(v.real(), 0, 4) << sep << core::formatFixed(v.imag(), 0, 4) << sep
          << core::formatFixed(std::abs(v), 0, 4) << sep
          << core::formatFixed(core::kernelPhaseDegrees(v.real(), v.imag()), 0, 2) << "\n";
    }
  }
  return kExitOk;
}

std::optional<std::string> checkExportArguments(const ExportArguments& a, ExportRequest& r) {
  if (a.files.size() != 1) {
    return a.files.empty() ? std::string("no kernel archive given (NAME.npz, written beside NAME.mrm)")
                           : "a second file \"" + a.files[1] + "\" (one archive is exported)";
  }
  if (a.format != "mrsk" && a.format != "csv") {
    return a.format.empty() ? std::string("--format is missing (mrsk or csv)")
                            : "--format: \"" + a.format + "\" is neither mrsk nor csv";
  }
  r.archive = a.files.front();
  r.mrsk = a.format == "mrsk";
  if (!a.output.empty()) {
    r.output = a.output;
  } else {
    const std::size_t dot = r.archive.rfind('.');
    const std::size_t slash = r.archive.find_last_of('/');
    const std::string stem = dot != std::string::npos && (slash == std::string::npos || dot > slash)
                                 ? r.archive.substr(0, dot)
                                 : r.archive;
    r.output = stem + (r.mrsk ? ".mat" : ".csv");
  }
  if (r.output == r.archive) return "-o: \"" + r.output + "\" is the archive itself";
  return std::nullopt;
}

int exportCommand(const ExportRequest& r, std::ostream& out, std::ostream& err) {
  const auto problem = core::ExportKernelArchive(r.archive, r.output,
                                                 r.mrsk ? core::KernelExportFormat::Mrsk : core::KernelExportFormat::Csv);
  if (problem) {
    err << "kvo-compute export: " << *problem << "\n";
    return problem->rfind("Could not write", 0) == 0 ? kExitFailed : kExitBadInput;
  }
  out << "wrote " << r.output << "\n";
  return kExitOk;
}

}  // namespace kvo::cli
