#include "picture_readers.h"

#include <QDir>
#include <QPainter>
#include <QProcess>
#include <QStandardPaths>
#include <QSvgRenderer>

namespace kvo::gui::test {

namespace {

QString runTool(const QString& tool, const QStringList& arguments)
{
    const QString program = QStandardPaths::findExecutable(tool);
    if (program.isEmpty())
        return QString("%1 is not installed (see scripts/packages.sh)").arg(tool);
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForFinished(-1) || process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0)
        return QString("%1 failed: %2").arg(tool, QString::fromLocal8Bit(process.readAllStandardError()));
    return {};
}

ReadPicture readImage(const QString& path)
{
    QImage image(path);
    if (image.isNull())
        return {{}, "Qt cannot read " + path};
    return {image.convertToFormat(QImage::Format_RGB32), {}};
}

ReadPicture readSvg(const QString& path)
{
    QSvgRenderer renderer(path);
    if (!renderer.isValid())
        return {{}, "Qt SVG finds " + path + " invalid"};
    // At the size of its view box: the drawing's own units (pixels for Qt's
    // generator), whatever physical size the file states.
    const QSize size = renderer.viewBox().isValid() ? renderer.viewBox().size() : renderer.defaultSize();
    QImage image(size, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    renderer.render(&painter);
    return {image, {}};
}

}  // namespace

ReadPicture readPicture(const QString& path, PictureFormat format, const QString& scratchFolder)
{
    const QDir scratch(scratchFolder);
    switch (format) {
    case PictureFormat::Bitmap:
    case PictureFormat::Png:
        return readImage(path);
    case PictureFormat::Svg:
        return readSvg(path);
    case PictureFormat::Pdf: {
        const QString stem = scratch.filePath("from-pdf");
        if (QString error = runTool("pdftoppm", {"-r", "96", "-png", "-singlefile", path, stem}); !error.isEmpty())
            return {{}, error};
        return readImage(stem + ".png");
    }
    case PictureFormat::EnhancedMetafile: {
        const QString svg = scratch.filePath("from-emf.svg");
        if (QString error = runTool("emf2svg-conv", {"-i", path, "-o", svg}); !error.isEmpty())
            return {{}, error};
        return readSvg(svg);
    }
    case PictureFormat::Metafile: {
        const QString png = scratch.filePath("from-wmf.png");
        if (QString error = runTool("wmf2gd", {"-t", "png", "-o", png, path}); !error.isEmpty())
            return {{}, error};
        return readImage(png);
    }
    }
    return {{}, "unknown format"};
}

PixelsFound findPixels(const QImage& image, const std::function<bool(QRgb)>& match)
{
    PixelsFound found;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (match(image.pixel(x, y))) {
                ++found.count;
                found.box = found.box.united(QRect(x, y, 1, 1));
            }
        }
    }
    return found;
}

bool isRed(QRgb pixel)
{
    return qRed(pixel) > 180 && qGreen(pixel) < 80 && qBlue(pixel) < 80;
}

bool isBlack(QRgb pixel)
{
    return qRed(pixel) < 40 && qGreen(pixel) < 40 && qBlue(pixel) < 40;
}

}  // namespace kvo::gui::test
