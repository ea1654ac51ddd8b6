#include "widgets/ProgramWindows.h"

#include <QApplication>
#include <QTimer>
#include <QWidget>

namespace brimlet {

namespace {

constexpr char kLoaded[] = "brimletLoaded";

}  // namespace

void setLoaded(QWidget* window, bool loaded) {
    window->setProperty(kLoaded, loaded);
}

bool isLoaded(const QWidget* window) {
    return window->property(kLoaded).toBool();
}

void endWhenNoWindowIsLoaded() {
    QTimer::singleShot(0, qApp, [] {
        for (const QWidget* window : QApplication::topLevelWidgets()) {
            if (isLoaded(window)) return;
        }
        QCoreApplication::quit();
    });
}

}  // namespace brimlet
