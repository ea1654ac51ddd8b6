#pragma once

#include <QComboBox>

namespace brimlet {

// An editable drop-down combo box that acts only when an entry of its list
// is chosen: by a click or Enter in the open list, or by the arrow, Page
// keys or the wheel on the closed box, so that it never shows an entry it
// has not acted on. Typing into the edit field, Enter or Escape there and
// leaving the box only edit the text; they choose nothing.
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
    void keyPressEvent(QKeyEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;

  private:
    // The open list is handling a click or Enter, or the closed box a key or
    // the wheel that steps through the entries.
    bool choosing_ = false;
};

}  // namespace brimlet
