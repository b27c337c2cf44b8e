#include "app/up_down.h"

#include <QBoxLayout>
#include <QToolButton>

#include <algorithm>

namespace kvo::gui {

UpDown::UpDown(Qt::Orientation orientation, int minimum, int maximum, QWidget* parent)
    : QWidget(parent), m_minimum(minimum), m_maximum(maximum) {
  const bool vertical = orientation == Qt::Vertical;
  auto* layout = new QBoxLayout(vertical ? QBoxLayout::TopToBottom : QBoxLayout::RightToLeft, this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  m_up = new QToolButton(this);
  m_down = new QToolButton(this);
  m_up->setArrowType(vertical ? Qt::UpArrow : Qt::RightArrow);
  m_down->setArrowType(vertical ? Qt::DownArrow : Qt::LeftArrow);
  for (QToolButton* b : {m_up, m_down}) {
    b->setAutoRepeat(true);
    b->setFixedSize(vertical ? QSize(18, 12) : QSize(14, 22));
    b->setFocusPolicy(Qt::NoFocus);
  }
  layout->addWidget(m_up);
  layout->addWidget(m_down);
  connect(m_up, &QToolButton::clicked, this, &UpDown::stepUp);
  connect(m_down, &QToolButton::clicked, this, &UpDown::stepDown);
}

void UpDown::setPosition(int position) { m_position = std::clamp(position, m_minimum, m_maximum); }

void UpDown::stepUp() { step(true); }
void UpDown::stepDown() { step(false); }

void UpDown::step(bool up) {
  setPosition(up ? m_position + m_increment : m_position - m_increment);
  emit clicked(up);
}

}  // namespace kvo::gui
