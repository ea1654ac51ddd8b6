#include "XSession.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QThread>
#include <stdexcept>

namespace brimlet::e2e {

XServer::XServer() {
    QFile::setPermissions(runtimeDir_.path(),
                          QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    // -displayfd 1: Xvfb picks a free display and writes its number to stdout.
    xvfb_.start(QStringLiteral("Xvfb"),
                {QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-screen"),
                 QStringLiteral("0"), QStringLiteral("1280x1024x24"), QStringLiteral("-nolisten"),
                 QStringLiteral("tcp"),
                 // no reset when the last client leaves
                 QStringLiteral("-noreset")});
    if (!xvfb_.waitForStarted(10000)) throw std::runtime_error("Xvfb did not start");
    QByteArray number;
    while (!number.contains('\n') && xvfb_.waitForReadyRead(10000))
        number += xvfb_.readAllStandardOutput();
    if (!number.contains('\n')) throw std::runtime_error("Xvfb gave no display number");
    display_ = QStringLiteral(":") + QString::fromLatin1(number.trimmed());
    qputenv("DISPLAY", display_.toLatin1());
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtimeDir_.path()));
    qputenv("DBUS_SESSION_BUS_ADDRESS", "disabled:");
    qunsetenv("QT_QPA_PLATFORM");
    qunsetenv("WAYLAND_DISPLAY");
}

XServer::~XServer() {
    xvfb_.terminate();
    if (!xvfb_.waitForFinished(5000)) xvfb_.kill();
}

namespace {
QStringList launcher;
}  // namespace

void setLauncher(const QStringList& command) {
    launcher = command;
}

void startLaunched(QProcess& process, const QString& program, const QStringList& args) {
    if (launcher.isEmpty()) return process.start(program, args);
    process.start(launcher.first(), launcher.mid(1) + QStringList{program} + args);
}

ToolResult runTool(const QString& program, const QStringList& args, const QByteArray& input) {
    QTemporaryDir scratch;
    const QString in = scratch.filePath(QStringLiteral("in"));
    const QString out = scratch.filePath(QStringLiteral("out"));
    writeFile(in, input);
    QProcess process;
    process.setStandardInputFile(in);
    process.setStandardOutputFile(out);
    process.setStandardErrorFile(QProcess::nullDevice());
    startLaunched(process, program, args);
    ToolResult result;
    if (!process.waitForFinished(15000)) {
        process.kill();
        process.waitForFinished();
        return result;
    }
    result.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    result.out = readFile(out);
    return result;
}

void copyToClipboard(const QByteArray& bytes, const QString& type) {
    const ToolResult r = runTool(QStringLiteral("xclip"),
                                 {QStringLiteral("-selection"), QStringLiteral("clipboard"),
                                  QStringLiteral("-t"), type, QStringLiteral("-i")},
                                 bytes);
    if (r.exitCode != 0) throw std::runtime_error("xclip could not copy");
}

ToolResult clipboardText() {
    return runTool(QStringLiteral("xclip"), {QStringLiteral("-selection"),
                                             QStringLiteral("clipboard"), QStringLiteral("-o")});
}

bool waitUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout) {
    const auto end = std::chrono::steady_clock::now() + timeout;
    while (std::chrono::steady_clock::now() < end) {
        if (condition()) return true;
        QThread::msleep(25);
    }
    return condition();
}

bool staysTrue(const std::function<bool()>& condition, std::chrono::milliseconds duration) {
    const auto end = std::chrono::steady_clock::now() + duration;
    while (std::chrono::steady_clock::now() < end) {
        if (!condition()) return false;
        QThread::msleep(100);
    }
    return condition();
}

bool settles(const std::function<QByteArray()>& state, std::chrono::milliseconds quiet,
             std::chrono::milliseconds timeout) {
    QByteArray last = state();
    auto since = std::chrono::steady_clock::now();
    return waitUntil(
        [&] {
            const QByteArray now = state();
            if (now != last) {
                last = now;
                since = std::chrono::steady_clock::now();
            }
            return std::chrono::steady_clock::now() - since >= quiet;
        },
        timeout);
}

QString brimletBinary() {
    return qEnvironmentVariable("BRIMLET_BINARY", QStringLiteral(BRIMLET_BINARY));
}

