#include "kernel_commands.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <optional>
#include <ostream>
#include <string_view>

#include "cli.h"
#include "compute/result_files.h"
#include "kernel/forward_model.h"
#include "kernel/kernel_file.h"
#include "model/number_text.h"

namespace kvo::cli {
namespace {

constexpr std::size_t kLargestTimeCount = 100000;
constexpr std::uint64_t kDefaultSeed = 1;

std::vector<std::string_view> pieces(std::string_view text, char separator) {
  std::vector<std::string_view> out;
  std::size_t start = 0;
  for (std::size_t pos; (pos = text.find(separator, start)) != std::string_view::npos; start = pos + 1) {
    out.push_back(text.substr(start, pos - start));
  }
  out.push_back(text.substr(start));
  return out;
}

std::optional<double> number(std::string_view text) {
  const auto v = core::parseFieldNumber(text);
  if (!v || !std::isfinite(*v)) return std::nullopt;
  return v;
}

struct ForwardArguments {
  std::string file;
  std::vector<core::WaterLayer> layers;
  std::vector<double> t2;
  bool haveTimes = false;
  double first = 0.0, last = 0.0;
  std::size_t count = 0;
  double noise = 0.0;
  std::uint64_t seed = kDefaultSeed;
  bool csv = false;
};

std::optional<std::string> parse(const std::vector<std::string>& args, ForwardArguments& a) {
  bool haveWater = false, haveSeed = false, haveNoise = false;
  for (std::size_t i = 1; i < args.size(); ++i) {
    const std::string& option = args[i];
    if (!option.starts_with("--")) {
      if (!a.file.empty()) return "a second result file \"" + option + "\" (one is read)";
      a.file = option;
      continue;
    }
    if (i + 1 >= args.size()) return "option " + option + " needs a value";
    const std::string& value = args[++i];
    if (option == "--water") {
      for (const std::string_view layer : pieces(value, ',')) {
        const auto parts = pieces(layer, ':');
        const auto top = parts.size() == 3 ? number(parts[0]) : std::nullopt;
        const auto bottom = parts.size() == 3 ? number(parts[1]) : std::nullopt;
        const auto content = parts.size() == 3 ? number(parts[2]) : std::nullopt;
        if (!top || !bottom || !content) {
          return "--water: \"" + std::string(layer) + "\" is not TOP:BOTTOM:CONTENT (m, m, a fraction)";
        }
        a.layers.push_back({*top, *bottom, *content, 0.0});
      }
      haveWater = true;
    } else if (option == "--t2") {
      for (const std::string_view t : pieces(value, ',')) {
        const auto v = number(t);
        if (!v || !(*v > 0.0)) return "--t2: \"" + std::string(t) + "\" is not a positive number of seconds";
        a.t2.push_back(*v);
      }
    } else if (option == "--times") {
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
    } else if (option == "--noise") {
      const auto v = number(value);
      if (!v || !(*v >= 0.0)) return "--noise: \"" + value + "\" is not a standard deviation in nV (0 or more)";
      a.noise = *v;
      haveNoise = true;
    } else if (option == "--seed") {
      std::uint64_t seed = 0;
      const auto [end, ec] = std::from_chars(value.data(), value.data() + value.size(), seed);
      if (ec != std::errc() || end != value.data() + value.size()) {
        return "--seed: \"" + value + "\" is not a whole number from 0 to 18446744073709551615";
      }
      a.seed = seed;
      haveSeed = true;
    } else if (option == "--format") {
      if (value != "tsv" && value != "csv") return "--format: \"" + value + "\" is neither tsv nor csv";
      a.csv = value == "csv";
    } else {
      return "unknown option \"" + option + "\"";
    }
  }
  if (a.file.empty()) return std::string("no result file given");
  if (!haveWater) return std::string("--water is missing");
  if (!a.t2.empty()) {
    if (!a.haveTimes) return std::string("--t2 needs --times (the times at which to give the decaying signal)");
    if (a.t2.size() != a.layers.size()) {
      return "--t2: " + std::to_string(a.t2.size()) + " values for " + std::to_string(a.layers.size()) +
             " water layers (one each)";
    }
    for (std::size_t i = 0; i < a.t2.size(); ++i) a.layers[i].t2 = a.t2[i];
  }
  if (haveSeed && !haveNoise) return std::string("--seed needs --noise");
  return std::nullopt;
}

}  // namespace

int forwardCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  ForwardArguments a;
  if (const auto problem = parse(args, a)) {
    err << "kvo-compute forward: " << *problem
        << "\nUsage: kvo-compute forward RESULT.mrm --water TOP:BOTTOM:CONTENT[,...] [--t2 T2[,...]]\n"
           "       [--times FIRST:LAST:COUNT] [--noise SIGMA_NV] [--seed N] [--format tsv|csv]\n";
    return kExitBadInput;
  }
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

}  // namespace kvo::cli
