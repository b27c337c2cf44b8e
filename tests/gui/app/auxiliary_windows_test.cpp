#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QImageReader>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include "app/auxiliary_widgets.h"
#include "app/tf_error.h"
#include "app/tf_exit.h"
#include "app/tf_help_not_available.h"
#include "app/tf_open_failure.h"
#include "app/tf_overwrite.h"
#include "app/tf_splash.h"
#include "support/modal_watcher.h"

namespace kvo::gui {
namespace {

using test::ModalWatcher;

// The picture a window shows; a null pixmap when it shows none.
QPixmap pictureOf(const QWidget& window) {
  const auto* label = window.findChild<QLabel*>(QStringLiteral("Image1"));
  return label != nullptr ? label->pixmap() : QPixmap();
}

TEST(AuxiliaryWindows, PicturesAreJpegFilesOfTheProgram) {
  for (const char* name : {"splash", "exit", "question"}) {
    QImageReader reader(pictureResource(QString::fromLatin1(name)));
    EXPECT_EQ(reader.format(), "jpeg") << name;
    EXPECT_FALSE(reader.read().isNull()) << name << ": " << reader.errorString().toStdString();
  }
}

TEST(AuxiliaryWindows, SplashExitAndNoticeCloseByThemselves) {
  struct Case {
    std::function<QDialog*()> make;
    const char* title;
  };
  const Case cases[] = {
      {[] { return new TFSplash(nullptr, 50); }, "KVO computation"},
      {[] { return new TFExit(nullptr, 50); }, "Quit "},
      {[] { return new TFHelpNotAvailable(nullptr, 50); }, "3615 HELP"},
  };
  for (const Case& c : cases) {
    std::unique_ptr<QDialog> window(c.make());
    EXPECT_EQ(window->windowTitle(), c.title);
    EXPECT_FALSE(pictureOf(*window).isNull()) << c.title;
    EXPECT_FALSE(window->windowFlags() & Qt::WindowCloseButtonHint) << c.title;
    QElapsedTimer clock;
    clock.start();
    EXPECT_EQ(window->exec(), QDialog::Accepted);  // no input given
    EXPECT_LT(clock.elapsed(), 2000);
  }
  TFSplash splash(nullptr, 50);
  EXPECT_NE(splash.findChild<QLabel*>("LVersion"), nullptr);
  EXPECT_EQ(splash.findChild<QLabel*>("LVersion")->text(), "v 1.4");
  TFExit exitWindow(nullptr, 50);
  EXPECT_EQ(exitWindow.height(), static_cast<int>(pictureOf(exitWindow).height() * 1.6));
}

TEST(AuxiliaryWindows, ErrorWindowShowsTheWholeMessageAndSuspendsRedraws) {
  core::AppContext context;
  context.MessageText = std::string(600, 'x') + " end";
  TFError window(context);
  EXPECT_TRUE(context.autoRedrawSuspended);
  EXPECT_EQ(window.windowTitle(), "ERROR");
  auto* line = window.findChild<QLineEdit*>("EMessage");
  EXPECT_EQ(line->text().toStdString(), context.MessageText);
  EXPECT_EQ(line->toolTip().toStdString(), context.MessageText);
  EXPECT_TRUE(line->isReadOnly());
}

TEST(AuxiliaryWindows, OverwriteWarningAnswersYesOnlyOnOverwrite) {
  core::AppContext context;
  {
    ModalWatcher watcher;  // closed through the title bar
    EXPECT_FALSE(confirmOverwrite(context, "/data/a.nmc", nullptr));
    EXPECT_EQ(watcher.seen, QStringList{"TFOverwrite: File exists. Overwrite?"});
    EXPECT_EQ(context.CurrentParameterFile, "/data/a.nmc");
  }
  {
    ModalWatcher watcher;
    watcher.click("TFOverwrite", "BCancel");
    EXPECT_FALSE(confirmOverwrite(context, "/data/a.nmc", nullptr));
  }
  ModalWatcher watcher;
  watcher.click("TFOverwrite", "BOverwrite");
  EXPECT_TRUE(confirmOverwrite(context, "/data/a.nmc", nullptr));
}

TEST(AuxiliaryWindows, OpenFailureShowsTheNameAndOffersHelp) {
  core::AppContext context;
  context.CurrentParameterFile = "/data/missing.nmc";
  TFOpenFailure window(context);
  EXPECT_EQ(window.windowTitle(), "Could not open file");
  EXPECT_EQ(window.findChild<QLineEdit*>("EFileName")->text(), "/data/missing.nmc");
  EXPECT_FALSE(pictureOf(window).isNull());
  ModalWatcher watcher;
  window.findChild<QPushButton*>("BHelp")->click();
  EXPECT_EQ(watcher.seen.value(0), "TFHelpNotAvailable");
}

}  // namespace
}  // namespace kvo::gui
