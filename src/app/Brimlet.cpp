#include "app/Brimlet.h"

#include <QApplication>
#include <QDir>
#include <QLibraryInfo>
#include <QMessageBox>
#include <cstdio>
#include <cstring>
#include <optional>
#include <system_error>
#include <thread>

#include <fontconfig/fontconfig.h>

#include "Version.h"
#include "app/EndSignals.h"
#include "app/FolderLock.h"
#include "app/Platform.h"
#include "app/SecondStart.h"
#include "files/AtomicFile.h"
#include "files/Folder.h"
#include "host/QtHost.h"
#include "host/Untrapped.h"
#include "host/wayland/DataControlClipboard.h"
#include "host/x11/ClipboardKeeper.h"
#include "host/x11/X11Display.h"
#include "tray/WindowStates.h"
#include "ui/MainWindow.h"
#include "widgets/ProgramStyle.h"
#include "widgets/ProgramWindows.h"

namespace brimlet {

namespace {

const char kUsage[] = "Usage: brimlet [--from-menu] [--leave-copies] [--help | --version]\n";

const char kHelp[] =
    "\n"
    "Brimlet keeps every text and picture you copy as a numbered file in the\n"
    "folder it is started from (\"text 1.txt\", \"picture 1.jpeg\", ...), with the\n"
    "last numbers used in pikcounter.txt. Each capture moves the copy off the\n"
    "clipboard into the folder (unless --leave-copies): to paste it, select it\n"
    "in Brimlet and click \"Copy Text\" or \"Copy Image\". Start Brimlet in the\n"
    "folder that should hold your clipboard history.\n"
    "\n"
    "      --from-menu     capture into ~/Brimlet (made when missing), as the\n"
    "                      desktop menu's entry does\n"
    "      --leave-copies  leave each copy on the clipboard: it is captured once,\n"
    "                      and what was copied before the start or before \"On\"\n"
    "                      is not captured\n"
    "  -h, --help          show this help and end\n"
    "  -v, --version       show the version and end\n";

struct CommandLine {
    bool help = false;
    bool version = false;
    bool fromMenu = false;
    bool leaveCopies = false;
    QByteArray wrong;  // an argument Brimlet does not know
};

CommandLine readCommandLine(int argc, char** argv) {
    CommandLine line;
    for (int i = 1; i < argc; ++i) {
        const char* arg = argv[i];
        if (std::strcmp(arg, "--help") == 0 || std::strcmp(arg, "-h") == 0) {
            line.help = true;
        } else if (std::strcmp(arg, "--version") == 0 || std::strcmp(arg, "-v") == 0) {
            line.version = true;
        } else if (std::strcmp(arg, "--from-menu") == 0) {
            line.fromMenu = true;
        } else if (std::strcmp(arg, "--leave-copies") == 0) {
            line.leaveCopies = true;
        } else if (line.wrong.isEmpty()) {
            line.wrong = arg;
        }
    }
    return line;
}

// Whether a window can be shown on this Wayland desktop (Qt cannot start
// at all without its Wayland platform).
bool canShowWaylandWindow() {
    if (!qEnvironmentVariableIsSet("WAYLAND_DISPLAY")) return false;
    const QDir platforms(QLibraryInfo::path(QLibraryInfo::PluginsPath) +
                         QStringLiteral("/platforms"));
    return !platforms.entryList({QStringLiteral("libqwayland*")}, QDir::Files).isEmpty();
}

void sayOnTerminal(const QString& text) {
    std::fprintf(stderr, "brimlet: %s\n", text.toLocal8Bit().constData());
}

// Says why Brimlet cannot work here: on the terminal, and in a window where
// one can be shown.
int refuse(int argc, char** argv, const QString& problem) {
    sayOnTerminal(problem);
    if (canShowWaylandWindow()) {
        QApplication app(argc, argv);
        QMessageBox::critical(nullptr, QStringLiteral("Brimlet"), problem);
    }
    return 1;
}

// Started from the desktop's menu, whose working folder is no place of the
// user's choosing (often the top of the home folder): captures go to
// ~/Brimlet. Started from a terminal, they go to the current folder.
bool enterMenuFolder() {
    const QString folder = QDir::home().filePath(QStringLiteral("Brimlet"));
    if (!QDir().mkpath(folder) || !QDir::setCurrent(folder)) {
        sayOnTerminal(QStringLiteral("cannot make or enter the folder %1.")
                          .arg(QDir::toNativeSeparators(folder)));
        return false;
    }
    return true;
}

// Fontconfig's first use reads its configuration and an entry for every
// font, a good part of the work before the first paint. Started on a
// thread of its own while Qt starts, it is done before the window's first
// text needs it; the thread is joined before that.
class FontconfigWarmUp {
  public:
    FontconfigWarmUp() {
        try {
            thread_ = std::thread([] { FcInit(); });
        } catch (const std::system_error&) {
            // No thread to spare: Qt reads the fonts when it needs them.
        }
    }
    ~FontconfigWarmUp() { join(); }
    void join() {
        if (thread_.joinable()) thread_.join();
    }

