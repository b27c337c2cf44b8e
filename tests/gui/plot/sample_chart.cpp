#include "sample_chart.h"

#include <QScatterSeries>
#include <QTest>
#include <QValueAxis>

#include <cmath>
#include <numbers>

namespace kvo::gui::test {

namespace {

QScatterSeries* pointSeries(const QColor& color)
{
    auto* series = new QScatterSeries;
    series->setMarkerShape(QScatterSeries::MarkerShapeRectangle);
    series->setMarkerSize(2.0);
    series->setColor(color);
    series->setBorderColor(color);
    return series;
}

}  // namespace

std::unique_ptr<QChart> makeSampleChart(int width, int height)
{
    auto chart = std::make_unique<QChart>();
    chart->setTitle(QStringLiteral("Loops position"));
    chart->legend()->hide();

    QScatterSeries* tx = pointSeries(kTxColor);
    for (int i = 0; i <= 600; ++i) {
        const double angle = 2.0 * std::numbers::pi * i / 600.0;
        tx->append(50.0 * std::cos(angle), 50.0 * std::sin(angle));
    }
    QScatterSeries* rx = pointSeries(kRxColor);
    for (int i = 0; i < 400; ++i) {
        const double t = -20.0 + 40.0 * (i % 100) / 100.0;
        const QPointF edges[] = {{t, -20.0}, {20.0, t}, {-t, 20.0}, {-20.0, -t}};
        rx->append(edges[i / 100] + QPointF(10.0, 5.0));
    }
    chart->addSeries(tx);
    chart->addSeries(rx);

    auto* east = new QValueAxis;
    east->setTitleText(QStringLiteral("East (m)"));
    east->setRange(-54.0, 54.0);
    east->setLabelFormat(QStringLiteral("%.1f"));
    east->setGridLineColor(Qt::cyan);
    auto* north = new QValueAxis;
    north->setTitleText(QStringLiteral("North  (m)"));
    north->setRange(-54.0, 54.0);
    north->setLabelFormat(QStringLiteral("%.1f"));
    north->setGridLineColor(Qt::cyan);
    chart->addAxis(east, Qt::AlignBottom);
    chart->addAxis(north, Qt::AlignLeft);
    for (QAbstractSeries* series : chart->series()) {
        series->attachAxis(east);
        series->attachAxis(north);
    }
    chart->resize(width, height);
    return chart;
}

std::unique_ptr<QChartView> makeSampleChartView(int width, int height)
{
    auto view = std::make_unique<QChartView>(makeSampleChart(width, height).release());
    view->resize(width, height);
    view->show();
    if (!QTest::qWaitForWindowExposed(view.get()))
        return nullptr;
    return view;
}

}  // namespace kvo::gui::test
