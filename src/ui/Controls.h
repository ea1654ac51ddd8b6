#pragma once

#include <QComboBox>
#include <QLabel>

namespace brimlet {

// A label that reports a click.
class ClickLabel : public QLabel {
    Q_OBJECT
  public:
    using QLabel::QLabel;

  signals:
    void clicked();

  protected:
    void mouseReleaseEvent(QMouseEvent* event) override;
};

// An editable drop-down combo box that acts only when an entry is chosen
// from its open list, by a click or by Enter. Typing into the edit field,
// Enter or Escape there, leaving the box, the arrow keys or the wheel on the
// closed box only edit or show an entry; they choose nothing.
class ChoiceCombo : public QComboBox {
    Q_OBJECT
  public:
    explicit ChoiceCombo(QWidget* parent = nullptr);

  signals:
    void chosen();

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    bool choosing_ = false;  // the open list is handling a click or Enter
};

}  // namespace brimlet
