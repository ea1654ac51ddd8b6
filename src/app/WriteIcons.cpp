// Build tool: writes the program's icon as PNG files for the desktop
// (brimlet-16.png ... brimlet-256.png) into the folder given.

#include <QDir>
#include <QGuiApplication>
#include <cstdio>

#include "widgets/AppIcon.h"

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    if (argc != 2) {
        std::fputs("usage: brimlet_icons FOLDER\n", stderr);
        return 2;
    }
    const QDir folder(QString::fromLocal8Bit(argv[1]));
    for (int size : brimlet::kDesktopIconSizes) {
        const QString path = folder.filePath(QStringLiteral("brimlet-%1.png").arg(size));
        if (!brimlet::appIconImage(size).save(path, "PNG")) return 1;
    }
    return 0;
}