bool captureProbe(const QString& folder, const QString& name) {
    const QString path = QDir(folder).filePath(name);
    const bool captured = waitUntil(
        [&] {
            if (QFile::exists(path)) return true;
            // A capture writes its file before it empties the clipboard, so
            // an empty clipboard and still no file means the probe was
            // thrown away, not captured: copy it again.
            if (clipboardText().exitCode != 0 && !QFile::exists(path)) copyToClipboard("probe");
            return false;
        },
        std::chrono::seconds(15));
    return captured && readFile(path) == "probe\r\n" &&
           waitUntil([] { return clipboardText().exitCode != 0; });
}

Desktop::Desktop() {
    windowManager_.setStandardOutputFile(QProcess::nullDevice());
    windowManager_.setStandardErrorFile(QProcess::nullDevice());
    windowManager_.start(QStringLiteral("openbox"), {});
    tray_.setStandardOutputFile(QProcess::nullDevice());
    tray_.setStandardErrorFile(QProcess::nullDevice());
    tray_.start(QStringLiteral("trayer"),
                {QStringLiteral("--edge"), QStringLiteral("bottom"), QStringLiteral("--align"),
                 QStringLiteral("right"), QStringLiteral("--widthtype"), QStringLiteral("pixel"),
                 QStringLiteral("--width"), QStringLiteral("120"), QStringLiteral("--heighttype"),
                 QStringLiteral("pixel"), QStringLiteral("--height"), QStringLiteral("32")});
    if (!windowManager_.waitForStarted(10000) || !tray_.waitForStarted(10000)) {
        throw std::runtime_error("openbox or trayer did not start");
    }
    // The window manager says it runs on the root window; the tray is there
    // once it has a window. (A program's tray icon shows whenever the tray
    // comes, and the tests wait for the icon.)
    waitUntil([] {
        return runTool(QStringLiteral("xprop"),
                       {QStringLiteral("-root"), QStringLiteral("_NET_SUPPORTING_WM_CHECK")})
                   .out.contains("window id") &&
               runTool(
                   QStringLiteral("xdotool"),
                   {QStringLiteral("search"), QStringLiteral("--class"), QStringLiteral("trayer")})
                       .exitCode == 0;
    });
}

Desktop::~Desktop() {
    for (QProcess* p : {&tray_, &windowManager_}) {
        p->terminate();
        if (!p->waitForFinished(3000)) p->kill();
    }
}

Brimlet::Brimlet(const QString& folder, Trace trace, const QStringList& args) {
    process_.setWorkingDirectory(folder);
    process_.setProcessChannelMode(QProcess::MergedChannels);
    // The program finds its own libraries and plugins (a bundle included):
    // nothing the test runs with is passed on.
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove(QStringLiteral("LD_LIBRARY_PATH"));
    environment.remove(QStringLiteral("QT_PLUGIN_PATH"));
    if (trace == Trace::On) {
        environment.insert(QStringLiteral("QT_LOGGING_RULES"),
                           QStringLiteral("brimlet.trace.debug=true"));
    }
    process_.setProcessEnvironment(environment);
    startLaunched(process_, brimletBinary(), args);
    if (!process_.waitForStarted(10000)) throw std::runtime_error("brimlet did not start");
}

Brimlet::~Brimlet() {
    kill();
}

bool Brimlet::waitForWindow() {
    return waitUntil([&] { return !visibleWindowNamed(QStringLiteral("Brimlet")).isEmpty(); });
}

QString Brimlet::visibleWindowNamed(const QString& title) {
    const ToolResult r =
        runTool(QStringLiteral("xdotool"),
                {QStringLiteral("search"), QStringLiteral("--all"), QStringLiteral("--onlyvisible"),
                 QStringLiteral("--pid"), QString::number(pid()), QStringLiteral("--name"),
                 QStringLiteral("^") + QRegularExpression::escape(title) + QStringLiteral("$")});
    return r.exitCode == 0 ? QString::fromLatin1(r.out).section(QLatin1Char('\n'), 0, 0)
                           : QString();
}

