#include "app/tf_exit.h"

#include <QLabel>
#include <QTimer>
#include <QVBoxLayout>

#include "app/auxiliary_widgets.h"

namespace kvo::gui {

TFExit::TFExit(QWidget* parent, int closeAfterMs) : QDialog(parent) {
  setObjectName(QStringLiteral("TFExit"));
  removeTitleBarButtons(this);
  setWindowTitle(QStringLiteral("Quit "));
  auto* layout = new QVBoxLayout(this);
  m_panel = new QWidget(this);
  m_panel->setObjectName(QStringLiteral("Panel1"));
  m_picture = makePictureLabel(QStringLiteral("exit"), m_panel);
  const int pictureHeight = m_picture->height();
  m_panel->setMinimumSize(m_picture->width() + 40, pictureHeight);
  layout->addWidget(m_panel);
  auto* thanks = new QLabel(QStringLiteral("Thank you for using our products"), this);
  thanks->setObjectName(QStringLiteral("LThanks"));
  thanks->setAlignment(Qt::AlignCenter);
  layout->addWidget(thanks);
  // The window is 1.6 x the picture's height (truncated).
  setFixedHeight(static_cast<int>(pictureHeight * 1.6));
  QTimer::singleShot(closeAfterMs, this, &QDialog::accept);
}

void TFExit::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  // The picture is centred horizontally in its panel.
  m_picture->move((m_panel->width() - m_picture->width()) / 2, 0);
}

}  // namespace kvo::gui
