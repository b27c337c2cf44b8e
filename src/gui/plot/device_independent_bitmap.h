#pragma once
// A picture as a Windows device-independent bitmap, the form both metafile
// formats embed: a BITMAPINFOHEADER and 24-bit BGR rows, bottom row first,
// each row padded to four bytes.

#include <QByteArray>
#include <QImage>

namespace kvo::gui {

struct DeviceIndependentBitmap {
    QByteArray header;  // BITMAPINFOHEADER, 40 bytes
    QByteArray bits;

    [[nodiscard]] static DeviceIndependentBitmap fromImage(const QImage& image);
};

}  // namespace kvo::gui
