#include <gtest/gtest.h>

#include "common/QtPrinters.h"

#include <QProcess>

#include "XSession.h"

namespace brimlet::e2e {
namespace {

// Runs the program with no desktop at all: answering must not need a window.
void runWithoutDesktop(QProcess& process, const QStringList& args) {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove("DISPLAY");
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
    EXPECT_TRUE(text.startsWith("Usage: brimlet [--help | --version]\n"));
    EXPECT_TRUE(text.contains("pikcounter.txt"));
}

TEST(CommandLineE2E, NoDesktopIsSaidPlainlyInsteadOfRunningUselessly) {
    QProcess p;
    runWithoutDesktop(p, {});
    EXPECT_EQ(p.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(p.exitCode(), 1);
    EXPECT_TRUE(p.readAllStandardError().contains("neither DISPLAY nor WAYLAND_DISPLAY is set"));
}

}  // namespace
}  // namespace brimlet::e2e
