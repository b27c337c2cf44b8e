#pragma once
// The paint engine behind MetafilePaintDevice: records what a QPainter draws
// as a MetafileDrawing, mapping every primitive through the painter's transform
// into picture pixels.
//
// What GDI cannot show is approximated, not rasterised: curves become polygons,
// a rotated rectangle or ellipse becomes a polygon, a gradient fills with its
// first colour, patterns and textures with the brush colour, partial
// transparency becomes opaque, and a clip is kept as its bounding rectangle.
// Points become small squares (round for a round pen cap) of the pen's width.

#include "plot/metafile_drawing.h"

#include <QBrush>
#include <QFont>
#include <QPaintEngine>
#include <QPen>
#include <QTransform>

namespace kvo::gui {

class MetafilePaintEngine : public QPaintEngine {
public:
    explicit MetafilePaintEngine(MetafileDrawing& drawing);

    bool begin(QPaintDevice* device) override;
    bool end() override;
    void updateState(const QPaintEngineState& newState) override;

    using QPaintEngine::drawEllipse;
    using QPaintEngine::drawLines;
    using QPaintEngine::drawPoints;
    using QPaintEngine::drawPolygon;
    using QPaintEngine::drawRects;
    void drawRects(const QRectF* rects, int rectCount) override;
    void drawLines(const QLineF* lines, int lineCount) override;
    void drawEllipse(const QRectF& rect) override;
    void drawPath(const QPainterPath& path) override;
    void drawPoints(const QPointF* points, int pointCount) override;
    void drawPolygon(const QPointF* points, int pointCount, PolygonDrawMode mode) override;
    void drawPixmap(const QRectF& target, const QPixmap& pixmap, const QRectF& source) override;
    void drawImage(const QRectF& target, const QImage& image, const QRectF& source,
                   Qt::ImageConversionFlags flags) override;
    void drawTextItem(const QPointF& origin, const QTextItem& textItem) override;

    [[nodiscard]] Type type() const override { return QPaintEngine::User; }

private:
    [[nodiscard]] MetafilePen currentPen() const;
    [[nodiscard]] std::optional<QColor> currentFill() const;
    [[nodiscard]] std::optional<QColor> visibleColor(const QBrush& brush) const;
    [[nodiscard]] double transformScale() const;
    void updateClip(const QPaintEngineState& newState);
    void addPolygons(const QList<QPolygonF>& polygons, Qt::FillRule fillRule);

    MetafileDrawing& m_drawing;
    QPen m_pen;
    QBrush m_brush;
    QFont m_font;
    QTransform m_transform;
    double m_opacity = 1.0;
    std::optional<QRectF> m_clipArea;  // the painter's clip, picture pixels
    bool m_clipEnabled = true;
    std::optional<QRectF> m_clip;  // the clip last recorded
};

}  // namespace kvo::gui
