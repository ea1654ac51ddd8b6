// A clipboard owner for the end-to-end tests: offers a text, and optionally a
// password manager's hint beside it, as a desktop program would. Prints
// "owned" once it holds the clipboard; ends when it loses it, or after a
// minute.
//
// usage: clipboard_owner TEXT [HINT]

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>
#include <QTimer>
#include <cstdio>

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    if (argc < 2) return 2;
    auto* data = new QMimeData;
    data->setText(QString::fromUtf8(argv[1]));
    if (argc > 2) data->setData(QStringLiteral("x-kde-passwordManagerHint"), argv[2]);
    QClipboard* clipboard = QGuiApplication::clipboard();
    clipboard->setMimeData(data);
    QObject::connect(clipboard, &QClipboard::dataChanged, [clipboard] {
        if (!clipboard->ownsClipboard()) QCoreApplication::quit();
    });
    QTimer::singleShot(60000, &app, &QCoreApplication::quit);
    std::puts("owned");
    std::fflush(stdout);
    return QGuiApplication::exec();
}
