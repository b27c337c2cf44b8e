// The kernel window on result files written by the core's writers: the
// picture in each view and axis scale, profiles picked by clicking, the
// water model's sounding curve, saving, single-depth results and files that
// cannot be read.
#include <gtest/gtest.h>

#include <QApplication>
#include <QChartView>
#include <QColorAxis>
#include <QCheckBox>
#include <QComboBox>
#include <QImage>
#include <QLabel>
#include <QLineSeries>
#include <QPushButton>
#include <QStackedWidget>
#include <QTableWidget>
#include <QTest>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "compute/result_files.h"
#include "kernel/curve_chart.h"
#include "kernel/kernel_files.h"
#include "kernel/kernel_image_chart.h"
#include "kernel/kernel_quantity.h"
#include "kernel/tf_kernel.h"
#include "model/number_text.h"
#include "support/modal_watcher.h"
#include "support/scratch_folder.h"

namespace kvo::gui {
namespace {

namespace fs = std::filesystem;
using test::ModalWatcher;

std::vector<std::vector<std::string>> readCsv(const fs::path& path) {
  std::ifstream in(path);
  std::vector<std::vector<std::string>> rows;
  for (std::string line; std::getline(in, line);) {
    std::vector<std::string> cells;
    std::stringstream s(line);
    for (std::string cell; std::getline(s, cell, ',');) cells.push_back(cell);
    rows.push_back(cells);
  }
  return rows;
}

double number(const std::string& text) { return std::stod(text); }

class KernelWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    m_dir = test::freshTestFolder("kvo_gui_kernel_");
  }
  void TearDown() override {
    m_window.reset();
    fs::remove_all(m_dir);
  }

  TFKernel& open(const std::string& path) {
    FileChooser files;
    files.save = [this](QWidget*, const QString&, const QString&, const QString&, const QString&) {
      return QString::fromStdString(m_next.string());
    };
    files.saveWithFilter = [this](QWidget*, const QString&, const QString&, const QString&) {
      return std::pair{QString::fromStdString(m_next.string()), m_filter};
    };
    m_window = std::make_unique<TFKernel>(m_context, nullptr, files);
    EXPECT_TRUE(m_window->openFile(QString::fromStdString(path)));
    m_window->show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(m_window.get()));
    m_kernel = core::ReadKernelFile(path).data.value();
    return *m_window;
  }
  template <class W>
  W* child(const char* name) {
    W* w = m_window->findChild<W*>(name);
    EXPECT_NE(w, nullptr) << name;
    return w;
  }
  // The picture's pixel at the centre of cell (p, z).
  QRgb pixelAt(std::size_t p, std::size_t z) {
    KernelImageChart* chart = m_window->imageChart();
    const QPointF at = chart->cellCentre(p, z) - chart->plotArea().topLeft();
    const QImage& image = chart->image();
    return image.pixel(std::clamp(static_cast<int>(at.x()), 0, image.width() - 1),
                       std::clamp(static_cast<int>(at.y()), 0, image.height() - 1));
  }
  void clickCell(std::size_t p, std::size_t z) {
    auto* view = child<QChartView>("ChKernel");
    const QPointF scene = m_window->imageChart()->mapToScene(m_window->imageChart()->cellCentre(p, z));
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, view->mapFromScene(scene));
  }
  void setModel(const std::vector<std::vector<QString>>& rows) {
    auto* table = child<QTableWidget>("SGModel");
    while (table->rowCount() > 0) {
      table->setCurrentCell(0, 0);
      m_window->BRemoveLayerClick();
    }
    for (const auto& row : rows) {
      m_window->BAddLayerClick();
      for (int c = 0; c < static_cast<int>(row.size()); ++c) table->item(table->rowCount() - 1, c)->setText(row[static_cast<std::size_t>(c)]);
    }
  }

  fs::path m_dir;
  fs::path m_next;
  QString m_filter = QStringLiteral("PNG images (*.png)");
  core::AppContext m_context;
  core::KernelData m_kernel;
  std::unique_ptr<TFKernel> m_window;
};

