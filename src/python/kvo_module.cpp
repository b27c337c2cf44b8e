// The Python module kvo: read parameter files, compute kernels (the GIL
// released, progress and Ctrl-C handled on the calling thread), loop fields
// and forward responses, with numpy arrays in and out. Every refusal is a
// Python exception carrying the command line's message: ValueError for bad
// input, OSError for a file that cannot be read or written, RuntimeError for
// a computation that failed.
#include <pybind11/complex.h>
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <span>
#include <stop_token>
#include <thread>

#include <unistd.h>

#include "compute/compute_sounding.h"
#include "compute/sampling.h"
#include "numerics/setup_tables.h"
#include "kernel/forward_model.h"
#include "kernel/kernel_archive.h"
#include "model/parameter_checks.h"
#include "numerics/loop_field.h"

namespace py = pybind11;
using namespace kvo::core;

namespace {

using Complex = std::complex<double>;

[[noreturn]] void raiseOsError(const std::string& message) {
  PyErr_SetString(PyExc_OSError, message.c_str());
  throw py::error_already_set();
}

// The records of a parameter set, by the names the dict uses.
template <typename P, typename F>
void forEachRecord(P& p, F f) {
  f("tx", std::span(p.tx));
  f("rx", std::span(p.rx));
  f("computing", std::span(p.computing));
  f("section", std::span(p.section));
  f("target", std::span(p.target));
  f("slope", std::span(p.slope));
  f("frequency_shift", std::span(p.frequencyShift));
}

SoundingParameters readParameters(const std::string& path) {
  SoundingParameters p;
  if (const auto problem = readCheckedParameterFile(path, p)) {
    std::error_code ec;
    if (!problem->failedCheck && !std::filesystem::is_regular_file(path, ec)) raiseOsError(problem->message);
    throw py::value_error(problem->message);
  }
  return p;
}

py::dict toDict(SoundingParameters p) {
  py::dict d;
  forEachRecord(p, [&](const char* name, auto values) { d[name] = std::vector<double>(values.begin(), values.end()); });
  return d;
}

SoundingParameters fromDict(const py::dict& d) {
  SoundingParameters p = defaultSoundingParameters();
  for (const auto& item : d) {
    bool known = false;
    const std::string key = py::str(item.first);
    forEachRecord(p, [&](const char* name, auto values) {
      if (key != name) return;
      known = true;
      const auto given = item.second.cast<std::vector<double>>();
      if (given.size() > values.size()) {
        throw py::value_error("parameters[\"" + key + "\"]: " + std::to_string(given.size()) + " values, at most " +
                              std::to_string(values.size()));
      }
      std::fill(values.begin(), values.end(), 0.0);
      std::copy(given.begin(), given.end(), values.begin());
    });
    if (!known) throw py::value_error("parameters: unknown record \"" + key + "\"");
  }
  if (const auto problem = checkStoredParameters(p)) throw py::value_error(*problem);
  return p;
}

// Progress of the worker threads, read by the calling thread.
class AtomicProgress : public ComputeProgress {
 public:
  void fieldMaximum(int m) override { m_fieldMaximum = m; }
  void fieldPosition(int p) override { m_field = p; }
  void layerMaximum(int m) override { m_layerMaximum = m; }
  void layerPosition(int p) override { m_layer = p; }
  // 0..1 over both bars.
  double fraction() const {
    const double f = m_fieldMaximum > 0 ? static_cast<double>(m_field) / m_fieldMaximum : 0.0;
    const double l = m_layerMaximum > 0 ? static_cast<double>(m_layer) / m_layerMaximum : 0.0;
    return std::min(1.0, 0.5 * (std::min(f, 1.0) + std::min(l, 1.0)));
  }

