#include <gtest/gtest.h>

#include <QChart>
#include <QLineEdit>
#include <QSignalSpy>
#include <QXYSeries>

#include "app/up_down.h"
#include "options/tf_topography.h"
#include "support/modal_watcher.h"

namespace kvo::gui {
namespace {

class TopographyDialogTest : public ::testing::Test {
 protected:
  void open(double enabled, double azimuth, double inclination) {
    m_context.parameters.slope = {enabled, azimuth, inclination};
    m_dialog = std::make_unique<TFTopography>(m_context);
    m_dialog->Timer1Timer();
  }
  QLineEdit* edit(const char* name) { return m_dialog->findChild<QLineEdit*>(name); }
  UpDown* upDown(const char* name) { return m_dialog->findChild<UpDown*>(name); }
  static QXYSeries* slope(QChart* chart) { return qobject_cast<QXYSeries*>(chart->series().at(2)); }
  const core::SlopeSetup& stored() const { return m_context.parameters.slope; }

  core::AppContext m_context;
  std::unique_ptr<TFTopography> m_dialog;
};

TEST_F(TopographyDialogTest, OpeningClampsTheCommittedAnglesEvenOnCancel) {
  const struct {
    double enabled, azimuth, inclination;
    const char* azimuthText;
    const char* inclinationText;
    double keptAzimuth, keptInclination;
  } cases[] = {{1, 120, 12.7, "90", "12", 90, 12.7}, {1, -200, -45.9, "-90", "-45", -90, -45.9},
               {0, 120, 30, "0", "0", 120, 30}};
  for (const auto& c : cases) {
    open(c.enabled, c.azimuth, c.inclination);
    EXPECT_EQ(edit("EAzim")->text(), c.azimuthText);
    EXPECT_EQ(edit("EInclin")->text(), c.inclinationText);
    m_dialog->BCancelClick();
    EXPECT_EQ(stored()[core::kSlopeAzimuth], c.keptAzimuth);
    EXPECT_EQ(stored()[core::kSlopeInclination], c.keptInclination);
  }
}

TEST_F(TopographyDialogTest, DrawClampsTheEditsButOkKeepsWhatWasTyped) {
  const struct {
    const char* typed;
    const char* drawn;
    int position;
  } cases[] = {{"95", "90.0", 90}, {"-95", "-90.0", -90}, {"90", "90", 90}, {"-12.7", "-12.7", -12}};
  for (const auto& c : cases) {
    open(0, 0, 0);
    edit("EAzim")->setText(c.typed);
    edit("EInclin")->setText(c.typed);
    ASSERT_TRUE(m_dialog->BDrawClick());
    EXPECT_EQ(edit("EAzim")->text(), c.drawn) << c.typed;
    EXPECT_EQ(edit("EInclin")->text(), c.drawn) << c.typed;
    EXPECT_EQ(upDown("UDInclin")->position(), c.position) << c.typed;

    open(0, 0, 0);
    edit("EInclin")->setText(c.typed);
    m_dialog->BOKClick();
    EXPECT_EQ(stored(), (core::SlopeSetup{1, 0, std::stod(c.typed)})) << "OK stores " << c.typed << " as typed";
  }
}

TEST_F(TopographyDialogTest, UpDownsShowIntegersAndRedrawTheSlope) {
  open(1, 89, 44);
  upDown("UDAzim")->stepUp();
  upDown("UDAzim")->stepUp();  // stops at 90
  EXPECT_EQ(edit("EAzim")->text(), "90");
  upDown("UDInclin")->stepUp();
  EXPECT_EQ(edit("EInclin")->text(), "45");
  QXYSeries* plan = slope(m_dialog->azimuthChart());  // along the west-east axis
  ASSERT_EQ(plan->count(), 200);
  for (const QPointF& p : plan->points()) EXPECT_NEAR(p.y(), 0, 1e-8);
  QXYSeries* section = slope(m_dialog->inclinationChart());  // from upper left to lower right
  ASSERT_EQ(section->count(), 200);
  EXPECT_LT(section->at(0).x(), 0);
  EXPECT_GT(section->at(0).y(), 0);
  EXPECT_NEAR(section->at(0).x(), -section->at(0).y(), 1e-8);
  EXPECT_GT(section->at(199).x(), 0);
  EXPECT_LT(section->at(199).y(), 0);
}

TEST_F(TopographyDialogTest, AnEditThatIsNotANumberIsNamed) {
  const char* cases[][3] = {{"north", "10", "Azimuth (degr): \"north\" is not a number"},
                            {"10", "", "Inclination (degr): \"\" is not a number"}};
  for (const auto& [azimuth, inclination, message] : cases) {
    open(1, 30, 20);
    edit("EAzim")->setText(azimuth);
    edit("EInclin")->setText(inclination);
    QSignalSpy accepted(m_dialog.get(), &QDialog::accepted);
    test::ModalWatcher watcher;
    EXPECT_FALSE(m_dialog->BDrawClick());
    m_dialog->BOKClick();
    EXPECT_EQ(watcher.errors(), QStringList({message, message}));
    EXPECT_EQ(accepted.count(), 0);
    EXPECT_EQ(stored(), (core::SlopeSetup{1, 30, 20}));
  }
}

}  // namespace
}  // namespace kvo::gui
