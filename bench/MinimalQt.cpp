// The least a Qt Widgets program can be that shows a window of Brimlet's
// size and wakes every 500 ms: the yardstick for Brimlet's idle CPU and
// first paint in bench/scenarios.py.

#include <QApplication>
#include <QLabel>
#include <QTimer>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QLabel window(QStringLiteral("A window and a 500 ms timer"));
    window.setWindowTitle(QStringLiteral("Minimal"));
    window.setAlignment(Qt::AlignCenter);
    window.resize(523, 335);
    window.show();
    quint64 ticks = 0;
    QTimer timer;
    timer.setInterval(500);
    QObject::connect(&timer, &QTimer::timeout, [&ticks] { ++ticks; });
    timer.start();
    return QApplication::exec();
}
