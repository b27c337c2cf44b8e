// The point reader of "kvo-compute field": any text on standard input is
// read, or refused with the line named, and computes only finite points.
#include <cstdlib>
#include <sstream>
#include <string>

#include "cli.h"

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, std::size_t size) {
  if (size > 4000) return 0;  // keeps each run short: the field of every point is computed
  std::istringstream in(std::string(reinterpret_cast<const char*>(data), size));
  std::ostringstream out, err;
  const int code = kvo::cli::runCli(
      {"field", "--frequency", "2000", "--layers", "0.02:1e8,10:100,0:30", "--loop", "2:20"}, in, out, err);
  if (code == kvo::cli::kExitOk && out.str().find("nan") != std::string::npos) std::abort();
  return 0;
}
