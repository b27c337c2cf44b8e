#include "app/tf_splash.h"

#include <QLabel>
#include <QTimer>
#include <QVBoxLayout>

#include "app/auxiliary_widgets.h"

namespace kvo::gui {

TFSplash::TFSplash(QWidget* parent, int closeAfterMs) : QDialog(parent) {
  setObjectName(QStringLiteral("TFSplash"));
  removeTitleBarButtons(this);
  setWindowTitle(QStringLiteral("KVO computation"));
  setAttribute(Qt::WA_DeleteOnClose, false);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(makePictureLabel(QStringLiteral("splash"), this), 0, Qt::AlignHCenter);
  auto* version = new QLabel(QStringLiteral("v 1.4"), this);
  version->setObjectName(QStringLiteral("LVersion"));
  layout->addWidget(version, 0, Qt::AlignRight);
  auto* about = new QLabel(
      QStringLiteral("Forward modelling of surface NMR soundings of groundwater:\n"
                     "the kernel of each pulse moment over a layered conductive earth."),
      this);
  about->setObjectName(QStringLiteral("LAbout"));
  layout->addWidget(about);
  QTimer::singleShot(closeAfterMs, this, &QDialog::accept);
}

}  // namespace kvo::gui
