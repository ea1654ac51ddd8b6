#include <gtest/gtest.h>

#include "common/QtPrinters.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QScopeGuard>
#include <QTemporaryDir>

#include <pwd.h>
#include <unistd.h>

#include "XSession.h"

namespace brimlet::e2e {
namespace {

// Runs the program with no desktop at all (or with a display where no X
// server answers): answering must not need a window.
void runWithoutDesktop(QProcess& process, const QStringList& args,
                       const QString& display = QString()) {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove("DISPLAY");
    if (!display.isEmpty()) environment.insert("DISPLAY", display);
    environment.remove("WAYLAND_DISPLAY");
    environment.remove("QT_QPA_PLATFORM");
    process.setProcessEnvironment(environment);
    process.start(brimletBinary(), args);
    process.waitForFinished(10000);
}

TEST(CommandLineE2E, HelpAndVersionAnswerWithoutOpeningAWindow) {
    for (const char* flag : {"--version", "-v"}) {
        QProcess p;
        runWithoutDesktop(p, {flag});
        EXPECT_EQ(p.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(p.exitCode(), 0);
        EXPECT_EQ(p.readAllStandardOutput(), "Brimlet " BRIMLET_VERSION "\n");
    }
    QProcess help;
    runWithoutDesktop(help, {"--help"});
    EXPECT_EQ(help.exitCode(), 0);
    const QByteArray text = help.readAllStandardOutput();
    EXPECT_TRUE(
        text.startsWith("Usage: brimlet [--from-menu] [--leave-copies] [--help | --version]\n"));
    EXPECT_TRUE(text.contains("pikcounter.txt"));
    EXPECT_TRUE(text.contains("--leave-copies  leave each copy on the clipboard"));
}

TEST(CommandLineE2E, NoDesktopIsSaidPlainlyInsteadOfRunningUselessly) {
    QProcess p;
    runWithoutDesktop(p, {});
    EXPECT_EQ(p.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(p.exitCode(), 1);
    EXPECT_TRUE(p.readAllStandardError().contains("neither DISPLAY nor WAYLAND_DISPLAY is set"));
}

TEST(CommandLineE2E, UnknownOptionsAndAnUnreachableDisplayEndWithOneClearLine) {
    QProcess unknown;
    runWithoutDesktop(unknown, {"--colour"});
    EXPECT_EQ(unknown.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(unknown.exitCode(), 2);
    EXPECT_TRUE(unknown.readAllStandardOutput().isEmpty());
    EXPECT_EQ(unknown.readAllStandardError(),
              "brimlet: unknown option '--colour'\n"
              "Usage: brimlet [--from-menu] [--leave-copies] [--help | --version]\n");

    // A display number no X server of this machine uses.
    int number = 900;
    while (QFile::exists(QStringLiteral("/tmp/.X11-unix/X%1").arg(number))) ++number;
    const QString display = QStringLiteral(":%1").arg(number);
    QProcess unreachable;
    runWithoutDesktop(unreachable, {}, display);
    EXPECT_EQ(unreachable.exitStatus(), QProcess::NormalExit) << "no abort";
    EXPECT_EQ(unreachable.exitCode(), 1);
    const QByteArray said = unreachable.readAllStandardError();
    EXPECT_EQ(said.count('\n'), 1) << said.toStdString();
    EXPECT_TRUE(said.startsWith("brimlet: cannot open the X display \"" + display.toUtf8() + "\""))
        << said.toStdString();
}

TEST(CommandLineE2E, WithoutAPrivateRuntimeFolderTheSecondStartStillFindsTheFirst) {
    const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
    const auto restore = qScopeGuard([&] {
        qputenv("XDG_RUNTIME_DIR", runtime);
        qunsetenv("TMPDIR");
    });
    // A shared temporary folder where Qt's own fallback cannot be used.
    QTemporaryDir tmp, dir;
    qputenv("TMPDIR", QFile::encodeName(tmp.path()));
    writeFile(tmp.filePath(QString("runtime-") + ::getpwuid(::geteuid())->pw_name), "");
    const QString tooLong = tmp.filePath(QString(100, 'r'));  // for a socket's name
    ASSERT_TRUE(QDir().mkdir(tooLong, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
    for (const QString& place : {QString(), tooLong}) {
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(place));
        Brimlet first(dir.path());
        ASSERT_TRUE(first.waitForWindow());
        Brimlet second(dir.path());
        int exitCode = -1;
        ASSERT_TRUE(second.waitForExit(&exitCode)) << place.size();
        EXPECT_EQ(exitCode, 0) << second.output().toStdString();
        EXPECT_EQ(QDir(tmp.path()).entryList({"brimlet-*"}, QDir::System), QStringList());
    }
}

}  // namespace
}  // namespace brimlet::e2e
