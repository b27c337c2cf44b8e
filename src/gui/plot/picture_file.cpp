#include "plot/picture_file.h"

#include <QStringList>

#include <array>
#include <optional>

namespace kvo::gui {

namespace {

struct FormatName {
    PictureFormat format;
    const char* extension;  // without the dot
    int filterIndex;
};

constexpr std::array kFormats{
    FormatName{PictureFormat::Bitmap, "bmp", 1},  FormatName{PictureFormat::EnhancedMetafile, "emf", 2},
    FormatName{PictureFormat::Metafile, "wmf", 3}, FormatName{PictureFormat::Png, "png", 5},
    FormatName{PictureFormat::Svg, "svg", 6},      FormatName{PictureFormat::Pdf, "pdf", 7},
};

std::optional<PictureFormat> formatOfExtension(const QString& threeCharacters)
{
    for (const FormatName& name : kFormats) {
        if (threeCharacters == QLatin1String(name.extension))
            return name.format;
    }
    return std::nullopt;
}

PictureFormat formatOfFilter(int filterIndex)
{
    for (const FormatName& name : kFormats) {
        if (name.filterIndex == filterIndex)
            return name.format;
    }
    return PictureFormat::Bitmap;
}

}  // namespace

PictureFile choosePictureFile(const QString& chosenName, int filterIndex)
{
    // Folder (with its final '/'), then name and extension (from the last dot
    // of the file name, dot included).
    const qsizetype nameStart = chosenName.lastIndexOf(QLatin1Char('/')) + 1;
    const qsizetype dot = chosenName.lastIndexOf(QLatin1Char('.'));
    const bool hasExtension = dot >= nameStart;
    const QString stem = hasExtension ? chosenName.left(dot) : chosenName;
    const QString extension = hasExtension ? chosenName.mid(dot) : QString();

    const PictureFormat format = formatOfExtension(extension.mid(1, 3)).value_or(formatOfFilter(filterIndex));
    return PictureFile{format, stem + pictureSuffix(format)};
}

int pictureFilterIndex(const QString& selectedFilter)
{
    const QStringList filters = QString::fromLatin1(kPictureFileFilter).split(QStringLiteral(";;"));
    return static_cast<int>(filters.indexOf(selectedFilter)) + 1;
}

QString pictureSuffix(PictureFormat format)
{
    for (const FormatName& name : kFormats) {
        if (name.format == format)
            return QLatin1Char('.') + QLatin1String(name.extension);
    }
    return QStringLiteral(".bmp");
}

}  // namespace kvo::gui
