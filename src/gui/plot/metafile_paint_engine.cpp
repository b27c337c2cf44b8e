#include "plot/metafile_paint_engine.h"

#include <QFontInfo>
#include <QFontMetricsF>
#include <QGradient>
#include <QPaintDevice>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QTextItem>

#include <algorithm>
#include <cmath>
#include <numbers>

namespace kvo::gui {

MetafilePaintEngine::MetafilePaintEngine(MetafileDrawing& drawing)
    : QPaintEngine(QPaintEngine::AllFeatures), m_drawing(drawing)
{
}

bool MetafilePaintEngine::begin(QPaintDevice* device)
{
    m_drawing.size = QSize(device->width(), device->height());
    m_drawing.commands.clear();
    m_pen = QPen();
    m_brush = QBrush();
    m_font = QFont();
    m_transform = QTransform();
    m_opacity = 1.0;
    m_clip.reset();
    m_clipArea.reset();
    m_clipEnabled = true;
    setActive(true);
    return true;
}

bool MetafilePaintEngine::end()
{
    setActive(false);
    return true;
}

void MetafilePaintEngine::updateState(const QPaintEngineState& newState)
{
    const DirtyFlags flags = newState.state();
    if (flags & DirtyTransform)
        m_transform = newState.transform();
    if (flags & DirtyPen)
        m_pen = newState.pen();
    if (flags & DirtyBrush)
        m_brush = newState.brush();
    if (flags & DirtyFont)
        m_font = newState.font();
    if (flags & DirtyOpacity)
        m_opacity = newState.opacity();
    if (flags & (DirtyClipPath | DirtyClipRegion | DirtyClipEnabled))
        updateClip(newState);
}

// The painter hands over each clip operation with the transform in force when
// it was made (on restore() it replays the saved operations one by one), so the
// clip is kept here in picture pixels and combined as the operations say.
void MetafilePaintEngine::updateClip(const QPaintEngineState& newState)
{
    const DirtyFlags flags = newState.state();
    std::optional<QRectF> area;
    if (flags & DirtyClipPath)
        area = m_transform.map(newState.clipPath()).boundingRect();
    else if (flags & DirtyClipRegion)
        area = m_transform.mapRect(QRectF(newState.clipRegion().boundingRect()));
    if (area) {
        switch (newState.clipOperation()) {
        case Qt::NoClip:
            m_clipArea.reset();
            break;
        case Qt::ReplaceClip:
            m_clipArea = area;
            break;
        case Qt::IntersectClip:
            m_clipArea = m_clipArea ? (*m_clipArea & *area) : *area;
            break;
        }
    }
    if (flags & DirtyClipEnabled)
        m_clipEnabled = newState.isClipEnabled();

    const std::optional<QRectF> clip = m_clipEnabled ? m_clipArea : std::nullopt;
    if (clip == m_clip)
        return;
    m_clip = clip;
    m_drawing.commands.emplace_back(MetafileClip{clip});
}

std::optional<QColor> MetafilePaintEngine::visibleColor(const QBrush& brush) const
{
    if (brush.style() == Qt::NoBrush)
        return std::nullopt;
    QColor color = brush.color();
    if (const QGradient* gradient = brush.gradient(); gradient != nullptr && !gradient->stops().isEmpty())
        color = gradient->stops().constFirst().second;
    if (color.alphaF() * m_opacity <= 0.0)
        return std::nullopt;
    color.setAlpha(255);
    return color;
}

MetafilePen MetafilePaintEngine::currentPen() const
{
    const std::optional<QColor> color = visibleColor(m_pen.brush());
    if (m_pen.style() == Qt::NoPen || !color)
        return MetafilePen{Qt::NoPen, Qt::black, 0.0};
    const double width = m_pen.isCosmetic() ? m_pen.widthF() : m_pen.widthF() * transformScale();
    const Qt::PenStyle style = m_pen.style() == Qt::CustomDashLine ? Qt::DashLine : m_pen.style();
    return MetafilePen{style, *color, width};
}

std::optional<QColor> MetafilePaintEngine::currentFill() const
{
    return visibleColor(m_brush);
}

// Length scale of the transform (exact for rotations and uniform scaling).
double MetafilePaintEngine::transformScale() const
{
    return std::sqrt(std::abs(m_transform.determinant()));
}

void MetafilePaintEngine::addPolygons(const QList<QPolygonF>& polygons, Qt::FillRule fillRule)
{
    const MetafilePen pen = currentPen();
    const std::optional<QColor> fill = currentFill();
    if (polygons.isEmpty() || (pen.style == Qt::NoPen && !fill))
        return;
    const bool allClosed = std::all_of(polygons.begin(), polygons.end(), [](const QPolygonF& polygon) {
        return polygon.isClosed();
    });
    if (fill) {
        // GDI outlines every polygon it fills, closing edge included: an open
        // subpath is filled without outline and stroked separately below.
        const MetafilePen outline = allClosed ? pen : MetafilePen{Qt::NoPen, Qt::black, 0.0};
        m_drawing.commands.emplace_back(MetafilePolygons{polygons, fillRule, outline, fill});
        if (allClosed)
            return;
    }
    if (pen.style == Qt::NoPen)
        return;
    for (const QPolygonF& polygon : polygons) {
        if (polygon.size() >= 2)
            m_drawing.commands.emplace_back(MetafilePolyline{polygon, pen});
    }
}

void MetafilePaintEngine::drawPath(const QPainterPath& path)
{
    addPolygons(path.toSubpathPolygons(m_transform), path.fillRule());
}

void MetafilePaintEngine::drawPolygon(const QPointF* points, int pointCount, PolygonDrawMode mode)
{
    QPolygonF polygon = m_transform.map(QPolygonF(QList<QPointF>(points, points + pointCount)));
    if (mode == PolylineMode) {
        const MetafilePen pen = currentPen();
        if (pen.style != Qt::NoPen && polygon.size() >= 2)
            m_drawing.commands.emplace_back(MetafilePolyline{polygon, pen});
        return;
    }
    if (!polygon.isClosed() && !polygon.isEmpty())
        polygon.append(polygon.constFirst());
    addPolygons({polygon}, mode == WindingMode ? Qt::WindingFill : Qt::OddEvenFill);
}

void MetafilePaintEngine::drawRects(const QRectF* rects, int rectCount)
{
    for (int i = 0; i < rectCount; ++i) {
        if (m_transform.type() <= QTransform::TxScale) {
            const MetafilePen pen = currentPen();
            const std::optional<QColor> fill = currentFill();
            if (pen.style != Qt::NoPen || fill)
                m_drawing.commands.emplace_back(
                    MetafileBox{m_transform.mapRect(rects[i].normalized()), false, pen, fill});
        } else {
            QPainterPath path;
            path.addRect(rects[i]);
            drawPath(path);
        }
    }
}

void MetafilePaintEngine::drawEllipse(const QRectF& rect)
{
    if (m_transform.type() <= QTransform::TxScale) {
        const MetafilePen pen = currentPen();
        const std::optional<QColor> fill = currentFill();
        if (pen.style != Qt::NoPen || fill)
            m_drawing.commands.emplace_back(MetafileBox{m_transform.mapRect(rect.normalized()), true, pen, fill});
        return;
    }
    QPainterPath path;
    path.addEllipse(rect);
    drawPath(path);
}

// Consecutive lines that join end to start become one polyline.
void MetafilePaintEngine::drawLines(const QLineF* lines, int lineCount)
{
    const MetafilePen pen = currentPen();
    if (pen.style == Qt::NoPen)
        return;
    QPolygonF run;
    const auto flush = [&] {
        if (run.size() >= 2)
            m_drawing.commands.emplace_back(MetafilePolyline{run, pen});
        run.clear();
    };
    for (int i = 0; i < lineCount; ++i) {
        const QPointF start = m_transform.map(lines[i].p1());
        if (run.isEmpty() || run.constLast() != start) {
            flush();
            run.append(start);
        }
        run.append(m_transform.map(lines[i].p2()));
    }
    flush();
}

void MetafilePaintEngine::drawPoints(const QPointF* points, int pointCount)
{
    const MetafilePen pen = currentPen();
    if (pen.style == Qt::NoPen)
        return;
    const double side = std::max(pen.width, 1.0);
    const bool roundCap = m_pen.capStyle() == Qt::RoundCap && side > 1.5;
    const MetafilePen noOutline{Qt::NoPen, Qt::black, 0.0};
    for (int i = 0; i < pointCount; ++i) {
        const QPointF centre = m_transform.map(points[i]);
        const QRectF square(centre.x() - side / 2, centre.y() - side / 2, side, side);
        m_drawing.commands.emplace_back(MetafileBox{square, roundCap, noOutline, pen.color});
    }
}

void MetafilePaintEngine::drawPixmap(const QRectF& target, const QPixmap& pixmap, const QRectF& source)
{
    drawImage(target, pixmap.toImage(), source, Qt::AutoColor);
}

void MetafilePaintEngine::drawImage(const QRectF& target, const QImage& image, const QRectF& source,
                                    Qt::ImageConversionFlags /*flags*/)
{
    const QImage part = image.copy(source.toAlignedRect());
    if (part.isNull() || target.isEmpty())
        return;
    m_drawing.commands.emplace_back(MetafileImage{m_transform.mapRect(target), part});
}

void MetafilePaintEngine::drawTextItem(const QPointF& origin, const QTextItem& textItem)
{
    const QString text = textItem.text();
    const std::optional<QColor> color = visibleColor(m_pen.brush());
    if (text.isEmpty() || !color)
        return;
    const QFont font = textItem.font();
    const double scale = transformScale();
    const double dpi = paintDevice() != nullptr ? paintDevice()->logicalDpiY() : kMetafilePixelsPerInch;
    const double pixelSize = font.pixelSize() > 0 ? font.pixelSize() : font.pointSizeF() * dpi / 72.0;

    MetafileText item;
    item.origin = m_transform.map(origin);
    // Direction of the baseline on the page; y points down, so a clockwise
    // turn in Qt's terms is counter-clockwise as seen.
    item.angle = -std::atan2(m_transform.m12(), m_transform.m11()) * 180.0 / std::numbers::pi;
    item.text = text;
    item.font = MetafileFont{QFontInfo(font).family(), pixelSize * scale, font.weight(), font.italic(),
                             font.underline(), font.strikeOut()};
    item.color = *color;

    // Advances as laid out by Qt, so that a reader's substitute font keeps the
    // same text length.
    const QFontMetricsF metrics(font, paintDevice());
    double total = 0.0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        double advance = 0.0;
        if (text.at(i).isHighSurrogate() && i + 1 < text.size()) {
            advance = metrics.horizontalAdvance(text.mid(i, 2));
            item.advances.append(advance);
            item.advances.append(0.0);
            ++i;
        } else {
            advance = metrics.horizontalAdvance(text.at(i));
            item.advances.append(advance);
        }
        total += advance;
    }
    const double laidOut = textItem.width();
    const double stretch = (total > 0.0 && laidOut > 0.0) ? laidOut / total : 1.0;
    for (double& advance : item.advances)
        advance *= stretch * scale;
    m_drawing.commands.emplace_back(std::move(item));
}

}  // namespace kvo::gui
