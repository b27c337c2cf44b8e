// Result files read back: the input is parsed as a matrix file and as a
// signal file; a matrix file that reads is put through a water model's
// forward response, as `kvo-compute forward` and the kernel window do.
#include <string_view>
#include <vector>

#include "kernel/forward_model.h"
#include "kernel/kernel_file.h"

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, std::size_t size) {
  using namespace kvo::core;
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const KernelReadResult matrix = ParseMatrixText(text, "fuzz.mrm");
  if (matrix.data && !matrix.data->singleDepth()) {
    const double top = matrix.data->depths.front(), bottom = matrix.data->depths.back();
    const std::vector<WaterLayer> layers{{top, top + 0.5 * (bottom - top), 0.2, 0.1}};
    if (!CheckWaterModel(*matrix.data, layers)) (void)ForwardCube(*matrix.data, layers, {0.0, 0.1});
  }
  (void)ParseSignalText(text, "fuzz.dat");
  return 0;
}
