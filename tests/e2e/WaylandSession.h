#pragma once

#include <QByteArray>
#include <QHash>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <memory>
#include <ostream>

#include "XSession.h"

namespace brimlet::e2e {

enum class Compositor { KWin, Sway };
const char* nameOf(Compositor compositor);
inline void PrintTo(Compositor compositor, std::ostream* out) {
    *out << nameOf(compositor);
}

// A real Wayland compositor, headless, with Xwayland, for as long as it
// lives: KWin (as root, from a plain copy of its binary) or sway (as a user
// made for the tests, since sway refuses root; the tools and the program
// under test then run as that user too). While it lives, this process's
// environment points at it (DISPLAY, WAYLAND_DISPLAY, XDG_RUNTIME_DIR, ...),
// so the helpers of XSession.h work on its Xwayland; the environment before
// is put back at the end, and every process it started is stopped.
class WaylandSession {
  public:
    // Why this compositor cannot run here (a package missing), or empty.
    static QString unavailable(Compositor compositor);
    // Throws std::runtime_error when the compositor or Xwayland does not
    // come up in time.
    explicit WaylandSession(Compositor compositor);
    ~WaylandSession();
    WaylandSession(const WaylandSession&) = delete;
    WaylandSession& operator=(const WaylandSession&) = delete;

    Compositor compositor() const { return compositor_; }
    // A new empty folder that the session's programs may write in.
    QString newFolder();
    // Gives files written by the test to the session's user.
    void handOver(const QString& path);

    // Sets the Wayland clipboard as a Wayland program does (wl-copy);
    // returns whether it could.
    bool copy(const QByteArray& bytes, const QString& type = {});
    // The Wayland clipboard's text (wl-paste); exit code 0 only when there is
    // one.
    ToolResult paste();
    // Gives the focus to a native Wayland window (mousepad on GTK's Wayland
    // backend, started for it); call it once Brimlet's window is up. Returns
    // whether Xwayland saw the focus go to a window of none of its clients.
    bool focusNativeWindow();
    // Runs a program in the session to its end, at most `seconds`.
    ToolResult run(const QString& program, const QStringList& args, int seconds = 10);
    // Starts a program in the session, with its standard output to read,
    // that the test stops (or the session does, at its end).
    QProcess& start(const QString& program, const QStringList& args);

  private:
    bool startKWin();
    bool startSway();
    bool readEnvironment(const QString& path);
    // Stops what the session started and puts the environment back.
    void end();
    void stop(QProcess& process);

    Compositor compositor_;
    QTemporaryDir scratch_;
    QProcess compositorProcess_;
    std::vector<std::unique_ptr<QProcess>> clients_;
    QHash<QByteArray, QByteArray> savedEnvironment_;
    QString user_;  // empty: root
    int folders_ = 0;
    bool nativeWindowStarted_ = false;
};

}  // namespace brimlet::e2e