 private:
  std::atomic<int> m_fieldMaximum{0}, m_field{0}, m_layerMaximum{0}, m_layer{0};
};

template <typename T>
py::array_t<T> toArray(const std::vector<T>& v, std::vector<py::ssize_t> shape) {
  py::array_t<T> a(shape);
  std::copy(v.begin(), v.end(), a.mutable_data());
  return a;
}

py::array arrayOf(const NpyArray& a) {
  std::vector<py::ssize_t> shape(a.shape.begin(), a.shape.end());
  if (a.type == NpyArray::Type::Complex128) return toArray(a.complexes, shape);
  return toArray(a.reals, shape);
}

// The result of compute(): the arrays of the kernel archive a computation
// writes, the same bits.
struct Kernel {
  py::dict arrays;
  std::string sampling;
  double errorEstimate = 0.0;
  std::vector<std::string> files;
};

Kernel compute(const py::object& source, int threads, const py::object& progress, const std::string& sampling,
               double tolerance, const std::optional<std::string>& resultFile) {
  SoundingParameters params;
  std::string name = "kvo.nmc";
  if (py::isinstance<py::dict>(source)) {
    params = fromDict(source.cast<py::dict>());
  } else {
    name = py::str(source);
    params = readParameters(name);
  }
  const auto chosen = parseSampling(sampling);
  if (!chosen) throw py::value_error("sampling: \"" + sampling + "\" is neither classic nor converged");
  if (!validTolerance(tolerance)) throw py::value_error("tolerance: " + std::to_string(tolerance) + " is not from 1e-6 to 0.1");
  if (threads < 0) throw py::value_error("threads: " + std::to_string(threads) + " is not 0 (all cores) or more");

  // Without a result file the files go to a folder of their own, removed
  // afterwards.
  namespace fs = std::filesystem;
  const fs::path scratch = fs::temp_directory_path() / ("kvo_python_" + std::to_string(::getpid()) + "_" +
                                                        std::to_string(reinterpret_cast<std::uintptr_t>(&params)));
  fs::create_directories(scratch);
  struct Cleanup {
    fs::path dir;
    ~Cleanup() {
      std::error_code ec;
      fs::remove_all(dir, ec);
    }
  } cleanup{scratch};

  ComputeOptions options;
  options.sampling = *chosen;
  options.tolerance = tolerance;
  options.threads = threads;
  options.workingFolder = scratch.string();
  options.resultFile = resultFile ? *resultFile : (scratch / "kernel.mrm").string();
  AtomicProgress bars;
  options.progress = &bars;
  std::stop_source stop;
  options.stop = stop.get_token();

  ComputeResult result;
  std::atomic<bool> done{false};
  {
    std::jthread worker([&] {
      result = ComputeSounding((scratch / fs::path(name).filename()).string(), params, options);
      done = true;
    });
    double reported = -1.0;
    while (!done) {
      {
        py::gil_scoped_release release;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
      }
      if (PyErr_CheckSignals() != 0) {
        stop.request_stop();
        {
          py::gil_scoped_release release;
          worker.join();
        }
        throw py::error_already_set();
      }
      const double f = bars.fraction();
      if (!progress.is_none() && f > reported) {
        reported = f;
        progress(f);
      }
    }
  }
  if (result.status == ComputeStatus::BadInput) throw py::value_error(result.message);
  if (result.status == ComputeStatus::Stopped) throw py::value_error("the computation was stopped");
  if (result.status == ComputeStatus::FieldFailed) throw std::runtime_error(result.message);
  if (!result.kernel) throw std::runtime_error(result.message);
  if (!progress.is_none()) progress(1.0);

  KernelArchiveInput input;
  LayerArrays layers = BuildLayerArrays(params.section);
  input.kernel = result.kernel.get();
  input.pulseMoments = &result.pulseMoments;
  input.depths = &result.depths;
  input.depthCount = result.depthCount;
  input.params = &params;
  input.layers = &layers;
  input.version = KVO_VERSION;
  Kernel k;
  for (const NpzEntry& e : KernelArchiveEntries(input)) {
    if (e.array.type != NpyArray::Type::Unicode) k.arrays[e.name.c_str()] = arrayOf(e.array);
  }
  k.sampling = std::string(samplingName(result.sampling));
  k.errorEstimate = result.errorEstimate;
  if (resultFile) k.files = result.filesWritten;
  if (result.status == ComputeStatus::FileFailed) raiseOsError(result.message);
  return k;
}

// A kernel given to forward(): a compute() result, or a result file.
KernelData kernelOf(const py::object& kernel) {
  if (py::isinstance<Kernel>(kernel)) {
    const Kernel& k = kernel.cast<const Kernel&>();
    KernelData d;
    d.source = "the computed kernel";
    const auto moments = k.arrays["pulseMoments"].cast<std::vector<double>>();
    for (const double q : moments) d.pulseMoments.push_back(1000.0 * q);
    d.depths = k.arrays["depths"].cast<std::vector<double>>();
    const auto nodes = k.arrays["kernelNodes"].cast<py::array_t<Complex>>();
    for (py::ssize_t i = 0; i < nodes.size(); ++i) d.values.push_back(1e4 * nodes.data()[i]);
    return d;
  }
  const std::string path = py::str(kernel);
  const KernelReadResult r = ReadKernelFile(path);
  if (!r.data) {
    std::error_code ec;
    if (!std::filesystem::is_regular_file(path, ec)) raiseOsError(r.message);
    throw py::value_error(r.message);
  }
  return *r.data;
}

py::array forward(const py::object& kernel, const std::vector<std::tuple<double, double, double>>& water,
                  const std::optional<std::vector<double>>& t2, const std::optional<std::vector<double>>& times) {
  const KernelData k = kernelOf(kernel);
  std::vector<WaterLayer> layers;
  for (const auto& [top, bottom, content] : water) layers.push_back({top, bottom, content, 0.0});
  if (t2) {
    if (!times) throw py::value_error("t2 needs times (the times at which to give the decaying signal)");
    if (t2->size() != layers.size()) {
      throw py::value_error("t2: " + std::to_string(t2->size()) + " values for " + std::to_string(layers.size()) +
                            " water layers (one each)");
    }
    for (std::size_t i = 0; i < layers.size(); ++i) layers[i].t2 = (*t2)[i];
  }
  if (const auto problem = CheckWaterModel(k, layers)) throw py::value_error(*problem);
  for (const double t : times.value_or(std::vector<double>{})) {
    if (!(t >= 0.0) || !std::isfinite(t)) throw py::value_error("times: each time must be 0 s or later");
  }
  const std::vector<double> at = times.value_or(std::vector<double>{0.0});
  const std::vector<Complex> v = ForwardCube(k, layers, at);
  if (!times) return toArray(v, {static_cast<py::ssize_t>(v.size())});
  return toArray(v, {static_cast<py::ssize_t>(k.pulseMoments.size()), static_cast<py::ssize_t>(at.size())});
}

py::array field(double frequency, const std::vector<std::pair<double, double>>& layers,
                const std::vector<double>& loop, const py::array_t<double, py::array::c_style | py::array::forcecast>& points) {
  LoopFieldRequest r;
  r.frequency = frequency;
  if (!(frequency > 0.0)) throw py::value_error("frequency: not a positive number of Hz");
  for (const auto& [bottom, resistivity] : layers) {
    if (!(resistivity > 0.0)) throw py::value_error("layers: each resistivity must be a positive number of ohm-m");
    r.bottoms.push_back(bottom);
    r.resistivities.push_back(resistivity);
  }
  if (loop.size() < 2 || loop.size() > 3) throw py::value_error("loop: (type, size[, separation]) is needed");
  r.loopType = static_cast<int>(loop[0]);
  r.loopSize = loop[1];
  r.separation = loop.size() == 3 ? loop[2] : 0.0;
  if (loop[0] != r.loopType || r.loopType < 1 || r.loopType > 4 || !(r.loopSize >= 1.0 && r.loopSize <= 500.0)) {
    throw py::value_error("loop: type 1 to 4 and size 1 to 500 m");
  }
  if (points.ndim() != 2 || points.shape(1) != 3) throw py::value_error("points: an (n, 3) array of x, y, z (m, z down)");
  for (py::ssize_t i = 0; i < points.shape(0); ++i) r.points.push_back({points.at(i, 0), points.at(i, 1), points.at(i, 2)});
  std::vector<SpaceVector> re, im;
  std::optional<std::string> problem;
  {
    py::gil_scoped_release release;
    problem = ComputeLoopField(r, re, im);
  }
  if (problem) throw std::runtime_error(*problem);
  py::array_t<Complex> out({points.shape(0), py::ssize_t{3}});
  for (py::ssize_t i = 0; i < points.shape(0); ++i) {
    for (py::ssize_t c = 0; c < 3; ++c) out.mutable_at(i, c) = Complex(re[i][c], im[i][c]);
  }
  return out;
}

}  // namespace

