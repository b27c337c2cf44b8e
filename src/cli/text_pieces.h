#pragma once
// Splitting an argument's value ("1:5:0.2,10:20:0.1") into its pieces.

#include <string_view>
#include <vector>

namespace kvo::cli {

// The pieces of `text` between the separators (views into `text`).
inline std::vector<std::string_view> pieces(std::string_view text, char separator) {
  std::vector<std::string_view> out;
  std::size_t start = 0;
  for (std::size_t pos; (pos = text.find(separator, start)) != std::string_view::npos; start = pos + 1) {
    out.push_back(text.substr(start, pos - start));
  }
  out.push_back(text.substr(start));
  return out;
}

}  // namespace kvo::cli
