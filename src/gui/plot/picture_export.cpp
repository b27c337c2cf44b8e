#include "plot/picture_export.h"

#include "plot/emf_record_writer.h"
#include "plot/metafile_paint_device.h"
#include "plot/wmf_record_writer.h"
#include "util/atomic_file.h"

#include <QBuffer>
#include <QChart>
#include <QChartView>
#include <QFile>
#include <QGraphicsLayout>
#include <QGraphicsScene>
#include <QImage>
#include <QImageWriter>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QSvgGenerator>

#include <cmath>
#include <filesystem>
#include <memory>
#include <string_view>

namespace kvo::gui {

namespace {

struct Rendering {
    QByteArray bytes;
    QString error;  // empty on success
};

QString quoted(const QString& path)
{
    return QLatin1Char('"') + path + QLatin1Char('"');
}

Rendering renderImage(QChart* chart, QSize pixels, QPainter::RenderHints hints, const char* format)
{
    QImage image(pixels, QImage::Format_RGB32);
    image.fill(Qt::white);
    {
        QPainter painter(&image);
        painter.setRenderHints(hints);
        renderChart(chart, painter, QRectF(QPointF(0, 0), QSizeF(pixels)));
    }
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, format);
    if (!writer.write(image))
        return {{}, writer.errorString()};
    return {buffer.data(), {}};
}

Rendering renderSvg(QChart* chart, QSize pixels, QPainter::RenderHints hints)
{
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    QSvgGenerator generator;
    generator.setOutputDevice(&buffer);
    generator.setSize(pixels);
    generator.setViewBox(QRect(QPoint(0, 0), pixels));
    generator.setResolution(static_cast<int>(kMetafilePixelsPerInch));
    generator.setTitle(chart->title());
    QPainter painter;
    if (!painter.begin(&generator))
        return {{}, QStringLiteral("cannot start the SVG drawing")};
    painter.setRenderHints(hints);
    renderChart(chart, painter, QRectF(QPointF(0, 0), QSizeF(pixels)));
    painter.end();
    return {buffer.data(), {}};
}

Rendering renderPdf(QChart* chart, QSize pixels, QPainter::RenderHints hints)
{
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    {
        QPdfWriter writer(&buffer);
        writer.setResolution(static_cast<int>(kMetafilePixelsPerInch));
        writer.setPageSize(QPageSize(QSizeF(pixels) * 72.0 / kMetafilePixelsPerInch, QPageSize::Point));
        writer.setPageMargins(QMarginsF(0, 0, 0, 0));
        writer.setTitle(chart->title());
        writer.setCreator(QStringLiteral("kvo"));
        QPainter painter;
        if (!painter.begin(&writer))
            return {{}, QStringLiteral("cannot start the PDF document")};
        painter.setRenderHints(hints);
        renderChart(chart, painter, QRectF(writer.pageLayout().paintRectPixels(writer.resolution())));
        painter.end();
    }
    return {buffer.data(), {}};
}

Rendering renderMetafile(QChart* chart, QSize pixels, PictureFormat format)
{
    if (format == PictureFormat::Metafile && !WmfRecordWriter::canHold(pixels))
        return {{},
                QStringLiteral("the chart is too large for a Windows metafile (at most %1 pixels a side)")
                    .arg(WmfRecordWriter::kMaxPixels)};
    MetafilePaintDevice device(pixels);
    QPainter painter;
    if (!painter.begin(&device))
        return {{}, QStringLiteral("cannot start the metafile drawing")};
    renderChart(chart, painter, QRectF(QPointF(0, 0), QSizeF(pixels)));
    painter.end();
    return {format == PictureFormat::Metafile ? WmfRecordWriter::encode(device.drawing())
                                              : EmfRecordWriter::encode(device.drawing()),
            {}};
}

std::optional<QString> save(QChart* chart, const QString& path, PictureFormat format, QPainter::RenderHints hints)
{
    if (chart == nullptr)
        return QStringLiteral("Cannot write %1: there is no chart").arg(quoted(path));
    const QSize pixels(static_cast<int>(std::ceil(chart->size().width())),
                       static_cast<int>(std::ceil(chart->size().height())));
    if (pixels.isEmpty())
        return QStringLiteral("Cannot write %1: the chart has no size").arg(quoted(path));

    Rendering rendering;
    switch (format) {
    case PictureFormat::Bitmap:
        rendering = renderImage(chart, pixels, hints, "bmp");
        break;
    case PictureFormat::Png:
        rendering = renderImage(chart, pixels, hints, "png");
        break;
    case PictureFormat::Svg:
        rendering = renderSvg(chart, pixels, hints);
        break;
    case PictureFormat::Pdf:
        rendering = renderPdf(chart, pixels, hints);
        break;
    case PictureFormat::EnhancedMetafile:
    case PictureFormat::Metafile:
        rendering = renderMetafile(chart, pixels, format);
        break;
    }
    if (!rendering.error.isEmpty())
        return QStringLiteral("Cannot write %1: %2").arg(quoted(path), rendering.error);

    const std::optional<std::string> message = core::writeFileAtomically(
        std::filesystem::path(QFile::encodeName(path).toStdString()),
        std::string_view(rendering.bytes.constData(), static_cast<std::size_t>(rendering.bytes.size())));
    if (message)
        return QString::fromStdString(*message);
    return std::nullopt;
}

}  // namespace

void renderChart(QChart* chart, QPainter& painter, const QRectF& target)
{
    // A chart never shown has no scene; lend it one for the drawing.
    std::unique_ptr<QGraphicsScene> lentScene;
    if (chart->scene() == nullptr) {
        lentScene = std::make_unique<QGraphicsScene>();
        lentScene->addItem(chart);
    }
    if (chart->layout() != nullptr)
        chart->layout()->activate();
    chart->scene()->render(&painter, target, chart->sceneBoundingRect(), Qt::KeepAspectRatio);
    if (lentScene)
        lentScene->removeItem(chart);
}

std::optional<QString> savePicture(QChart* chart, const QString& path, PictureFormat format)
{
    return save(chart, path, format, QPainter::TextAntialiasing);
}

std::optional<QString> savePicture(QChartView* view, const QString& path, PictureFormat format)
{
    if (view == nullptr)
        return QStringLiteral("Cannot write %1: there is no chart").arg(quoted(path));
    return save(view->chart(), path, format, view->renderHints());
}

}  // namespace kvo::gui
