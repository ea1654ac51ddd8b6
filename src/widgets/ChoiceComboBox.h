#pragma once

#include <QComboBox>

namespace brimlet {

// An editable drop-down combo box that acts only when an entry is chosen
// from its open list, by a click or by Enter. Typing into the edit field,
// Enter or Escape there, leaving the box, the arrow keys or the wheel on the
// closed box only edit or show an entry; they choose nothing.
class ChoiceComboBox : public QComboBox {
    Q_OBJECT
  public:
    explicit ChoiceComboBox(QWidget* parent = nullptr);

    // Appends the entries and leaves the edit field empty, nothing chosen.
    void fill(const QStringList& entries);

  signals:
    void chosen();

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    bool choosing_ = false;  // the open list is handling a click or Enter
};

}  // namespace brimlet
