#include "plot/metafile_paint_device.h"

#include "plot/metafile_paint_engine.h"

#include <climits>
#include <cmath>

namespace kvo::gui {

MetafilePaintDevice::MetafilePaintDevice(QSize size)
    : m_size(size), m_engine(std::make_unique<MetafilePaintEngine>(m_drawing))
{
    m_drawing.size = size;
}

MetafilePaintDevice::~MetafilePaintDevice() = default;

QPaintEngine* MetafilePaintDevice::paintEngine() const
{
    return m_engine.get();
}

int MetafilePaintDevice::metric(PaintDeviceMetric metric) const
{
    const auto millimetres = [](int pixels) {
        return static_cast<int>(std::lround(pixels * 25.4 / kMetafilePixelsPerInch));
    };
    switch (metric) {
    case PdmWidth:
        return m_size.width();
    case PdmHeight:
        return m_size.height();
    case PdmWidthMM:
        return millimetres(m_size.width());
    case PdmHeightMM:
        return millimetres(m_size.height());
    case PdmNumColors:
        return INT_MAX;
    case PdmDepth:
        return 32;
    case PdmDpiX:
    case PdmDpiY:
    case PdmPhysicalDpiX:
    case PdmPhysicalDpiY:
        return static_cast<int>(kMetafilePixelsPerInch);
    case PdmDevicePixelRatio:
        return 1;
    case PdmDevicePixelRatioScaled:
        return static_cast<int>(devicePixelRatioFScale());
    default:
        return QPaintDevice::metric(metric);
    }
}

}  // namespace kvo::gui
