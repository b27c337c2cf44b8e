#pragma once
// Plays a recorded MetafileDrawing into a GdiRecordSink, keeping the state a
// GDI device context has: which pen, brush and font are selected, the text
// colour, the polygon fill mode and the clip.
//
// Objects are cached by value and reused; when more than kMaxObjects exist,
// the one used longest ago is deleted, unless it is selected now or in the
// state saved for the clip (restoring that state selects it again).
//
// A clip is written only where it cuts what is drawn: a primitive inside the
// recorded clip is drawn unclipped (for text the extent is estimated from its
// advances and an ascent of one em, a descent of 0.3 em). A clip is set as
// SaveDC + IntersectClipRect and removed by RestoreDC, after which the writer
// knows the state saved before it. Charts clip every item to its box, so most
// pictures need no clip at all, which also suits readers that handle clips
// badly.

#include "plot/gdi_record_sink.h"
#include "plot/metafile_drawing.h"

#include <QByteArray>

#include <cstdint>
#include <optional>
#include <vector>

namespace kvo::gui {

class GdiDrawingWriter {
public:
    static constexpr int kMaxObjects = 64;

    // Returns the metafile's bytes, as encoded by `sink`.
    [[nodiscard]] static QByteArray write(const MetafileDrawing& drawing, GdiRecordSink& sink);

private:
    struct DcState {
        int pen = -1;  // object slots; -1 before the first selection
        int brush = -1;
        int font = -1;
        std::optional<QRgb> textColor;
        std::optional<Qt::FillRule> fillRule;
    };
    struct CachedObject {
        GdiObject object;
        int slot = 0;
        std::uint64_t lastUse = 0;
    };

    explicit GdiDrawingWriter(GdiRecordSink& sink) : m_sink(sink), m_scale(sink.unitsPerPixel()) {}

    void play(const MetafileCommand& command);
    void draw(const MetafilePolyline& line);
    void draw(const MetafilePolygons& polygons);
    void draw(const MetafileBox& box);
    void draw(const MetafileText& text);
    void draw(const MetafileImage& image);
    void draw(const MetafileClip& clip);

    void clipFor(const QRect& extent);
    void applyClip(const std::optional<QRect>& clip);
    [[nodiscard]] QRect extent(const QPolygon& points, const MetafilePen& pen) const;

    void selectPen(const MetafilePen& pen);
    void selectBrush(const std::optional<QColor>& fill);
    void select(const GdiObject& object, int DcState::*slotInState);
    [[nodiscard]] int objectSlot(const GdiObject& object);
    [[nodiscard]] bool pinned(int slot) const;
    [[nodiscard]] int freeSlot();

    [[nodiscard]] int units(double pixels) const;
    [[nodiscard]] QPoint units(QPointF point) const;
    [[nodiscard]] QPolygon units(const QPolygonF& polygon) const;
    [[nodiscard]] QRect units(const QRectF& rect) const;

    GdiRecordSink& m_sink;
    int m_scale;
    DcState m_state;
    std::optional<DcState> m_savedState;  // set while a clip is in force
    std::optional<QRect> m_recordedClip;  // what the drawing asks for
    std::optional<QRect> m_clip;          // what is written
    std::vector<CachedObject> m_objects;
    std::vector<bool> m_slotUsed;
    std::uint64_t m_useCounter = 0;
};

}  // namespace kvo::gui
