#include "plot/chart_printing.h"

#include "plot/picture_export.h"

#include <QChart>
#include <QChartView>
#include <QPainter>
#include <QPrintDialog>
#include <QPrinter>

namespace kvo::gui {

std::optional<QString> printChart(QChartView* view, QWidget* parent)
{
    if (view == nullptr || view->chart() == nullptr)
        return QStringLiteral("There is no chart to print");
    QPrinter printer(QPrinter::HighResolution);
    QPrintDialog dialog(&printer, parent);
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    return printChartOn(printer, view->chart());
}

std::optional<QString> printChartOn(QPrinter& printer, QChart* chart)
{
    if (chart == nullptr)
        return QStringLiteral("There is no chart to print");
    QPainter painter;
    if (!painter.begin(&printer))
        return QStringLiteral("Cannot print on \"%1\"").arg(printer.printerName().isEmpty() ? printer.outputFileName()
                                                                                            : printer.printerName());
    painter.setRenderHints(QPainter::Antialiasing | QPainter::TextAntialiasing);
    renderChart(chart, painter, printer.pageLayout().paintRectPixels(printer.resolution()).translated(
                                    -printer.pageLayout().paintRectPixels(printer.resolution()).topLeft()));
    if (!painter.end())
        return QStringLiteral("Printing the chart failed");
    return std::nullopt;
}

}  // namespace kvo::gui
