#include "kernel/kernel_file.h"

#include <algorithm>
#include <cmath>
#include <filesystem>

#include "kernel/kernel_archive.h"
#include "model/number_text.h"
#include "util/atomic_file.h"

namespace kvo::core {
namespace {

constexpr std::size_t kPulses = 100;
constexpr std::size_t kDepths = 100;
constexpr std::size_t kLayerRows = 7;
// Matrix file: header, layer rows, pulse moment and depth rows, kernel rows.
constexpr std::size_t kMatrixLines = 1 + kLayerRows + kPulses + kPulses * kDepths;
constexpr std::size_t kSignalLines = 1 + kPulses;
// A file much larger than either is not one of them.
constexpr std::size_t kLargestFile = 16u << 20;

// The lines of a text, without their line ends (LF or CR LF); blank lines
// at the end are dropped.
std::vector<std::string_view> linesOf(std::string_view text) {
  std::vector<std::string_view> lines;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    lines.push_back(line);
    start = end + 1;
  }
  while (!lines.empty() && lines.back().find_first_not_of(" \t\r") == std::string_view::npos) lines.pop_back();
  return lines;
}

std::vector<std::string_view> tokensOf(std::string_view line) {
  std::vector<std::string_view> tokens;
  std::size_t i = 0;
  while (i < line.size()) {
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
    const std::size_t start = i;
    while (i < line.size() && line[i] != ' ' && line[i] != '\t') ++i;
    if (i > start) tokens.push_back(line.substr(start, i - start));
  }
  return tokens;
}

std::optional<long long> integerOf(std::string_view token) { return parseWholeNumber<long long>(token); }

std::optional<double> decimalOf(std::string_view token) {
  const auto value = parseFileNumber(token);
  if (!value || !std::isfinite(*value)) return std::nullopt;
  return value;
}

// Reads one line of values of the given kinds ('i' integer, 'd' decimal);
// on failure, the message says which line and what it should hold.
class LineReader {
 public:
  LineReader(const std::vector<std::string_view>& lines, const std::string& name) : m_lines(lines), m_name(name) {}

  bool read(std::size_t index, std::string_view kinds, std::string_view holds, std::vector<double>& out) {
    out.clear();
    const std::vector<std::string_view> tokens = tokensOf(m_lines[index]);
    if (tokens.size() != kinds.size()) {
      return fail(index, "expected " + std::string(holds) + " (" + std::to_string(kinds.size()) + " values), found " +
                             std::to_string(tokens.size()) + " values");
    }
    for (std::size_t k = 0; k < tokens.size(); ++k) {
      std::optional<double> value;
      if (kinds[k] == 'i') {
        const auto n = integerOf(tokens[k]);
        if (n) value = static_cast<double>(*n);
      } else {
        value = decimalOf(tokens[k]);
      }
      if (!value) {
        return fail(index, "\"" + std::string(tokens[k]) + "\" is not " +
                               (kinds[k] == 'i' ? "a whole number" : "a number") + " (expected " +
                               std::string(holds) + ")");
      }
      out.push_back(*value);
    }
    return true;
  }

  bool fail(std::size_t index, const std::string& what) {
    m_message = m_name + ": line " + std::to_string(index + 1) + ": " + what;
    return false;
  }
  const std::string& message() const { return m_message; }

 private:
  const std::vector<std::string_view>& m_lines;
  const std::string& m_name;
  std::string m_message;
};

KernelReadResult refused(std::string message) { return {std::nullopt, std::move(message)}; }

std::string lineCountMessage(const std::string& name, std::size_t found, std::size_t expected, const char* kind) {
  if (found < expected) {
    return name + ": the file ends after line " + std::to_string(found) + "; a " + kind + " has " +
           std::to_string(expected) + " lines (the file is truncated or not a " + kind + ")";
  }
  return name + ": line " + std::to_string(expected + 1) + ": more lines than a " + kind + " has (" +
         std::to_string(expected) + ")";
}

bool endsWith(const std::string& text, std::string_view tail) {
  return text.size() >= tail.size() && std::equal(tail.rbegin(), tail.rend(), text.rbegin(), [](char a, char b) {
           return std::tolower(static_cast<unsigned char>(a)) == b;
         });
}

std::optional<std::string> readText(const std::string& path, std::string& text) {
  std::string why;
  auto content = readSmallFile(path, kLargestFile, why);
  if (!content) return path + ": cannot be read (" + why + ")";
  text = std::move(*content);
  return std::nullopt;
}

// Whether an archive holds the kernel of a matrix file.
bool sameKernel(const KernelData& matrix, const KernelData& archive) {
  const auto rounded = [](double v) { return std::round(v * 1e4) / 1e4; };
  if (matrix.pulseMoments.size() != archive.pulseMoments.size() || matrix.depths.size() != archive.depths.size()) {
    return false;
  }
  for (std::size_t i = 0; i < matrix.pulseMoments.size(); ++i) {
    if (std::fabs(rounded(archive.pulseMoments[i]) - matrix.pulseMoments[i]) > 1e-3) return false;
  }
  for (std::size_t i = 0; i < matrix.depths.size(); ++i) {
    if (std::fabs(rounded(archive.depths[i]) - matrix.depths[i]) > 1e-3) return false;
  }
  for (std::size_t i = 0; i < matrix.values.size(); ++i) {
    if (std::fabs(std::trunc(archive.values[i].real()) - matrix.values[i].real()) > 1.0 ||
        std::fabs(std::trunc(archive.values[i].imag()) - matrix.values[i].imag()) > 1.0) {
      return false;
    }
  }
  return true;
}

}  // namespace

