#pragma once
// An up/down control: two arrow buttons that step an integer position within
// a range, without wrapping. The position is the control's own; the handler
// connected to clicked() decides what the associated edit shows.

#include <QWidget>

class QToolButton;

namespace kvo::gui {

class UpDown : public QWidget {
  Q_OBJECT
 public:
  UpDown(Qt::Orientation orientation, int minimum, int maximum, QWidget* parent = nullptr);

  int position() const { return m_position; }
  void setPosition(int position);
  int increment() const { return m_increment; }
  void setIncrement(int increment) { m_increment = increment; }
  int minimum() const { return m_minimum; }
  int maximum() const { return m_maximum; }

  // Steps the position as one click would and emits clicked().
  void stepUp();
  void stepDown();

 signals:
  void clicked(bool up);

 private:
  void step(bool up);

  int m_minimum;
  int m_maximum;
  int m_position = 0;
  int m_increment = 1;
  QToolButton* m_up = nullptr;
  QToolButton* m_down = nullptr;
};

}  // namespace kvo::gui
