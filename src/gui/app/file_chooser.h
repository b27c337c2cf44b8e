#pragma once
// The file dialogs the windows open, behind one replaceable object so that
// tests can answer them.

#include <QString>

#include <functional>
#include <utility>

class QWidget;

namespace kvo::gui {

struct FileChooser {
  // Returns the chosen file, or an empty text when the user cancelled.
  using Ask = std::function<QString(QWidget* parent, const QString& caption, const QString& folder,
                                    const QString& filter, const QString& defaultSuffix)>;
  Ask save;
  Ask open;
  // A save dialog that also reports the filter the user selected.
  using AskWithFilter = std::function<std::pair<QString, QString>(
      QWidget* parent, const QString& caption, const QString& folder, const QString& filter)>;
  AskWithFilter saveWithFilter;

  // Qt's file dialogs. The save dialog does not ask about existing files:
  // the program asks with its own overwrite warning.
  static FileChooser standard();
};

}  // namespace kvo::gui
