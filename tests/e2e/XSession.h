#pragma once

#include "common/TestFiles.h"

#include <QByteArray>
#include <QHash>
#include <QImage>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <chrono>
#include <functional>
#include <memory>

namespace brimlet::e2e {

// A fresh Xvfb for this test process, with a private runtime folder and no
// session bus, so no Qt start leaves a daemon behind. Children inherit it.
class XServer {
  public:
    XServer();
    ~XServer();
    const QString& display() const { return display_; }

  private:
    QProcess xvfb_;
    QTemporaryDir runtimeDir_;
    QString display_;
};

struct ToolResult {
    int exitCode = -1;
    QByteArray out;
};

// Runs an X client (xclip, xdotool) to its end; it may leave a daemon that
// serves the clipboard, which inherits no pipe of ours.
ToolResult runTool(const QString& program, const QStringList& args, const QByteArray& input = {});
// Runs every later program of the tests (the tools and the program under
// test) through this command, which ends in the program and its arguments
// (setpriv, so it runs as another user with the same process id); empty:
// directly.
void setLauncher(const QStringList& launcher);
// Starts a program through that launcher.
void startLaunched(QProcess& process, const QString& program, const QStringList& args);

// Puts bytes on the CLIPBOARD selection under a MIME type, as a copy in
// another program does.
void copyToClipboard(const QByteArray& bytes, const QString& type = QStringLiteral("UTF8_STRING"));
// The clipboard's text; exit code 1 when the clipboard is empty.
ToolResult clipboardText();

bool waitUntil(const std::function<bool()>& condition,
               std::chrono::milliseconds timeout = std::chrono::seconds(10));
// For a check that nothing happens: whether the condition holds throughout
// `duration` (looked at every tenth of a second, and at the end). Returns as
// soon as it fails.
bool staysTrue(const std::function<bool()>& condition, std::chrono::milliseconds duration);
// Waits until a state (the folder's listing, say) has stayed the same for
// `quiet`: what was under way has finished. Returns whether it came to rest
// within `timeout`.
bool settles(const std::function<QByteArray()>& state, std::chrono::milliseconds quiet,
             std::chrono::milliseconds timeout = std::chrono::seconds(20));

// Copies a probe text until it is captured as `name` in `folder` and the
// clipboard is empty again: until the first tick, start-up and that tick
// empty the clipboard without capturing. Returns whether it was captured.
bool captureProbe(const QString& folder, const QString& name);

// The program under test: BRIMLET_BINARY from the environment (a bundle,
// say), or the one this build made.
QString brimletBinary();

// A window manager (openbox, so minimising is real) and a notification
// area (trayer) on the test's X server, for as long as it lives.
class Desktop {
  public:
    Desktop();
    ~Desktop();

  private:
    QProcess windowManager_;
    QProcess tray_;
};

// The real program, run in a folder of its own. With Trace::On it reports
// on standard error what the user sees change (the focus by the control's
// accessible name, the entry shown, the viewer's font), which the test reads
// line by line.
class Brimlet {
  public:
    enum class Trace { Off, On };
    explicit Brimlet(const QString& folder, Trace trace = Trace::Off, const QStringList& args = {});
    ~Brimlet();
    // Waits until the main window is mapped.
    bool waitForWindow();
    // The program's visible window with this title (a message box, say), or
    // empty when none shows.
    QString visibleWindowNamed(const QString& title);
    // A message box of the program: a visible window of its that is neither
    // the main window nor a tray icon.
    QString messageBox();
    // The program's X windows: the main window is the largest, the tray
    // icon a small one.
    QString mainWindow();
    QString trayIconWindow();
    // Clicks (`clicks` times: 2 is a double-click) with a mouse button (4
    // and 5 turn the wheel) at a point of the main window's client area
    // given in twips.
    void clickAt(int leftTwips, int topTwips, int clicks = 1, int button = 1);
    // Clicks the main window's menu bar this many pixels from its left.
    void clickMenuBar(int leftPixels);
    bool waitForExit(int* exitCode);
    void kill();
    QByteArray output();
    // The next trace line of a kind (its prefix: "focus ", "shows ",
    // "viewer font ") after the last one of that kind taken, without its
    // prefix; null when none comes in time.
    QString nextTrace(const QString& prefix,
                      std::chrono::milliseconds timeout = std::chrono::seconds(5));
    // Whether a trace line of that kind came since the last one taken,
    // waiting `quiet` for late ones.
    bool traced(const QString& prefix, std::chrono::milliseconds quiet);
    // Passes over every trace line written so far.
    void skipTraces();
    // Presses keys (xdotool key names) in the focused window, one after
    // another at a person's pace.
    void press(const QStringList& keys);
    qint64 pid() const { return process_.processId(); }

  private:
    QStringList windows();
    void readOutput(int waitMs);
    bool takeTrace(const QString& prefix, std::chrono::milliseconds timeout, QString* found);
    QProcess process_;
    QByteArray log_;                   // everything the program wrote so far
    QHash<QString, qsizetype> taken_;  // by kind, where the last line taken ended
    qsizetype skipped_ = 0;            // lines before are passed over
};

struct WindowGeometry {
    int x = 0, y = 0, width = 0, height = 0;
};
WindowGeometry geometryOf(const QString& window);
bool isMapped(const QString& window);
// Closes a message box as the user does, with Enter once it has the focus;
// tries again while it stays open (a box just shown may not take the key
// yet). Returns whether it closed.
bool dismiss(const QString& box);

// The processes of the program under test (any run of its binary, a
// clipboard holder too) that live on this test's X display.
QList<qint64> brimletProcessesOnThisDisplay();

QByteArray readFile(const QString& path);
// A picture encoded in a file format ("PNG", "WEBP"), as a program offers it.
QByteArray encoded(const QImage& image, const char* format);
// Chooses the text list's first entry with a click and clicks "Copy Text";
// returns the confirming message box ("Text Copy"), or empty.
QString copyFirstTextEntryBack(Brimlet& brimlet);
using testing::writeFile;  // writes a file whole; fails the test when it cannot

}  // namespace brimlet::e2e