PYBIND11_MODULE(kvo, m) {
  m.doc() = "Surface NMR kernels: compute them, read them, and forward-model water-content profiles.";
  m.attr("__version__") = KVO_VERSION;

  py::class_<Kernel>(m, "Kernel", "A computed kernel: numpy arrays as in the NAME.npz archive.")
      .def_property_readonly("pulse_moments", [](const Kernel& k) { return k.arrays["pulseMoments"]; },
                             "pulse moments (A s)")
      .def_property_readonly("depths", [](const Kernel& k) { return k.arrays["depths"]; }, "depth nodes (m)")
      .def_property_readonly("kernel", [](const Kernel& k) { return k.arrays["kernelNodes"]; },
                             "complex kernel at the nodes (pulse moments x depths); times 10 000 in nV per metre of pure water")
      .def_property_readonly("layer_kernel", [](const Kernel& k) { return k.arrays["kernel"]; },
                             "complex signal (V) of each layer of z_vector filled with water: layer_kernel @ w is the signal")
      .def_property_readonly("z_vector", [](const Kernel& k) { return k.arrays["zVector"]; }, "layer boundaries (m)")
      .def_property_readonly("arrays", [](const Kernel& k) { return k.arrays; }, "every array, by the archive's keys")
      .def_property_readonly("sampling", [](const Kernel& k) { return k.sampling; })
      .def_property_readonly("error_estimate", [](const Kernel& k) { return k.errorEstimate; })
      .def_property_readonly("files", [](const Kernel& k) { return k.files; }, "the result files written");

  m.def("read_parameters", [](const std::string& path) { return toDict(readParameters(path)); }, py::arg("path"),
        "The seven records of a parameter file (checked as a run checks them), as lists by name.");
  m.def("compute", &compute, py::arg("parameters"), py::arg("threads") = 0, py::arg("progress") = py::none(),
        py::arg("sampling") = "converged", py::arg("tolerance") = kDefaultTolerance,
        py::arg("result_file") = py::none(),
        "Compute the kernel of a parameter file (a path) or of a dict of records. progress(fraction) is "
        "called as it goes; Ctrl-C stops it between depths. Files are written only with result_file.");
  m.def("forward", &forward, py::arg("kernel"), py::arg("water"), py::arg("t2") = py::none(),
        py::arg("times") = py::none(),
        "The signal (nV) of water layers [(top, bottom, content), ...] through a kernel (a compute() result "
        "or a result file); with t2 (s, one per layer) and times (s) the decaying signal, pulse moments x times.");
  m.def("field", &field, py::arg("frequency"), py::arg("layers"), py::arg("loop"), py::arg("points"),
        "The field (A/m per A, complex) of a loop (type, size[, separation]) over layers [(bottom, "
        "resistivity), ...] (the thin top layer first) at points (n, 3): an (n, 3) complex array.");
}
