#include "help_formatter.h"

#include <algorithm>
#include <string_view>
#include <utility>

namespace kvo::cli {
namespace {

constexpr std::size_t kWidth = 79;
constexpr std::size_t kDescriptionColumn = 22;

std::size_t currentColumn(const std::string& out) {
  const std::size_t newline = out.rfind('\n');
  return newline == std::string::npos ? out.size() : out.size() - newline - 1;
}

// Splits at spaces outside brackets, so "[--threads N]" stays whole.
std::vector<std::string_view> words(std::string_view text, bool keepBrackets) {
  std::vector<std::string_view> result;
  int depth = 0;
  std::size_t start = std::string_view::npos;
  for (std::size_t i = 0; i <= text.size(); ++i) {
    const char c = i < text.size() ? text[i] : ' ';
    if (keepBrackets && c == '[') ++depth;
    if (keepBrackets && c == ']') --depth;
    if (c == ' ' && depth <= 0) {
      if (start != std::string_view::npos) result.push_back(text.substr(start, i - start));
      start = std::string_view::npos;
    } else if (start == std::string_view::npos) {
      start = i;
    }
  }
  return result;
}

// The words of a synopsis: an option and its value stay together.
std::vector<std::string_view> synopsisWords(std::string_view text) {
  std::vector<std::string_view> result;
  for (const std::string_view word : words(text, true)) {
    if (!result.empty() && result.back().starts_with('-') && !word.starts_with('-') && !word.starts_with('[')) {
      const char* begin = result.back().data();
      result.back() = std::string_view(begin, static_cast<std::size_t>(word.data() + word.size() - begin));
    } else {
      result.push_back(word);
    }
  }
  return result;
}

// Appends `text` from where `out` ends, wrapped at kWidth, continuation
// lines indented by `indent`.
void appendWords(std::string& out, const std::vector<std::string_view>& words, std::size_t indent) {
  std::size_t column = currentColumn(out);
  bool lineStart = column <= indent;
  for (const std::string_view word : words) {
    if (!lineStart && column + 1 + word.size() > kWidth) {
      out += '\n';
      out.append(indent, ' ');
      column = indent;
      lineStart = true;
    }
    if (!lineStart) {
      out += ' ';
      ++column;
    }
    out += word;
    column += word.size();
    lineStart = false;
  }
}

void appendWrapped(std::string& out, std::string_view text, std::size_t indent) {
  appendWords(out, words(text, false), indent);
}

// A label at `indent` and its description from kDescriptionColumn, on the
// next line when the label reaches into that column.
void appendItem(std::string& out, std::string_view label, std::size_t indent, std::string_view description) {
  out.append(indent, ' ');
  out += label;
  if (currentColumn(out) + 2 > kDescriptionColumn) out += '\n';
  out.append(kDescriptionColumn - currentColumn(out), ' ');
  appendWrapped(out, description, kDescriptionColumn);
  out += '\n';
}

// "NAME ARGUMENTS", the arguments wrapped under the first of them.
void appendSynopsis(std::string& out, std::string_view name, std::string_view arguments) {
  out += name;
  const std::size_t indent = currentColumn(out) + 1;
  out += ' ';
  appendWords(out, synopsisWords(arguments), indent);
}

bool takesValue(const CLI::Option* option) { return option->get_type_size_max() > 0; }

std::string optionLabel(const CLI::Option* option) {
  std::string label;
  for (const std::string& s : option->get_snames()) label += (label.empty() ? "-" : ", -") + s;
  for (const std::string& l : option->get_lnames()) label += (label.empty() ? "--" : ", --") + l;
  if (takesValue(option)) label += " " + option->get_type_name();
  return label;
}

// The named options of `command` but its help and version flags.
std::vector<const CLI::Option*> namedOptions(const CLI::App* command) {
  std::vector<const CLI::Option*> options;
  for (const CLI::Option* o : command->get_options()) {
    if (!o->nonpositional() || o == command->get_version_ptr() || o == command->get_help_ptr()) continue;
    options.push_back(o);
  }
  return options;
}

}  // namespace

HelpFormatter::HelpFormatter(std::string program, std::string summary, std::string footer)
    : m_program(std::move(program)), m_summary(std::move(summary)), m_footer(std::move(footer)) {}

void HelpFormatter::addCommand(std::string title, const CLI::App* command, std::string name, std::string arguments) {
  m_entries.push_back({std::move(title), command, std::move(name), std::move(arguments), {}});
}

void HelpFormatter::addLine(std::string title, std::string name, std::string description) {
  m_entries.push_back({std::move(title), nullptr, std::move(name), {}, std::move(description)});
}

const HelpFormatter::Entry* HelpFormatter::find(const CLI::App* command) const {
  const auto it = std::find_if(m_entries.begin(), m_entries.end(),
                               [command](const Entry& e) { return e.command == command; });
  return it == m_entries.end() ? nullptr : &*it;
}

std::string HelpFormatter::make_help(const CLI::App* app, std::string, CLI::AppFormatMode) const {
  const Entry* entry = find(app);
  if (app->get_parent() == nullptr || entry == nullptr) return wholeText();
  return commandText(*entry);
}

std::string HelpFormatter::usage(const CLI::App* command) const {
  std::string out = "Usage: ";
  if (const Entry* entry = find(command)) {
    appendSynopsis(out, m_program + " " + entry->name, entry->arguments);
  } else {
    out += m_program + " COMMAND [ARGUMENTS]";
  }
  return out + "\n";
}

std::string HelpFormatter::commandText(const Entry& entry) const {
  std::string out = usage(entry.command) + "\n";
  appendWrapped(out, entry.command->get_description(), 0);
  out += "\n\nOptions:\n";
  for (const CLI::Option* o : namedOptions(entry.command)) {
    appendItem(out, optionLabel(o), 2, o->get_description());
  }
  if (const CLI::Option* help = entry.command->get_help_ptr()) {
    appendItem(out, optionLabel(help), 2, help->get_description());
  }
  return out + "\n" + m_footer;
}

std::string HelpFormatter::wholeText() const {
  std::string out = "Usage: " + m_program + " COMMAND [ARGUMENTS]\n\n";
  appendWrapped(out, m_summary, 0);
  out += "\n";
  // An option a previous command explained already is named only.
  std::vector<std::pair<std::string, std::string>> explained;
  const std::string* title = nullptr;
  for (const Entry& entry : m_entries) {
    if (!title || *title != entry.title) out += "\n" + entry.title + ":\n";
    title = &entry.title;
    if (!entry.command) {
      appendItem(out, m_program + " " + entry.name, 2, entry.description);
      continue;
    }
    out += "  ";
    appendSynopsis(out, m_program + " " + entry.name, entry.arguments);
    out += "\n\n  ";
    appendWrapped(out, entry.command->get_description(), 2);
    out += "\n";
    if (!namedOptions(entry.command).empty()) out += "\n";
    std::string asAbove;
    for (const CLI::Option* o : namedOptions(entry.command)) {
      std::pair<std::string, std::string> item{optionLabel(o), o->get_description()};
      if (std::find(explained.begin(), explained.end(), item) != explained.end()) {
        asAbove += (asAbove.empty() ? "" : ", ") + o->get_name();
        continue;
      }
      appendItem(out, item.first, 2, item.second);
      explained.push_back(std::move(item));
    }
    if (!asAbove.empty()) {
      out += "  ";
      appendWrapped(out, asAbove + ": as above.", 2);
      out += '\n';
    }
  }
  return out + "\n" + m_footer;
}

}  // namespace kvo::cli
