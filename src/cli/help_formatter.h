#pragma once
// The help text of kvo-compute, made from its command tree: the whole text
// (every command with its options) for --help, one command's for
// COMMAND --help, and the usage shown under a bad argument. The whole text
// is also the source of the manual page (help2man): a heading per command,
// its synopsis as an item, options as items of two columns.

#include <CLI/CLI.hpp>

#include <string>
#include <vector>

namespace kvo::cli {

class HelpFormatter : public CLI::FormatterBase {
 public:
  // `summary` follows the usage line of the whole text, `footer` ends every text.
  HelpFormatter(std::string program, std::string summary, std::string footer);

  // Adds a command to the whole text, in the order shown, under the heading
  // `title`. `name` is what the user types (the top-level form's is its
  // file, FILE.nmc), `arguments` what follows it. The description and the
  // options come from `command`.
  void addCommand(std::string title, const CLI::App* command, std::string name, std::string arguments);
  // Adds a line without a command of its own (help, --version); lines of the
  // same title follow one heading.
  void addLine(std::string title, std::string name, std::string description);

  std::string make_help(const CLI::App* app, std::string name, CLI::AppFormatMode mode) const override;
  // "Usage: kvo-compute COMMAND ARGUMENTS", wrapped.
  std::string usage(const CLI::App* command) const;

 private:
  struct Entry {
    std::string title;
    const CLI::App* command;  // null for a plain line
    std::string name;
    std::string arguments;
    std::string description;  // of a plain line
  };
  const Entry* find(const CLI::App* command) const;
  std::string wholeText() const;
  std::string commandText(const Entry& entry) const;

  std::string m_program;
  std::string m_summary;
  std::string m_footer;
  std::vector<Entry> m_entries;
};

}  // namespace kvo::cli
