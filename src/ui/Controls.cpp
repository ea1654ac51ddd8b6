#include "ui/Controls.h"

#include <QAbstractItemView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QTimer>

namespace brimlet {

void ClickLabel::mouseReleaseEvent(QMouseEvent* event) {
    QLabel::mouseReleaseEvent(event);
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint())) {
        emit clicked();
    }
}

ChoiceCombo::ChoiceCombo(QWidget* parent) : QComboBox(parent) {
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

bool ChoiceCombo::eventFilter(QObject* watched, QEvent* event) {
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

}  // namespace brimlet
