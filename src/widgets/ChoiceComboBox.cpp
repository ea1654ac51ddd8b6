#include "widgets/ChoiceComboBox.h"

#include <QAbstractItemView>
#include <QKeyEvent>
#include <QTimer>

namespace brimlet {

ChoiceComboBox::ChoiceComboBox(QWidget* parent) : QComboBox(parent) {
    setEditable(true);
    setInsertPolicy(QComboBox::NoInsert);
    // The box reports every change of its entry as activated, typed ones
    // included; only those that the open list makes are choices. Watching
    // the list before the box does tells them apart.
    view()->installEventFilter(this);
    view()->viewport()->installEventFilter(this);
    connect(this, &QComboBox::activated, this, [this] {
        if (!choosing_) return;
        choosing_ = false;
        emit chosen();
    });
}

void ChoiceComboBox::fill(const QStringList& entries) {
    addItems(entries);
    setCurrentIndex(-1);
}

bool ChoiceComboBox::eventFilter(QObject* watched, QEvent* event) {
    if (watched == view() || watched == view()->viewport()) {
        // The list takes Enter already when it is offered as a shortcut.
        const QEvent::Type type = event->type();
        const bool enter = (type == QEvent::ShortcutOverride || type == QEvent::KeyPress) &&
                           (static_cast<QKeyEvent*>(event)->key() == Qt::Key_Return ||
                            static_cast<QKeyEvent*>(event)->key() == Qt::Key_Enter);
        if (enter || type == QEvent::MouseButtonRelease) {
            // The list picks its entry while this event is delivered.
            choosing_ = true;
            QTimer::singleShot(0, this, [this] { choosing_ = false; });
        }
    }
    return QComboBox::eventFilter(watched, event);
}

// The box steps to another entry while the event is delivered; any other
// key goes to the edit field.
void ChoiceComboBox::keyPressEvent(QKeyEvent* event) {
    const int key = event->key();
    const bool steps = (key == Qt::Key_Up || key == Qt::Key_Down || key == Qt::Key_PageUp ||
                        key == Qt::Key_PageDown) &&
                       (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier;
    choosing_ = steps;
    QComboBox::keyPressEvent(event);
    choosing_ = false;
}

void ChoiceComboBox::wheelEvent(QWheelEvent* event) {
    choosing_ = true;
    QComboBox::wheelEvent(event);
    choosing_ = false;
}

}  // namespace brimlet
