// GoogleTest main for the GUI tests: one QApplication for all of them.
#include <gtest/gtest.h>

#include <QApplication>
#include <QStandardPaths>

int main(int argc, char** argv) {
  // Settings the windows keep between sessions go to a test location, never
  // into the user's own configuration (before any QSettings is opened).
  QStandardPaths::setTestModeEnabled(true);
  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
