#include "kernel/npz_archive.h"

#include <zip.h>

#include <bit>
#include <cstdint>
#include <cstring>
#include <memory>

#include "util/atomic_file.h"

namespace kvo::core {
namespace {

constexpr zip_uint16_t kFixedDosTime = 0;                  // 00:00:00
constexpr zip_uint16_t kFixedDosDate = (0 << 9) | (1 << 5) | 1;  // 1980-01-01


static_assert(std::endian::native == std::endian::little, "the archives are written as little-endian data");

constexpr char kMagic[] = "\x93NUMPY";
constexpr std::size_t kMagicLength = 6;
constexpr std::size_t kLargestShapeRank = 8;

std::string descrOf(const NpyArray& a) {
  switch (a.type) {
    case NpyArray::Type::Float64:
      return "<f8";
    case NpyArray::Type::Complex128:
      return "<c16";
    case NpyArray::Type::Unicode:
      return "<U" + std::to_string(std::max<std::size_t>(a.text.size(), 1));
  }
  return "";
}

std::string shapeText(const std::vector<std::size_t>& shape) {
  std::string s = "(";
  for (std::size_t i = 0; i < shape.size(); ++i) {
    s += std::to_string(shape[i]);
    s += shape.size() == 1 ? "," : (i + 1 < shape.size() ? ", " : "");
  }
  return s + ")";
}

// The value of `key` in the header dict: the text from after "'key':" up to
// the next top-level comma or closing brace.
std::optional<std::string> headerValue(const std::string& header, const std::string& key) {
  const std::size_t at = header.find("'" + key + "'");
  if (at == std::string::npos) return std::nullopt;
  std::size_t i = header.find(':', at);
  if (i == std::string::npos) return std::nullopt;
  ++i;
  int depth = 0;
  std::string value;
  for (; i < header.size(); ++i) {
    const char c = header[i];
    if (c == '(') ++depth;
    if (c == ')') --depth;
    if (depth == 0 && (c == ',' || c == '}')) break;
    value += c;
  }
  const std::size_t first = value.find_first_not_of(' ');
  const std::size_t last = value.find_last_not_of(' ');
  if (first == std::string::npos) return std::nullopt;
  return value.substr(first, last - first + 1);
}

std::optional<std::vector<std::size_t>> parseShape(const std::string& text) {
  if (text.size() < 2 || text.front() != '(' || text.back() != ')') return std::nullopt;
  std::vector<std::size_t> shape;
  std::string number;
  for (std::size_t i = 1; i < text.size(); ++i) {
    const char c = text[i];
    if (c >= '0' && c <= '9') {
      number += c;
      if (number.size() > 12) return std::nullopt;
    } else if (c == ',' || c == ')') {
      if (!number.empty()) shape.push_back(std::stoull(number));
      else if (c == ',') return std::nullopt;
      number.clear();
    } else if (c != ' ') {
      return std::nullopt;
    }
  }
  if (shape.size() > kLargestShapeRank) return std::nullopt;
  return shape;
}

}  // namespace

std::size_t NpyArray::count() const {
  std::size_t n = 1;
  for (const std::size_t s : shape) n *= s;
  return n;
}

NpyArray NpyArray::scalar(double v) {
  NpyArray a;
  a.reals = {v};
  return a;
}

NpyArray NpyArray::vector(std::vector<double> v) {
  NpyArray a;
  a.shape = {v.size()};
  a.reals = std::move(v);
  return a;
}

NpyArray NpyArray::matrix(std::size_t rows, std::size_t columns, std::vector<double> v) {
  NpyArray a;
  a.shape = {rows, columns};
  a.reals = std::move(v);
  return a;
}

NpyArray NpyArray::complexMatrix(std::size_t rows, std::size_t columns, std::vector<std::complex<double>> v) {
  NpyArray a;
  a.type = Type::Complex128;
  a.shape = {rows, columns};
  a.complexes = std::move(v);
  return a;
}

NpyArray NpyArray::string(const std::string& ascii) {
  NpyArray a;
  a.type = Type::Unicode;
  a.text.assign(ascii.begin(), ascii.end());
  return a;
}

std::string EncodeNpy(const NpyArray& a) {
  std::string header = "{'descr': '" + descrOf(a) + "', 'fortran_order': False, 'shape': " + shapeText(a.shape) + ", }";
  // Pad so that magic (6) + version (2) + length (2) + header is a multiple of 64.
  const std::size_t total = kMagicLength + 4 + header.size() + 1;
  header.append((64 - total % 64) % 64, ' ');
  header += '\n';
  std::string out(kMagic, kMagicLength);
  out += '\x01';
  out += '\x00';
  const auto length = static_cast<std::uint16_t>(header.size());
  out += static_cast<char>(length & 0xff);
  out += static_cast<char>(length >> 8);
  out += header;
  const auto append = [&](const void* data, std::size_t bytes) { out.append(static_cast<const char*>(data), bytes); };
  switch (a.type) {
    case NpyArray::Type::Float64:
      append(a.reals.data(), a.reals.size() * sizeof(double));
      break;
    case NpyArray::Type::Complex128:
      append(a.complexes.data(), a.complexes.size() * sizeof(std::complex<double>));
      break;
    case NpyArray::Type::Unicode: {
      std::u32string text = a.text.empty() ? std::u32string(1, U'\0') : a.text;
      append(text.data(), text.size() * sizeof(char32_t));
      break;
    }
  }
  return out;
}

std::optional<NpyArray> DecodeNpy(const std::string& bytes, std::string& message) {
  if (bytes.size() < kMagicLength + 4 || bytes.compare(0, kMagicLength, kMagic, kMagicLength) != 0) {
    message = "not a NumPy array (no .npy magic)";
    return std::nullopt;
  }
  const auto major = static_cast<unsigned char>(bytes[6]);
  std::size_t headerLength = 0, start = 0;
  if (major == 1) {
    headerLength = static_cast<unsigned char>(bytes[8]) | (static_cast<std::size_t>(static_cast<unsigned char>(bytes[9])) << 8);
    start = 10;
  } else if (major == 2 || major == 3) {
    if (bytes.size() < 12) {
      message = "a truncated .npy header";
      return std::nullopt;
    }
    for (int i = 3; i >= 0; --i) headerLength = (headerLength << 8) | static_cast<unsigned char>(bytes[8 + i]);
    start = 12;
  } else {
    message = ".npy format version " + std::to_string(major) + " is not known";
    return std::nullopt;
  }
  if (headerLength > bytes.size() - start) {
    message = "a truncated .npy header";
    return std::nullopt;
  }
  const std::string header = bytes.substr(start, headerLength);
  const auto descr = headerValue(header, "descr");
  const auto order = headerValue(header, "fortran_order");
  const auto shapeValue = headerValue(header, "shape");
  const auto shape = shapeValue ? parseShape(*shapeValue) : std::nullopt;
  if (!descr || !order || !shape) {
    message = "a .npy header without a readable descr, fortran_order or shape";
    return std::nullopt;
  }
  if (*order != "False") {
    message = "a .npy array in Fortran order (only C order is read)";
    return std::nullopt;
  }
  NpyArray a;
  a.shape = *shape;
  std::size_t count = 1;
  for (const std::size_t s : a.shape) {
    if (s != 0 && count > (std::size_t{1} << 40) / s) {
      message = "a .npy shape too large";
      return std::nullopt;
    }
    count *= s;
  }
  const std::string data = bytes.substr(start + headerLength);
  std::size_t itemSize = 0;
  if (*descr == "'<f8'") {
    a.type = NpyArray::Type::Float64;
    itemSize = 8;
  } else if (*descr == "'<c16'") {
    a.type = NpyArray::Type::Complex128;
    itemSize = 16;
  } else if (descr->size() > 4 && descr->compare(0, 3, "'<U") == 0 && descr->back() == '\'' && a.shape.empty()) {
    a.type = NpyArray::Type::Unicode;
    const std::string digits = descr->substr(3, descr->size() - 4);
    if (digits.empty() || digits.size() > 6 || digits.find_first_not_of("0123456789") != std::string::npos) {
      message = "a .npy string type " + *descr + " that is not read";
      return std::nullopt;
    }
    itemSize = 4 * std::stoul(digits);
  } else {
    message = "a .npy type " + *descr + " that is not read (float64, complex128 or a string)";
    return std::nullopt;
  }
  if (data.size() != count * itemSize) {
    message = "a .npy array with " + std::to_string(data.size()) + " bytes of data where its shape needs " +
              std::to_string(count * itemSize);
    return std::nullopt;
  }
  if (a.type == NpyArray::Type::Float64) {
    a.reals.resize(count);
    std::memcpy(a.reals.data(), data.data(), data.size());
  } else if (a.type == NpyArray::Type::Complex128) {
    a.complexes.resize(count);
    std::memcpy(static_cast<void*>(a.complexes.data()), data.data(), data.size());
  } else {
    a.text.resize(data.size() / 4);
    std::memcpy(a.text.data(), data.data(), data.size());
    while (!a.text.empty() && a.text.back() == U'\0') a.text.pop_back();
  }
  return a;
}

std::optional<std::string> EncodeNpz(const std::vector<NpzEntry>& entries, std::string& bytes) {
  const auto fail = [](const std::string& why) { return std::optional<std::string>(why); };
  zip_error_t error;
  zip_error_init(&error);
  zip_source_t* memory = zip_source_buffer_create(nullptr, 0, 0, &error);
  zip_t* zip = memory ? zip_open_from_source(memory, ZIP_TRUNCATE, &error) : nullptr;
  if (zip == nullptr) {
    const std::string why = zip_error_strerror(&error);
    if (memory) zip_source_free(memory);
    zip_error_fini(&error);
    return fail(why);
  }
  zip_error_fini(&error);
  zip_source_keep(memory);  // read back after the archive is closed
  const std::unique_ptr<zip_source_t, void (*)(zip_source_t*)> owner(memory, zip_source_free);
  // The buffers must live until the archive is closed.
  std::vector<std::string> buffers;
  buffers.reserve(entries.size());
  for (const NpzEntry& entry : entries) {
    buffers.push_back(EncodeNpy(entry.array));
    zip_source_t* source = zip_source_buffer(zip, buffers.back().data(), buffers.back().size(), 0);
    const zip_int64_t index = source ? zip_file_add(zip, (entry.name + ".npy").c_str(), source, ZIP_FL_OVERWRITE) : -1;
    if (index < 0) {
      if (source) zip_source_free(source);
      const std::string why = zip_strerror(zip);
      zip_discard(zip);
      return fail(why);
    }
    // Deflate's fastest level: a kernel's doubles hardly compress (the
    // default level saves 0.4-2.5 % more of the archive at three times the
    // time, which is spent after the kernel's threads are done).
    zip_set_file_compression(zip, static_cast<zip_uint64_t>(index), ZIP_CM_DEFLATE, 1);
    // Every member is dated 1980-01-01 00:00 (the zip format's first day):
    // the same kernel gives the same archive, byte for byte, whenever and
    // wherever it is computed, so results of a cluster run compare with cmp.
    zip_file_set_dostime(zip, static_cast<zip_uint64_t>(index), kFixedDosTime, kFixedDosDate, 0);
  }
  if (zip_close(zip) != 0) {
    const std::string why = zip_strerror(zip);
    zip_discard(zip);
    return fail(why);
  }
  zip_stat_t stat;
  zip_stat_init(&stat);
  if (zip_source_stat(memory, &stat) != 0 || !(stat.valid & ZIP_STAT_SIZE) || zip_source_open(memory) != 0) {
    return fail("the archive made in memory cannot be read back");
  }
  bytes.resize(stat.size);
  const zip_int64_t read = zip_source_read(memory, bytes.data(), bytes.size());
  zip_source_close(memory);
  if (read < 0 || static_cast<zip_uint64_t>(read) != stat.size) return fail("the archive made in memory cannot be read back");
  return std::nullopt;
}

// The archive is made in memory and written like every other result file
// (util/atomic_file.h).
std::optional<std::string> WriteNpz(const std::string& path, const std::vector<NpzEntry>& entries) {
  std::string bytes;
  if (auto why = EncodeNpz(entries, bytes)) return NpzWriteMessage(path, *why);
  return WriteNpzBytes(path, bytes);
}

std::optional<std::string> WriteNpzBytes(const std::string& path, const std::string& bytes) {
  if (auto problem = writeFileAtomically(path, bytes)) return NpzWriteMessage(path, *problem);
  return std::nullopt;
}

std::string NpzWriteMessage(const std::string& path, const std::string& why) {
  return "Could not write kernel archive " + path + ": " + why;
}

std::optional<std::vector<NpzEntry>> ReadNpz(const std::string& path, std::string& message, std::size_t largestBytes) {
  int error = 0;
  zip_t* zip = zip_open(path.c_str(), ZIP_RDONLY, &error);
  if (zip == nullptr) {
    zip_error_t e;
    zip_error_init_with_code(&e, error);
    message = path + ": not a readable NumPy archive (" + std::string(zip_error_strerror(&e)) + ")";
    zip_error_fini(&e);
    return std::nullopt;
  }
  const std::unique_ptr<zip_t, void (*)(zip_t*)> closer(zip, [](zip_t* z) { zip_discard(z); });
  std::vector<NpzEntry> entries;
  std::size_t total = 0;
  const zip_int64_t count = zip_get_num_entries(zip, 0);
  for (zip_int64_t i = 0; i < count; ++i) {
    zip_stat_t stat;
    zip_stat_init(&stat);
    if (zip_stat_index(zip, static_cast<zip_uint64_t>(i), 0, &stat) != 0 || !(stat.valid & ZIP_STAT_NAME) ||
        !(stat.valid & ZIP_STAT_SIZE)) {
      message = path + ": entry " + std::to_string(i + 1) + " cannot be read";
      return std::nullopt;
    }
    std::string name = stat.name;
    if (name.size() < 4 || name.compare(name.size() - 4, 4, ".npy") != 0) continue;
    name.resize(name.size() - 4);
    if (stat.size > largestBytes - total) {
      message = path + ": " + name + ": larger than a kernel archive's arrays";
      return std::nullopt;
    }
    total += stat.size;
    std::string bytes(stat.size, '\0');
    zip_file_t* file = zip_fopen_index(zip, static_cast<zip_uint64_t>(i), 0);
    const zip_int64_t read = file ? zip_fread(file, bytes.data(), bytes.size()) : -1;
    if (file) zip_fclose(file);
    if (read < 0 || static_cast<zip_uint64_t>(read) != stat.size) {
      message = path + ": " + name + ": cannot be read to its end (damaged archive)";
      return std::nullopt;
    }
    std::string why;
    auto array = DecodeNpy(bytes, why);
    if (!array) {
      message = path + ": " + name + ": " + why;
      return std::nullopt;
    }
    entries.push_back({std::move(name), std::move(*array)});
  }
  return entries;
}

}  // namespace kvo::core
