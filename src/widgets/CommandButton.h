#pragma once

#include <QPushButton>

namespace brimlet {

// A push button that Enter presses while it has the focus, as Space does.
// It never becomes a default button: Enter elsewhere in its window leaves
// it alone.
class CommandButton : public QPushButton {
  public:
    CommandButton(const QString& caption, QWidget* parent);

  protected:
    void keyPressEvent(QKeyEvent* event) override;
};

}  // namespace brimlet