QStringList Brimlet::windows() {
    const ToolResult r =
        runTool(QStringLiteral("xdotool"),
                {QStringLiteral("search"), QStringLiteral("--all"), QStringLiteral("--pid"),
                 QString::number(pid()), QStringLiteral("--class"), QStringLiteral("brimlet")});
    return QString::fromLatin1(r.out).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

namespace {

// Whether a window says it is a dialog (a message box or a Save As dialog).
bool isDialog(const QString& window) {
    return runTool(QStringLiteral("xprop"),
                   {QStringLiteral("-id"), window, QStringLiteral("_NET_WM_WINDOW_TYPE")})
        .out.contains("_NET_WM_WINDOW_TYPE_DIALOG");
}

}  // namespace

QString Brimlet::messageBox() {
    for (const QString& w : windows()) {
        const WindowGeometry g = geometryOf(w);
        if (g.width > 64 && g.height > 64 && isDialog(w) && isMapped(w)) return w;
    }
    return {};
}

QString Brimlet::mainWindow() {
    // The main window is the program's one normal window (message boxes and
    // dialogs are dialogs, whatever their size); without one, the largest.
    QString best;
    int bestArea = 0;
    for (const QString& w : windows()) {
        const bool normal =
            runTool(QStringLiteral("xprop"),
                    {QStringLiteral("-id"), w, QStringLiteral("_NET_WM_WINDOW_TYPE")})
                .out.contains("_NET_WM_WINDOW_TYPE_NORMAL");
        const WindowGeometry g = geometryOf(w);
        const int area = g.width * g.height + (normal ? 1 << 30 : 0);
        if (area > bestArea) {
            bestArea = area;
            best = w;
        }
    }
    return best;
}

QString Brimlet::trayIconWindow() {
    for (const QString& w : windows()) {
        const WindowGeometry g = geometryOf(w);
        if (g.width > 1 && g.width <= 64 && g.height > 1 && g.height <= 64) return w;
    }
    return {};
}

void Brimlet::clickAt(int leftTwips, int topTwips, int clicks, int button) {
    // The client area (523 x 311 pixels at 96 dpi) fills the window below
    // the menu bar.
    const WindowGeometry g = geometryOf(mainWindow());
    const double scale = g.width / 523.0;
    const int x = static_cast<int>(leftTwips / 15.0 * scale);
    const int y =
        g.height - static_cast<int>(311 * scale) + static_cast<int>(topTwips / 15.0 * scale);
    runTool(QStringLiteral("xdotool"),
            {QStringLiteral("mousemove"), QStringLiteral("--window"), mainWindow(),
             QString::number(x), QString::number(y), QStringLiteral("click"),
             QStringLiteral("--repeat"), QString::number(clicks), QString::number(button)});
}

void Brimlet::clickMenuBar(int leftPixels) {
    const WindowGeometry g = geometryOf(mainWindow());
    const int menuBarHeight = g.height - static_cast<int>(311 * (g.width / 523.0));
    runTool(QStringLiteral("xdotool"),
            {QStringLiteral("mousemove"), QStringLiteral("--window"), mainWindow(),
             QString::number(leftPixels), QString::number(menuBarHeight / 2),
             QStringLiteral("click"), QStringLiteral("1")});
}

bool Brimlet::waitForExit(int* exitCode) {
    if (!process_.waitForFinished(10000)) return false;
    *exitCode = process_.exitCode();
    return true;
}

WindowGeometry geometryOf(const QString& window) {
    const ToolResult r = runTool(QStringLiteral("xdotool"), {QStringLiteral("getwindowgeometry"),
                                                             QStringLiteral("--shell"), window});
    WindowGeometry g;
    for (const QByteArray& line : r.out.split('\n')) {
        const QList<QByteArray> kv = line.split('=');
        if (kv.size() != 2) continue;
        const int v = kv[1].toInt();
        if (kv[0] == "X") g.x = v;
        if (kv[0] == "Y") g.y = v;
        if (kv[0] == "WIDTH") g.width = v;
        if (kv[0] == "HEIGHT") g.height = v;
    }
    return g;
}

bool dismiss(const QString& box) {
    return waitUntil([&] {
        if (!isMapped(box)) return true;
        runTool(QStringLiteral("xdotool"),
                {QStringLiteral("windowfocus"), QStringLiteral("--sync"), box});
        runTool(QStringLiteral("xdotool"), {QStringLiteral("key"), QStringLiteral("Return")});
        return waitUntil([&] { return !isMapped(box); }, std::chrono::seconds(2));
    });
}

bool isMapped(const QString& window) {
    return runTool(QStringLiteral("xwininfo"), {QStringLiteral("-id"), window})
        .out.contains("Map State: IsViewable");
}

void Brimlet::kill() {
    if (process_.state() == QProcess::NotRunning) return;
    process_.kill();
    process_.waitForFinished(5000);
}

void Brimlet::readOutput(int waitMs) {
    if (process_.bytesAvailable() == 0) process_.waitForReadyRead(waitMs);
    log_ += process_.readAll();
}

bool Brimlet::takeTrace(const QString& prefix, std::chrono::milliseconds timeout, QString* found) {
    const QByteArray marker = "brimlet.trace: " + prefix.toUtf8();
    qsizetype& from = taken_[prefix];
    from = std::max(from, skipped_);
    return waitUntil(
        [&] {
            readOutput(20);
            for (;;) {
                const qsizetype end = log_.indexOf('\n', from);
                if (end < 0) return false;
                const QByteArray line = log_.mid(from, end - from);
                from = end + 1;
                if (line.startsWith(marker)) {
                    *found = QString::fromUtf8(line.mid(marker.size()));
                    return true;
                }
            }
        },
        timeout);
}

void Brimlet::skipTraces() {
    readOutput(0);
    const qsizetype end = log_.lastIndexOf('\n');
    skipped_ = end + 1;
}

QString Brimlet::nextTrace(const QString& prefix, std::chrono::milliseconds timeout) {
    QString found;
    takeTrace(prefix, timeout, &found);
    return found;
}

bool Brimlet::traced(const QString& prefix, std::chrono::milliseconds quiet) {
    QString found;
    return takeTrace(prefix, quiet, &found);
}

void Brimlet::press(const QStringList& keys) {
    for (const QString& key : keys) {
        runTool(QStringLiteral("xdotool"), {QStringLiteral("key"), key});
        // A person's pace, kept on purpose: keys 0.1 s apart as a person types
        // them (a list that opens is open before the next key), not a wait
        // for anything the program does.
        readOutput(100);
    }
}

QByteArray Brimlet::output() {
    process_.waitForFinished(100);
    readOutput(0);
    return log_ + "\nstate " + QByteArray::number(process_.state()) + " exit " +
           QByteArray::number(process_.exitCode()) + " status " +
           QByteArray::number(process_.exitStatus()) + " error " + process_.errorString().toUtf8();
}

QList<qint64> brimletProcessesOnThisDisplay() {
    const QByteArray display = "DISPLAY=" + qgetenv("DISPLAY");
    QList<qint64> found;
    const QStringList entries = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs);
    for (const QString& entry : entries) {
        bool isPid = false;
        const qint64 pid = entry.toLongLong(&isPid);
        if (!isPid) continue;
        const QString exe = QFile::symLinkTarget(QStringLiteral("/proc/%1/exe").arg(entry));
        if (QFileInfo(exe).fileName() != QLatin1String("brimlet")) continue;
        if (readFile(QStringLiteral("/proc/%1/environ").arg(entry)).split('\0').contains(display))
            found << pid;
    }
    return found;
}

QByteArray encoded(const QImage& image, const char* format) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, format);
    return bytes;
}

QString copyFirstTextEntryBack(Brimlet& brimlet) {
    // The program handles the two clicks in the order they came, and
    // choosing an entry shows it at once: the entry is chosen before "Copy
    // Text" is pressed. (The clicks lie too far apart to make a double-click.)
    brimlet.clickAt(120 + 300, 2280 + 100);   // the text list's first entry
    brimlet.clickAt(120 + 1087, 3240 + 187);  // "Copy Text"
    QString box;
    waitUntil(
        [&] { return !(box = brimlet.visibleWindowNamed(QStringLiteral("Text Copy"))).isEmpty(); });
    return box;
}

QByteArray readFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

}  // namespace brimlet::e2e