TEST_F(KernelWindowTest, PictureShowsEachQuantityAlignedWithBothAxisScales) {
  TFKernel& window = open(test::writeDepthSeries(m_dir, "series"));
  EXPECT_EQ(window.windowTitle(), "Kernel - series.mrm");
  // Large enough for every cell below to be several pixels on every scale
  // (the moments grow geometrically, the depths quadratically).
  window.resize(1900, 1300);
  QApplication::processEvents();
  KernelImageChart* chart = window.imageChart();
  window.pickPulse(0);  // a marker line: a series on both axes, to ask them where values lie
  const std::pair<std::size_t, std::size_t> cells[] = {{70, 60}, {85, 30}, {99, 99}, {80, 15}, {92, 45}, {75, 80}};
  const struct {
    bool logPulse, logDepth;
  } scales[] = {{true, false}, {false, false}, {true, true}, {false, true}};
  for (const auto& scale : scales) {
    child<QCheckBox>("CBLogPulse")->setChecked(scale.logPulse);
    child<QCheckBox>("CBLogDepth")->setChecked(scale.logDepth);
    ASSERT_EQ(chart->isLogarithmic(Qt::Horizontal), scale.logPulse);
    ASSERT_EQ(chart->isLogarithmic(Qt::Vertical), scale.logDepth);
    std::vector<QImage> pictures;
    for (KernelQuantity quantity : kKernelQuantities) {
      child<QComboBox>("CBQuantity")->setCurrentIndex(static_cast<int>(quantity));
      ASSERT_EQ(window.quantity(), quantity);
      const ColourScale& colours = chart->scale();
      for (const auto& [p, z] : cells) {
        SCOPED_TRACE(testing::Message() << "quantity " << static_cast<int>(quantity) << " log " << scale.logPulse
                                        << scale.logDepth << " cell " << p << "," << z);
        // The cell sits where the chart's own axes put its pulse moment and
        // depth, and has the colour of its value.
        QAbstractSeries* onAxes = chart->series().value(0);
        ASSERT_NE(onAxes, nullptr);
        const QPointF axes = chart->mapToPosition(QPointF(m_kernel.pulseMoments[p], m_kernel.depths[z]), onAxes);
        EXPECT_NEAR(axes.x(), chart->cellCentre(p, z).x(), 0.5);
        EXPECT_NEAR(axes.y(), chart->cellCentre(p, z).y(), 0.5);
        EXPECT_EQ(pixelAt(p, z), colours.rgb(quantityOf(m_kernel.at(p, z), quantity)));
      }
      pictures.push_back(chart->image());
    }
    for (std::size_t a = 0; a < pictures.size(); ++a) {
      for (std::size_t b = a + 1; b < pictures.size(); ++b) EXPECT_NE(pictures[a], pictures[b]) << a << " " << b;
    }
  }
  // The colour axis gives the scale's range and the unit.
  child<QComboBox>("CBQuantity")->setCurrentIndex(static_cast<int>(KernelQuantity::Phase));
  EXPECT_EQ(chart->colourAxis()->titleText(), "Phase (deg)");
  EXPECT_DOUBLE_EQ(chart->colourAxis()->min(), chart->scale().low());
  EXPECT_DOUBLE_EQ(chart->colourAxis()->max(), chart->scale().high());
}

TEST_F(KernelWindowTest, ClickingPicksUpToFiveProfiles) {
  TFKernel& window = open(test::writeDepthSeries(m_dir, "series"));
  const std::size_t clicks[] = {5, 20, 40, 60, 80, 95};
  for (std::size_t p : clicks) clickCell(p, 50);
  // The sixth replaced the oldest and took its colour.
  EXPECT_EQ(window.pickedPulses(), (std::vector<std::size_t>{20, 40, 60, 80, 95}));
  const QList<QAbstractSeries*> series = window.profileChart()->series();
  ASSERT_EQ(series.size(), 5);
  QSet<QRgb> colours;
  for (int i = 0; i < 5; ++i) {
    auto* line = qobject_cast<QLineSeries*>(series[i]);
    const std::size_t p = window.pickedPulses()[static_cast<std::size_t>(i)];
    colours.insert(line->color().rgb());
    ASSERT_EQ(line->count(), 100);
    for (int z : {0, 37, 99}) {
      EXPECT_DOUBLE_EQ(line->at(z).x(), std::abs(m_kernel.at(p, static_cast<std::size_t>(z))));
      EXPECT_DOUBLE_EQ(line->at(z).y(), m_kernel.depths[static_cast<std::size_t>(z)]);
    }
  }
  EXPECT_EQ(colours.size(), 5);
  EXPECT_EQ(qobject_cast<QLineSeries*>(series[4])->color(), QColor(220, 20, 60)) << "the first profile's colour";
  // A click outside the picture picks nothing; Clear removes them all.
  auto* view = child<QChartView>("ChKernel");
  QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, QPoint(2, 2));
  EXPECT_EQ(window.pickedPulses().size(), 5u);
  child<QPushButton>("BClearProfiles")->click();
  EXPECT_TRUE(window.pickedPulses().empty());
  EXPECT_TRUE(window.profileChart()->series().isEmpty());
}

