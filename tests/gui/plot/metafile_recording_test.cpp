// What the metafile paint device records from a painter: device geometry
// through transforms, GDI's primitives for Qt's, clips in picture pixels.
#include "plot/metafile_paint_device.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

#include <gtest/gtest.h>

#include <functional>

namespace kvo::gui {
namespace {

std::vector<MetafileCommand> record(const std::function<void(QPainter&)>& draw)
{
    MetafilePaintDevice device(QSize(200, 100));
    QPainter painter(&device);
    draw(painter);
    painter.end();
    return device.drawing().commands;
}

template <typename T>
std::vector<T> only(const std::vector<MetafileCommand>& commands)
{
    std::vector<T> result;
    for (const MetafileCommand& command : commands) {
        if (const T* item = std::get_if<T>(&command))
            result.push_back(*item);
    }
    return result;
}

void expectRect(const QRectF& actual, const QRectF& expected)
{
    EXPECT_NEAR(actual.left(), expected.left(), 1e-9);
    EXPECT_NEAR(actual.top(), expected.top(), 1e-9);
    EXPECT_NEAR(actual.width(), expected.width(), 1e-9);
    EXPECT_NEAR(actual.height(), expected.height(), 1e-9);
}

struct ShapeCase {
    const char* name;
    std::function<void(QPainter&)> draw;
    std::function<void(const std::vector<MetafileCommand>&)> check;
};

void PrintTo(const ShapeCase& shape, std::ostream* out)
{
    *out << shape.name;
}

class MetafileRecording : public ::testing::TestWithParam<ShapeCase> {};

TEST_P(MetafileRecording, RecordsDeviceGeometry)
{
    GetParam().check(record(GetParam().draw));
}

INSTANTIATE_TEST_SUITE_P(
    Shapes, MetafileRecording,
    ::testing::Values(
        ShapeCase{"TranslatedRectangleStaysARectangle",
                  [](QPainter& p) {
                      p.translate(10, 20);
                      p.setBrush(Qt::red);
                      p.drawRect(QRectF(0, 0, 5, 6));
                  },
                  [](const auto& commands) {
                      const auto boxes = only<MetafileBox>(commands);
                      ASSERT_EQ(boxes.size(), 1u);
                      EXPECT_FALSE(boxes[0].ellipse);
                      expectRect(boxes[0].rect, QRectF(10, 20, 5, 6));
                      EXPECT_EQ(boxes[0].fill, QColor(Qt::red));
                  }},
        ShapeCase{"ScaledEllipse",
                  [](QPainter& p) {
                      p.scale(2, 3);
                      p.drawEllipse(QRectF(1, 1, 2, 2));
                  },
                  [](const auto& commands) {
                      const auto boxes = only<MetafileBox>(commands);
                      ASSERT_EQ(boxes.size(), 1u);
                      EXPECT_TRUE(boxes[0].ellipse);
                      expectRect(boxes[0].rect, QRectF(2, 3, 4, 6));
                  }},
        ShapeCase{"RotatedRectangleBecomesAPolygon",
                  [](QPainter& p) {
                      p.translate(50, 50);
                      p.rotate(90);
                      p.setBrush(Qt::blue);
                      p.drawRect(QRectF(0, 0, 10, 4));
                  },
                  [](const auto& commands) {
                      EXPECT_TRUE(only<MetafileBox>(commands).empty());
                      const auto polygons = only<MetafilePolygons>(commands);
                      ASSERT_EQ(polygons.size(), 1u);
                      const QRectF box = polygons[0].polygons.at(0).boundingRect();
                      EXPECT_NEAR(box.left(), 46, 1e-9);
                      EXPECT_NEAR(box.top(), 50, 1e-9);
                      EXPECT_NEAR(box.width(), 4, 1e-9);
                      EXPECT_NEAR(box.height(), 10, 1e-9);
                  }},
        ShapeCase{"JoinedLinesBecomeOnePolyline",
                  [](QPainter& p) {
                      const QLineF lines[] = {{0, 0, 10, 0}, {10, 0, 10, 10}, {50, 50, 60, 60}};
                      p.drawLines(lines, 3);
                  },
                  [](const auto& commands) {
                      const auto lines = only<MetafilePolyline>(commands);
                      ASSERT_EQ(lines.size(), 2u);
                      EXPECT_EQ(lines[0].points, QPolygonF({{0, 0}, {10, 0}, {10, 10}}));
                      EXPECT_EQ(lines[1].points, QPolygonF({{50, 50}, {60, 60}}));
                  }},
        ShapeCase{"PointIsASquareOfThePenWidthInThePenColour",
                  [](QPainter& p) {
                      p.setPen(QPen(Qt::green, 3));
                      p.drawPoint(QPointF(20, 30));
                  },
                  [](const auto& commands) {
                      const auto boxes = only<MetafileBox>(commands);
                      ASSERT_EQ(boxes.size(), 1u);
                      expectRect(boxes[0].rect, QRectF(18.5, 28.5, 3, 3));
                      EXPECT_EQ(boxes[0].pen.style, Qt::NoPen);
                      EXPECT_EQ(boxes[0].fill, QColor(Qt::green));
                  }},
        ShapeCase{"TransparentPenAndBrushDrawNothing",
                  [](QPainter& p) {
                      p.setPen(QColor(0, 0, 0, 0));
                      p.setBrush(Qt::NoBrush);
                      p.drawRect(QRectF(0, 0, 10, 10));
                      p.drawLine(QLineF(0, 0, 5, 5));
                  },
                  [](const auto& commands) { EXPECT_TRUE(commands.empty()); }},
        ShapeCase{"OpenFilledPathIsFilledWithoutOutlineThenStroked",
                  [](QPainter& p) {
                      QPainterPath path;
                      path.moveTo(0, 0);
                      path.lineTo(10, 0);
                      path.lineTo(10, 10);
                      p.setBrush(Qt::yellow);
                      p.drawPath(path);
                  },
                  [](const auto& commands) {
                      const auto polygons = only<MetafilePolygons>(commands);
                      const auto lines = only<MetafilePolyline>(commands);
                      ASSERT_EQ(polygons.size(), 1u);
                      ASSERT_EQ(lines.size(), 1u);
                      EXPECT_EQ(polygons[0].pen.style, Qt::NoPen);
                      EXPECT_EQ(lines[0].points.size(), 3);
                  }},
        ShapeCase{"GradientFillsWithItsFirstColourOpaque",
                  [](QPainter& p) {
                      QLinearGradient gradient(0, 0, 10, 0);
                      gradient.setColorAt(0, QColor(10, 20, 30, 128));
                      gradient.setColorAt(1, Qt::white);
                      p.setPen(Qt::NoPen);
                      p.setBrush(gradient);
                      p.drawRect(QRectF(0, 0, 10, 10));
                  },
                  [](const auto& commands) {
                      const auto boxes = only<MetafileBox>(commands);
                      ASSERT_EQ(boxes.size(), 1u);
                      EXPECT_EQ(boxes[0].fill, QColor(10, 20, 30));
                  }},
        ShapeCase{"ScaledPenWidthButNotCosmetic",
                  [](QPainter& p) {
                      p.scale(4, 4);
                      p.setPen(QPen(Qt::black, 0.5));
                      p.drawLine(QLineF(0, 0, 5, 0));
                      QPen cosmetic(Qt::black, 2);
                      cosmetic.setCosmetic(true);
                      p.setPen(cosmetic);
                      p.drawLine(QLineF(0, 5, 5, 5));
                  },
                  [](const auto& commands) {
                      const auto lines = only<MetafilePolyline>(commands);
                      ASSERT_EQ(lines.size(), 2u);
                      EXPECT_DOUBLE_EQ(lines[0].pen.width, 2.0);
                      EXPECT_DOUBLE_EQ(lines[1].pen.width, 2.0);
                      EXPECT_EQ(lines[1].points.at(0), QPointF(0, 20));
                  }}),
    [](const ::testing::TestParamInfo<ShapeCase>& param) { return std::string(param.param.name); });

struct TextCase {
    const char* name;
    double rotation;  // QPainter::rotate, degrees clockwise on screen
    double expectedAngle;
};

void PrintTo(const TextCase& text, std::ostream* out)
{
    *out << text.name;
}

class MetafileTextRecording : public ::testing::TestWithParam<TextCase> {};

// The direction of the text must survive: the vertical axis title reads
// upwards (rotated -90 in Qt, +90 degrees counter-clockwise in GDI terms).
TEST_P(MetafileTextRecording, KeepsBaselineOriginAndDirection)
{
    const TextCase& c = GetParam();
    const auto commands = record([&](QPainter& p) {
        QFont font("DejaVu Sans");
        font.setPixelSize(20);
        p.setFont(font);
        p.setPen(Qt::red);
        p.translate(100, 50);
        p.rotate(c.rotation);
        p.drawText(QPointF(0, 0), "North  (m)");
    });
    const auto texts = only<MetafileText>(commands);
    ASSERT_EQ(texts.size(), 1u);
    EXPECT_EQ(texts[0].text, "North  (m)");
    EXPECT_NEAR(texts[0].angle, c.expectedAngle, 1e-9);
    EXPECT_NEAR(texts[0].origin.x(), 100, 1e-9);
    EXPECT_NEAR(texts[0].origin.y(), 50, 1e-9);
    EXPECT_DOUBLE_EQ(texts[0].font.pixelSize, 20.0);
    EXPECT_EQ(texts[0].color, QColor(Qt::red));
    ASSERT_EQ(texts[0].advances.size(), texts[0].text.size());
    EXPECT_GT(texts[0].advances.at(0), 5.0);
}

INSTANTIATE_TEST_SUITE_P(Directions, MetafileTextRecording,
                         ::testing::Values(TextCase{"Horizontal", 0, 0}, TextCase{"Upwards", -90, 90},
                                           TextCase{"Downwards", 90, -90}),
                         [](const ::testing::TestParamInfo<TextCase>& param) { return std::string(param.param.name); });

// QPainter replays the saved clip operations on restore() with the transforms
// they were made under; the recorded clip must come back to the same pixels.
TEST(MetafileClipRecording, KeepsClipInPicturePixelsThroughSaveAndRestore)
{
    const auto commands = record([](QPainter& p) {
        p.setClipRect(QRectF(10, 10, 50, 50));
        p.save();
        p.translate(100, 100);
        p.setClipRect(QRectF(-80, -80, 10, 10), Qt::IntersectClip);
        p.drawRect(QRectF(0, 0, 1, 1));
        p.restore();
        p.drawRect(QRectF(0, 0, 1, 1));
        p.setClipping(false);
        p.drawRect(QRectF(0, 0, 1, 1));
    });
    std::vector<std::optional<QRectF>> clipBeforeEachBox;
    std::optional<QRectF> clip;
    for (const MetafileCommand& command : commands) {
        if (const auto* c = std::get_if<MetafileClip>(&command))
            clip = c->rect;
        else if (std::holds_alternative<MetafileBox>(command))
            clipBeforeEachBox.push_back(clip);
    }
    ASSERT_EQ(clipBeforeEachBox.size(), 3u);
    ASSERT_TRUE(clipBeforeEachBox[0]);
    expectRect(*clipBeforeEachBox[0], QRectF(20, 20, 10, 10));
    ASSERT_TRUE(clipBeforeEachBox[1]);
    expectRect(*clipBeforeEachBox[1], QRectF(10, 10, 50, 50));
    EXPECT_FALSE(clipBeforeEachBox[2]);
}

}  // namespace
}  // namespace kvo::gui
