#include "WaylandSession.h"

#include <pwd.h>
#include <signal.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <stdexcept>

namespace brimlet::e2e {

namespace {

const char* const sessionUser = "brimlet-e2e";
// What a session sets in this process's environment, and puts back.
const char* const sessionVariables[] = {
    "DISPLAY", "WAYLAND_DISPLAY",          "XDG_RUNTIME_DIR", "XAUTHORITY", "SWAYSOCK",
    "HOME",    "DBUS_SESSION_BUS_ADDRESS", "QT_QPA_PLATFORM"};

QString program(const char* name) {
    return QStandardPaths::findExecutable(QString::fromLatin1(name));
}

void makePrivate(const QString& path) {
    QDir().mkpath(path);
    QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

bool runsAsRoot() {
    return ::geteuid() == 0;
}

}  // namespace

const char* nameOf(Compositor compositor) {
    return compositor == Compositor::KWin ? "KWin" : "sway";
}

QString WaylandSession::unavailable(Compositor compositor) {
    QStringList missing;
    const QList<const char*> needed = compositor == Compositor::KWin
                                          ? QList<const char*>{"kwin_wayland", "Xwayland"}
                                          : QList<const char*>{"sway", "swaymsg", "Xwayland"};
    for (const char* name : needed) {
        if (program(name).isEmpty()) missing << QString::fromLatin1(name);
    }
    return missing.isEmpty() ? QString() : QStringLiteral("not installed: ") + missing.join(' ');
}

WaylandSession::WaylandSession(Compositor compositor) : compositor_(compositor) {
    for (const char* name : sessionVariables) {
        if (qEnvironmentVariableIsSet(name)) savedEnvironment_.insert(name, qgetenv(name));
    }
    compositorProcess_.setStandardOutputFile(scratch_.filePath(QStringLiteral("compositor.log")));
    compositorProcess_.setProcessChannelMode(QProcess::MergedChannels);
    const bool started = compositor == Compositor::KWin ? startKWin() : startSway();
    // Xwayland answers (wlroots starts it on the first connection).
    if (!started || !waitUntil([] {
            return runTool(QStringLiteral("xdotool"), {QStringLiteral("getmouselocation")})
                       .exitCode == 0;
        })) {
        const QByteArray log = readFile(scratch_.filePath(QStringLiteral("compositor.log")));
        end();
        throw std::runtime_error(std::string(nameOf(compositor)) +
                                 " did not come up: " + log.right(2000).toStdString());
    }
}

bool WaylandSession::startKWin() {
    // The installed binary carries a file capability, which exec refuses
    // here; a plain copy has none. Its Qt platform plugin loads only into a
    // program named kwin_wayland.
    const QString copy = scratch_.filePath(QStringLiteral("bin/kwin_wayland"));
    QDir().mkpath(scratch_.filePath(QStringLiteral("bin")));
    if (!QFile::copy(program("kwin_wayland"), copy)) return false;
    QFile::setPermissions(copy, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    const QString runtime = scratch_.filePath(QStringLiteral("run"));
    makePrivate(runtime);
    // KWin starts this once Xwayland is up, with the session's environment.
    const QString environment = scratch_.filePath(QStringLiteral("environment"));
    const QString script = scratch_.filePath(QStringLiteral("session.sh"));
    writeFile(script, "#!/bin/sh\nenv > '" + environment.toUtf8() + ".part' && mv '" +
                          environment.toUtf8() + ".part' '" + environment.toUtf8() + "'\n");
    QFile::setPermissions(script, QFile::ReadOwner | QFile::ExeOwner);

    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* name : sessionVariables) env.remove(QString::fromLatin1(name));
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime);
    env.insert(QStringLiteral("HOME"), scratch_.path());
    compositorProcess_.setProcessEnvironment(env);
    // setsid: the compositor leads a process group of its own (Xwayland,
    // the session bus), stopped as one.
    compositorProcess_.start(
        QStringLiteral("setsid"),
        {QStringLiteral("dbus-run-session"), QStringLiteral("--"), copy,
         QStringLiteral("--virtual"), QStringLiteral("--xwayland"), QStringLiteral("--socket"),
         QStringLiteral("brimlet-e2e-%1").arg(::getpid()), QStringLiteral("--width"),
         QStringLiteral("1280"), QStringLiteral("--height"), QStringLiteral("1024"), script});
    return compositorProcess_.waitForStarted(10000) && readEnvironment(environment);
}

bool WaylandSession::startSway() {
    QString runtime = scratch_.filePath(QStringLiteral("run"));
    QString home = scratch_.filePath(QStringLiteral("home"));
    QStringList launcher;
    if (runsAsRoot()) {
        // sway refuses root: it, and everything in its session, runs as a
        // user of its own.
        if (!::getpwnam(sessionUser)) {
            QProcess::execute(QStringLiteral("useradd"),
                              {QStringLiteral("--system"), QStringLiteral("--no-create-home"),
                               QStringLiteral("--shell"), QStringLiteral("/usr/sbin/nologin"),
                               QString::fromLatin1(sessionUser)});
        }
        const passwd* user = ::getpwnam(sessionUser);
        if (!user) return false;
        user_ = QString::fromLatin1(sessionUser);
        launcher = QStringList{
            QStringLiteral("setpriv"), QStringLiteral("--reuid=%1").arg(user->pw_uid),
            QStringLiteral("--regid=%1").arg(user->pw_gid), QStringLiteral("--clear-groups")};
        QFile::setPermissions(scratch_.path(), QFile::ReadOwner | QFile::WriteOwner |
                                                   QFile::ExeOwner | QFile::ExeGroup |
                                                   QFile::ExeOther);
    }
    makePrivate(runtime);
    makePrivate(home);
    handOver(runtime);
    handOver(home);
    const QString environment = runtime + QStringLiteral("/environment");
    const QString config = scratch_.filePath(QStringLiteral("sway.conf"));
    writeFile(config,
              "xwayland enable\noutput HEADLESS-1 resolution 1280x1024\n"
              "exec sh -c 'env > \"$XDG_RUNTIME_DIR/environment.part\" && "
              "mv \"$XDG_RUNTIME_DIR/environment.part\" \"$XDG_RUNTIME_DIR/environment\"'\n");
    QFile::setPermissions(config, QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther);

    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* name : sessionVariables) env.remove(QString::fromLatin1(name));
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime);
    env.insert(QStringLiteral("HOME"), home);
    env.insert(QStringLiteral("WLR_BACKENDS"), QStringLiteral("headless"));
    env.insert(QStringLiteral("WLR_RENDERER"), QStringLiteral("pixman"));
    env.insert(QStringLiteral("WLR_LIBINPUT_NO_DEVICES"), QStringLiteral("1"));
    compositorProcess_.setProcessEnvironment(env);
    compositorProcess_.start(
        QStringLiteral("setsid"),
        launcher + QStringList{QStringLiteral("sway"), QStringLiteral("-c"), config});
    if (!compositorProcess_.waitForStarted(10000) || !readEnvironment(environment)) return false;
    qputenv("HOME", QFile::encodeName(home));
    qputenv("DBUS_SESSION_BUS_ADDRESS", "disabled:");
    setLauncher(launcher);
    return true;
}

