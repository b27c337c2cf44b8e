#pragma once
// The kernel's picture as an item of its chart: drawn in the plot area,
// above the chart's background and below the grid, axes and series, so
// that a picture of the chart (screen, print, saved file) shows it in place.

#include <QGraphicsItem>
#include <QImage>

namespace kvo::gui {

class KernelImageItem : public QGraphicsItem {
 public:
  explicit KernelImageItem(QGraphicsItem* parent = nullptr);

  // Shows `image` stretched over `rect` (in the parent's coordinates).
  void setImage(QImage image, const QRectF& rect);
  const QImage& image() const { return m_image; }

  QRectF boundingRect() const override { return m_rect; }
  void paint(QPainter* painter, const QStyleOptionGraphicsItem* option, QWidget* widget) override;

 private:
  QImage m_image;
  QRectF m_rect;
};

}  // namespace kvo::gui
