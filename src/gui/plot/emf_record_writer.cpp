#include "plot/emf_record_writer.h"

#include "plot/device_independent_bitmap.h"
#include "plot/gdi_drawing_writer.h"

#include <cmath>

namespace kvo::gui {

namespace {

// Record types ([MS-EMF] 2.1.1).
enum : std::uint32_t {
    EMR_HEADER = 1,
    EMR_POLYGON = 3,
    EMR_POLYLINE = 4,
    EMR_POLYPOLYGON = 8,
    EMR_SETWINDOWEXTEX = 9,
    EMR_SETWINDOWORGEX = 10,
    EMR_SETVIEWPORTEXTEX = 11,
    EMR_SETVIEWPORTORGEX = 12,
    EMR_EOF = 14,
    EMR_SETMAPMODE = 17,
    EMR_SETBKMODE = 18,
    EMR_SETPOLYFILLMODE = 19,
    EMR_SETTEXTALIGN = 22,
    EMR_SETTEXTCOLOR = 24,
    EMR_INTERSECTCLIPRECT = 30,
    EMR_SAVEDC = 33,
    EMR_RESTOREDC = 34,
    EMR_SELECTOBJECT = 37,
    EMR_CREATEPEN = 38,
    EMR_CREATEBRUSHINDIRECT = 39,
    EMR_DELETEOBJECT = 40,
    EMR_ELLIPSE = 42,
    EMR_RECTANGLE = 43,
    EMR_STRETCHDIBITS = 81,
    EMR_EXTCREATEFONTINDIRECTW = 82,
    EMR_EXTTEXTOUTW = 84,
};

constexpr std::uint32_t kEmfSignature = 0x464D4520;  // " EMF"
constexpr std::uint32_t kMmAnisotropic = 8;
constexpr std::uint32_t kTransparent = 1;
constexpr std::uint32_t kTaBaseline = 24;
constexpr std::uint32_t kGmCompatible = 1;
constexpr std::uint32_t kSrcCopy = 0x00CC0020;
constexpr std::uint8_t kDefaultCharset = 1;
constexpr int kHeaderSize = 108;  // with both header extensions

// Header fields patched by finish().
constexpr qsizetype kBytesOffset = 48;
constexpr qsizetype kRecordsOffset = 52;
constexpr qsizetype kHandlesOffset = 56;

std::int32_t hundredthsOfMillimetre(int pixels)
{
    return static_cast<std::int32_t>(std::lround(pixels * 2540.0 / kMetafilePixelsPerInch));
}

}  // namespace

QByteArray EmfRecordWriter::encode(const MetafileDrawing& drawing)
{
    EmfRecordWriter writer;
    return GdiDrawingWriter::write(drawing, writer);
}

qsizetype EmfRecordWriter::startRecord(std::uint32_t type)
{
    const qsizetype start = m_out.size();
    m_out.appendU32(type);
    m_out.appendU32(0);  // size, patched by endRecord
    return start;
}

void EmfRecordWriter::endRecord(qsizetype start)
{
    m_out.padTo(4);
    m_out.patchU32(start + 4, static_cast<std::uint32_t>(m_out.size() - start));
    ++m_records;
}

void EmfRecordWriter::simpleRecord(std::uint32_t type, std::uint32_t value)
{
    const qsizetype start = startRecord(type);
    m_out.appendU32(value);
    endRecord(start);
}

void EmfRecordWriter::appendRect(const QRect& rect)
{
    m_out.appendI32(rect.left());
    m_out.appendI32(rect.top());
    m_out.appendI32(rect.right());
    m_out.appendI32(rect.bottom());
}

// Bounds fields are inclusive and in device pixels.
void EmfRecordWriter::appendDeviceBounds(const QRect& logical)
{
    const auto down = [](int value) { return static_cast<int>(std::floor(value / double(kUnitsPerPixel))); };
    const auto up = [](int value) { return static_cast<int>(std::ceil(value / double(kUnitsPerPixel))); };
    appendRect(QRect(QPoint(down(std::min(logical.left(), logical.right())), down(std::min(logical.top(), logical.bottom()))),
                     QPoint(up(std::max(logical.left(), logical.right())), up(std::max(logical.top(), logical.bottom())))));
}

void EmfRecordWriter::appendPoints(const QPolygon& points)
{
    for (const QPoint& point : points) {
        m_out.appendI32(point.x());
        m_out.appendI32(point.y());
    }
}

void EmfRecordWriter::begin(QSize pixels)
{
    const int width = std::max(pixels.width(), 1);
    const int height = std::max(pixels.height(), 1);
    const QString description = QStringLiteral("kvo") + QChar(0) + QStringLiteral("Chart") + QChar(0) + QChar(0);

    const qsizetype start = startRecord(EMR_HEADER);
    appendRect(QRect(QPoint(0, 0), QPoint(width - 1, height - 1)));  // bounds, device pixels
    appendRect(QRect(QPoint(0, 0), QPoint(hundredthsOfMillimetre(width), hundredthsOfMillimetre(height))));  // frame
    m_out.appendU32(kEmfSignature);
    m_out.appendU32(0x00010000);  // version
    m_out.appendU32(0);           // bytes, patched
    m_out.appendU32(0);           // records, patched
    m_out.appendU16(0);           // handles, patched
    m_out.appendU16(0);           // reserved
    m_out.appendU32(static_cast<std::uint32_t>(description.size()));
    m_out.appendU32(kHeaderSize);  // description follows the header
    m_out.appendU32(0);            // palette entries
    // Reference device: the picture's own pixels at 96 per inch.
    m_out.appendI32(width);
    m_out.appendI32(height);
    m_out.appendI32(std::max(1, static_cast<int>(std::lround(width * 25.4 / kMetafilePixelsPerInch))));
    m_out.appendI32(std::max(1, static_cast<int>(std::lround(height * 25.4 / kMetafilePixelsPerInch))));
    m_out.appendU32(0);  // no pixel format
    m_out.appendU32(0);
    m_out.appendU32(0);  // no OpenGL records
    m_out.appendU32(static_cast<std::uint32_t>(std::lround(width * 25400.0 / kMetafilePixelsPerInch)));
    m_out.appendU32(static_cast<std::uint32_t>(std::lround(height * 25400.0 / kMetafilePixelsPerInch)));
    m_out.appendUtf16Fixed(description, static_cast<int>(description.size()));
    endRecord(start);

    simpleRecord(EMR_SETMAPMODE, kMmAnisotropic);
    const auto pairRecord = [this](std::uint32_t type, int x, int y) {
        const qsizetype record = startRecord(type);
        m_out.appendI32(x);
        m_out.appendI32(y);
        endRecord(record);
    };
    pairRecord(EMR_SETWINDOWORGEX, 0, 0);
    pairRecord(EMR_SETWINDOWEXTEX, width * kUnitsPerPixel, height * kUnitsPerPixel);
    pairRecord(EMR_SETVIEWPORTORGEX, 0, 0);
    pairRecord(EMR_SETVIEWPORTEXTEX, width, height);
}

void EmfRecordWriter::createObject(int slot, const GdiObject& object)
{
    const auto index = static_cast<std::uint32_t>(slot + 1);  // index 0 is the header
    if (const auto* pen = std::get_if<GdiPen>(&object)) {
        const qsizetype start = startRecord(EMR_CREATEPEN);
        m_out.appendU32(index);
        m_out.appendU32(static_cast<std::uint32_t>(pen->style));
        m_out.appendI32(pen->width);
        m_out.appendI32(0);
        m_out.appendU32(colorRef(pen->color));
        endRecord(start);
    } else if (const auto* brush = std::get_if<GdiBrush>(&object)) {
        const qsizetype start = startRecord(EMR_CREATEBRUSHINDIRECT);
        m_out.appendU32(index);
        m_out.appendU32(brush->hollow ? 1u : 0u);  // BS_NULL : BS_SOLID
        m_out.appendU32(colorRef(brush->color));
        m_out.appendU32(0);  // hatch
        endRecord(start);
    } else if (const auto* font = std::get_if<GdiFont>(&object)) {
        const qsizetype start = startRecord(EMR_EXTCREATEFONTINDIRECTW);
        m_out.appendU32(index);
        // LogFont (92 bytes) ...
        m_out.appendI32(-font->height);  // negative: character (em) height
        m_out.appendI32(0);              // width: the font's own
        m_out.appendI32(font->escapement);
        m_out.appendI32(font->escapement);  // orientation
        m_out.appendI32(font->weight);
        m_out.appendU8(font->italic ? 1 : 0);
        m_out.appendU8(font->underline ? 1 : 0);
        m_out.appendU8(font->strikeOut ? 1 : 0);
        m_out.appendU8(kDefaultCharset);
        m_out.appendU8(0);  // out precision
        m_out.appendU8(0);  // clip precision
        m_out.appendU8(0);  // quality
        m_out.appendU8(0);  // pitch and family
        m_out.appendUtf16Fixed(font->family.left(31), 32);
        // ... extended to a LogFontPanose (320 bytes): full name, style, and
        // zeros for version, style size, match, reserved, vendor, culture,
        // panose and padding.
        m_out.appendUtf16Fixed(QString(), 64);
        m_out.appendUtf16Fixed(QString(), 32);
        for (int i = 0; i < 6; ++i)
            m_out.appendU32(0);
        for (int i = 0; i < 12; ++i)
            m_out.appendU8(0);
        endRecord(start);
    }
}

void EmfRecordWriter::selectObject(int slot)
{
    simpleRecord(EMR_SELECTOBJECT, static_cast<std::uint32_t>(slot + 1));
}

void EmfRecordWriter::deleteObject(int slot)
{
    simpleRecord(EMR_DELETEOBJECT, static_cast<std::uint32_t>(slot + 1));
}

void EmfRecordWriter::saveDc()
{
    endRecord(startRecord(EMR_SAVEDC));
}

void EmfRecordWriter::restoreDc()
{
    simpleRecord(EMR_RESTOREDC, static_cast<std::uint32_t>(-1));
}

void EmfRecordWriter::intersectClipRect(const QRect& rect)
{
    const qsizetype start = startRecord(EMR_INTERSECTCLIPRECT);
    appendRect(rect);
    endRecord(start);
}

void EmfRecordWriter::setTextColor(QRgb color)
{
    simpleRecord(EMR_SETTEXTCOLOR, colorRef(color));
}

void EmfRecordWriter::setPolyFillMode(Qt::FillRule rule)
{
    simpleRecord(EMR_SETPOLYFILLMODE, rule == Qt::WindingFill ? 2u : 1u);  // WINDING : ALTERNATE
}

void EmfRecordWriter::setTransparentBackground()
{
    simpleRecord(EMR_SETBKMODE, kTransparent);
}

void EmfRecordWriter::setTextAlignBaseline()
{
    simpleRecord(EMR_SETTEXTALIGN, kTaBaseline);
}

void EmfRecordWriter::pointRecord(std::uint32_t type, const QPolygon& points)
{
    const qsizetype start = startRecord(type);
    appendDeviceBounds(points.boundingRect());
    m_out.appendU32(static_cast<std::uint32_t>(points.size()));
    appendPoints(points);
    endRecord(start);
}

void EmfRecordWriter::polyline(const QPolygon& points)
{
    pointRecord(EMR_POLYLINE, points);
}

void EmfRecordWriter::polygon(const QPolygon& points)
{
    pointRecord(EMR_POLYGON, points);
}

void EmfRecordWriter::polyPolygon(const QList<QPolygon>& polygons)
{
    QRect bounds;
    std::uint32_t total = 0;
    for (const QPolygon& polygon : polygons) {
        bounds = bounds.united(polygon.boundingRect());
        total += static_cast<std::uint32_t>(polygon.size());
    }
    const qsizetype start = startRecord(EMR_POLYPOLYGON);
    appendDeviceBounds(bounds);
    m_out.appendU32(static_cast<std::uint32_t>(polygons.size()));
    m_out.appendU32(total);
    for (const QPolygon& polygon : polygons)
        m_out.appendU32(static_cast<std::uint32_t>(polygon.size()));
    for (const QPolygon& polygon : polygons)
        appendPoints(polygon);
    endRecord(start);
}

void EmfRecordWriter::rectangle(const QRect& box)
{
    const qsizetype start = startRecord(EMR_RECTANGLE);
    appendRect(box);
    endRecord(start);
}

void EmfRecordWriter::ellipse(const QRect& box)
{
    const qsizetype start = startRecord(EMR_ELLIPSE);
    appendRect(box);
    endRecord(start);
}

void EmfRecordWriter::textOut(QPoint origin, const QString& text, const QList<int>& advances)
{
    constexpr std::uint32_t kStringOffset = 76;  // fixed part of EMR_EXTTEXTOUTW
    const auto count = static_cast<std::uint32_t>(text.size());
    const std::uint32_t dxOffset = kStringOffset + (2 * count + 3) / 4 * 4;
    // Page units to 0.01 mm, for readers that scale text in GM_COMPATIBLE mode.
    const auto hundredthsPerUnit = static_cast<float>(2540.0 / (kMetafilePixelsPerInch * kUnitsPerPixel));

    const qsizetype start = startRecord(EMR_EXTTEXTOUTW);
    appendRect(QRect(QPoint(0, 0), QPoint(-1, -1)));  // bounds not computed
    m_out.appendU32(kGmCompatible);
    m_out.appendF32(hundredthsPerUnit);
    m_out.appendF32(hundredthsPerUnit);
    m_out.appendI32(origin.x());
    m_out.appendI32(origin.y());
    m_out.appendU32(count);
    m_out.appendU32(kStringOffset);
    m_out.appendU32(0);                                // options
    appendRect(QRect(QPoint(0, 0), QPoint(-1, -1)));  // no clipping or opaque rectangle
    m_out.appendU32(dxOffset);
    m_out.appendUtf16Fixed(text, static_cast<int>(count));
    m_out.padTo(4);
    for (qsizetype i = 0; i < text.size(); ++i)
        m_out.appendI32(i < advances.size() ? advances.at(i) : 0);
    endRecord(start);
}

void EmfRecordWriter::stretchImage(const QRect& target, const QImage& image)
{
    const DeviceIndependentBitmap dib = DeviceIndependentBitmap::fromImage(image);
    constexpr std::uint32_t kFixedSize = 80;
    const qsizetype start = startRecord(EMR_STRETCHDIBITS);
    appendDeviceBounds(target);
    m_out.appendI32(target.left());
    m_out.appendI32(target.top());
    m_out.appendI32(0);  // source x, y
    m_out.appendI32(0);
    m_out.appendI32(image.width());
    m_out.appendI32(image.height());
    m_out.appendU32(kFixedSize);
    m_out.appendU32(static_cast<std::uint32_t>(dib.header.size()));
    m_out.appendU32(kFixedSize + static_cast<std::uint32_t>(dib.header.size()));
    m_out.appendU32(static_cast<std::uint32_t>(dib.bits.size()));
    m_out.appendU32(0);  // DIB_RGB_COLORS
    m_out.appendU32(kSrcCopy);
    m_out.appendI32(target.right() - target.left());
    m_out.appendI32(target.bottom() - target.top());
    m_out.appendBytes(dib.header);
    m_out.appendBytes(dib.bits);
    endRecord(start);
}

QByteArray EmfRecordWriter::finish(int objectSlots)
{
    const qsizetype start = startRecord(EMR_EOF);
    m_out.appendU32(0);   // palette entries
    m_out.appendU32(16);  // offset of the (empty) palette
    m_out.appendU32(20);  // size of this record, repeated
    endRecord(start);

    m_out.patchU32(kBytesOffset, static_cast<std::uint32_t>(m_out.size()));
    m_out.patchU32(kRecordsOffset, m_records);
    m_out.patchU16(kHandlesOffset, static_cast<std::uint16_t>(objectSlots + 1));
    return m_out.bytes();
}

}  // namespace kvo::gui
