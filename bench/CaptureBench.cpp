// Micro-benchmarks of the capture path: one tick that captures a text or a
// picture from the (in-process, offscreen) clipboard, and one counter-file
// write. Run with scripts/bench.sh.

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "capture/CaptureEngine.h"
#include "capture/CaptureStore.h"
#include "files/Folder.h"
#include "files/Picture.h"
#include "host/QtHost.h"
#include "ui/MainWindow.h"
#include "widgets/FileList.h"

namespace brimlet {
namespace {

// A started window in a scratch folder, past its first tick.
struct Rig {
    QTemporaryDir dir;
    QtHost host;
    MainWindow window{host, dir.path()};
    CaptureEngine& capture = window.capture();
    FileList* textList = window.findChild<FileList*>(QStringLiteral("textList"));
    Rig() {
        window.load();
        capture.onCaptureTick();
        capture.setOn(false);  // ticks are driven by the benchmark only
    }
    void removeCaptures() {
        QDir folder(dir.path());
        for (const QString& name : folder.entryList({"*.txt", "*.jpeg"}, QDir::Files)) {
            folder.remove(name);
        }
    }
};

// A text of range(0) characters in lines of range(1) characters (0: one line).
QString sampleText(qsizetype size, qsizetype lineLength) {
    QString text(size, QLatin1Char('x'));
    if (lineLength > 0) {
        for (qsizetype i = lineLength; i < size; i += lineLength + 1) text[i] = QLatin1Char('\n');
    }
    return text;
}

// The tick and the repaint that follows it, as the user sees a capture.
void BM_TextCaptureTick(benchmark::State& state) {
    Rig rig;
    const QString text = sampleText(state.range(0), state.range(1));
    for (auto _ : state) {
        state.PauseTiming();
        rig.removeCaptures();
        QGuiApplication::clipboard()->setText(text);
        state.ResumeTiming();
        rig.capture.onCaptureTick();
        QCoreApplication::processEvents();
    }
    state.SetBytesProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_TextCaptureTick)
    ->ArgNames({"size", "line"})
    ->Args({1 << 10, 80})
    ->Args({10 << 20, 80})
    ->Args({10 << 20, 0})
    ->Unit(benchmark::kMillisecond);

void BM_PictureCaptureTick(benchmark::State& state) {
    Rig rig;
    QImage picture(3840, 2160, QImage::Format_RGB32);
    picture.fill(QColor(30, 120, 200));
    for (auto _ : state) {
        state.PauseTiming();
        rig.removeCaptures();
        QGuiApplication::clipboard()->setImage(picture);
        state.ResumeTiming();
        rig.capture.onCaptureTick();
        QCoreApplication::processEvents();
    }
}
BENCHMARK(BM_PictureCaptureTick)->Unit(benchmark::kMillisecond);

// The bitmap file of a 4K picture, as a picture capture writes it: an opaque
// one (range(0) == 0) and one with an alpha channel, laid on white (1).
void BM_BitmapFileBytes(benchmark::State& state) {
    const bool alpha = state.range(0) != 0;
    QImage picture(3840, 2160, alpha ? QImage::Format_ARGB32 : QImage::Format_RGB32);
    picture.fill(alpha ? QColor(30, 120, 200, 128) : QColor(30, 120, 200));
    for (auto _ : state) benchmark::DoNotOptimize(bitmapFileBytes(picture));
    state.SetBytesProcessed(state.iterations() * picture.sizeInBytes());
}
BENCHMARK(BM_BitmapFileBytes)->ArgName("alpha")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

void BM_IdleTick(benchmark::State& state) {
    Rig rig;
    QGuiApplication::clipboard()->clear();
    for (auto _ : state) rig.capture.onCaptureTick();
}
BENCHMARK(BM_IdleTick)->Unit(benchmark::kMicrosecond);

// A folder of range(0) text captures and as many picture captures.
void makeCaptures(const QString& folder, int count) {
    for (int i = 1; i <= count; ++i) {
        for (const QString& name :
             {textFileName(static_cast<Counter>(i)), pictureFileName(static_cast<Counter>(i))}) {
            QFile file(QDir(folder).filePath(name));
            file.open(QIODevice::WriteOnly);
        }
    }
}

// Both lists filled from one read of such a folder, as at start-up.
void BM_FillListsFromFolder(benchmark::State& state) {
    Rig rig;
    makeCaptures(rig.dir.path(), static_cast<int>(state.range(0)));
    FileList* pictureList = rig.window.findChild<FileList*>(QStringLiteral("pictureList"));
    for (auto _ : state) {
        const FolderEntries entries = readFolderEntries(rig.dir.path());
        rig.textList->fill(entries);
        pictureList->fill(entries);
        QCoreApplication::processEvents();
    }
}
BENCHMARK(BM_FillListsFromFolder)->Arg(5000)->Arg(100000)->Unit(benchmark::kMillisecond);

// A capture in such a folder brings the text list up to date.
void BM_ListRefreshAfterCapture(benchmark::State& state) {
    Rig rig;
    makeCaptures(rig.dir.path(), static_cast<int>(state.range(0)));
    rig.textList->fill(readFolderEntries(rig.dir.path()));
    // What making the folder left in the watcher (more than its queue
    // holds: a whole read) is taken before the clock runs.
    rig.textList->refresh();
    int next = static_cast<int>(state.range(0));
    for (auto _ : state) {
        state.PauseTiming();
        QFile file(rig.dir.filePath(textFileName(++next)));
        file.open(QIODevice::WriteOnly);
        file.close();
        state.ResumeTiming();
        rig.textList->refresh();
        QCoreApplication::processEvents();
    }
}
BENCHMARK(BM_ListRefreshAfterCapture)->Arg(100000)->Unit(benchmark::kMicrosecond);

// Selecting a text entry of range(0) bytes in lines of range(1), with the
// repaint that follows.
void BM_SelectText(benchmark::State& state) {
    Rig rig;
    QFile file(rig.dir.filePath("big.txt"));
    file.open(QIODevice::WriteOnly);
    file.write(sampleText(state.range(0), state.range(1)).toUtf8());
    file.close();
    rig.textList->refresh();
    for (auto _ : state) {
        rig.textList->selectName("big.txt");
        QCoreApplication::processEvents();
        state.PauseTiming();
        rig.textList->clearSelection();
        rig.textList->setCurrentIndex(QModelIndex());
        state.ResumeTiming();
    }
}
BENCHMARK(BM_SelectText)
    ->ArgNames({"size", "line"})
    ->Args({1 << 20, 0})
    ->Args({1 << 20, 200})
    ->Args({10 << 20, 80})
    ->Args({10 << 20, 0})
    ->Unit(benchmark::kMillisecond);

void BM_CounterFileWrite(benchmark::State& state) {
    QTemporaryDir dir;
    CaptureStore store(dir.path());
    store.counters() = {12, 7};
    for (auto _ : state) store.writeCounters();
}
BENCHMARK(BM_CounterFileWrite)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace brimlet

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
