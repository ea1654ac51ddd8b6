#pragma once

#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QKeyEvent>

namespace brimlet::testing {

// Chooses an entry of a combo box as the user does: opens its list, moves to
// the entry and presses Enter there. False when the box has no such entry.
inline bool chooseEntry(QComboBox* box, const QString& entry) {
    const int index = box->findText(entry);
    if (index < 0) return false;
    box->showPopup();
    box->view()->setCurrentIndex(box->model()->index(index, box->modelColumn()));
    QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
    QApplication::sendEvent(box->view(), &enter);
    return true;
}

}  // namespace brimlet::testing
