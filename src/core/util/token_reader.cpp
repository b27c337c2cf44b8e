#include "util/token_reader.h"

namespace kvo::core {
namespace {

bool isBlank(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v';
}

}  // namespace

std::optional<TokenReader::Token> TokenReader::next() {
  while (m_pos < m_text.size() && isBlank(m_text[m_pos])) {
    if (m_text[m_pos] == '\n') ++m_line;
    ++m_pos;
  }
  if (m_pos >= m_text.size()) return std::nullopt;
  Token t;
  t.line = m_line;
  if (m_text[m_pos] == '"') {
    ++m_pos;
    while (m_pos < m_text.size() && m_text[m_pos] != '"') {
      char c = m_text[m_pos++];
      if (c == '\\' && m_pos < m_text.size() && (m_text[m_pos] == '"' || m_text[m_pos] == '\\')) {
        c = m_text[m_pos++];
      }
      if (c == '\n') ++m_line;
      t.text.push_back(c);
    }
    if (m_pos >= m_text.size()) t.unterminatedQuote = true;
    ++m_pos;  // the closing quote
    return t;
  }
  while (m_pos < m_text.size() && !isBlank(m_text[m_pos])) t.text.push_back(m_text[m_pos++]);
  return t;
}

std::string quoteFileName(std::string_view name) {
  const bool plain = !name.empty() && name.find_first_of(" \t\r\n\f\v\"") == std::string_view::npos;
  if (plain) return std::string(name);
  std::string quoted = "\"";
  for (const char c : name) {
    if (c == '"' || c == '\\') quoted.push_back('\\');
    quoted.push_back(c);
  }
  quoted.push_back('"');
  return quoted;
}

}  // namespace kvo::core
