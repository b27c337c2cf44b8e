#include "plot/gdi_drawing_writer.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include <QTransform>

namespace kvo::gui {

namespace {

GdiPenStyle penStyle(Qt::PenStyle style)
{
    switch (style) {
    case Qt::NoPen:
        return GdiPenStyle::Null;
    case Qt::DashLine:
        return GdiPenStyle::Dash;
    case Qt::DotLine:
        return GdiPenStyle::Dot;
    case Qt::DashDotLine:
        return GdiPenStyle::DashDot;
    case Qt::DashDotDotLine:
        return GdiPenStyle::DashDotDot;
    default:
        return GdiPenStyle::Solid;
    }
}

}  // namespace

QByteArray GdiDrawingWriter::write(const MetafileDrawing& drawing, GdiRecordSink& sink)
{
    sink.begin(drawing.size);
    GdiDrawingWriter writer(sink);
    sink.setTransparentBackground();
    sink.setTextAlignBaseline();
    for (const MetafileCommand& command : drawing.commands)
        writer.play(command);
    if (writer.m_savedState)
        sink.restoreDc();
    return sink.finish(static_cast<int>(writer.m_slotUsed.size()));
}

void GdiDrawingWriter::play(const MetafileCommand& command)
{
    std::visit([this](const auto& item) { draw(item); }, command);
}

void GdiDrawingWriter::draw(const MetafilePolyline& line)
{
    if (line.pen.style == Qt::NoPen || line.points.size() < 2)
        return;
    const QPolygon points = units(line.points);
    clipFor(extent(points, line.pen));
    selectPen(line.pen);
    m_sink.polyline(points);
}

void GdiDrawingWriter::draw(const MetafilePolygons& polygons)
{
    QList<QPolygon> shapes;
    for (const QPolygonF& polygon : polygons.polygons) {
        if (polygon.size() >= 3)
            shapes.append(units(polygon));
    }
    if (shapes.isEmpty())
        return;
    QRect bounds;
    for (const QPolygon& shape : std::as_const(shapes))
        bounds = bounds.united(extent(shape, polygons.pen));
    clipFor(bounds);
    selectPen(polygons.pen);
    selectBrush(polygons.fill);
    if (m_state.fillRule != polygons.fillRule) {
        m_sink.setPolyFillMode(polygons.fillRule);
        m_state.fillRule = polygons.fillRule;
    }
    if (shapes.size() == 1)
        m_sink.polygon(shapes.constFirst());
    else
        m_sink.polyPolygon(shapes);
}

void GdiDrawingWriter::draw(const MetafileBox& box)
{
    const QRect rect = units(box.rect);
    clipFor(extent(QPolygon(rect.normalized(), true), box.pen));
    selectPen(box.pen);
    selectBrush(box.fill);
    if (box.ellipse)
        m_sink.ellipse(rect);
    else
        m_sink.rectangle(rect);
}

void GdiDrawingWriter::draw(const MetafileText& text)
{
    GdiFont font;
    font.family = text.font.family;
    font.height = std::max(1, units(text.font.pixelSize));
    // Escapement in tenths of a degree, in (-1800, 1800].
    int escapement = static_cast<int>(std::lround(text.angle * 10.0)) % 3600;
    if (escapement > 1800)
        escapement -= 3600;
    else if (escapement <= -1800)
        escapement += 3600;
    font.escapement = escapement;
    font.weight = text.font.weight;
    font.italic = text.font.italic;
    font.underline = text.font.underline;
    font.strikeOut = text.font.strikeOut;
    select(font, &DcState::font);

    const QRgb color = text.color.rgb() & RGB_MASK;
    if (m_state.textColor != color) {
        m_sink.setTextColor(color);
        m_state.textColor = color;
    }
    QList<int> advances;
    advances.reserve(text.advances.size());
    double width = 0.0;
    for (double advance : text.advances) {
        advances.append(units(advance));
        width += advance;
    }
    const double em = text.font.pixelSize;
    const QTransform baseline = QTransform().translate(text.origin.x(), text.origin.y()).rotate(-text.angle);
    clipFor(units(baseline.mapRect(QRectF(0.0, -em, width, 1.3 * em))).normalized());
    m_sink.textOut(units(text.origin), text.text, advances);
}

void GdiDrawingWriter::draw(const MetafileImage& image)
{
    const QRect target = units(image.target);
    clipFor(target.normalized());
    m_sink.stretchImage(target, image.image);
}

void GdiDrawingWriter::draw(const MetafileClip& clip)
{
    m_recordedClip.reset();
    if (clip.rect)
        m_recordedClip = units(*clip.rect);
}

// `extent`: where the next primitive draws, logical units.
void GdiDrawingWriter::clipFor(const QRect& extent)
{
    const bool cut = m_recordedClip && !m_recordedClip->contains(extent);
    if (cut)
        applyClip(m_recordedClip);
    else if (m_clip && !m_clip->contains(extent))
        applyClip(std::nullopt);
}

void GdiDrawingWriter::applyClip(const std::optional<QRect>& rect)
{
    if (rect == m_clip)
        return;
    if (m_savedState) {
        m_sink.restoreDc();
        m_state = *m_savedState;
        m_savedState.reset();
    }
    if (rect) {
        m_sink.saveDc();
        m_savedState = m_state;
        m_sink.intersectClipRect(*rect);
    }
    m_clip = rect;
}

void GdiDrawingWriter::selectPen(const MetafilePen& pen)
{
    select(GdiPen{penStyle(pen.style), pen.style == Qt::NoPen ? 0 : units(pen.width),
                  pen.style == Qt::NoPen ? QRgb{0} : (pen.color.rgb() & RGB_MASK)},
           &DcState::pen);
}

void GdiDrawingWriter::selectBrush(const std::optional<QColor>& fill)
{
    select(fill ? GdiBrush{false, fill->rgb() & RGB_MASK} : GdiBrush{true, 0}, &DcState::brush);
}

void GdiDrawingWriter::select(const GdiObject& object, int DcState::*slotInState)
{
    const int slot = objectSlot(object);
    if (m_state.*slotInState != slot) {
        m_sink.selectObject(slot);
        m_state.*slotInState = slot;
    }
}

int GdiDrawingWriter::objectSlot(const GdiObject& object)
{
    ++m_useCounter;
    const auto found = std::find_if(m_objects.begin(), m_objects.end(),
                                    [&](const CachedObject& cached) { return cached.object == object; });
    if (found != m_objects.end()) {
        found->lastUse = m_useCounter;
        return found->slot;
    }
    if (m_objects.size() >= static_cast<std::size_t>(kMaxObjects)) {
        auto oldest = m_objects.end();
        for (auto it = m_objects.begin(); it != m_objects.end(); ++it) {
            if (!pinned(it->slot) && (oldest == m_objects.end() || it->lastUse < oldest->lastUse))
                oldest = it;
        }
        if (oldest != m_objects.end()) {
            m_sink.deleteObject(oldest->slot);
            m_slotUsed[static_cast<std::size_t>(oldest->slot)] = false;
            m_objects.erase(oldest);
        }
    }
    const int slot = freeSlot();
    m_sink.createObject(slot, object);
    m_objects.push_back(CachedObject{object, slot, m_useCounter});
    return slot;
}

bool GdiDrawingWriter::pinned(int slot) const
{
    const auto selectedIn = [slot](const DcState& state) {
        return state.pen == slot || state.brush == slot || state.font == slot;
    };
    return selectedIn(m_state) || (m_savedState && selectedIn(*m_savedState));
}

int GdiDrawingWriter::freeSlot()
{
    const auto free = std::find(m_slotUsed.begin(), m_slotUsed.end(), false);
    const auto slot = static_cast<std::size_t>(free - m_slotUsed.begin());
    if (free == m_slotUsed.end())
        m_slotUsed.push_back(true);
    else
        *free = true;
    return static_cast<int>(slot);
}

QRect GdiDrawingWriter::extent(const QPolygon& points, const MetafilePen& pen) const
{
    const int margin = pen.style == Qt::NoPen ? 0 : (units(pen.width) + 1) / 2 + 1;
    return points.boundingRect().adjusted(-margin, -margin, margin, margin);
}

int GdiDrawingWriter::units(double pixels) const
{
    return static_cast<int>(std::lround(pixels * m_scale));
}

QPoint GdiDrawingWriter::units(QPointF point) const
{
    return {units(point.x()), units(point.y())};
}

QPolygon GdiDrawingWriter::units(const QPolygonF& polygon) const
{
    QPolygon result;
    result.reserve(polygon.size());
    for (const QPointF& point : polygon)
        result.append(units(point));
    return result;
}

QRect GdiDrawingWriter::units(const QRectF& rect) const
{
    return QRect(units(rect.topLeft()), units(rect.bottomRight()));
}

}  // namespace kvo::gui
