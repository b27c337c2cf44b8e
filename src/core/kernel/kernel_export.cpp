#include "kernel/kernel_export.h"

#include <matio.h>

#include <complex>
#include <filesystem>
#include <random>
#include <sstream>
#include <vector>

#include "kernel/npz_archive.h"
#include "util/atomic_file.h"

namespace kvo::core {
namespace {

struct LayerKernel {
  std::vector<double> pulseMoments;  // A s
  std::vector<double> bounds;        // m, from 0 down
  std::vector<std::complex<double>> kernel;  // [q * layers + l], V
  std::size_t layers() const { return bounds.size() - 1; }
};

std::optional<std::string> load(const std::string& path, LayerKernel& out) {
  std::string message;
  const auto entries = ReadNpz(path, message);
  if (!entries) return message;
  const NpyArray *moments = nullptr, *z = nullptr, *kernel = nullptr;
  for (const NpzEntry& e : *entries) {
    if (e.name == "pulseMoments") moments = &e.array;
    if (e.name == "zVector") z = &e.array;
    if (e.name == "kernel") kernel = &e.array;
  }
  if (!moments || !z || !kernel || moments->type != NpyArray::Type::Float64 || z->type != NpyArray::Type::Float64 ||
      kernel->type != NpyArray::Type::Complex128 || moments->shape.size() != 1 || z->shape.size() != 1 ||
      kernel->shape.size() != 2 || z->count() < 2 || kernel->shape[0] != moments->count() ||
      kernel->shape[1] != z->count() - 1) {
    return path + ": not a kernel archive (pulseMoments, zVector and kernel of matching shapes are needed)";
  }
  out.pulseMoments = moments->reals;
  out.bounds = z->reals;
  out.kernel = kernel->complexes;
  return std::nullopt;
}

std::string csvText(const LayerKernel& k) {
  std::ostringstream s;
  s.precision(17);
  s << "pulse_moment_As";
  for (std::size_t l = 0; l < k.layers(); ++l) {
    s << ",re_" << k.bounds[l] << "_" << k.bounds[l + 1] << "m,im_" << k.bounds[l] << "_" << k.bounds[l + 1] << "m";
  }
  s << "\n";
  for (std::size_t q = 0; q < k.pulseMoments.size(); ++q) {
    s << k.pulseMoments[q];
    for (std::size_t l = 0; l < k.layers(); ++l) {
      const std::complex<double> v = k.kernel[q * k.layers() + l];
      s << "," << v.real() << "," << v.imag();
    }
    s << "\n";
  }
  return s.str();
}

// A struct with one field holding a column of doubles.
matvar_t* structOfColumn(const char* structName, const char* field, const std::vector<double>& values) {
  std::size_t one[2] = {1, 1};
  const char* fields[] = {field};
  matvar_t* s = Mat_VarCreateStruct(structName, 2, one, fields, 1);
  std::size_t dims[2] = {values.size(), 1};
  matvar_t* v = Mat_VarCreate(field, MAT_C_DOUBLE, MAT_T_DOUBLE, 2, dims, const_cast<double*>(values.data()), 0);
  Mat_VarSetStructFieldByName(s, field, 0, v);
  return s;
}

std::optional<std::string> writeMrsk(const std::string& path, const LayerKernel& k) {
  namespace fs = std::filesystem;
  std::random_device device;
  const fs::path target(path);
  const fs::path temporary = target.parent_path() / (target.filename().string() + ".tmp" + std::to_string(device()));
  mat_t* mat = Mat_CreateVer(temporary.c_str(), nullptr, MAT_FT_MAT5);
  if (mat == nullptr) return "Could not write MATLAB kernel file " + path;
  // MATLAB arrays are column-major: K(q, l) at q + l * Q.
  const std::size_t pulses = k.pulseMoments.size(), layers = k.layers();
  std::vector<double> re(pulses * layers), im(pulses * layers);
  for (std::size_t q = 0; q < pulses; ++q) {
    for (std::size_t l = 0; l < layers; ++l) {
      re[q + l * pulses] = k.kernel[q * layers + l].real();
      im[q + l * pulses] = k.kernel[q * layers + l].imag();
    }
  }
  const std::vector<double> lower(k.bounds.begin() + 1, k.bounds.end());
  std::size_t one[2] = {1, 1};
  const char* fields[] = {"K", "model", "measure"};
  matvar_t* kdata = Mat_VarCreateStruct("kdata", 2, one, fields, 3);
  std::size_t dims[2] = {pulses, layers};
  mat_complex_split_t split{re.data(), im.data()};
  Mat_VarSetStructFieldByName(kdata, "K", 0,
                              Mat_VarCreate("K", MAT_C_DOUBLE, MAT_T_DOUBLE, 2, dims, &split, MAT_F_COMPLEX));
  Mat_VarSetStructFieldByName(kdata, "model", 0, structOfColumn("model", "z", lower));
  Mat_VarSetStructFieldByName(kdata, "measure", 0, structOfColumn("measure", "pm_vec", k.pulseMoments));
  const int status = Mat_VarWrite(mat, kdata, MAT_COMPRESSION_NONE);
  Mat_VarFree(kdata);
  const int closed = Mat_Close(mat);
  std::error_code ec;
  if (status != 0 || closed != 0) {
    fs::remove(temporary, ec);
    return "Could not write MATLAB kernel file " + path;
  }
  fs::rename(temporary, target, ec);
  if (ec) {
    fs::remove(temporary, ec);
    return "Could not write MATLAB kernel file " + path + ": " + ec.message();
  }
  return std::nullopt;
}

}  // namespace

std::optional<std::string> ExportKernelArchive(const std::string& archivePath, const std::string& outPath,
                                               KernelExportFormat format) {
  LayerKernel k;
  if (auto problem = load(archivePath, k)) return problem;
  if (format == KernelExportFormat::Csv) {
    if (auto error = writeFileAtomically(outPath, csvText(k))) return "Could not write kernel table: " + *error;
    return std::nullopt;
  }
  return writeMrsk(outPath, k);
}

}  // namespace kvo::core
