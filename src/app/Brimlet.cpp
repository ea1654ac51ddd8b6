#include "app/Brimlet.h"

#include <QApplication>
#include <QDir>

#include "app/FolderLock.h"
#include "host/AtomicFile.h"
#include "host/QtHost.h"
#include "host/Untrapped.h"
#include "ui/Form1.h"

namespace brimlet {

int runBrimlet(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Brimlet"));
    // The program ends when its own windows are gone, not when the last
    // visible one closes: a message box may be the only visible window while
    // the main window is in the tray.
    QApplication::setQuitOnLastWindowClosed(false);

    QtHost host;
    const QString folder = QDir::currentPath();
    const auto lock = lockFolder(folder);
    if (!lock) {
        host.msgBox(QStringLiteral("Brimlet is already running in this folder:\n%1")
                        .arg(QDir::toNativeSeparators(folder)),
                    MsgExclamation, QStringLiteral("Brimlet"));
        return 1;
    }

    removeStaleTemporaries(folder);

    Form1 form(host, folder);
    runUntrapped(host, [&] { form.Form_Load(); });
    return QApplication::exec();
}

}  // namespace brimlet
