#pragma once
// Printing a chart: the printer dialog, then the chart scaled to the printable
// area of one page with its aspect ratio kept.

#include <QString>

#include <optional>

class QChart;
class QChartView;
class QPrinter;
class QWidget;

namespace kvo::gui {

// Shows the printer dialog over `parent`; when confirmed, prints the view's
// chart. Returns nullopt when printed or cancelled, otherwise the reason.
[[nodiscard]] std::optional<QString> printChart(QChartView* view, QWidget* parent);

// Prints `chart` on one page of a printer already set up.
[[nodiscard]] std::optional<QString> printChartOn(QPrinter& printer, QChart* chart);

}  // namespace kvo::gui
