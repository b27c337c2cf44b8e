#include "app/file_chooser.h"

#include <QFileDialog>

namespace kvo::gui {
namespace {

QString ask(QWidget* parent, const QString& caption, const QString& folder, const QString& filter,
            const QString& defaultSuffix, QFileDialog::AcceptMode mode) {
  QFileDialog dialog(parent, caption, folder, filter);
  dialog.setAcceptMode(mode);
  dialog.setFileMode(mode == QFileDialog::AcceptSave ? QFileDialog::AnyFile
                                                     : QFileDialog::ExistingFile);
  dialog.setOption(QFileDialog::DontConfirmOverwrite);
  dialog.setDefaultSuffix(defaultSuffix);
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
  return dialog.selectedFiles().constFirst();
}

}  // namespace

FileChooser FileChooser::standard() {
  FileChooser chooser;
  chooser.save = [](QWidget* parent, const QString& caption, const QString& folder,
                    const QString& filter, const QString& suffix) {
    return ask(parent, caption, folder, filter, suffix, QFileDialog::AcceptSave);
  };
  chooser.open = [](QWidget* parent, const QString& caption, const QString& folder,
                    const QString& filter, const QString& suffix) {
    return ask(parent, caption, folder, filter, suffix, QFileDialog::AcceptOpen);
  };
  chooser.saveWithFilter = [](QWidget* parent, const QString& caption, const QString& folder,
                              const QString& filter) {
    QFileDialog dialog(parent, caption, folder, filter);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setOption(QFileDialog::DontConfirmOverwrite);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
      return std::pair<QString, QString>();
    }
    return std::pair(dialog.selectedFiles().constFirst(), dialog.selectedNameFilter());
  };
  return chooser;
}

}  // namespace kvo::gui