bool WaylandSession::readEnvironment(const QString& path) {
    if (!waitUntil([&] { return QFile::exists(path); }, std::chrono::seconds(30))) return false;
    for (const char* name : sessionVariables) qunsetenv(name);
    for (const QByteArray& line : readFile(path).split('\n')) {
        const qsizetype equals = line.indexOf('=');
        const QByteArray name = line.left(equals);
        for (const char* wanted : sessionVariables) {
            if (equals > 0 && name == wanted) qputenv(wanted, line.mid(equals + 1));
        }
    }
    if (qgetenv("XAUTHORITY").isEmpty()) qunsetenv("XAUTHORITY");
    return !qgetenv("DISPLAY").isEmpty() && !qgetenv("WAYLAND_DISPLAY").isEmpty();
}

void WaylandSession::stop(QProcess& process) {
    if (process.state() == QProcess::NotRunning) return;
    const pid_t group = static_cast<pid_t>(process.processId());
    ::kill(-group, SIGTERM);
    if (!process.waitForFinished(5000)) ::kill(-group, SIGKILL);
    // What else the group holds (Xwayland, the session bus) ends with it.
    if (!waitUntil([&] { return ::kill(-group, 0) != 0; }, std::chrono::seconds(5)))
        ::kill(-group, SIGKILL);
    process.waitForFinished(5000);
}

