// The EMF and WMF files are checked record by record against the published
// formats (metafile_inspection.h), for the sample chart and for drawings that
// push the writers: more styles than the object cache holds, clips, text at
// an angle, pictures.
#include "metafile_inspection.h"
#include "sample_chart.h"

#include "plot/emf_record_writer.h"
#include "plot/gdi_drawing_writer.h"
#include "plot/metafile_paint_device.h"
#include "plot/picture_export.h"
#include "plot/wmf_record_writer.h"

#include <QPainter>

#include <gtest/gtest.h>

#include <functional>

namespace kvo::gui {
namespace {

using test::MetafileInspection;

struct Format {
    const char* name;
    std::function<QByteArray(const MetafileDrawing&)> encode;
    std::function<MetafileInspection(const QByteArray&, QSize)> inspect;
    std::uint32_t clipRecord;
};

void PrintTo(const Format& format, std::ostream* out)
{
    *out << format.name;
}

const Format kEmf{"Emf", EmfRecordWriter::encode, test::inspectEmf, 30};
const Format kWmf{"Wmf", WmfRecordWriter::encode, test::inspectWmf, 0x0416};

MetafileDrawing draw(QSize size, const std::function<void(QPainter&)>& paint)
{
    MetafilePaintDevice device(size);
    QPainter painter(&device);
    paint(painter);
    painter.end();
    return device.drawing();
}

const test::InspectedText* findText(const MetafileInspection& inspection, const QString& text)
{
    for (const test::InspectedText& item : inspection.texts) {
        if (item.text == text)
            return &item;
    }
    return nullptr;
}

class MetafileStructure : public ::testing::TestWithParam<Format> {};

TEST_P(MetafileStructure, SampleChartIsWellFormed)
{
    const auto chart = test::makeSampleChart(640, 480);
    const MetafileDrawing drawing = draw(QSize(640, 480), [&](QPainter& p) {
        renderChart(chart.get(), p, QRectF(0, 0, 640, 480));
    });
    const QByteArray file = GetParam().encode(drawing);
    const MetafileInspection inspection = GetParam().inspect(file, QSize(640, 480));
    EXPECT_TRUE(inspection.problems.isEmpty()) << inspection.problems.join("; ").toStdString();

    // Axis titles: the vertical one reads upwards. (Qt Charts shows titles as
    // rich text, which folds the double space of "North  (m)".)
    const test::InspectedText* east = findText(inspection, "East (m)");
    const test::InspectedText* north = findText(inspection, "North (m)");
    ASSERT_NE(east, nullptr);
    ASSERT_NE(north, nullptr);
    EXPECT_EQ(east->escapement, 0);
    EXPECT_EQ(north->escapement, 900);
    EXPECT_LT(north->fontHeight, 0) << "font heights are em heights, written negative";
    // The axis title "East (m)" is under the plot, "North (m)" left of it.
    EXPECT_GT(east->origin.y(), 400 * inspection.unitsPerPixel);
    EXPECT_LT(north->origin.x(), 100 * inspection.unitsPerPixel);
    EXPECT_NE(findText(inspection, "Loops position"), nullptr);
    // Qt Charts clips every item to its own box, so nothing needs a clip record.
    EXPECT_EQ(inspection.clipRecords, 0);
}

TEST_P(MetafileStructure, ManyStylesClipsTextAndPicturesStayConsistent)
{
    QImage picture(8, 4, QImage::Format_RGB32);
    picture.fill(Qt::red);
    const MetafileDrawing drawing = draw(QSize(300, 200), [&](QPainter& p) {
        p.setClipRect(QRectF(20, 20, 200, 150));
        // Twice as many pens and brushes as the writer keeps.
        for (int i = 0; i < 2 * GdiDrawingWriter::kMaxObjects; ++i) {
            p.setPen(QColor::fromHsv(i * 2, 255, 200));
            p.setBrush(QColor::fromHsv(i * 2, 128, 255));
            p.drawRect(QRectF(5 + i, 5 + i / 2, 30, 20));  // the first ones cross the clip
        }
        p.save();
        p.translate(40, 150);
        p.rotate(-90);
        p.drawText(QPointF(0, 0), "upwards");
        p.restore();
        p.drawImage(QRectF(100, 100, 16, 8), picture);
    });
    const QByteArray file = GetParam().encode(drawing);
    const MetafileInspection inspection = GetParam().inspect(file, QSize(300, 200));
    EXPECT_TRUE(inspection.problems.isEmpty()) << inspection.problems.join("; ").toStdString();
    EXPECT_LE(inspection.mostLiveObjects, GdiDrawingWriter::kMaxObjects);
    EXPECT_GT(inspection.clipRecords, 0);
    EXPECT_EQ(inspection.imageRecords, 1);
    const test::InspectedText* text = findText(inspection, "upwards");
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(text->escapement, 900);
}

// A clip is written only for what it cuts.
TEST_P(MetafileStructure, WritesAClipOnlyWhereItCuts)
{
    struct Case {
        QRectF rect;
        int clips;
    };
    const Case cases[] = {{QRectF(20, 20, 10, 10), 0}, {QRectF(5, 20, 10, 10), 1}, {QRectF(45, 45, 10, 10), 1}};
    for (const Case& c : cases) {
        SCOPED_TRACE(QString("rect at %1,%2").arg(c.rect.x()).arg(c.rect.y()).toStdString());
        const MetafileDrawing drawing = draw(QSize(100, 100), [&](QPainter& p) {
            p.setClipRect(QRectF(10, 10, 40, 40));
            p.setPen(Qt::NoPen);
            p.setBrush(Qt::black);
            p.drawRect(c.rect);
        });
        const MetafileInspection inspection = GetParam().inspect(GetParam().encode(drawing), QSize(100, 100));
        EXPECT_TRUE(inspection.problems.isEmpty()) << inspection.problems.join("; ").toStdString();
        EXPECT_EQ(inspection.clipRecords, c.clips);
    }
}

INSTANTIATE_TEST_SUITE_P(Formats, MetafileStructure, ::testing::Values(kEmf, kWmf),
                         [](const ::testing::TestParamInfo<Format>& param) { return std::string(param.param.name); });

// WMF coordinates are 16-bit: the units per pixel shrink for large pictures.
TEST(WmfScale, FitsTheBoundingBoxIntoSixteenBits)
{
    struct Case {
        QSize size;
        int unitsPerPixel;
    };
    const Case cases[] = {{{640, 480}, 15}, {{2184, 100}, 15}, {{2185, 100}, 14}, {{20000, 10}, 1}, {{32767, 1}, 1}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.size.width());
        const MetafileInspection inspection =
            test::inspectWmf(WmfRecordWriter::encode(MetafileDrawing{c.size, {}}), c.size);
        EXPECT_TRUE(inspection.problems.isEmpty()) << inspection.problems.join("; ").toStdString();
        EXPECT_EQ(inspection.unitsPerPixel, c.unitsPerPixel);
    }
    EXPECT_TRUE(WmfRecordWriter::canHold(QSize(32767, 32767)));
    EXPECT_FALSE(WmfRecordWriter::canHold(QSize(32768, 10)));
}

}  // namespace
}  // namespace kvo::gui
