#include <gtest/gtest.h>

#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSettings>
#include <QTimer>

#include <filesystem>

#include "app/tf_kvo_comput.h"
#include "app/tf_settings.h"
#include "support/modal_watcher.h"

namespace kvo::gui {
namespace {

namespace fs = std::filesystem;
using test::ModalWatcher;

bool operator==(const core::SamplingSettings& a, const core::SamplingSettings& b) {
  return a.sampling == b.sampling && a.tolerance == b.tolerance;
}

QSettings keptSettings() { return QSettings(QStringLiteral("KVO"), QStringLiteral("kvo")); }

template <class W>
W* control(QWidget* window, const char* name) {
  W* w = window->findChild<W*>(QString::fromLatin1(name));
  EXPECT_NE(w, nullptr) << name;
  return w;
}

TEST(SettingsFields, ToleranceIsANumberWithinItsRangeAndOnlyReadForConverged) {
  const core::SamplingSettings before{core::Sampling::Converged, 2e-3};
  const struct {
    const char* text;
    bool converged;
    core::SamplingSettings expected;  // ignored when a message is expected
    const char* message;              // nullptr: accepted
  } cases[] = {
      {"0.0005", true, {core::Sampling::Converged, 5e-4}, nullptr},
      {" 1e-6 ", true, {core::Sampling::Converged, 1e-6}, nullptr},
      {"0,1", true, {core::Sampling::Converged, 0.1}, nullptr},
      {"abc", false, {core::Sampling::Classic, 2e-3}, nullptr},  // the tolerance is not used
      {"abc", true, {}, "Tolerance: \"abc\" is not a number"},
      {"", true, {}, "Tolerance: \"\" is not a number"},
      {"nan", true, {}, "Tolerance: \"nan\" is not a number"},
      {"0", true, {}, "Tolerance is wrong (0.000001 <= tolerance <= 0.1)"},
      {"9.9e-7", true, {}, "Tolerance is wrong (0.000001 <= tolerance <= 0.1)"},
      {"0.1000001", true, {}, "Tolerance is wrong (0.000001 <= tolerance <= 0.1)"},
      {"-0.001", true, {}, "Tolerance is wrong (0.000001 <= tolerance <= 0.1)"},
  };
  for (const auto& c : cases) {
    core::SamplingSettings out = before;
    const auto message = readSettingsDialog(QString::fromLatin1(c.text), c.converged, out);
    if (c.message == nullptr) {
      EXPECT_FALSE(message.has_value()) << c.text << ": " << message.value_or("");
      EXPECT_TRUE(out == c.expected) << c.text;
    } else {
      EXPECT_EQ(message.value_or("accepted"), c.message) << c.text;
      EXPECT_TRUE(out == before) << c.text << ": unchanged on failure";
    }
  }
}

class SettingsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(keptSettings().fileName().contains(QStringLiteral(".qttest")))
        << "the user's own settings must not be touched";
    keptSettings().clear();
    m_dir = fs::temp_directory_path() /
            (std::string("kvo_gui_") + ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(m_dir);
    fs::create_directories(m_dir);
  }
  void TearDown() override {
    m_window.reset();
    keptSettings().clear();
    fs::remove_all(m_dir);
  }

  // A new main window, as at a start of the program.
  TFKVOComput& restart() {
    m_window.reset();
    StartupOptions options;
    options.startupFolder = m_dir;
    options.showSplash = false;
    options.openLoopDialog = false;
    options.exitMs = 0;
    m_window = std::make_unique<TFKVOComput>(options);
    return *m_window;
  }
  core::SamplingSettings& sampling() { return m_window->context().sampling; }
  void clickSettings() { control<QPushButton>(m_window.get(), "BSettings")->click(); }