KernelReadResult ParseMatrixText(std::string_view text, const std::string& name) {
  const std::vector<std::string_view> lines = linesOf(text);
  if (lines.size() != kMatrixLines) return refused(lineCountMessage(name, lines.size(), kMatrixLines, "matrix file"));
  LineReader reader(lines, name);
  KernelData d;
  d.source = name;
  std::vector<double> v;
  std::size_t line = 0;
  if (!reader.read(line++, "iidd", "inclination, loop type, loop size, frequency", v)) return refused(reader.message());
  d.hasHeader = true;
  d.inclination = v[0];
  d.txType = static_cast<int>(std::clamp(v[1], -1e9, 1e9));
  d.txSize = v[2];
  d.frequency = v[3];
  for (std::size_t r = 0; r < kLayerRows; ++r) {
    if (!reader.read(line++, "dd", "a layer's bottom depth and resistivity", v)) return refused(reader.message());
    d.layers.push_back({v[0], v[1]});
  }
  std::vector<double> depths;
  for (std::size_t p = 0; p < kPulses; ++p) {
    if (!reader.read(line++, "dd", "a pulse moment and a depth", v)) return refused(reader.message());
    d.pulseMoments.push_back(v[0]);
    depths.push_back(v[1]);
  }
  // The single-depth mode writes its depth first and zeros after it.
  const bool single = std::all_of(depths.begin() + 1, depths.end(), [](double z) { return z == 0.0; });
  d.depths = single ? std::vector<double>{depths[0]} : depths;
  const std::size_t columns = d.depths.size();
  d.values.assign(kPulses * columns, {});
  for (std::size_t z = 0; z < kDepths; ++z) {
    for (std::size_t p = 0; p < kPulses; ++p) {
      if (!reader.read(line++, "ii", "the real and imaginary parts of a kernel value", v)) return refused(reader.message());
      if (z < columns) d.values[p * columns + z] = {v[0], v[1]};
    }
  }
  return {std::move(d), {}};
}

KernelReadResult ParseSignalText(std::string_view text, const std::string& name) {
  const std::vector<std::string_view> lines = linesOf(text);
  if (lines.size() != kSignalLines) return refused(lineCountMessage(name, lines.size(), kSignalLines, "signal file"));
  const std::vector<std::string_view> head = tokensOf(lines[0]);
  const std::vector<std::string_view> expected{"N", "Q", "Re(nV)", "Im(nV)", "Amplitude(nV)", "Phase(degr)"};
  if (head != expected) {
    return refused(name + ": line 1: expected the signal file's header \"N Q Re(nV) Im(nV) Amplitude(nV) Phase(degr)\"");
  }
  LineReader reader(lines, name);
  KernelData d;
  d.source = name;
  d.depths = {std::nan("")};  // a signal file does not say its depth
  std::vector<double> v;
  for (std::size_t p = 0; p < kPulses; ++p) {
    const std::size_t line = p + 1;
    if (!reader.read(line, "ididdd", "pulse number, pulse moment, real part, imaginary part, amplitude, phase", v)) {
      return refused(reader.message());
    }
    if (v[0] != static_cast<double>(p)) {
      reader.fail(line, "pulse number " + std::to_string(static_cast<long long>(v[0])) + " where " + std::to_string(p) +
                            " belongs");
      return refused(reader.message());
    }
    d.pulseMoments.push_back(v[1]);
    d.values.emplace_back(v[2], v[3]);
    d.amplitudes.push_back(v[4]);
    d.phases.push_back(v[5]);
  }
  return {std::move(d), {}};
}

KernelReadResult ReadKernelFile(const std::string& path) {
  if (endsWith(path, "npz")) return ReadKernelArchive(path);
  std::string text;
  if (auto problem = readText(path, text)) return refused(*problem);
  if (endsWith(path, "dat")) return ParseSignalText(text, path);
  KernelReadResult matrix = ParseMatrixText(text, path);
  if (!matrix.data || path.size() < 3) return matrix;
  KernelData& d = *matrix.data;
  const std::string stem = path.substr(0, path.size() - 3);
  // The signal table beside a single-depth matrix file: its amplitudes and
  // phases come from the unrounded kernel.
  std::string signalText;
  if (d.singleDepth() && !readText(stem + "dat", signalText)) {
    const KernelReadResult signal = ParseSignalText(signalText, stem + "dat");
    if (signal.data && signal.data->pulseMoments == d.pulseMoments && signal.data->values == d.values) {
      d.amplitudes = signal.data->amplitudes;
      d.phases = signal.data->phases;
    }
  }
  // The full-precision archive beside it, when it holds this kernel (the
  // same pulse moments and depths to the matrix file's decimals, every value
  // within the matrix file's truncation).
  std::error_code ec;
  if (std::filesystem::exists(stem + "npz", ec)) {
    const KernelReadResult archive = ReadKernelArchive(stem + "npz");
    if (archive.data && sameKernel(d, *archive.data)) {
      d.pulseMoments = archive.data->pulseMoments;
      d.depths = archive.data->depths;
      d.values = archive.data->values;
      d.fullPrecision = true;
    }
  }
  return matrix;
}

}  // namespace kvo::core
