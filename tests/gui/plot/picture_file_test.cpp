// Which file a Save of the chart writes, from the typed name and the filter.
#include "plot/picture_file.h"

#include <QRegularExpression>
#include <QStringList>

#include <gtest/gtest.h>

namespace kvo::gui {
namespace {

struct Choice {
    const char* typed;
    int filterIndex;
    PictureFormat format;
    const char* written;
};

void PrintTo(const Choice& choice, std::ostream* out)
{
    *out << '"' << choice.typed << "\" with filter " << choice.filterIndex;
}

class PictureFileChoice : public ::testing::TestWithParam<Choice> {};

TEST_P(PictureFileChoice, FollowsTheExtensionThenTheFilter)
{
    const Choice& c = GetParam();
    const PictureFile chosen = choosePictureFile(QString::fromUtf8(c.typed), c.filterIndex);
    EXPECT_EQ(chosen.format, c.format);
    EXPECT_EQ(chosen.path, QString::fromUtf8(c.written));
}

INSTANTIATE_TEST_SUITE_P(
    Rules, PictureFileChoice,
    ::testing::Values(
        // No extension: the filter decides, the format's extension is added.
        Choice{"/maps/plot", 3, PictureFormat::Metafile, "/maps/plot.wmf"},
        // The extension wins over the filter.
        Choice{"/maps/plot.bmp", 3, PictureFormat::Bitmap, "/maps/plot.bmp"},
        Choice{"/maps/plot.emf", 1, PictureFormat::EnhancedMetafile, "/maps/plot.emf"},
        Choice{"/maps/plot.wmf", 2, PictureFormat::Metafile, "/maps/plot.wmf"},
        Choice{"/maps/plot.png", 3, PictureFormat::Png, "/maps/plot.png"},
        Choice{"/maps/plot.svg", 1, PictureFormat::Svg, "/maps/plot.svg"},
        Choice{"/maps/plot.pdf", 2, PictureFormat::Pdf, "/maps/plot.pdf"},
        // Upper case is not recognised: the fourth filter means bitmap, and the
        // written name gets the lower-case extension.
        Choice{"/maps/plot.BMP", 4, PictureFormat::Bitmap, "/maps/plot.bmp"},
        Choice{"/maps/plot.BMP", 2, PictureFormat::EnhancedMetafile, "/maps/plot.emf"},
        // Only three characters after the dot are compared.
        Choice{"/maps/plot.bmpx", 2, PictureFormat::Bitmap, "/maps/plot.bmp"},
        Choice{"/maps/plot.wmf1", 1, PictureFormat::Metafile, "/maps/plot.wmf"},
        Choice{"/maps/plot.bm", 3, PictureFormat::Metafile, "/maps/plot.wmf"},
        Choice{"/maps/plot.", 2, PictureFormat::EnhancedMetafile, "/maps/plot.emf"},
        // Another extension is replaced, whatever the filter.
        Choice{"/maps/plot.txt", 2, PictureFormat::EnhancedMetafile, "/maps/plot.emf"},
        Choice{"/maps/plot.tar.wmf", 1, PictureFormat::Metafile, "/maps/plot.tar.wmf"},
        // A dot in a folder name is not an extension.
        Choice{"/maps/v1.2/plot", 2, PictureFormat::EnhancedMetafile, "/maps/v1.2/plot.emf"},
        Choice{"plot", 1, PictureFormat::Bitmap, "plot.bmp"},
        // Filter indices: 1-3 and 5-7 name a format, anything else is bitmap.
        Choice{"/maps/plot", 1, PictureFormat::Bitmap, "/maps/plot.bmp"},
        Choice{"/maps/plot", 2, PictureFormat::EnhancedMetafile, "/maps/plot.emf"},
        Choice{"/maps/plot", 4, PictureFormat::Bitmap, "/maps/plot.bmp"},
        Choice{"/maps/plot", 5, PictureFormat::Png, "/maps/plot.png"},
        Choice{"/maps/plot", 6, PictureFormat::Svg, "/maps/plot.svg"},
        Choice{"/maps/plot", 7, PictureFormat::Pdf, "/maps/plot.pdf"},
        Choice{"/maps/plot", 0, PictureFormat::Bitmap, "/maps/plot.bmp"},
        Choice{"/maps/plot", 8, PictureFormat::Bitmap, "/maps/plot.bmp"},
        Choice{"/maps/plot", -1, PictureFormat::Bitmap, "/maps/plot.bmp"}));

// Each filter of the dialog, by position: its caption, the patterns Qt will
// match, and the format a name without extension gets under it.
struct Filter {
    int index;
    const char* caption;
    QStringList patterns;
    const char* suffix;
};

TEST(PictureFileFilter, KeepsTheCaptionsAndTheirOrder)
{
    const QStringList filters = QString::fromLatin1(kPictureFileFilter).split(";;");
    const Filter expected[] = {
        {1, "Bitmaps", {"*.bmp"}, ".bmp"},
        {2, "Enhanced Metafiles", {"*.emf"}, ".emf"},
        {3, "Metafiles", {"*.wmf"}, ".wmf"},
        {4, "All graphic files", {"*.bmp", "*.emf", "*.wmf"}, ".bmp"},
        {5, "PNG images", {"*.png"}, ".png"},
        {6, "SVG drawings", {"*.svg"}, ".svg"},
        {7, "PDF documents", {"*.pdf"}, ".pdf"},
    };
    ASSERT_EQ(filters.size(), static_cast<qsizetype>(std::size(expected)));
    // Qt reads "Caption (pattern pattern ...)"; patterns are separated by spaces.
    const QRegularExpression form(R"(^(.*) \(([^()]*)\)$)");
    for (const Filter& filter : expected) {
        SCOPED_TRACE(filter.caption);
        const QString text = filters.at(filter.index - 1);
        const QRegularExpressionMatch match = form.match(text);
        ASSERT_TRUE(match.hasMatch()) << text.toStdString();
        EXPECT_EQ(match.captured(1), QString::fromLatin1(filter.caption));
        EXPECT_EQ(match.captured(2).split(' ', Qt::SkipEmptyParts), filter.patterns);
        EXPECT_EQ(pictureFilterIndex(text), filter.index);
        EXPECT_EQ(choosePictureFile("/maps/plot", pictureFilterIndex(text)).path, "/maps/plot" + QString(filter.suffix));
    }
    EXPECT_EQ(pictureFilterIndex("Text files (*.txt)"), 0);
}

}  // namespace
}  // namespace kvo::gui