TEST_F(KernelWindowTest, WaterModelGivesTheForwardResponseOrTheReasonItIsRefused) {
  TFKernel& window = open(test::writeDepthSeries(m_dir, "series"));
  auto* curve = child<QTableWidget>("SGCurve");
  setModel({{"2", "10.5", "0.25", ""}, {"20", "45", "0.4", "0.2"}});
  ASSERT_EQ(window.modelMessage(), "");
  const std::vector<std::complex<double>> expected =
      core::ForwardResponse(m_kernel, {{2, 10.5, 0.25, 0}, {20, 45, 0.4, 0.2}});
  ASSERT_EQ(curve->rowCount(), 100);
  for (int p = 0; p < 100; ++p) {
    const std::complex<double> v = expected[static_cast<std::size_t>(p)];
    EXPECT_EQ(curve->item(p, 1)->text().toStdString(), core::formatFixed(std::abs(v), 0, 4));
    EXPECT_EQ(curve->item(p, 2)->text().toStdString(), core::formatFixed(core::kernelPhaseDegrees(v.real(), v.imag()), 0, 2));
  }
  EXPECT_TRUE(window.soundingChart()->hasCurve());

  const struct {
    std::vector<std::vector<QString>> rows;
    const char* message;  // a part of the message shown
  } refused[] = {
      {{{"2", "ten", "0.25", ""}}, "Water model, layer 1, bottom (m): \"ten\" is not a number"},
      {{{"2", "10", "0.25", "x"}}, "layer 1, T2* (s)"},
      {{{"2", "10", "1.5", ""}}, "water content"},
      {{{"2", "10", "0.2", ""}, {"8", "20", "0.2", ""}}, "overlap"},
      {{{"2", "500", "0.2", ""}}, "not within the kernel's depths"},
      {{}, "no layer"},
  };
  for (const auto& c : refused) {
    setModel(c.rows);
    EXPECT_TRUE(window.modelMessage().contains(QString::fromUtf8(c.message))) << window.modelMessage().toStdString();
    EXPECT_EQ(curve->rowCount(), 0) << c.message;
    EXPECT_FALSE(window.soundingChart()->hasCurve()) << c.message;
  }
}

TEST_F(KernelWindowTest, SavePictureAndDataWriteWhatIsShown) {
  TFKernel& window = open(test::writeDepthSeries(m_dir, "series"));
  window.pickPulse(30);
  window.pickPulse(70);
  setModel({{"5", "25", "0.3", ""}});
  child<QComboBox>("CBQuantity")->setCurrentIndex(static_cast<int>(KernelQuantity::Imaginary));
  ModalWatcher watcher;

  // Pictures: one file per chart, each the size of its chart on screen.
  m_next = m_dir / "shot.png";
  window.BSavePictureClick();
  const std::pair<const char*, const char*> pictures[] = {
      {"shot.png", "ChKernel"}, {"shot_profiles.png", "ChProfiles"}, {"shot_sounding.png", "ChSounding"}};
  for (const auto& [file, view] : pictures) {
    const QImage image(QString::fromStdString((m_dir / file).string()));
    ASSERT_FALSE(image.isNull()) << file;
    EXPECT_EQ(image.size(), child<QChartView>(view)->chart()->size().toSize()) << file;
  }
  // The saved kernel picture holds the picture itself, not an empty chart.
  const QImage saved(QString::fromStdString((m_dir / "shot.png").string()));
  const QPointF centre = window.imageChart()->cellCentre(50, 50);
  EXPECT_EQ(saved.pixel(centre.toPoint()) & 0xffffff, window.imageChart()->scale().rgb(m_kernel.at(50, 50).imag()) & 0xffffff);
  // Saving again asks before replacing (cancelled here: the files stay),
  // without touching the program's current parameter file.
  m_context.CurrentParameterFile = "run.nmc";
  const auto written = fs::last_write_time(m_dir / "shot_profiles.png");
  window.BSavePictureClick();
  EXPECT_EQ(watcher.seen.count(QStringLiteral("TFOverwrite: File exists. Overwrite?")), 1);
  EXPECT_EQ(fs::last_write_time(m_dir / "shot_profiles.png"), written);
  EXPECT_EQ(m_context.CurrentParameterFile, "run.nmc");
  // Another format through the filter's choice.
  m_next = m_dir / "shot";
  m_filter = QStringLiteral("SVG drawings (*.svg)");
  window.BSavePictureClick();
  EXPECT_TRUE(fs::file_size(m_dir / "shot.svg") > 0);
  EXPECT_TRUE(fs::exists(m_dir / "shot_sounding.svg"));

  // Data: read back to the same numbers.
  m_next = m_dir / "data.csv";
  window.BSaveDataClick();
  const auto matrix = readCsv(m_dir / "data.csv");
  ASSERT_EQ(matrix.size(), 101u);
  EXPECT_EQ(matrix[0][0], "Imaginary part (nV/m) at depth (m) down and pulse moment (A-ms) across");
  for (std::size_t p = 0; p < 100; ++p) EXPECT_EQ(number(matrix[0][p + 1]), m_kernel.pulseMoments[p]);
  for (std::size_t z = 0; z < 100; ++z) {
    ASSERT_EQ(matrix[z + 1].size(), 101u);
    EXPECT_EQ(number(matrix[z + 1][0]), m_kernel.depths[z]);
    for (std::size_t p = 0; p < 100; ++p) EXPECT_EQ(number(matrix[z + 1][p + 1]), m_kernel.at(p, z).imag());
  }
  const auto sounding = readCsv(m_dir / "data_sounding.csv");
  const Curve& curve = window.soundingChart()->curve();
  ASSERT_EQ(sounding.size(), 101u);
  for (std::size_t p = 0; p < 100; ++p) {
    EXPECT_EQ(number(sounding[p + 1][1]), curve.amplitudes[p]);
    EXPECT_EQ(number(sounding[p + 1][2]), curve.phases[p]);
  }
  const auto profiles = readCsv(m_dir / "data_profiles.csv");
  ASSERT_EQ(profiles.size(), 101u);
  ASSERT_EQ(profiles[0].size(), 3u);
  EXPECT_EQ(number(profiles[40][2]), std::abs(m_kernel.at(70, 39)));
  EXPECT_EQ(watcher.errors(), QStringList{});
}

