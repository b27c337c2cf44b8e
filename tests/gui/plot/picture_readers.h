#pragma once
// Opening written pictures with readers that share no code with the writers:
// Qt's image readers (BMP, PNG), Qt SVG (SVG), poppler's pdftoppm (PDF),
// libemf2svg's emf2svg-conv followed by Qt SVG (EMF) and libwmf's wmf2gd (WMF).
// The command-line readers come from the Debian packages poppler-utils,
// emf2svg and libwmf-bin (scripts/packages.sh).

#include "plot/picture_file.h"

#include <QImage>
#include <QRect>
#include <QString>

#include <functional>

namespace kvo::gui::test {

struct ReadPicture {
    QImage image;   // null when the reader failed
    QString error;  // what went wrong
};

// `scratchFolder` receives the reader's intermediate files.
ReadPicture readPicture(const QString& path, PictureFormat format, const QString& scratchFolder);

// Pixels matching `match`, and the box around them.
struct PixelsFound {
    int count = 0;
    QRect box;
};
PixelsFound findPixels(const QImage& image, const std::function<bool(QRgb)>& match);

bool isRed(QRgb pixel);
bool isBlack(QRgb pixel);

}  // namespace kvo::gui::test
