#pragma once
// Small building blocks shared by the auxiliary windows.

#include <QString>

class QLabel;
class QLineEdit;
class QWidget;

namespace kvo::gui {

// Default self-closing delays of the splash, exit and help-notice windows (ms).
inline constexpr int kSplashCloseMs = 3000;
inline constexpr int kExitCloseMs = 3000;
inline constexpr int kHelpNoticeCloseMs = 2000;

// The resource path of one of the program's JPEG pictures (":/pictures/NAME.jpg").
QString pictureResource(const QString& name);

// A label showing one of the program's JPEG pictures.
QLabel* makePictureLabel(const QString& name, QWidget* parent);

// A read-only line showing `text`, with the whole text also as its hint.
QLineEdit* makeReadOnlyLine(const QString& text, QWidget* parent);

// Window flags of a dialog with a title but without title-bar buttons.
void removeTitleBarButtons(QWidget* window);

}  // namespace kvo::gui