WaylandSession::~WaylandSession() {
    end();
}

void WaylandSession::end() {
    for (auto& client : clients_) {
        client->kill();
        client->waitForFinished(5000);
    }
    clients_.clear();
    stop(compositorProcess_);
    setLauncher({});
    for (const char* name : sessionVariables) {
        if (savedEnvironment_.contains(name)) {
            qputenv(name, savedEnvironment_.value(name));
        } else {
            qunsetenv(name);
        }
    }
}

QString WaylandSession::newFolder() {
    const QString path = scratch_.filePath(QStringLiteral("folder-%1").arg(++folders_));
    QDir().mkpath(path);
    handOver(path);
    return path;
}

void WaylandSession::handOver(const QString& path) {
    if (user_.isEmpty()) return;
    QProcess::execute(QStringLiteral("chown"),
                      {QStringLiteral("-R"), user_ + QLatin1Char(':'), path});
}

ToolResult WaylandSession::run(const QString& program, const QStringList& args, int seconds) {
    return runTool(QStringLiteral("timeout"),
                   QStringList{QString::number(seconds), program} + args);
}

bool WaylandSession::copy(const QByteArray& bytes, const QString& type) {
    const QStringList args =
        type.isEmpty() ? QStringList() : QStringList{QStringLiteral("--type"), type};
    return runTool(QStringLiteral("wl-copy"), args, bytes).exitCode == 0;
}

ToolResult WaylandSession::paste() {
    return run(QStringLiteral("wl-paste"), {QStringLiteral("--no-newline")}, 5);
}

QProcess& WaylandSession::start(const QString& program, const QStringList& args) {
    clients_.push_back(std::make_unique<QProcess>());
    QProcess& process = *clients_.back();
    process.setStandardErrorFile(QProcess::nullDevice());
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("GDK_BACKEND"), QStringLiteral("wayland"));
    env.insert(QStringLiteral("GSETTINGS_BACKEND"), QStringLiteral("memory"));
    env.insert(QStringLiteral("NO_AT_BRIDGE"), QStringLiteral("1"));
    // No session bus: each mousepad opens a window of its own.
    env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), QStringLiteral("disabled:"));
    process.setProcessEnvironment(env);
    startLaunched(process, program, args);
    process.waitForStarted(10000);
    return process;
}

bool WaylandSession::focusNativeWindow() {
    // KWin gives a new window the focus when it maps; sway when told.
    if (compositor_ == Compositor::KWin || !nativeWindowStarted_)
        start(QStringLiteral("mousepad"), {});
    nativeWindowStarted_ = true;
    if (compositor_ == Compositor::Sway && !waitUntil([&] {
            return run(QStringLiteral("swaymsg"), {QStringLiteral("[app_id=mousepad] focus")})
                       .exitCode == 0;
        })) {
        return false;
    }
    // Xwayland's window manager says none of its windows is active.
    return waitUntil([] {
        return runTool(QStringLiteral("xprop"),
                       {QStringLiteral("-root"), QStringLiteral("_NET_ACTIVE_WINDOW")})
            .out.trimmed()
            .endsWith("# 0x0");
    });
}

}  // namespace brimlet::e2e
