#include <gtest/gtest.h>

#include <QChart>
#include <QLineEdit>
#include <QSignalSpy>
#include <QXYSeries>

#include <cmath>

#include "app/up_down.h"
#include "options/tf_topography.h"
#include "support/modal_watcher.h"

namespace kvo::gui {
namespace {

using test::ModalWatcher;

class TopographyDialogTest : public ::testing::Test {
 protected:
  TFTopography& open(double enabled, double azimuth, double inclination) {
    core::SlopeSetup& s = m_context.parameters.slope;
    s[core::kSlopeEnabled] = enabled;
    s[core::kSlopeAzimuth] = azimuth;
    s[core::kSlopeInclination] = inclination;
    m_dialog = std::make_unique<TFTopography>(m_context);
    m_dialog->Timer1Timer();
    return *m_dialog;
  }
  QLineEdit* edit(const char* name) { return m_dialog->findChild<QLineEdit*>(name); }
  UpDown* upDown(const char* name) { return m_dialog->findChild<UpDown*>(name); }
  static QXYSeries* slope(QChart* chart) { return qobject_cast<QXYSeries*>(chart->series().at(2)); }
  double stored(std::size_t slot) const { return m_context.parameters.slope[slot]; }

  core::AppContext m_context;
  std::unique_ptr<TFTopography> m_dialog;
};

TEST_F(TopographyDialogTest, OpeningClampsTheCommittedAnglesEvenOnCancel) {
  const struct {
    double enabled, azimuth, inclination;
    const char* azimuthText;
    const char* inclinationText;
    double keptAzimuth, keptInclination;
  } cases[] = {
      {1, 120, 12.7, "90", "12", 90, 12.7},
      {1, -200, -45.9, "-90", "-45", -90, -45.9},
      {0, 120, 30, "0", "0", 120, 30},
  };
  for (const auto& c : cases) {
    open(c.enabled, c.azimuth, c.inclination);
    EXPECT_EQ(edit("EAzim")->text(), c.azimuthText);
    EXPECT_EQ(edit("EInclin")->text(), c.inclinationText);
    m_dialog->BCancelClick();
    EXPECT_EQ(stored(core::kSlopeAzimuth), c.keptAzimuth);
    EXPECT_EQ(stored(core::kSlopeInclination), c.keptInclination);
    EXPECT_EQ(stored(core::kSlopeEnabled), c.enabled);
  }
}

TEST_F(TopographyDialogTest, DrawClampsTheEditsButOkKeepsWhatWasTyped) {
  const struct {
    const char* typed;
    const char* shown;  // after Draw
    int position;
  } cases[] = {{"95", "90.0", 90}, {"-95", "-90.0", -90}, {"90", "90", 90}, {"-12.7", "-12.7", -12}};
  for (const auto& c : cases) {
    open(0, 0, 0);
    edit("EInclin")->setText(c.typed);
    edit("EAzim")->setText(c.typed);
    ASSERT_TRUE(m_dialog->BDrawClick());
    EXPECT_EQ(edit("EInclin")->text(), c.shown) << c.typed;
    EXPECT_EQ(edit("EAzim")->text(), c.shown) << c.typed;
    EXPECT_EQ(upDown("UDInclin")->position(), c.position) << c.typed;
    EXPECT_EQ(upDown("UDAzim")->position(), c.position) << c.typed;

    open(0, 0, 0);
    edit("EInclin")->setText(c.typed);
    QSignalSpy accepted(m_dialog.get(), &QDialog::accepted);
    m_dialog->BOKClick();
    EXPECT_EQ(accepted.count(), 1);
    EXPECT_EQ(stored(core::kSlopeEnabled), 1.0);
    EXPECT_EQ(stored(core::kSlopeInclination), std::stod(c.typed)) << "OK stores " << c.typed << " as typed";
  }
}

TEST_F(TopographyDialogTest, UpDownsShowIntegersAndRedrawTheSlope) {
  open(1, 89, 44);
  upDown("UDAzim")->stepUp();
  EXPECT_EQ(edit("EAzim")->text(), "90");
  upDown("UDAzim")->stepUp();  // stops at 90
  EXPECT_EQ(edit("EAzim")->text(), "90");
  upDown("UDInclin")->stepUp();
  EXPECT_EQ(edit("EInclin")->text(), "45");
  // Azimuth 90: the slope runs along the west-east axis.
  QXYSeries* plan = slope(m_dialog->azimuthChart());
  ASSERT_EQ(plan->count(), 200);
  for (const QPointF& p : plan->points()) EXPECT_NEAR(p.y(), 0, 1e-8);
  EXPECT_NEAR(plan->at(0).x(), -10, 1e-8);
  // Inclination 45: from the upper left down to the lower right.
  QXYSeries* section = slope(m_dialog->inclinationChart());
  ASSERT_EQ(section->count(), 200);
  const double h = 10 / std::sqrt(2.0);
  EXPECT_NEAR(section->at(0).x(), -h, 1e-8);
  EXPECT_NEAR(section->at(0).y(), h, 1e-8);
  EXPECT_GT(section->at(199).x(), 0);
  EXPECT_LT(section->at(199).y(), 0);
  for (QChart* chart : {m_dialog->azimuthChart(), m_dialog->inclinationChart()}) {
    EXPECT_EQ(qobject_cast<QXYSeries*>(chart->series().at(0))->count(), 2);
    EXPECT_EQ(qobject_cast<QXYSeries*>(chart->series().at(1))->count(), 2);
  }
}

TEST_F(TopographyDialogTest, AnEditThatIsNotANumberIsNamed) {
  const struct {
    const char* azimuth;
    const char* inclination;
    const char* message;
  } cases[] = {{"north", "10", "Azimuth (degr): \"north\" is not a number"},
               {"10", "", "Inclination (degr): \"\" is not a number"}};
  for (const auto& c : cases) {
    open(1, 30, 20);
    edit("EAzim")->setText(c.azimuth);
    edit("EInclin")->setText(c.inclination);
    QSignalSpy accepted(m_dialog.get(), &QDialog::accepted);
    ModalWatcher watcher;
    EXPECT_FALSE(m_dialog->BDrawClick());
    m_dialog->BOKClick();
    EXPECT_EQ(watcher.errors(), QStringList({c.message, c.message}));
    EXPECT_EQ(accepted.count(), 0);
    EXPECT_EQ(stored(core::kSlopeAzimuth), 30);
    EXPECT_EQ(stored(core::kSlopeInclination), 20);
  }
}

}  // namespace
}  // namespace kvo::gui
