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

// An editable drop-down combo box that acts only when an entry of its list is
// chosen: typing into the edit field, Enter included, only edits.
class ChoiceCombo : public QComboBox {
    Q_OBJECT
  public:
    explicit ChoiceCombo(QWidget* parent = nullptr);

  signals:
    void chosen();

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
};

}  // namespace brimlet