TEST_F(KernelWindowTest, SingleDepthShowsTheSignalTable) {
  TFKernel& window = open(test::writeSingleDepth(m_dir, "single"));
  EXPECT_EQ(child<QStackedWidget>("SPages")->currentWidget(), child<QChartView>("ChSignal")->parentWidget());
  ASSERT_EQ(m_kernel.amplitudes.size(), 100u);
  const Curve& curve = window.signalChart()->curve();
  EXPECT_EQ(curve.pulseMoments, m_kernel.pulseMoments);
  EXPECT_EQ(curve.amplitudes, m_kernel.amplitudes);
  EXPECT_EQ(curve.phases, m_kernel.phases);
  auto* table = child<QTableWidget>("SGSignal");
  ASSERT_EQ(table->rowCount(), 100);
  EXPECT_EQ(table->item(42, 1)->text().toStdString(), core::formatFixed(m_kernel.amplitudes[42], 0, 2));
  EXPECT_FALSE(child<QComboBox>("CBQuantity")->isEnabled());
  window.pickPulse(3);
  EXPECT_TRUE(window.pickedPulses().empty());

  ModalWatcher watcher;
  m_next = m_dir / "signal.csv";
  window.BSaveDataClick();
  const auto rows = readCsv(m_dir / "signal.csv");
  ASSERT_EQ(rows.size(), 101u);
  EXPECT_EQ(number(rows[100][1]), m_kernel.amplitudes[99]);
  m_next = m_dir / "signal.png";
  window.BSavePictureClick();
  EXPECT_FALSE(QImage(QString::fromStdString((m_dir / "signal.png").string())).isNull());
  EXPECT_EQ(watcher.errors(), QStringList{});
}

TEST_F(KernelWindowTest, FileThatCannotBeReadLeavesTheWindowAsItWas) {
  TFKernel& window = open(test::writeDepthSeries(m_dir, "series"));
  window.pickPulse(12);
  const QImage before = window.imageChart()->image();
  std::string text;
  {
    std::ifstream in(m_dir / "series.mrm");
    text.assign(std::istreambuf_iterator<char>(in), {});
  }
  text.replace(text.rfind("    "), 4, " xyz");  // a value that is not a number
  std::ofstream(m_dir / "damaged.mrm") << text;
  const std::string message = core::ReadKernelFile((m_dir / "damaged.mrm").string()).message;
  ASSERT_FALSE(message.empty());

  ModalWatcher watcher;
  EXPECT_FALSE(window.openFile(QString::fromStdString((m_dir / "damaged.mrm").string())));
  EXPECT_FALSE(window.openFile(QString::fromStdString((m_dir / "missing.mrm").string())));
  EXPECT_EQ(watcher.errors().value(0), QString::fromStdString(message));
  EXPECT_TRUE(watcher.errors().value(1).contains("missing.mrm"));
  EXPECT_EQ(window.windowTitle(), "Kernel - series.mrm");
  EXPECT_EQ(window.pickedPulses(), std::vector<std::size_t>{12});
  EXPECT_EQ(window.imageChart()->image(), before);
}

}  // namespace
}  // namespace kvo::gui
