#include "app/Brimlet.h"

#include <QApplication>
#include <QDir>
#include <QLibraryInfo>
#include <QMessageBox>
#include <cstdio>
#include <cstring>

#include "Version.h"
#include "app/FolderLock.h"
#include "app/Platform.h"
#include "host/AtomicFile.h"
#include "host/QtHost.h"
#include "host/Untrapped.h"
#include "ui/MainWindow.h"

namespace brimlet {

namespace {

const char kHelp[] =
    "Usage: brimlet [--help | --version]\n"
    "\n"
    "Brimlet keeps every text and picture you copy as a numbered file in the\n"
    "folder it is started from (\"text 1.txt\", \"picture 1.jpeg\", ...), with the\n"
    "last numbers used in pikcounter.txt. Start it in the folder that should\n"
    "hold your clipboard history.\n"
    "\n"
    "  -h, --help     show this help and end\n"
    "  -v, --version  show the version and end\n";

// --help and --version are answered without opening a window; true when
// one of them was given.
bool answeredCommandLine(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::fputs(kHelp, stdout);
            return true;
        }
        if (std::strcmp(argv[i], "--version") == 0 || std::strcmp(argv[i], "-v") == 0) {
            std::printf("Brimlet %s\n", kVersion);
            return true;
        }
    }
    return false;
}

// Whether a window can be shown on this Wayland desktop (Qt cannot start
// at all without its Wayland platform).
bool canShowWaylandWindow() {
    if (!qEnvironmentVariableIsSet("WAYLAND_DISPLAY")) return false;
    const QDir platforms(QLibraryInfo::path(QLibraryInfo::PluginsPath) +
                         QStringLiteral("/platforms"));
    return !platforms.entryList({QStringLiteral("libqwayland*")}, QDir::Files).isEmpty();
}

// Says why Brimlet cannot work here: on the terminal, and in a window where
// one can be shown.
int refuse(int argc, char** argv, const QString& problem) {
    std::fprintf(stderr, "brimlet: %s\n", problem.toLocal8Bit().constData());
    if (canShowWaylandWindow()) {
        QApplication app(argc, argv);
        QMessageBox::critical(nullptr, QStringLiteral("Brimlet"), problem);
    }
    return 1;
}

}  // namespace

int runBrimlet(int argc, char** argv) {
    if (answeredCommandLine(argc, argv)) return 0;
#if defined(Q_OS_LINUX)
    const PlatformChoice choice = choosePlatform(QProcessEnvironment::systemEnvironment());
    if (!choice.problem.isEmpty()) {
        return refuse(argc, argv, choice.problem);
    }
    if (!choice.platform.isEmpty()) qputenv("QT_QPA_PLATFORM", choice.platform);
#endif

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Brimlet"));
    QApplication::setApplicationVersion(QString::fromLatin1(kVersion));
    QGuiApplication::setDesktopFileName(QStringLiteral("brimlet"));
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

    MainWindow window(host, folder);
    runUntrapped(host, [&] { window.load(); });
    return QApplication::exec();
}

}  // namespace brimlet
