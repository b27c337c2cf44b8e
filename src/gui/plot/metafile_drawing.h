#pragma once
// A drawing as the Windows metafile writers see it: what a QPainter drew,
// reduced to the primitives that GDI offers (polylines, polygons, rectangles,
// ellipses, text, pictures, a clip rectangle), in picture pixels with the origin
// at the top left, y pointing down and 96 pixels to the inch. GDI has no
// transparency, so colours are opaque; a fully transparent pen or brush is
// recorded as none.

#include <QColor>
#include <QImage>
#include <QList>
#include <QPolygonF>
#include <QRectF>
#include <QSize>
#include <QString>

#include <optional>
#include <variant>
#include <vector>

namespace kvo::gui {

inline constexpr double kMetafilePixelsPerInch = 96.0;

struct MetafilePen {
    Qt::PenStyle style = Qt::SolidLine;  // Qt::NoPen: no outline
    QColor color = Qt::black;
    double width = 0.0;  // picture pixels; 0 draws the thinnest line the reader can show
    friend bool operator==(const MetafilePen&, const MetafilePen&) = default;
};

struct MetafileFont {
    QString family;
    double pixelSize = 12.0;  // em height in picture pixels
    int weight = 400;         // 100 (thin) to 900 (black), as in GDI
    bool italic = false;
    bool underline = false;
    bool strikeOut = false;
    friend bool operator==(const MetafileFont&, const MetafileFont&) = default;
};

struct MetafilePolyline {
    QPolygonF points;
    MetafilePen pen;
};

// Closed polygons filled together (holes follow the fill rule) and outlined.
struct MetafilePolygons {
    QList<QPolygonF> polygons;
    Qt::FillRule fillRule = Qt::OddEvenFill;
    MetafilePen pen;
    std::optional<QColor> fill;  // nullopt: not filled
};

// An axis-aligned rectangle or the ellipse inscribed in it.
struct MetafileBox {
    QRectF rect;
    bool ellipse = false;
    MetafilePen pen;
    std::optional<QColor> fill;
};

struct MetafileText {
    QPointF origin;      // start of the baseline
    double angle = 0.0;  // direction of the baseline, degrees counter-clockwise as seen
    QString text;
    QList<double> advances;  // per UTF-16 unit, picture pixels; sums to the laid-out width
    MetafileFont font;
    QColor color = Qt::black;
};

struct MetafileImage {
    QRectF target;
    QImage image;
};

struct MetafileClip {
    std::optional<QRectF> rect;  // nullopt: drawing is not clipped
};

using MetafileCommand = std::variant<MetafilePolyline, MetafilePolygons, MetafileBox, MetafileText,
                                     MetafileImage, MetafileClip>;

struct MetafileDrawing {
    QSize size;  // picture pixels
    std::vector<MetafileCommand> commands;
};

}  // namespace kvo::gui
