#pragma once
// Which picture file a Save of the chart writes, from the name chosen in the
// file dialog and the dialog's filter.
//
// The rules: the three characters after the last dot of the file name decide
// when they are exactly (lower case) "bmp", "emf", "wmf", "png", "svg" or
// "pdf"; otherwise the filter decides (1 bitmap, 2 enhanced metafile,
// 3 metafile, 5 PNG, 6 SVG, 7 PDF; 4 "All graphic files" and anything else
// mean bitmap). Only those three characters are compared, so "plot.bmpx" is a
// bitmap and "plot.BMP" is not recognised by its extension. The file written
// is the chosen folder and name with the format's own extension, replacing
// whatever extension was typed: "plot.bmpx" writes "plot.bmp".

#include <QString>

namespace kvo::gui {

enum class PictureFormat { Bitmap, EnhancedMetafile, Metafile, Png, Svg, Pdf };

// The save dialog's filters, in Qt's syntax; their order gives the filter index.
inline constexpr char kPictureFileFilter[] =
    "Bitmaps (*.bmp);;"
    "Enhanced Metafiles (*.emf);;"
    "Metafiles (*.wmf);;"
    "All graphic files (*.bmp *.emf *.wmf);;"
    "PNG images (*.png);;"
    "SVG drawings (*.svg);;"
    "PDF documents (*.pdf)";

struct PictureFile {
    PictureFormat format = PictureFormat::Bitmap;
    QString path;
    friend bool operator==(const PictureFile&, const PictureFile&) = default;
};

// `filterIndex` counts from 1, as the filter list is written.
[[nodiscard]] PictureFile choosePictureFile(const QString& chosenName, int filterIndex);

// The 1-based index of `selectedFilter` (as QFileDialog reports it) in
// kPictureFileFilter; 0 when it is not one of them.
[[nodiscard]] int pictureFilterIndex(const QString& selectedFilter);

// ".bmp", ".emf", ".wmf", ".png", ".svg" or ".pdf".
[[nodiscard]] QString pictureSuffix(PictureFormat format);

}  // namespace kvo::gui
