#pragma once
// The GDI calls a Windows metafile records, as one interface for the two
// formats: the enhanced metafile (EMF, [MS-EMF]) and the older Windows
// metafile (WMF, [MS-WMF]). GdiDrawingWriter decides which calls to make (which
// objects exist, which are selected, which clip applies); a sink only encodes
// each call as its format's record.
//
// Coordinates are logical units of the picture: unitsPerPixel() units to a
// picture pixel, origin at the top left, y down. Rectangles are given by their
// left, top, right and bottom coordinates (QRect::right() and bottom() are the
// exact values, not one less).

#include <QByteArray>
#include <QImage>
#include <QList>
#include <QPolygon>
#include <QRect>
#include <QRgb>
#include <QSize>
#include <QString>

#include <compare>
#include <cstdint>
#include <variant>

namespace kvo::gui {

// GDI pen styles (LOGPEN lopnStyle).
enum class GdiPenStyle : std::uint16_t { Solid = 0, Dash = 1, Dot = 2, DashDot = 3, DashDotDot = 4, Null = 5 };

struct GdiPen {
    GdiPenStyle style = GdiPenStyle::Solid;
    int width = 0;  // logical units; 0 is one device pixel
    QRgb color = 0;
    friend auto operator<=>(const GdiPen&, const GdiPen&) = default;
};

struct GdiBrush {
    bool hollow = false;  // BS_NULL when true, BS_SOLID otherwise
    QRgb color = 0;
    friend auto operator<=>(const GdiBrush&, const GdiBrush&) = default;
};

struct GdiFont {
    QString family;
    int height = 0;      // em height in logical units (written negated, as GDI expects)
    int escapement = 0;  // tenths of a degree, counter-clockwise
    int weight = 400;
    bool italic = false;
    bool underline = false;
    bool strikeOut = false;
    friend bool operator==(const GdiFont&, const GdiFont&) = default;
};

using GdiObject = std::variant<GdiPen, GdiBrush, GdiFont>;

// GDI colour reference: 0x00BBGGRR.
[[nodiscard]] constexpr std::uint32_t colorRef(QRgb rgb)
{
    return static_cast<std::uint32_t>(qRed(rgb)) | (static_cast<std::uint32_t>(qGreen(rgb)) << 8)
           | (static_cast<std::uint32_t>(qBlue(rgb)) << 16);
}

class GdiRecordSink {
public:
    virtual ~GdiRecordSink() = default;

    // Starts the picture of `pixels` (sets up the mapping of logical units).
    virtual void begin(QSize pixels) = 0;
    [[nodiscard]] virtual int unitsPerPixel() const = 0;

    // `slot` is the object table entry: always the lowest free one, as WMF
    // players assign it implicitly.
    virtual void createObject(int slot, const GdiObject& object) = 0;
    virtual void selectObject(int slot) = 0;
    virtual void deleteObject(int slot) = 0;

    virtual void saveDc() = 0;
    virtual void restoreDc() = 0;  // the state saved last
    virtual void intersectClipRect(const QRect& rect) = 0;
    virtual void setTextColor(QRgb color) = 0;
    virtual void setPolyFillMode(Qt::FillRule rule) = 0;
    virtual void setTransparentBackground() = 0;
    virtual void setTextAlignBaseline() = 0;

    virtual void polyline(const QPolygon& points) = 0;
    virtual void polygon(const QPolygon& points) = 0;
    virtual void polyPolygon(const QList<QPolygon>& polygons) = 0;
    virtual void rectangle(const QRect& box) = 0;
    virtual void ellipse(const QRect& box) = 0;
    // `advances`: one per UTF-16 unit of `text`, logical units.
    virtual void textOut(QPoint origin, const QString& text, const QList<int>& advances) = 0;
    virtual void stretchImage(const QRect& target, const QImage& image) = 0;

    // Ends the picture; `objectSlots` is the size the object table needed.
    [[nodiscard]] virtual QByteArray finish(int objectSlots) = 0;
};

}  // namespace kvo::gui
