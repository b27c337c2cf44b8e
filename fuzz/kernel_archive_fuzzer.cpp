// Kernel archives read back (NAME.npz): the input as one .npy array, and as
// a whole archive file read as a kernel (the zip layer, each array, the keys
// and shapes a kernel archive must have).
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "kernel/kernel_archive.h"
#include "kernel/npz_archive.h"

namespace {
std::string g_path;
}

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  g_path = (std::filesystem::temp_directory_path() / ("kvo_fuzz_archive_" + std::to_string(::getpid()) + ".npz")).string();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, std::size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  std::string message;
  (void)kvo::core::DecodeNpy(bytes, message);
  {
    std::ofstream out(g_path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  }
  (void)kvo::core::ReadKernelArchive(g_path);
  std::remove(g_path.c_str());
  return 0;
}
