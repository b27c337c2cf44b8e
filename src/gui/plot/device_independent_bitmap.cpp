#include "plot/device_independent_bitmap.h"

#include "plot/little_endian_buffer.h"

#include <QPainter>

#include <cmath>

namespace kvo::gui {

DeviceIndependentBitmap DeviceIndependentBitmap::fromImage(const QImage& image)
{
    // Transparent parts are shown over white, as on paper.
    QImage opaque(image.size(), QImage::Format_RGB32);
    opaque.fill(Qt::white);
    {
        QPainter painter(&opaque);
        painter.drawImage(0, 0, image);
    }
    const int width = opaque.width();
    const int height = opaque.height();
    const int rowBytes = (width * 3 + 3) / 4 * 4;
    const auto pixelsPerMetre = static_cast<std::int32_t>(std::lround(96.0 / 0.0254));

    LittleEndianBuffer header;
    header.appendU32(40);  // biSize
    header.appendI32(width);
    header.appendI32(height);  // positive: bottom-up rows
    header.appendU16(1);       // biPlanes
    header.appendU16(24);      // biBitCount
    header.appendU32(0);       // BI_RGB
    header.appendU32(static_cast<std::uint32_t>(rowBytes * height));
    header.appendI32(pixelsPerMetre);
    header.appendI32(pixelsPerMetre);
    header.appendU32(0);  // colours used
    header.appendU32(0);  // colours important

    QByteArray bits(static_cast<qsizetype>(rowBytes) * height, '\0');
    for (int y = 0; y < height; ++y) {
        const auto* source = reinterpret_cast<const QRgb*>(opaque.constScanLine(y));
        char* row = bits.data() + static_cast<qsizetype>(height - 1 - y) * rowBytes;
        for (int x = 0; x < width; ++x) {
            row[3 * x] = static_cast<char>(qBlue(source[x]));
            row[3 * x + 1] = static_cast<char>(qGreen(source[x]));
            row[3 * x + 2] = static_cast<char>(qRed(source[x]));
        }
    }
    return {header.bytes(), bits};
}

}  // namespace kvo::gui
