#pragma once
// Encodes GDI calls as a placeable Windows metafile (WMF) following Microsoft's
// [MS-WMF] format document: the 22-byte placeable header (bounding box, logical
// units per inch, checksum), the META_HEADER, one record per call, META_EOF.
// Records count their size in 16-bit words; all values little-endian.
//
// WMF coordinates are 16-bit, so the logical units per pixel are chosen for
// each picture: 15 (1440 to the inch, twips) when the picture fits, fewer for
// a larger one; a picture larger than 32767 pixels cannot be written.
// Text is written in the ANSI character set; a character outside Latin-1
// becomes '?'.

#include "plot/gdi_record_sink.h"
#include "plot/little_endian_buffer.h"
#include "plot/metafile_drawing.h"

namespace kvo::gui {

class WmfRecordWriter final : public GdiRecordSink {
public:
    static constexpr int kMaxUnitsPerPixel = 15;
    static constexpr int kMaxPixels = 32767;

    [[nodiscard]] static bool canHold(QSize pixels);
    // The picture must satisfy canHold().
    [[nodiscard]] static QByteArray encode(const MetafileDrawing& drawing);

    void begin(QSize pixels) override;
    [[nodiscard]] int unitsPerPixel() const override { return m_unitsPerPixel; }
    void createObject(int slot, const GdiObject& object) override;
    void selectObject(int slot) override;
    void deleteObject(int slot) override;
    void saveDc() override;
    void restoreDc() override;
    void intersectClipRect(const QRect& rect) override;
    void setTextColor(QRgb color) override;
    void setPolyFillMode(Qt::FillRule rule) override;
    void setTransparentBackground() override;
    void setTextAlignBaseline() override;
    void polyline(const QPolygon& points) override;
    void polygon(const QPolygon& points) override;
    void polyPolygon(const QList<QPolygon>& polygons) override;
    void rectangle(const QRect& box) override;
    void ellipse(const QRect& box) override;
    void textOut(QPoint origin, const QString& text, const QList<int>& advances) override;
    void stretchImage(const QRect& target, const QImage& image) override;
    [[nodiscard]] QByteArray finish(int objectSlots) override;

private:
    qsizetype startRecord(std::uint16_t function);
    void endRecord(qsizetype start);
    void wordRecord(std::uint16_t function, std::uint16_t value);
    void appendCoordinate(int value);
    void appendBox(const QRect& box);  // bottom, right, top, left: WMF's order
    void appendPoints(const QPolygon& points);
    void pointRecord(std::uint16_t function, const QPolygon& points);

    LittleEndianBuffer m_out;
    int m_unitsPerPixel = kMaxUnitsPerPixel;
    std::uint32_t m_maxRecordWords = 0;
    qsizetype m_headerStart = 0;
};

}  // namespace kvo::gui
