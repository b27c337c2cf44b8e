// Printing puts the whole chart on the page: printed to a PDF file and read
// back with poppler.
#include "picture_readers.h"
#include "sample_chart.h"

#include "plot/chart_printing.h"

#include <QDir>
#include <QPrinter>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace kvo::gui {
namespace {

TEST(ChartPrinting, PrintsTheChartScaledToThePage)
{
    QTemporaryDir folder;
    const auto view = test::makeSampleChartView(640, 480);
    ASSERT_NE(view, nullptr);
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(folder.filePath("printed.pdf"));
    printer.setPageSize(QPageSize(QPageSize::A4));
    printer.setPageOrientation(QPageLayout::Landscape);

    const std::optional<QString> error = printChartOn(printer, view->chart());
    ASSERT_FALSE(error) << error->toStdString();

    const test::ReadPicture page = test::readPicture(folder.filePath("printed.pdf"), PictureFormat::Pdf, folder.path());
    ASSERT_FALSE(page.image.isNull()) << page.error.toStdString();
    const test::PixelsFound black = test::findPixels(page.image, test::isBlack);
    const test::PixelsFound red = test::findPixels(page.image, test::isRed);
    EXPECT_GT(red.count, 100);
    // Scaled up to the page: the circle is far wider than on screen (A4 at 96 dpi is 1123 wide).
    EXPECT_GT(black.box.width(), 600);
}

}  // namespace
}  // namespace kvo::gui
