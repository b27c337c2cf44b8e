#include "kernel/kernel_archive.h"

#include <algorithm>
#include <cmath>

#include "kernel/forward_model.h"
#include "kernel/npz_archive.h"

namespace kvo::core {
namespace {

using Complex = std::complex<double>;

constexpr double kNanoVoltsPerUnit = 10000.0;  // the matrix file's factor
constexpr double kVoltsPerNanoVolt = 1e-9;

const NpyArray* find(const std::vector<NpzEntry>& entries, const std::string& name) {
  for (const NpzEntry& e : entries) {
    if (e.name == name) return &e.array;
  }
  return nullptr;
}

}  // namespace

std::string KernelArchiveName(const std::string& matrixFile) {
  return (matrixFile.size() >= 3 ? matrixFile.substr(0, matrixFile.size() - 3) : std::string()) + "npz";
}

std::vector<NpzEntry> KernelArchiveEntries(const KernelArchiveInput& in) {
  const std::size_t pulses = kKernelMoments;
  const std::size_t nodes = in.depthCount;
  const SoundingParameters& p = *in.params;
  // The nodes as a kernel in nV/m, to integrate over the layers.
  KernelData k;
  std::vector<Complex> nodeValues(pulses * nodes);
  for (std::size_t q = 0; q < pulses; ++q) {
    k.pulseMoments.push_back((*in.pulseMoments)[q]);
    for (std::size_t z = 0; z < nodes; ++z) {
      nodeValues[q * nodes + z] = {in.kernel->re[q][z], in.kernel->im[q][z]};
    }
  }
  for (std::size_t z = 0; z < nodes; ++z) k.depths.push_back((*in.depths)[z]);
  for (const Complex& v : nodeValues) k.values.push_back(kNanoVoltsPerUnit * v);

  std::vector<double> bounds;
  if (nodes == 1) {
    bounds = {k.depths[0] - 0.5, k.depths[0] + 0.5};
  } else {
    bounds.push_back(0.0);
    for (std::size_t z = 0; z + 1 < nodes; ++z) bounds.push_back(0.5 * (k.depths[z] + k.depths[z + 1]));
    bounds.push_back(k.depths.back());
  }
  const std::size_t layers = bounds.size() - 1;
  std::vector<Complex> layerKernel(pulses * layers);
  for (std::size_t q = 0; q < pulses; ++q) {
    for (std::size_t l = 0; l < layers; ++l) {
      Complex v;
      if (nodes == 1) {
        v = k.at(q, 0);
      } else {
        // Constant above the first node, linear between nodes.
        const double top = std::max(bounds[l], k.depths.front());
        v = DepthIntegral(k, q, top, bounds[l + 1]) + std::max(0.0, k.depths.front() - bounds[l]) * k.at(q, 0);
      }
      layerKernel[q * layers + l] = kVoltsPerNanoVolt * v;
    }
  }
  std::vector<double> momentsSeconds, section;
  for (const double q : k.pulseMoments) momentsSeconds.push_back(q / 1000.0);
  std::size_t rows = 0;
  for (int r = 0; r < in.layers->count && r < static_cast<int>(in.layers->bottom.size()); ++r, ++rows) {
    section.push_back(in.layers->bottom[static_cast<std::size_t>(r)]);
    section.push_back(in.layers->resistivity[static_cast<std::size_t>(r)]);
  }
  return {
      {"pulseMoments", NpyArray::vector(momentsSeconds)},
      {"zVector", NpyArray::vector(bounds)},
      {"kernel", NpyArray::complexMatrix(pulses, layers, layerKernel)},
      {"depths", NpyArray::vector(k.depths)},
      {"kernelNodes", NpyArray::complexMatrix(pulses, nodes, nodeValues)},
      {"frequency", NpyArray::scalar(p.computing[kLarmorFrequency])},
      {"inclination", NpyArray::scalar(p.computing[kInclination])},
      {"pulseDuration", NpyArray::scalar(p.computing[kPulseDuration] / 1000.0)},
      {"layers", NpyArray::matrix(rows, 2, section)},
      {"transmitterLoop", NpyArray::vector(std::vector<double>(p.tx.begin(), p.tx.end()))},
      {"receiverLoop", NpyArray::vector(std::vector<double>(p.rx.begin(), p.rx.end()))},
      {"version", NpyArray::string(in.version)},
  };
}

std::optional<std::string> WriteKernelArchive(const std::string& path, const KernelArchiveInput& in) {
  return WriteNpz(path, KernelArchiveEntries(in));
}

std::optional<std::string> EncodeKernelArchive(const KernelArchiveInput& in, std::string& bytes) {
  return EncodeNpz(KernelArchiveEntries(in), bytes);
}

KernelReadResult ReadKernelArchive(const std::string& path) {
  std::string message;
  const auto entries = ReadNpz(path, message);
  if (!entries) return {std::nullopt, message};
  const auto need = [&](const std::string& name, NpyArray::Type type, std::size_t rank) -> const NpyArray* {
    const NpyArray* a = find(*entries, name);
    if (a == nullptr) {
      message = path + ": no array \"" + name + "\" (not a kernel archive of this program)";
    } else if (a->type != type || a->shape.size() != rank) {
      message = path + ": \"" + name + "\" has another type or shape than a kernel archive's";
      a = nullptr;
    }
    return a;
  };
  const NpyArray* moments = need("pulseMoments", NpyArray::Type::Float64, 1);
  const NpyArray* depths = moments ? need("depths", NpyArray::Type::Float64, 1) : nullptr;
  const NpyArray* nodes = depths ? need("kernelNodes", NpyArray::Type::Complex128, 2) : nullptr;
  if (!nodes) return {std::nullopt, message};
  if (nodes->shape[0] != moments->count() || nodes->shape[1] != depths->count() || depths->count() == 0 ||
      moments->count() == 0) {
    return {std::nullopt, path + ": \"kernelNodes\" does not match the pulse moments and depths"};
  }
  KernelData d;
  d.source = path;
  for (const double q : moments->reals) d.pulseMoments.push_back(1000.0 * q);
  d.depths = depths->reals;
  for (const Complex& v : nodes->complexes) d.values.push_back(kNanoVoltsPerUnit * v);
  for (const double v : d.pulseMoments) {
    if (!std::isfinite(v)) return {std::nullopt, path + ": a pulse moment that is not a number"};
  }
  for (const double v : d.depths) {
    if (!std::isfinite(v)) return {std::nullopt, path + ": a depth that is not a number"};
  }
  for (const Complex& v : d.values) {
    if (!std::isfinite(v.real()) || !std::isfinite(v.imag())) return {std::nullopt, path + ": a kernel value that is not a number"};
  }
  const auto scalar = [&](const char* name, double& out) {
    const NpyArray* a = find(*entries, name);
    if (a && a->type == NpyArray::Type::Float64 && a->reals.size() == 1) out = a->reals[0];
  };
  scalar("frequency", d.frequency);
  scalar("inclination", d.inclination);
  const NpyArray* tx = find(*entries, "transmitterLoop");
  if (tx && tx->type == NpyArray::Type::Float64 && tx->reals.size() >= 2) {
    d.txType = static_cast<int>(std::clamp(tx->reals[0], -1e9, 1e9));
    d.txSize = tx->reals[1];
  }
  const NpyArray* layers = find(*entries, "layers");
  if (layers && layers->type == NpyArray::Type::Float64 && layers->shape.size() == 2 && layers->shape[1] == 2) {
    for (std::size_t r = 0; r < layers->shape[0]; ++r) d.layers.push_back({layers->reals[2 * r], layers->reals[2 * r + 1]});
  }
  d.hasHeader = true;
  d.fullPrecision = true;
  return {std::move(d), {}};
}

}  // namespace kvo::core
