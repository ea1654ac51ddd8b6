#include "XSession.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QThread>
#include <stdexcept>

namespace brimlet::e2e {

XServer::XServer() {
    QFile::setPermissions(runtimeDir_.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    // -displayfd 1: Xvfb picks a free display and writes its number to stdout.
    xvfb_.start(QStringLiteral("Xvfb"), {QStringLiteral("-displayfd"), QStringLiteral("1"),
                                         QStringLiteral("-screen"), QStringLiteral("0"),
                                         QStringLiteral("1280x1024x24"),
                                         QStringLiteral("-nolisten"), QStringLiteral("tcp"),
                                         // no reset when the last client leaves
                                         QStringLiteral("-noreset")});
    if (!xvfb_.waitForStarted(10000)) throw std::runtime_error("Xvfb did not start");
    QByteArray number;
    while (!number.contains('\n') && xvfb_.waitForReadyRead(10000)) number += xvfb_.readAllStandardOutput();
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

ToolResult runTool(const QString& program, const QStringList& args, const QByteArray& input) {
    QTemporaryDir scratch;
    const QString in = scratch.filePath(QStringLiteral("in"));
    const QString out = scratch.filePath(QStringLiteral("out"));
    writeFile(in, input);
    QProcess process;
    process.setStandardInputFile(in);
    process.setStandardOutputFile(out);
    process.setStandardErrorFile(QProcess::nullDevice());
    process.start(program, args);
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
    return runTool(QStringLiteral("xclip"),
                   {QStringLiteral("-selection"), QStringLiteral("clipboard"), QStringLiteral("-o")});
}

bool waitUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout) {
    const auto end = std::chrono::steady_clock::now() + timeout;
    while (std::chrono::steady_clock::now() < end) {
        if (condition()) return true;
        QThread::msleep(25);
    }
    return condition();
}

Brimlet::Brimlet(const QString& folder) {
    process_.setWorkingDirectory(folder);
    process_.setProcessChannelMode(QProcess::MergedChannels);
    process_.start(QStringLiteral(BRIMLET_BINARY), {});
    if (!process_.waitForStarted(10000)) throw std::runtime_error("brimlet did not start");
}

Brimlet::~Brimlet() { kill(); }

bool Brimlet::waitForWindow() {
    const QString pid = QString::number(process_.processId());
    return waitUntil([&] {
        return runTool(QStringLiteral("xdotool"),
                       {QStringLiteral("search"), QStringLiteral("--onlyvisible"),
                        QStringLiteral("--pid"), pid, QStringLiteral("--name"),
                        QStringLiteral("^Brimlet$")})
                   .exitCode == 0;
    });
}

void Brimlet::kill() {
    if (process_.state() == QProcess::NotRunning) return;
    process_.kill();
    process_.waitForFinished(5000);
}

QByteArray Brimlet::output() {
    process_.waitForFinished(100);
    return process_.readAll() + "\nstate " + QByteArray::number(process_.state()) + " exit " +
           QByteArray::number(process_.exitCode()) + " status " +
           QByteArray::number(process_.exitStatus()) + " error " + process_.errorString().toUtf8();
}

QByteArray readFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void writeFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size()) {
        throw std::runtime_error("cannot write " + path.toStdString());
    }
}

}  // namespace brimlet::e2e
