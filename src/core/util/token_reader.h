#pragma once
// Whitespace-separated tokens of the program's text files, with the line each
// one starts on. A token that starts with a double quote runs to the closing
// quote, with \" and \\ standing for a quote and a backslash: that is how
// file names with blanks are carried.

#include <optional>
#include <string>
#include <string_view>

namespace kvo::core {

class TokenReader {
 public:
  explicit TokenReader(std::string_view text) : m_text(text) {}

  struct Token {
    std::string text;
    int line = 0;
    bool unterminatedQuote = false;
  };

  // The next token, or nullopt at the end of the text.
  std::optional<Token> next();
  // The line the reader has reached (1-based).
  int line() const { return m_line; }

 private:
  std::string_view m_text;
  std::size_t m_pos = 0;
  int m_line = 1;
};

// A file name as one token: as it is, or in double quotes (with '\' and '"'
// escaped) when it holds a blank or a quote or is empty.
std::string quoteFileName(std::string_view name);

}  // namespace kvo::core
