#pragma once
// A paint device that records a picture for the Windows metafile writers.
// It reports 96 dots per inch, like an image, so that fonts given in points get
// the same pixel size as in a bitmap of the same chart.

#include "plot/metafile_drawing.h"

#include <QPaintDevice>

#include <memory>

namespace kvo::gui {

class MetafilePaintEngine;

class MetafilePaintDevice : public QPaintDevice {
public:
    explicit MetafilePaintDevice(QSize size);
    ~MetafilePaintDevice() override;
    MetafilePaintDevice(const MetafilePaintDevice&) = delete;
    MetafilePaintDevice& operator=(const MetafilePaintDevice&) = delete;

    [[nodiscard]] QPaintEngine* paintEngine() const override;
    // What was drawn by the last painter on this device (complete once it ended).
    [[nodiscard]] const MetafileDrawing& drawing() const { return m_drawing; }

protected:
    [[nodiscard]] int metric(PaintDeviceMetric metric) const override;

private:
    QSize m_size;
    MetafileDrawing m_drawing;
    std::unique_ptr<MetafilePaintEngine> m_engine;
};

}  // namespace kvo::gui