  fs::path m_dir;
  std::unique_ptr<TFKVOComput> m_window;
};

TEST_F(SettingsTest, SettingsButtonShowsTheContextAndOkStoresTheChoice) {
  restart();
  EXPECT_TRUE(sampling() == core::SamplingSettings{}) << "converged, 1e-3 without kept settings";
  ModalWatcher watcher;
  watcher.answer("TFSettings", [](QWidget* w) {
    EXPECT_EQ(w->windowTitle(), "Computation settings");
    EXPECT_TRUE(control<QRadioButton>(w, "RBConverged")->isChecked());
    auto* tolerance = control<QLineEdit>(w, "ETolerance");
    EXPECT_EQ(tolerance->text(), "0.001");
    EXPECT_TRUE(tolerance->isEnabled());
    control<QRadioButton>(w, "RBClassic")->click();
    EXPECT_FALSE(tolerance->isEnabled()) << "the tolerance is for converged only";
    control<QPushButton>(w, "BOK")->click();
  });
  clickSettings();
  EXPECT_TRUE(sampling() == (core::SamplingSettings{core::Sampling::Classic, 1e-3}));
  EXPECT_EQ(keptSettings().value("sampling").toString().toStdString(), "classic");

  // Opened again it shows classic; Cancel changes nothing, even after edits.
  watcher.answer("TFSettings", [](QWidget* w) {
    EXPECT_TRUE(control<QRadioButton>(w, "RBClassic")->isChecked());
    EXPECT_FALSE(control<QLineEdit>(w, "ETolerance")->isEnabled());
    control<QRadioButton>(w, "RBConverged")->click();
    control<QLineEdit>(w, "ETolerance")->setText("0.01");
    control<QPushButton>(w, "BCancel")->click();
  });
  clickSettings();
  EXPECT_TRUE(sampling() == (core::SamplingSettings{core::Sampling::Classic, 1e-3}));
  EXPECT_EQ(watcher.seen, QStringList({"TFSettings", "TFSettings"}));
  EXPECT_TRUE(watcher.errors().isEmpty());
}

TEST_F(SettingsTest, BadToleranceIsRefusedAndTheDialogStaysOpen) {
  const struct {
    const char* text;
    const char* message;
  } cases[] = {
      {"abc", "Tolerance: \"abc\" is not a number"},
      {"0", "Tolerance is wrong (0.000001 <= tolerance <= 0.1)"},
      {"0.5", "Tolerance is wrong (0.000001 <= tolerance <= 0.1)"},
  };
  restart();
  sampling() = {core::Sampling::Classic, 2e-3};
  for (const auto& c : cases) {
    ModalWatcher watcher;
    bool stillOpen = false;
    int shown = 0;
    watcher.answer("TFSettings", [&](QWidget* w) {
      if (++shown == 1) {
        control<QRadioButton>(w, "RBConverged")->click();
        control<QLineEdit>(w, "ETolerance")->setText(QString::fromLatin1(c.text));
        // Clicked from the dialog's own event loop, so the error window it
        // opens is answered in turn.
        QTimer::singleShot(0, control<QPushButton>(w, "BOK"), &QPushButton::click);
      } else {
        stillOpen = w->isVisible();
        control<QPushButton>(w, "BCancel")->click();
      }
    });
    clickSettings();
    EXPECT_EQ(watcher.errors(), QStringList{QString::fromLatin1(c.message)}) << c.text;
    EXPECT_TRUE(stillOpen) << c.text;
    EXPECT_TRUE(sampling() == (core::SamplingSettings{core::Sampling::Classic, 2e-3})) << c.text;
    EXPECT_TRUE(keptSettings().allKeys().isEmpty()) << c.text << ": nothing kept";
  }
}

TEST_F(SettingsTest, SettingsSurviveARestartAndBadKeptValuesFallBackToDefaults) {
  restart();
  ModalWatcher watcher;
  watcher.answer("TFSettings", [](QWidget* w) {
    control<QLineEdit>(w, "ETolerance")->setText("5e-4");
    control<QPushButton>(w, "BOK")->click();
  });
  clickSettings();
  restart();
  EXPECT_TRUE(sampling() == (core::SamplingSettings{core::Sampling::Converged, 5e-4}));
  EXPECT_EQ(keptSettings().value("tolerance").toString().toStdString(), "0.0005");

  const struct {
    const char* sampling;
    const char* tolerance;
    core::SamplingSettings expected;
  } kept[] = {
      {"classic", "0.02", {core::Sampling::Classic, 0.02}},
      {"classic", "0.5", {core::Sampling::Classic, core::kDefaultTolerance}},
      {"fast", "1e-5", {core::Sampling::Converged, 1e-5}},
      {"Classic", "abc", {}},
      {"", "", {}},
  };
  for (const auto& c : kept) {
    {
      QSettings store = keptSettings();
      store.setValue("sampling", c.sampling);
      store.setValue("tolerance", c.tolerance);
    }
    restart();
    EXPECT_TRUE(sampling() == c.expected) << c.sampling << " " << c.tolerance;
  }
}

}  // namespace
}  // namespace kvo::gui
