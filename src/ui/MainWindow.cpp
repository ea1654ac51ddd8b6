#include "ui/MainWindow.h"

#include <QCloseEvent>
#include <QEventLoop>
#include <QLayout>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QStringDecoder>
#include <QTimer>
#include <algorithm>

#ifdef __GLIBC__
#include <malloc.h>
#endif

#include "files/Files.h"
#include "files/Folder.h"
#include "format/FontChoices.h"
#include "format/FontControls.h"
#include "history/HistoryBrowser.h"
#include "host/Host.h"
#include "host/Untrapped.h"
#include "tray/WindowStates.h"
#include "widgets/AppIcon.h"
#include "widgets/ChoiceComboBox.h"
#include "widgets/ClickableLabel.h"
#include "widgets/FileList.h"
#include "widgets/FocusTrace.h"
#include "widgets/Fonts.h"
#include "widgets/PictureBox.h"
#include "widgets/ProgramWindows.h"
#include "widgets/TextBox.h"

namespace brimlet {

MainWindow::MainWindow(Host& host, const FolderHandle& folder, FolderReading* reading,
                       QWidget* parent)
    : QMainWindow(parent),
      host_(host),
      folder_(folder.path()),
      capture_(host, folder, *this),
      help_(host, folder_) {
    setObjectName(QStringLiteral("mainWindow"));
    setWindowTitle(QStringLiteral("Brimlet"));
    setWindowIcon(appIcon());
    // A fixed single border: no resizing, and no maximise button.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint);
    setLoaded(this, true);
    if (reading == nullptr) {
        ownReading_ = std::make_unique<FolderReading>(folder, 3);
        reading = ownReading_.get();
    }
    reading_ = reading;
    createControls();
    // The third watcher, after the lists': what other machines add through a
    // synchroniser is numbered around, from the read on (fillLists).
    captureWatcher_ = reading_->takeWatcher();
    CaptureView& view = *this;
    history_ = std::make_unique<HistoryBrowser>(
        host, capture_, view,
        HistoryControls{pictureList_, textList_, pictureViewer_, textViewer_});
    fonts_ = std::make_unique<FontControls>(textViewer_);
    saveAsDialogs_ =
        std::make_unique<SaveAsDialogs>(host, this, folder_, textViewer_, pictureViewer_);
    createMenus();
    windowStates_ = std::make_unique<WindowStates>(host, this, trayMenu_, folder_);
    wireControls();
    setTabOrder();
    describeControls();
    traceFocusChanges();
    layout()->setSizeConstraint(QLayout::SetFixedSize);
    adjustSize();
    if (const QScreen* screen = this->screen()) {
        move(screen->availableGeometry().center() - rect().center());
    }
    pictureList_->setFocus();
}

MainWindow::~MainWindow() = default;

// The lists, and the folder's read, wait for the window's first paint: a
// folder of years takes longer to list than the whole window takes to draw.
// Their places are fixed, so nothing moves when they fill.
void MainWindow::load() {
    fillAfterPaint_ = true;
    show();
    repaint();
    waitUntilDrawn();
    if (!isLoaded(this)) return;  // ended meanwhile (a signal, say)
    if (reading_ != nullptr) reading_->start();
    textViewer_->setFont(boldFont(8.25));
    windowStates_->addTrayIcon();
    (void)trapRunTimeError([this] {
        fontStyleBox_->fill(kFontStyles);
        fontSizeBox_->fill(kFontSizes);
        fontColorBox_->fill(kFontColors);
        fontBox_->fill(kFontNames);
    });
    capture_.start();
}

void MainWindow::fillLists() {
    fillAfterPaint_ = false;
    if (reading_ == nullptr) return;
    {
        // A list a capture has refreshed meanwhile is newer than the read.
        const FolderEntries entries = reading_->takeEntries();
        if (!textList_->isFilled()) textList_->fill(entries);
        if (!pictureList_->isFilled()) pictureList_->fill(entries);
        capture_.followFolder(entries, std::move(captureWatcher_));
    }
    reading_ = nullptr;
    ownReading_.reset();
#ifdef __GLIBC__
    // The read was made on a thread of its own, whose freed memory glibc
    // would otherwise keep.
    ::malloc_trim(0);
#endif
}

// A window is drawn once the display has exposed it, which comes through
// the event loop: it runs (without the user's input, which waits, and
// without capture ticks) until the window has been painted, for at most
// kDrawnWithinMs, so that the rest of the start-up (the tray icon, the
// clipboard) does not hold the first paint back.
void MainWindow::waitUntilDrawn() {
    constexpr int kDrawnWithinMs = 1000;
    if (painted_ || !isVisible()) return;
    QTimer& ticks = capture_.timer();
    const bool ticking = ticks.isActive();
    ticks.stop();
    QEventLoop loop;
    drawn_ = &loop;
    QTimer::singleShot(kDrawnWithinMs, &loop, &QEventLoop::quit);
    loop.exec(QEventLoop::ExcludeUserInputEvents);
    drawn_ = nullptr;
    if (ticking && capture_.isOn()) ticks.start();
}

// Painted windows reach the screen when the event loop next runs: the fill
// follows from there, once the read has ended; until then the window
// answers the user (a list the user reaches is filled at once).
void MainWindow::paintEvent(QPaintEvent* event) {
    QMainWindow::paintEvent(event);
    painted_ = true;
    if (drawn_ != nullptr) drawn_->quit();
    if (!fillAfterPaint_) return;
    fillAfterPaint_ = false;
    fillWhenRead(std::chrono::milliseconds(0));
}

void MainWindow::fillWhenRead(std::chrono::milliseconds after) {
    QTimer::singleShot(after, this, [this] {
        if (reading_ == nullptr) return;
        if (!reading_->isDone()) {
            fillWhenRead(std::chrono::milliseconds(10));
            return;
        }
        run([this] { fillLists(); });
    });
}

void MainWindow::wireControls() {
    auto click = [this](QAbstractButton* button, std::function<void()> handler) {
        connect(button, &QAbstractButton::clicked, this, [this, handler] { run(handler); });
    };
    click(captureOnButton_, [this] { capture_.turnOnEmptyingClipboard(); });
    click(captureOffButton_, [this] { capture_.turnOff(); });
    connect(captureLabel_, &ClickableLabel::clicked, this,
            [this] { run([this] { capture_.turnOnKeepingClipboard(); }); });

    connect(pictureList_, &FileList::entryChosen, this,
            [this] { run([this] { history_->showChosenPicture(); }); });
    connect(textList_, &FileList::entryChosen, this,
            [this] { run([this] { history_->showChosenText(); }); });
    // Input that comes between the first paint and the fill finds the
    // lists filled.
    for (FileList* list : {pictureList_, textList_}) {
        connect(list, &FileList::fillWanted, this, [this] { run([this] { fillLists(); }); });
    }
    using Via = HistoryBrowser::Via;
    click(copyImageButton_, [this] { history_->copyPicture(Via::Button); });
    click(deleteImageButton_, [this] { history_->deletePicture(); });
    click(copyTextButton_, [this] { history_->copyText(Via::Button); });
    click(deleteTextButton_, [this] { history_->deleteText(Via::Button); });

    // A font box acts on the entry chosen from its list.
    auto choose = [this](ChoiceComboBox* box, void (FontControls::*apply)(const QString&)) {
        connect(box, &ChoiceComboBox::chosen, this,
                [this, box, apply] { run([&] { ((*fonts_).*apply)(box->currentText()); }); });
    };
    choose(fontBox_, &FontControls::setName);
    choose(fontStyleBox_, &FontControls::applyStyle);
    choose(fontSizeBox_, &FontControls::setSize);
    choose(fontColorBox_, &FontControls::applyColor);
}

void MainWindow::run(const std::function<void()>& handler) {
    runUntrapped(host_, handler);
}

void MainWindow::giveFocus(QRadioButton* button) {
    // A window hidden in the tray cannot take the focus; the selection and
    // its action still happen.
    if (isVisible() && !isMinimized()) button->setFocus(Qt::OtherFocusReason);
    if (button->isChecked()) return;
    button->setChecked(true);
    if (button == captureOnButton_) {
        capture_.turnOnEmptyingClipboard();
    } else {
        capture_.turnOff();
    }
}

void MainWindow::showPicture(const QImage& picture) {
    pictureViewer_->setPicture(picture);
}

void MainWindow::showText(const QString& text) {
    textViewer_->setText(text);
}

// The whole text comes from its capture file, without the CR LF after it.
void MainWindow::showTextStart(const QString& start, qsizetype length, const FolderFile& file) {
    TextBox::Whole whole;
    whole.text = [file] {
        QByteArray bytes = readWholeFile(file, HistoryBrowser::kCopyLimitBytes);
        if (bytes.endsWith("\r\n")) bytes.chop(2);
        return QString::fromUtf8(bytes);
    };
    whole.inPieces = [file](const TextBox::PieceSink& write) {
        QStringDecoder decoder(QStringDecoder::Utf8);
        QByteArray held;  // the last two bytes: the CR LF after the text, at the end
        forEachChunk(file, kStreamChunkBytes, [&](QByteArrayView chunk) {
            held.append(chunk);
            const qsizetype kept = std::min<qsizetype>(2, held.size());
            write(QString(decoder.decode(QByteArrayView(held).chopped(kept))));
            held = held.right(kept);
        });
        if (held != "\r\n") write(QString(decoder.decode(held)));
    };
    textViewer_->setStart(start, length, std::move(whole));
}

void MainWindow::pictureAdded(const QString& /*name*/) {
    pictureList_->refresh();
}

void MainWindow::textAdded(const QString& /*name*/) {
    textList_->refresh();
}

void MainWindow::selectCaptureOn() {
    giveFocus(captureOnButton_);
}

void MainWindow::selectCaptureOff() {
    giveFocus(captureOffButton_);
}

void MainWindow::changeEvent(QEvent* event) {
    QMainWindow::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange && windowStates_) {
        run([this] { windowStates_->onResize(); });
    }
}

void MainWindow::resizeEvent(QResizeEvent* event) {
    QMainWindow::resizeEvent(event);
    if (windowStates_) run([this] { windowStates_->onResize(); });
}

void MainWindow::closeEvent(QCloseEvent* event) {
    event->accept();
    run([this] { windowStates_->removeTrayIcon(); });
    capture_.stop();
    setLoaded(this, false);
    endWhenNoWindowIsLoaded();
}

}  // namespace brimlet
