#include "plot/wmf_record_writer.h"

#include "plot/device_independent_bitmap.h"
#include "plot/gdi_drawing_writer.h"

#include <algorithm>
#include <utility>

namespace kvo::gui {

namespace {

// Record functions ([MS-WMF] 2.1.1.1).
enum : std::uint16_t {
    META_EOF = 0x0000,
    META_SAVEDC = 0x001E,
    META_SETBKMODE = 0x0102,
    META_SETMAPMODE = 0x0103,
    META_SETPOLYFILLMODE = 0x0106,
    META_RESTOREDC = 0x0127,
    META_SELECTOBJECT = 0x012D,
    META_SETTEXTALIGN = 0x012E,
    META_DELETEOBJECT = 0x01F0,
    META_SETTEXTCOLOR = 0x0209,
    META_SETWINDOWORG = 0x020B,
    META_LINETO = 0x0213,
    META_MOVETO = 0x0214,
    META_SETWINDOWEXT = 0x020C,
    META_CREATEPENINDIRECT = 0x02FA,
    META_CREATEFONTINDIRECT = 0x02FB,
    META_CREATEBRUSHINDIRECT = 0x02FC,
    META_POLYGON = 0x0324,
    META_POLYLINE = 0x0325,
    META_ELLIPSE = 0x0418,
    META_RECTANGLE = 0x041B,
    META_INTERSECTCLIPRECT = 0x0416,
    META_POLYPOLYGON = 0x0538,
    META_EXTTEXTOUT = 0x0A32,
    META_STRETCHDIB = 0x0F43,
};

constexpr std::uint32_t kPlaceableKey = 0x9AC6CDD7;
constexpr qsizetype kPlaceableSize = 22;
constexpr std::uint16_t kMmAnisotropic = 8;
constexpr std::uint16_t kTransparent = 1;
constexpr std::uint16_t kTaBaseline = 24;
constexpr std::uint32_t kSrcCopy = 0x00CC0020;
constexpr int kMaxPointsPerRecord = 32767;

std::int16_t clampToInt16(int value)
{
    return static_cast<std::int16_t>(std::clamp(value, -32768, 32767));
}

}  // namespace

bool WmfRecordWriter::canHold(QSize pixels)
{
    return pixels.width() >= 1 && pixels.height() >= 1 && pixels.width() <= kMaxPixels
           && pixels.height() <= kMaxPixels;
}

QByteArray WmfRecordWriter::encode(const MetafileDrawing& drawing)
{
    WmfRecordWriter writer;
    return GdiDrawingWriter::write(drawing, writer);
}

qsizetype WmfRecordWriter::startRecord(std::uint16_t function)
{
    const qsizetype start = m_out.size();
    m_out.appendU32(0);  // size in words, patched by endRecord
    m_out.appendU16(function);
    return start;
}

void WmfRecordWriter::endRecord(qsizetype start)
{
    m_out.padTo(2);
    const auto words = static_cast<std::uint32_t>((m_out.size() - start) / 2);
    m_out.patchU32(start, words);
    m_maxRecordWords = std::max(m_maxRecordWords, words);
}

void WmfRecordWriter::wordRecord(std::uint16_t function, std::uint16_t value)
{
    const qsizetype start = startRecord(function);
    m_out.appendU16(value);
    endRecord(start);
}

void WmfRecordWriter::appendCoordinate(int value)
{
    m_out.appendI16(clampToInt16(value));
}

void WmfRecordWriter::appendBox(const QRect& box)
{
    appendCoordinate(box.bottom());
    appendCoordinate(box.right());
    appendCoordinate(box.top());
    appendCoordinate(box.left());
}

void WmfRecordWriter::appendPoints(const QPolygon& points)
{
    for (const QPoint& point : points) {
        appendCoordinate(point.x());
        appendCoordinate(point.y());
    }
}

void WmfRecordWriter::begin(QSize pixels)
{
    const int width = std::max(pixels.width(), 1);
    const int height = std::max(pixels.height(), 1);
    m_unitsPerPixel = std::clamp(kMaxPixels / std::max(width, height), 1, kMaxUnitsPerPixel);
    const int right = width * m_unitsPerPixel;
    const int bottom = height * m_unitsPerPixel;

    // Placeable header; its checksum is the XOR of its first ten words.
    m_out.appendU32(kPlaceableKey);
    m_out.appendU16(0);  // handle, 0 in a file
    m_out.appendI16(0);  // bounding box: left, top, right, bottom
    m_out.appendI16(0);
    appendCoordinate(right);
    appendCoordinate(bottom);
    m_out.appendU16(static_cast<std::uint16_t>(kMetafilePixelsPerInch * m_unitsPerPixel));  // units per inch
    m_out.appendU32(0);  // reserved
    std::uint16_t checksum = 0;
    for (qsizetype i = 0; i < 20; i += 2) {
        const auto low = static_cast<std::uint8_t>(m_out.bytes().at(i));
        const auto high = static_cast<std::uint8_t>(m_out.bytes().at(i + 1));
        checksum ^= static_cast<std::uint16_t>(low | (high << 8));
    }
    m_out.appendU16(checksum);

    m_headerStart = m_out.size();
    m_out.appendU16(1);       // type: memory metafile
    m_out.appendU16(9);       // header size in words
    m_out.appendU16(0x0300);  // version
    m_out.appendU32(0);       // file size in words, patched
    m_out.appendU16(0);       // objects, patched
    m_out.appendU32(0);       // largest record in words, patched
    m_out.appendU16(0);       // members, unused

    wordRecord(META_SETMAPMODE, kMmAnisotropic);
    const auto pairRecord = [this](std::uint16_t function, int x, int y) {
        const qsizetype start = startRecord(function);
        appendCoordinate(y);  // WMF stores y before x
        appendCoordinate(x);
        endRecord(start);
    };
    pairRecord(META_SETWINDOWORG, 0, 0);
    pairRecord(META_SETWINDOWEXT, right, bottom);
}

void WmfRecordWriter::createObject(int /*slot*/, const GdiObject& object)
{
    // The player puts each new object into the lowest free slot itself; the
    // drawing writer assigns slots by the same rule.
    if (const auto* pen = std::get_if<GdiPen>(&object)) {
        const qsizetype start = startRecord(META_CREATEPENINDIRECT);
        m_out.appendU16(static_cast<std::uint16_t>(pen->style));
        appendCoordinate(pen->width);
        m_out.appendI16(0);
        m_out.appendU32(colorRef(pen->color));
        endRecord(start);
    } else if (const auto* brush = std::get_if<GdiBrush>(&object)) {
        const qsizetype start = startRecord(META_CREATEBRUSHINDIRECT);
        m_out.appendU16(brush->hollow ? 1 : 0);  // BS_NULL : BS_SOLID
        m_out.appendU32(colorRef(brush->color));
        m_out.appendU16(0);  // hatch
        endRecord(start);
    } else if (const auto* font = std::get_if<GdiFont>(&object)) {
        const qsizetype start = startRecord(META_CREATEFONTINDIRECT);
        appendCoordinate(-font->height);  // negative: character (em) height
        m_out.appendI16(0);               // width: the font's own
        m_out.appendI16(static_cast<std::int16_t>(font->escapement));
        m_out.appendI16(static_cast<std::int16_t>(font->escapement));  // orientation
        m_out.appendI16(static_cast<std::int16_t>(font->weight));
        m_out.appendU8(font->italic ? 1 : 0);
        m_out.appendU8(font->underline ? 1 : 0);
        m_out.appendU8(font->strikeOut ? 1 : 0);
        m_out.appendU8(0);  // ANSI_CHARSET
        m_out.appendU8(0);  // out precision
        m_out.appendU8(0);  // clip precision
        m_out.appendU8(0);  // quality
        m_out.appendU8(0);  // pitch and family
        QByteArray face = font->family.toLatin1().left(31);
        face.resize(32, '\0');
        m_out.appendBytes(face);
        endRecord(start);
    }
}

void WmfRecordWriter::selectObject(int slot)
{
    wordRecord(META_SELECTOBJECT, static_cast<std::uint16_t>(slot));
}

void WmfRecordWriter::deleteObject(int slot)
{
    wordRecord(META_DELETEOBJECT, static_cast<std::uint16_t>(slot));
}

void WmfRecordWriter::saveDc()
{
    endRecord(startRecord(META_SAVEDC));
}

void WmfRecordWriter::restoreDc()
{
    wordRecord(META_RESTOREDC, static_cast<std::uint16_t>(-1));
}

void WmfRecordWriter::intersectClipRect(const QRect& rect)
{
    const qsizetype start = startRecord(META_INTERSECTCLIPRECT);
    appendBox(rect);
    endRecord(start);
}

void WmfRecordWriter::setTextColor(QRgb color)
{
    const qsizetype start = startRecord(META_SETTEXTCOLOR);
    m_out.appendU32(colorRef(color));
    endRecord(start);
}

void WmfRecordWriter::setPolyFillMode(Qt::FillRule rule)
{
    wordRecord(META_SETPOLYFILLMODE, rule == Qt::WindingFill ? 2 : 1);  // WINDING : ALTERNATE
}

void WmfRecordWriter::setTransparentBackground()
{
    wordRecord(META_SETBKMODE, kTransparent);
}

void WmfRecordWriter::setTextAlignBaseline()
{
    wordRecord(META_SETTEXTALIGN, kTaBaseline);
}

void WmfRecordWriter::pointRecord(std::uint16_t function, const QPolygon& points)
{
    const qsizetype start = startRecord(function);
    m_out.appendI16(static_cast<std::int16_t>(points.size()));
    appendPoints(points);
    endRecord(start);
}

// A single line is MoveTo + LineTo, as GDI programs write it (some readers
// skip a polyline of two points). A record holds at most 32767 points: a longer
// line continues in the next record from the last point of the previous one.
void WmfRecordWriter::polyline(const QPolygon& points)
{
    if (points.size() == 2) {
        for (const auto& [function, point] : {std::pair{META_MOVETO, points.at(0)}, std::pair{META_LINETO, points.at(1)}}) {
            const qsizetype start = startRecord(function);
            appendCoordinate(point.y());
            appendCoordinate(point.x());
            endRecord(start);
        }
        return;
    }
    for (qsizetype first = 0; first + 1 < points.size(); first += kMaxPointsPerRecord - 1)
        pointRecord(META_POLYLINE, points.mid(first, kMaxPointsPerRecord));
}

void WmfRecordWriter::polygon(const QPolygon& points)
{
    pointRecord(META_POLYGON, points.mid(0, kMaxPointsPerRecord));
}

void WmfRecordWriter::polyPolygon(const QList<QPolygon>& polygons)
{
    const qsizetype start = startRecord(META_POLYPOLYGON);
    m_out.appendU16(static_cast<std::uint16_t>(polygons.size()));
    for (const QPolygon& polygon : polygons)
        m_out.appendU16(static_cast<std::uint16_t>(std::min<qsizetype>(polygon.size(), kMaxPointsPerRecord)));
    for (const QPolygon& polygon : polygons)
        appendPoints(polygon.mid(0, kMaxPointsPerRecord));
    endRecord(start);
}

void WmfRecordWriter::rectangle(const QRect& box)
{
    const qsizetype start = startRecord(META_RECTANGLE);
    appendBox(box);
    endRecord(start);
}

void WmfRecordWriter::ellipse(const QRect& box)
{
    const qsizetype start = startRecord(META_ELLIPSE);
    appendBox(box);
    endRecord(start);
}

void WmfRecordWriter::textOut(QPoint origin, const QString& text, const QList<int>& advances)
{
    QByteArray bytes;
    bytes.reserve(text.size());
    for (const QChar character : text)
        bytes.append(character.unicode() <= 0xFF ? static_cast<char>(character.unicode()) : '?');
    bytes = bytes.left(kMaxPointsPerRecord);

    const qsizetype start = startRecord(META_EXTTEXTOUT);
    appendCoordinate(origin.y());
    appendCoordinate(origin.x());
    m_out.appendI16(static_cast<std::int16_t>(bytes.size()));
    m_out.appendU16(0);  // options: no rectangle follows
    m_out.appendBytes(bytes);
    m_out.padTo(2);
    for (qsizetype i = 0; i < bytes.size(); ++i)
        appendCoordinate(i < advances.size() ? advances.at(i) : 0);
    endRecord(start);
}

void WmfRecordWriter::stretchImage(const QRect& target, const QImage& image)
{
    const DeviceIndependentBitmap dib = DeviceIndependentBitmap::fromImage(image);
    const qsizetype start = startRecord(META_STRETCHDIB);
    m_out.appendU32(kSrcCopy);
    m_out.appendU16(0);  // DIB_RGB_COLORS
    appendCoordinate(image.height());
    appendCoordinate(image.width());
    m_out.appendI16(0);  // source y, x
    m_out.appendI16(0);
    appendCoordinate(target.bottom() - target.top());
    appendCoordinate(target.right() - target.left());
    appendCoordinate(target.top());
    appendCoordinate(target.left());
    m_out.appendBytes(dib.header);
    m_out.appendBytes(dib.bits);
    endRecord(start);
}

QByteArray WmfRecordWriter::finish(int objectSlots)
{
    endRecord(startRecord(META_EOF));
    const auto words = static_cast<std::uint32_t>((m_out.size() - m_headerStart) / 2);
    m_out.patchU32(m_headerStart + 6, words);
    m_out.patchU16(m_headerStart + 10, static_cast<std::uint16_t>(objectSlots));
    m_out.patchU32(m_headerStart + 12, m_maxRecordWords);
    return m_out.bytes();
}

}  // namespace kvo::gui
