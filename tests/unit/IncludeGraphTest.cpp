#include <gtest/gtest.h>

#include "common/QtPrinters.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QRegularExpression>
#include <QSet>

namespace brimlet {
namespace {

// Which folders under src/ the files of each folder include; a folder is
// named by its path under src/ ("host/x11").
QMap<QString, QSet<QString>> folderIncludes() {
    const QDir src(QStringLiteral(BRIMLET_SOURCE_DIR "/src"));
    static const QRegularExpression include(
        QStringLiteral("^\\s*#\\s*include\\s+\"([^\"]+)/[^/\"]+\""),
        QRegularExpression::MultilineOption);
    QMap<QString, QSet<QString>> graph;
    QDirIterator files(src.path(), {QStringLiteral("*.h"), QStringLiteral("*.cpp")}, QDir::Files,
                       QDirIterator::Subdirectories);
    while (files.hasNext()) {
        const QString path = files.next();
        const QString folder = QFileInfo(src.relativeFilePath(path)).path();
        if (folder == QLatin1String(".")) continue;  // a file directly in src/
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly)) continue;
        const QString text = QString::fromUtf8(file.readAll());
        graph[folder];
        for (auto it = include.globalMatch(text); it.hasNext();) {
            const QString target = it.next().captured(1);
            if (target != folder && QDir(src.filePath(target)).exists()) graph[folder] << target;
        }
    }
    return graph;
}

// A cycle through `folder`, as "a -> b -> a", or empty.
QString cycleFrom(const QMap<QString, QSet<QString>>& graph, const QString& folder,
                  QStringList& path) {
    if (path.contains(folder)) return (path.mid(path.indexOf(folder)) << folder).join(" -> ");
    path << folder;
    for (const QString& next : graph.value(folder)) {
        const QString cycle = cycleFrom(graph, next, path);
        if (!cycle.isEmpty()) return cycle;
    }
    path.removeLast();
    return {};
}

TEST(IncludeGraph, FoldersIncludeEachOtherWithoutCyclesAndTheLowerOnesStandAlone) {
    const QMap<QString, QSet<QString>> graph = folderIncludes();
    ASSERT_TRUE(graph.contains("capture") && graph.contains("ui")) << "src/ not found";
    QStringList cycles;
    for (auto it = graph.cbegin(); it != graph.cend(); ++it) {
        QStringList path;
        const QString cycle = cycleFrom(graph, it.key(), path);
        if (!cycle.isEmpty()) cycles << cycle;
    }
    EXPECT_EQ(cycles, QStringList{});
    // The capture engine needs no window: only the host and the files below it.
    EXPECT_EQ(graph["capture"], (QSet<QString>{"base", "files", "host"}));
    // The ground floor stands alone; the clipboard platform is the host's own.
    EXPECT_EQ(graph["base"], QSet<QString>{});
    EXPECT_EQ(graph["files"], QSet<QString>{"base"});
    EXPECT_EQ(graph["host"], (QSet<QString>{"base", "files", "host/x11", "host/wayland"}));
    EXPECT_EQ(graph["host/x11"], QSet<QString>{});
    EXPECT_TRUE(graph["host/wayland"].isEmpty() || graph["host/wayland"] == QSet<QString>{"base"});
    EXPECT_EQ(graph["widgets"], (QSet<QString>{"base", "files"}));
}

}  // namespace
}  // namespace brimlet