  private:
    std::thread thread_;
};

// Runs the main window in the folder until the program ends; the window
// and the folder's lock are gone when this returns. `reading` reads the
// folder for the lists, when it could be claimed.
int runInFolder(QtHost& host, const FolderHandle& handle, const FolderClaim& claim,
                FolderReading* reading, bool leaveCopies, FontconfigWarmUp& fonts) {
    const QString& folder = handle.path();
    if (claim.heldByAnother) {
        if (askRunningBrimletToShow(folder)) {
            sayOnTerminal(QStringLiteral("Brimlet is already running in %1: its window is "
                                         "brought to the front.")
                              .arg(QDir::toNativeSeparators(folder)));
            return 0;
        }
        const QString message = QStringLiteral("Brimlet is already running in this folder:\n%1")
                                    .arg(QDir::toNativeSeparators(folder));
        sayOnTerminal(QString(message).replace(QLatin1Char('\n'), QLatin1Char(' ')));
        host.msgBox(message, MsgExclamation, QStringLiteral("Brimlet"));
        return 1;
    }
    if (!claim.claimed()) {
        sayOnTerminal(claim.problem);
        host.msgBox(claim.problem, MsgCritical, QStringLiteral("Brimlet"));
        return 1;
    }
    sayOnTerminal(QStringLiteral("capturing into %1").arg(QDir::toNativeSeparators(folder)));

    fonts.join();
    MainWindow window(host, handle, reading);
    window.capture().setLeaveCopies(leaveCopies);
    // A second start in this folder brings the window back (from the tray
    // too) instead of leaving it where it is. Only the holder of the lock
    // listens: with a runtime folder it may not write to there is none.
    std::optional<SecondStartListener> listener;
    if (claim.lock->isLocked()) {
        listener.emplace(folder, [&] {
            if (!isLoaded(&window)) return false;
            runUntrapped(host, [&] { window.windowStates().restore(); });
            return true;
        });
    }
    runUntrapped(host, [&] { window.load(); });
    // Ended while the window was being drawn (a signal, say): the end has
    // been asked for already.
    if (!isLoaded(&window)) return 0;
    return QApplication::exec();
}

// Ends the program as the main menu's "Exit" does: the main window is
// unloaded and the program ends, whatever other window is open.
void endAsExitDoes() {
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        auto* window = qobject_cast<MainWindow*>(widget);
        if (window != nullptr && isLoaded(window)) {
            // Ending anyway: an error here has no one left to tell.
            trapRunTimeError([window] { window->windowStates().exitProgram(); });
        }
    }
    QCoreApplication::exit(0);
}

}  // namespace

int runBrimlet(int argc, char** argv) {
    if (isClipboardHolderRun(argc, argv)) {
        return runClipboardHolder(argc, argv, holdClipboardThroughDataControl);
    }
    const CommandLine line = readCommandLine(argc, argv);
    if (!line.wrong.isEmpty()) {
        std::fprintf(stderr, "brimlet: unknown option '%s'\n%s", line.wrong.constData(), kUsage);
        return 2;
    }
    if (line.help) {
        std::fputs(kUsage, stdout);
        std::fputs(kHelp, stdout);
        return 0;
    }
    if (line.version) {
        std::printf("Brimlet %s\n", kVersion);
        return 0;
    }
#if defined(Q_OS_LINUX)
    const PlatformChoice choice = choosePlatform(QProcessEnvironment::systemEnvironment());
    if (!choice.problem.isEmpty()) {
        return refuse(argc, argv, choice.problem);
    }
    if (!choice.platform.isEmpty()) qputenv("QT_QPA_PLATFORM", choice.platform);
    if (choice.platform == "wayland" && !canShowWaylandWindow()) {
        sayOnTerminal(
            QStringLiteral("no X server (Xwayland) runs on this Wayland desktop, and "
                           "Qt's Wayland platform is not installed (package "
                           "qt6-wayland)."));
        return 1;
    }
    if (!choice.limitation.isEmpty()) sayOnTerminal(choice.limitation);
    const QByteArray platform = qgetenv("QT_QPA_PLATFORM");
    if (platform.isEmpty() || platform.startsWith("xcb")) {
        const QString problem = x11DisplayProblem(qgetenv("DISPLAY"));
        if (!problem.isEmpty()) {
            sayOnTerminal(problem);
            return 1;
        }
    }
#endif
    if (line.fromMenu && !enterMenuFolder()) return 1;
    // A session that ends (SIGTERM, SIGHUP) ends Brimlet as "Exit" does.
    catchEndSignals();
    // The folder is claimed and watched before Qt starts; it is read (and
    // what an abrupt end left in it cleared) once the window is drawn. It is
    // held open for the run: every file of it is found through that handle, so
    // the folder stays the one claimed even if it is renamed meanwhile.
    const FolderHandle folder = FolderHandle::working();
    const FolderClaim claim = claimFolder(folder);
    std::optional<FolderReading> reading;
    if (claim.claimed()) {
        reading.emplace(folder, 3, [folder](const FolderEntries& entries) {
            removeStaleTemporaries(folder, entries.hidden);
        });
    }

    FontconfigWarmUp fonts;
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Brimlet"));
    QApplication::setApplicationVersion(QString::fromLatin1(kVersion));
    QGuiApplication::setDesktopFileName(QStringLiteral("brimlet"));
    // The program ends when its own windows are gone, not when the last
    // visible one closes: a message box may be the only visible window while
    // the main window is in the tray.
    QApplication::setQuitOnLastWindowClosed(false);
    QApplication::setStyle(new ProgramStyle);

    QtHost host;
    const EndSignals endSignals(endAsExitDoes);
    const int status =
        runInFolder(host, folder, claim, reading ? &*reading : nullptr, line.leaveCopies, fonts);
    // The folder is free as soon as the window is gone.
    if (claim.lock) claim.lock->unlock();
    // What a copy back put on the clipboard stays there after the end.
    if (host.throughDataControl()) {
        host.keepDataControlCopyAfterExit();
    } else {
        keepClipboardAfterExit();
    }
    return status;
}

}  // namespace brimlet
