#include "widgets/FocusTrace.h"

#include <QApplication>
#include <QWidget>

#include "base/Trace.h"

namespace brimlet {

namespace {

QString nameOf(const QWidget* widget) {
    if (widget == nullptr) return QStringLiteral("(none)");
    if (!widget->accessibleName().isEmpty()) return widget->accessibleName();
    return widget->objectName();
}

}  // namespace

void traceFocusChanges() {
    static bool installed = false;
    if (installed || !traceLog().isDebugEnabled() || qApp == nullptr) return;
    installed = true;
    QObject::connect(qApp, &QApplication::focusChanged, qApp, [](QWidget*, QWidget* now) {
        qCDebug(traceLog).noquote() << "focus" << nameOf(now);
    });
}

}  // namespace brimlet
