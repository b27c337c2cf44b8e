#include "kernel/kernel_image_item.h"

#include <QPainter>

namespace kvo::gui {

KernelImageItem::KernelImageItem(QGraphicsItem* parent) : QGraphicsItem(parent) {
  // Above the plot area's background (0) and its shades (1), below the grid (2).
  setZValue(1.5);
}

void KernelImageItem::setImage(QImage image, const QRectF& rect) {
  prepareGeometryChange();
  m_image = std::move(image);
  m_rect = rect;
  update();
}

void KernelImageItem::paint(QPainter* painter, const QStyleOptionGraphicsItem*, QWidget*) {
  if (m_image.isNull() || m_rect.isEmpty()) return;
  // The image is built at the plot area's size: one image pixel per screen
  // pixel, no smoothing that would blur the cells' edges.
  painter->drawImage(m_rect, m_image);
}

}  // namespace kvo::gui
