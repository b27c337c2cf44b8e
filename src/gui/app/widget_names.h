#pragma once
// Small helpers every window uses to build its controls.

#include <QString>

#include <string>

namespace kvo::gui {

// Gives `widget` its control name (also its objectName, by which tests find it).
template <class W>
W* named(W* widget, const char* name) {
  widget->setObjectName(QString::fromLatin1(name));
  return widget;
}

// A UTF-8 text of the core as a QString.
inline QString q(const std::string& text) { return QString::fromStdString(text); }

}  // namespace kvo::gui
