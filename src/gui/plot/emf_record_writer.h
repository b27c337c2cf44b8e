#pragma once
// Encodes GDI calls as an enhanced metafile (EMF) following Microsoft's
// [MS-EMF] format document: an EMR_HEADER with the picture's bounds and physical
// frame, then one record per call, then EMR_EOF. All values little-endian,
// every record a multiple of four bytes.
//
// The picture maps logical units to device pixels with MM_ANISOTROPIC:
// kUnitsPerPixel logical units to a picture pixel (so that positions keep a
// tenth of a pixel), a reference device of 96 pixels to the inch whose pixels
// are the picture's.

#include "plot/gdi_record_sink.h"
#include "plot/little_endian_buffer.h"
#include "plot/metafile_drawing.h"

namespace kvo::gui {

class EmfRecordWriter final : public GdiRecordSink {
public:
    static constexpr int kUnitsPerPixel = 10;

    [[nodiscard]] static QByteArray encode(const MetafileDrawing& drawing);

    void begin(QSize pixels) override;
    [[nodiscard]] int unitsPerPixel() const override { return kUnitsPerPixel; }
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
    qsizetype startRecord(std::uint32_t type);
    void endRecord(qsizetype start);
    void simpleRecord(std::uint32_t type, std::uint32_t value);
    void appendRect(const QRect& rect);
    void appendDeviceBounds(const QRect& logical);
    void appendPoints(const QPolygon& points);
    void pointRecord(std::uint32_t type, const QPolygon& points);

    LittleEndianBuffer m_out;
    std::uint32_t m_records = 0;
};

}  // namespace kvo::gui
