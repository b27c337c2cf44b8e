#pragma once
// NumPy archives (".npz": a zip of ".npy" arrays, as numpy.savez writes
// them), written and read with libzip. Only what kernel archives need:
// little-endian float64 ('<f8'), complex128 ('<c16') and unicode strings
// ('<U n'), C order, any shape.
//
// .npy layout (format 1.0): the magic "\x93NUMPY", the version bytes 1 0, a
// little-endian uint16 header length, the header (a Python dict literal
// with 'descr', 'fortran_order' and 'shape', padded with blanks and ended
// by a newline so that the data start on a multiple of 64 bytes), then the
// data.

#include <complex>
#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace kvo::core {

struct NpyArray {
  enum class Type { Float64, Complex128, Unicode };
  Type type = Type::Float64;
  std::vector<std::size_t> shape;  // empty: a scalar (0-d array)
  std::vector<double> reals;                   // Float64
  std::vector<std::complex<double>> complexes;  // Complex128
  std::u32string text;                          // Unicode (one string)

  std::size_t count() const;
  static NpyArray scalar(double v);
  static NpyArray vector(std::vector<double> v);
  static NpyArray matrix(std::size_t rows, std::size_t columns, std::vector<double> v);
  static NpyArray complexMatrix(std::size_t rows, std::size_t columns, std::vector<std::complex<double>> v);
  static NpyArray string(const std::string& ascii);
};

struct NpzEntry {
  std::string name;  // without ".npy"
  NpyArray array;
};

// The bytes of one .npy file.
std::string EncodeNpy(const NpyArray& array);
// Parses one .npy file; on failure returns nothing and sets `message`.
std::optional<NpyArray> DecodeNpy(const std::string& bytes, std::string& message);

// Writes the archive to a temporary file beside `path` and renames it over
// `path`; on failure returns the message (naming `path`) and leaves `path`
// as it was.
std::optional<std::string> WriteNpz(const std::string& path, const std::vector<NpzEntry>& entries);
// The same in two steps, so that an archive can be made while other files
// are written: its bytes, made in memory (on failure returns why, without a
// file name), then the bytes written as above.
std::optional<std::string> EncodeNpz(const std::vector<NpzEntry>& entries, std::string& bytes);
std::optional<std::string> WriteNpzBytes(const std::string& path, const std::string& bytes);
// The message for an archive at `path` that could not be made or written.
std::string NpzWriteMessage(const std::string& path, const std::string& why);

// Reads the arrays of an archive (at most `largestBytes` uncompressed in
// all); on failure returns nothing and sets `message` (naming `path` and the
// entry).
std::optional<std::vector<NpzEntry>> ReadNpz(const std::string& path, std::string& message,
                                             std::size_t largestBytes = 64u << 20);

}  // namespace kvo::core
