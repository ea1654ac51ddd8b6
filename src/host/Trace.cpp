#include "host/Trace.h"

#include <QApplication>
#include <QWidget>

namespace brimlet {

Q_LOGGING_CATEGORY(traceLog, "brimlet.trace", QtWarningMsg)

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
