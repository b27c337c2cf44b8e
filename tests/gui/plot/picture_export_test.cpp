// Saving the chart in every format, then opening each file with a reader that
// shares no code with its writer. Set KVO_KEEP_PICTURES to a folder to keep
// the written pictures there, and in its readers/ folder what the readers
// showed (scripts/check_pictures.sh does).
#include "picture_readers.h"
#include "sample_chart.h"

#include "plot/picture_export.h"

#include <QChartView>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace kvo::gui {
namespace {

struct Written {
    PictureFormat format;
    const char* name;
    bool exactSize;  // the reader shows it at the chart's pixel size
};

void PrintTo(const Written& written, std::ostream* out)
{
    *out << written.name;
}

class PictureExport : public ::testing::TestWithParam<Written> {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_folder.isValid());
        ASSERT_TRUE(QDir().mkpath(scratch()));
    }
    QString scratch() const { return m_folder.filePath("scratch"); }
    QStringList filesInFolder() const
    {
        return QDir(m_folder.path()).entryList(QDir::Files | QDir::Hidden | QDir::System);
    }
    QTemporaryDir m_folder;
};

TEST_P(PictureExport, WritesAPictureThatAReaderOpens)
{
    const Written& w = GetParam();
    const auto view = test::makeSampleChartView(640, 480);
    ASSERT_NE(view, nullptr);
    const QString path = m_folder.filePath(QString("plot") + pictureSuffix(w.format));

    const std::optional<QString> error = savePicture(view.get(), path, w.format);
    ASSERT_FALSE(error) << error->toStdString();
    EXPECT_EQ(filesInFolder(), QStringList{QFileInfo(path).fileName()}) << "no temporary file is left";
    if (const QByteArray keep = qgetenv("KVO_KEEP_PICTURES"); !keep.isEmpty()) {
        QDir(keep).mkpath("readers");
        QFile::remove(QDir(keep).filePath(QFileInfo(path).fileName()));
        QFile::copy(path, QDir(keep).filePath(QFileInfo(path).fileName()));
    }

    const test::ReadPicture read = test::readPicture(path, w.format, scratch());
    ASSERT_FALSE(read.image.isNull()) << read.error.toStdString();
    if (const QByteArray keep = qgetenv("KVO_KEEP_PICTURES"); !keep.isEmpty())
        read.image.save(QDir(keep).filePath("readers/" + QFileInfo(path).fileName() + ".read.png"));
    if (w.exactSize) {
        EXPECT_EQ(read.image.size(), QSize(640, 480));
    } else {
        EXPECT_GE(read.image.width(), 400);
        EXPECT_NEAR(double(read.image.width()) / read.image.height(), 640.0 / 480.0, 0.02);
    }
    // The black transmitter circle and the red receiver square are there, the
    // square right of and above the circle's centre (no mirrored axis).
    const test::PixelsFound black = test::findPixels(read.image, test::isBlack);
    const test::PixelsFound red = test::findPixels(read.image, test::isRed);
    EXPECT_GT(black.count, 200);
    EXPECT_GT(red.count, 100);
    EXPECT_GT(red.box.center().x(), black.box.center().x());
    EXPECT_LT(red.box.center().y(), black.box.center().y());
    // The circle spans most of the plot: about as wide as high, as on screen.
    EXPECT_GT(black.box.width(), read.image.width() / 2);
}

INSTANTIATE_TEST_SUITE_P(Formats, PictureExport,
                         ::testing::Values(Written{PictureFormat::Bitmap, "Bmp", true},
                                           Written{PictureFormat::Png, "Png", true},
                                           Written{PictureFormat::Svg, "Svg", true},
                                           Written{PictureFormat::Pdf, "Pdf", false},
                                           Written{PictureFormat::EnhancedMetafile, "Emf", false},
                                           Written{PictureFormat::Metafile, "Wmf", false}),
                         [](const ::testing::TestParamInfo<Written>& param) { return std::string(param.param.name); });

// A failed save leaves nothing behind and says which file it could not write.
TEST_P(PictureExport, MissingFolderFailsWithoutLeavingAFile)
{
    const auto chart = test::makeSampleChart();
    const QString folder = m_folder.filePath("missing");
    const QString path = folder + "/plot" + pictureSuffix(GetParam().format);
    const std::optional<QString> error = savePicture(chart.get(), path, GetParam().format);
    ASSERT_TRUE(error);
    EXPECT_TRUE(error->contains(path)) << error->toStdString();
    EXPECT_FALSE(QFileInfo::exists(folder));
    EXPECT_EQ(filesInFolder(), QStringList{});
}

TEST(PictureExportChart, ChartWithoutViewIsDrawnAndLeftWithoutScene)
{
    QTemporaryDir folder;
    const auto chart = test::makeSampleChart(320, 240);
    const QString path = folder.filePath("plot.png");
    const std::optional<QString> error = savePicture(chart.get(), path, PictureFormat::Png);
    ASSERT_FALSE(error) << error->toStdString();
    EXPECT_EQ(chart->scene(), nullptr);
    const QImage image(path);
    EXPECT_EQ(image.size(), QSize(320, 240));
    EXPECT_GT(test::findPixels(image.convertToFormat(QImage::Format_RGB32), test::isRed).count, 50);
}

TEST(PictureExportChart, ReplacesAnExistingFile)
{
    QTemporaryDir folder;
    const QString path = folder.filePath("plot.bmp");
    {
        QFile old(path);
        ASSERT_TRUE(old.open(QIODevice::WriteOnly));
        old.write("an older picture");
    }
    const auto chart = test::makeSampleChart(400, 300);
    ASSERT_FALSE(savePicture(chart.get(), path, PictureFormat::Bitmap));
    EXPECT_EQ(QImage(path).size(), QSize(400, 300));
}

TEST(PictureExportChart, RefusesAMetafileTooLargeForSixteenBits)
{
    QTemporaryDir folder;
    const auto chart = test::makeSampleChart(40000, 100);
    const QString path = folder.filePath("plot.wmf");
    const std::optional<QString> error = savePicture(chart.get(), path, PictureFormat::Metafile);
    ASSERT_TRUE(error);
    EXPECT_TRUE(error->contains(path));
    EXPECT_TRUE(error->contains("too large")) << error->toStdString();
    EXPECT_FALSE(QFileInfo::exists(path));
}

}  // namespace
}  // namespace kvo::gui
