#include "host/QtHost.h"

#include <QApplication>
#include <QClipboard>
#include <QCursor>
#include <QDesktopServices>
#include <QFileInfo>
#include <QImageReader>
#include <QMenu>
#include <QMessageBox>
#include <QMimeData>
#include <QSocketNotifier>
#include <QStandardPaths>
#include <QThread>
#include <QTimer>
#include <QUrl>
#include <QWidget>
#include <algorithm>
#include <cstring>
#include <new>
#include <utility>

#include "base/RuntimeError.h"
#include "files/SpooledText.h"
#include "host/wayland/DataControlClipboard.h"
#include "host/x11/ClipboardKeeper.h"
#include "host/x11/XClipboardReader.h"

namespace brimlet {

namespace {

const QString kTextPlain = QStringLiteral("text/plain");
const QString kPasswordHint = QString::fromLatin1(kPasswordHintType);
const QString kGnomeFiles = QString::fromLatin1(kGnomeFilesType);
const QString kKdeCut = QString::fromLatin1(kKdeCutType);

// Pictures up to 16384 x 16384 at four bytes a pixel may be read (Qt's own
// limit of 128 MiB refuses a camera's picture); a larger one is refused
// before any memory is taken for it.
constexpr int kPictureAllocationLimitMiB = 16384 * 16384 * 4 / (1024 * 1024);

// Password managers mark what they copy; a secret is never written down.
bool isSecret(const QMimeData& data) {
    return data.hasFormat(kPasswordHint) && data.data(kPasswordHint).trimmed() == "secret";
}

// What file managers put on the clipboard for copied or cut files: their
// own marks, or a URL list naming local files.
bool isCopiedFiles(const QMimeData& data) {
    if (data.hasFormat(kGnomeFiles) || data.hasFormat(kKdeCut)) return true;
    const QList<QUrl> urls = data.urls();
    return std::any_of(urls.cbegin(), urls.cend(),
                       [](const QUrl& url) { return url.isLocalFile(); });
}

// Some programs end every text with a NUL byte, which is no part of the text.
QString withoutTrailingNul(QString text) {
    if (text.endsWith(QChar(0))) text.chop(1);
    return text;
}

QMessageBox::Icon iconForStyle(MsgStyle style) {
    switch (style) {
        case MsgCritical:
            return QMessageBox::Critical;
        case MsgExclamation:
            return QMessageBox::Warning;
        case MsgInformation:
            return QMessageBox::Information;
    }
    return QMessageBox::NoIcon;
}

}  // namespace

QtHost::QtHost() {
    // Applies to pictures from the clipboard and from files alike.
    QImageReader::setAllocationLimit(kPictureAllocationLimitMiB);
    const QString platform = QGuiApplication::platformName();
    const bool desktop = platform == QLatin1String("xcb") || platform == QLatin1String("wayland");
    // Where the compositor offers data-control, every copy is seen through
    // it, whatever window has the focus (Xwayland's bridge to X11 serves
    // only a focused X11 window on some compositors).
    if (desktop && !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")) {
        auto dc = std::make_shared<DataControlClipboard>();
        // What was on the clipboard at the start is no change.
        if (dc->isOpen()) dcReported_ = dc->foreignChanges();
        if (dc->isOpen()) dc_ = std::move(dc);
    }
    if (!dc_ && platform == QLatin1String("xcb")) {
        x_ = std::make_shared<XClipboardReader>();
        if (!x_->isOpen()) x_.reset();
    }
    // X servers (XFixes) and data-control report every change of the
    // clipboard, and the offscreen clipboard lives in this process.
    changesReported_ = platform == QLatin1String("xcb") || platform == QLatin1String("offscreen") ||
                       dc_ != nullptr;
    if (x_ || dc_) startReaderThread();
    if (dc_) return;  // Qt's clipboard is not this program's then
    clipboardConnection_ =
        QObject::connect(QGuiApplication::clipboard(), &QClipboard::dataChanged, [this] {
            ++generation_;
            if (changingClipboard_) return;
            stalledOwner_ = 0;  // another program copied: ask again
            stalledLooks_ = 0;
            if (changed_) changed_();
        });
}

void QtHost::startReaderThread() {
    readerThread_ = std::make_unique<QThread>();
    readerThread_->setObjectName(QStringLiteral("clipboard reader"));
    readerWorker_ = new QObject;
    readerWorker_->moveToThread(readerThread_.get());
    answers_ = std::make_unique<QObject>();
    QObject::connect(readerThread_.get(), &QThread::finished, readerWorker_, &QObject::deleteLater);
    readerThread_->start();
    // Between looks, the reports of changes are taken as they come.
    QMetaObject::invokeMethod(readerWorker_, [this, x = x_, dc = dc_, worker = readerWorker_] {
        const int fd = x ? x->fileDescriptor() : dc->fileDescriptor();
        auto* notifier = new QSocketNotifier(fd, QSocketNotifier::Read, worker);
        QObject::connect(notifier, &QSocketNotifier::activated, worker, [this, x, dc, notifier] {
            if (!(x ? x->drainEvents() : dc->drainEvents())) notifier->setEnabled(false);
            if (dc) reportDataControlChanges();
        });
    });
}

QtHost::~QtHost() {
    QObject::disconnect(clipboardConnection_);
    if (readerThread_) {
        if (x_) x_->cancel();  // a look in progress ends at its next wait
        if (dc_) dc_->cancel();
        readerThread_->quit();
        readerThread_->wait();  // the worker is deleted as its thread finishes
    }
}

// On the reader's thread.
void QtHost::reportDataControlChanges() {
    if (dc_->isBroken() && !dcBrokenPosted_) {
        dcBrokenPosted_ = true;
        QMetaObject::invokeMethod(answers_.get(), [this] { dataControlBroken(); });
    }
    if (dc_->foreignChanges() == dcReported_) return;
    dcReported_ = dc_->foreignChanges();
    QMetaObject::invokeMethod(answers_.get(), [this] { dataControlChanged(); });
}

void QtHost::dataControlChanged() {
    ++generation_;
    stalledOwner_ = 0;  // another program copied: ask again
    stalledLooks_ = 0;
    if (changed_) changed_();
}

void QtHost::dataControlBroken() {
    dcBroken_ = true;
    ++generation_;
    if (changed_) changed_();  // the next check says so
}

void QtHost::onDataControl(std::function<void(DataControlClipboard&)> work) {
    QMetaObject::invokeMethod(readerWorker_, [this, dc = dc_, work = std::move(work)] {
        try {
            work(*dc);
        } catch (...) {
            // Nothing escapes the reader's thread: a failed change leaves
            // the clipboard as it was.
        }
        reportDataControlChanges();
    });
}

// Whether the clipboard is changed through data-control; a connection that
// broke says so.
bool QtHost::usableDataControl() {
    if (!dc_) return false;
    if (dcBroken_) throw RuntimeError::cannotOpenClipboard();
    return true;
}

// The platform may have no data at all (an empty clipboard): null then.
const QMimeData* QtHost::mimeData() {
    return QGuiApplication::clipboard()->mimeData();
}

bool QtHost::clipboardHasFormat(ClipFormat format) {
    if (dcBroken_) {
        // Said once; capturing is then off, and nothing is offered.
        if (dcBrokenSaid_) return false;
        dcBrokenSaid_ = true;
        throw RuntimeError::cannotOpenClipboard().explained(QStringLiteral(
            "The connection to the Wayland compositor's clipboard was lost: nothing more "
            "can be captured until Brimlet is started again."));
    }
    // A copy left on the clipboard is no reason to keep the look once the
    // clipboard has changed.
    if (look_ && passesOver(*look_)) look_->uncaptured = false;
    const bool reader = x_ || dc_;
    if (changesReported_ && lookIsFresh() && look_->stalled && reader &&
        look_->owner == stalledOwner_ && stalledLooks_ < kStalledLooksMax) {
        // The owner that did not answer is asked again, now with more patience.
        startLook();
        return false;
    }
    if (!changesReported_ || !lookIsFresh()) {
        // What this program put on the clipboard is answered from memory;
        // another program's, on X11 and through data-control, once the
        // reader has looked (data-control's reader answers ours from memory).
        if (dc_ || (x_ && !QGuiApplication::clipboard()->ownsClipboard())) {
            startLook();
            return false;
        }
        look_ = lookThroughQt();
    }
    if (passesOver(*look_)) return false;
    return format == ClipFormat::Bitmap ? look_->bitmap : look_->text;
}

QtHost::Look QtHost::lookThroughQt() const {
    Look look;
    look.generation = generation_;
    const QMimeData* data = mimeData();
    if (data != nullptr && !isSecret(*data)) {
        // A picture wins, whatever is offered beside it (an image viewer
        // offers the picture's file too).
        look.bitmap = data->hasImage();
        // Plain text only: a list of URLs alone is not text, and a text
        // that only names copied files is left to the file manager.
        look.text = data->hasFormat(kTextPlain);
        if (look.text && isCopiedFiles(*data)) {
            QByteArrayList uris;
            for (const QUrl& url : data->urls()) uris << url.toEncoded();
            look.text = !isFileList(data->text().toUtf8(), uris);
        }
    }
    return look;
}

namespace {

// The least time a look as a whole may take (a large content that keeps
// coming earns more; see XClipboardReader).
constexpr std::chrono::milliseconds kLookTime(2000);

// The X11 clipboard as a source for the look.
class XSource : public ClipboardSource {
  public:
    XSource(XClipboardReader& x, quint64 listed) : x_(x), listed_(listed) {}
    std::optional<QByteArray> read(const QByteArray& type, qsizetype limit) override {
        return limit == kWhole ? x_.read(type) : x_.read(type, limit);
    }
    bool readInPieces(const QByteArray& type, const PieceSink& take) override {
        return x_.readInPieces(type, take);
    }
    Failure failure() const override { return Failure(int(x_.failure())); }
    bool answeredBySameCopy() const override { return x_.changeAtAnswer() == listed_; }
    // TEXT comes in the form the owner chose, named by the type of its answer.
    QByteArray answeredForm(const QByteArray& type) const override {
        if (type != "TEXT") return type;
        const std::uint32_t answered = x_.answeredType();
        for (const char* named : {"UTF8_STRING", "COMPOUND_TEXT", "STRING"}) {
            if (answered != 0 && answered == x_.atomOf(named)) return named;
        }
        return type;
    }

  private:
    XClipboardReader& x_;
    quint64 listed_;
};

// Wayland's clipboard through data-control as a source for the look. An
// answer always comes from the offer it was asked of, so it is the listed
// copy's.
class DataControlSource : public ClipboardSource {
  public:
    explicit DataControlSource(DataControlClipboard& dc) : dc_(dc) {}
    std::optional<QByteArray> read(const QByteArray& type, qsizetype limit) override {
        return limit == kWhole ? dc_.read(type) : dc_.read(type, limit);
    }
    bool readInPieces(const QByteArray& type, const PieceSink& take) override {
        return dc_.readInPieces(type, take);
    }
    Failure failure() const override { return Failure(int(dc_.failure())); }
    bool answeredBySameCopy() const override { return true; }

  private:
    DataControlClipboard& dc_;
};

// Both readers' failures are the source's, one for one.
static_assert(int(XClipboardReader::Failure::Stopped) == int(ClipboardSource::Failure::Stopped) &&
              int(DataControlClipboard::Failure::Stopped) ==
                  int(ClipboardSource::Failure::Stopped));

// Looks through the X reader: the owner and the moment it took the
// clipboard name the copy, and the copy's list of types comes from it.
void lookThroughX(XClipboardReader& x, std::uint32_t skipOwner, std::chrono::milliseconds patience,
                  const std::optional<FolderHandle>& spoolIn, ClipboardLook& look) {
    using Failure = XClipboardReader::Failure;
    // Several requests make a look: a patient one may take a few waits.
    x.beginLook(patience, std::max(kLookTime, 3 * patience));
    const XClipboardReader::Copy now = x.current();
    look.owner = now.owner;
    look.since = now.since;
    auto gaveUp = [&] { giveUp(look, ClipboardSource::Failure(int(x.failure()))); };
    if (now.since == 0 && x.failure() != Failure::None) return gaveUp();
    if (look.owner == 0 || look.owner == skipOwner) return;
    const auto offered = x.offered(wantedClipboardTypes());
    if (!offered) return gaveUp();
    const XClipboardReader::Copy listed = x.askedOf();
    look.owner = listed.owner;
    look.since = listed.since;
    if (look.owner == 0 || look.owner == skipOwner) return;
    XSource source(x, listed.change);
    lookAtCopy(source, *offered, spoolIn, look);
}

// Looks through data-control: the change that made the selection names the
// copy (its owner is not known), and its types came with it.
void lookThroughDataControl(DataControlClipboard& dc, std::uint32_t skipCopy,
                            std::chrono::milliseconds patience,
                            const std::optional<FolderHandle>& spoolIn, ClipboardLook& look) {
    dc.beginLook(patience, std::max(kLookTime, 3 * patience));
    dc.drainEvents();
    look.owner = look.since = std::uint32_t(dc.change());
    if (!dc.hasSelection() || look.owner == 0 || look.owner == skipCopy) return;
    DataControlSource source(dc);
    lookAtCopy(source, dc.offered(wantedClipboardTypes()), spoolIn, look);
}

// A look that gave up on its owner (out of memory: too big for us).
ClipboardLook gaveUpLook(quint64 generation, std::uint32_t owner, bool tooBig) {
    ClipboardLook look;
    look.generation = generation;
    look.throughReader = true;
    look.owner = owner;
    look.stalled = true;
    look.tooBig = tooBig;
    return look;
}

}  // namespace

void QtHost::startLook() {
    if (lookInFlight_) return;  // one at a time; a stale answer starts the next
    lookInFlight_ = true;
    const quint64 generation = generation_;
    // An owner that did not answer is asked again with more patience, and
    // skipped once it has had every chance.
    const bool givenUp = stalledLooks_ >= kStalledLooksMax;
    const std::uint32_t skipOwner = givenUp ? stalledOwner_ : 0;
    const std::chrono::milliseconds patience = kPatienceSteps[givenUp ? 0 : stalledLooks_];
    QObject* answers = answers_.get();
    const std::optional<FolderHandle> spoolIn = spoolIn_;  // copied: read on the worker
    QMetaObject::invokeMethod(
        readerWorker_, [this, x = x_, dc = dc_, generation, skipOwner, patience, answers, spoolIn] {
            // Nothing may escape this thread: whatever goes wrong, the look
            // comes back (as one that gave up) and the next can start.
            auto answer = [&](ClipboardLook look) {
                QMetaObject::invokeMethod(
                    answers, [this, look = std::move(look)]() mutable { looked(std::move(look)); },
                    Qt::QueuedConnection);
            };
            ClipboardLook look;
            look.generation = generation;
            look.throughReader = true;
            try {
                if (x) {
                    lookThroughX(*x, skipOwner, patience, spoolIn, look);
                } else {
                    lookThroughDataControl(*dc, skipOwner, patience, spoolIn, look);
                }
            } catch (const std::bad_alloc&) {
                if (x) x->abandonRequest();
                look = gaveUpLook(generation, look.owner, true);
            } catch (...) {
                if (x) x->abandonRequest();
                look = gaveUpLook(generation, look.owner, false);
            }
            try {
                // The changes seen while looking are reported before the answer.
                if (dc) reportDataControlChanges();
                answer(std::move(look));
            } catch (...) {
                try {
                    answer(gaveUpLook(generation, 0, false));
                } catch (...) {
                }
            }
        });
}

void QtHost::looked(Look look) {
    lookInFlight_ = false;
    if (look.generation < ownChange_) {
        // This program emptied or set the clipboard since the look started:
        // what it read is no longer there to capture.
        startLook();
        return;
    }
    if (look.tooBig) reportProblem(RuntimeError::outOfMemory());
    if (look.bitmap || look.text) {
        // A copy that was read whole is a copy the user made: it is kept
        // even if another program has copied since (that copy comes next).
        look.uncaptured = true;
        look_ = std::move(look);
        if (changed_) changed_();
        return;
    }
    if (look.changedHands || look.generation != generation_) {
        startLook();  // the clipboard changed meanwhile
        return;
    }
    if (look.stalled) {
        if (look.owner != stalledOwner_) stalledLooks_ = 0;
        stalledOwner_ = look.owner;
        // What is too big stays too big: that copy is not asked for again.
        stalledLooks_ = look.tooBig ? kStalledLooksMax : stalledLooks_ + 1;
    }
    look_ = std::move(look);
}

// Shown from the event loop, never in the middle of the host's own work.
void QtHost::reportProblem(const RuntimeError& error) {
    if (!problem_) return;
    QTimer::singleShot(0, answers_.get(), [this, error] {
        if (problem_) problem_(error);
    });
}

// A change made here is not reported to the handler, and whatever was looked
// at before it is stale.
template <class Change>
void QtHost::changeClipboard(Change&& change) {
    changingClipboard_ = true;
    change();
    changingClipboard_ = false;
    ++generation_;
    ownChange_ = generation_;
    if (look_) look_->uncaptured = false;
}

void QtHost::onClipboardChanged(std::function<void()> handler) {
    changed_ = std::move(handler);
}

// Nothing to poll for once the clipboard has been looked at since its last
// change: no look under way, no owner left to ask again with more
// patience, nothing found that is still to be captured.
bool QtHost::clipboardNeedsPolling() {
    if (!changesReported_ || lookInFlight_ || !lookIsFresh()) return true;
    if (look_->stalled && stalledLooks_ < kStalledLooksMax) return true;
    return (look_->bitmap || look_->text) && !passesOver(*look_);
}

void QtHost::onClipboardProblem(std::function<void(const RuntimeError&)> handler) {
    problem_ = std::move(handler);
}

QImage QtHost::clipboardGetPicture() {
    if (lookIsFresh() && look_->throughReader) {
        // Never asks the owner again: what the look could not read, no one can.
        if (!look_->picture || look_->picture->isNull()) {
            throw RuntimeError::invalidPicture(QStringLiteral("the clipboard's picture"));
        }
        return *look_->picture;
    }
    const QMimeData* data = mimeData();
    QImage picture = data ? qvariant_cast<QImage>(data->imageData()) : QImage();
    if (picture.isNull()) {
        throw RuntimeError::invalidPicture(QStringLiteral("the clipboard's picture"));
    }
    return picture;
}

QString QtHost::clipboardGetText() {
    if (lookIsFresh() && look_->throughReader) {
        return QString::fromUtf8(look_->textUtf8.value_or(QByteArray()));
    }
    const QMimeData* data = mimeData();
    return data ? withoutTrailingNul(data->text()) : QString();
}

QByteArray QtHost::clipboardGetTextUtf8() {
    if (lookIsFresh() && look_->throughReader) return look_->textUtf8.value_or(QByteArray());
    return clipboardGetText().toUtf8();
}

void QtHost::spoolTextsIn(const FolderHandle& folder) {
    spoolIn_ = folder;
}

std::shared_ptr<SpooledText> QtHost::clipboardTakeSpooledText() {
    if (!(lookIsFresh() && look_->throughReader)) return nullptr;
    return std::exchange(look_->spooled, nullptr);
}

std::shared_ptr<StagedFile> QtHost::clipboardTakeStagedPicture() {
    if (!(lookIsFresh() && look_->throughReader)) return nullptr;
    return std::exchange(look_->pictureFile, nullptr);
}

// Through data-control the content is served from memory on the reader's
// thread; this thread keeps its own copy for the hand-over at exit.
void QtHost::clipboardSetPicture(const QImage& picture) {
    if (picture.isNull()) throw RuntimeError::cannotOpenClipboard();
    if (usableDataControl()) {
        changeClipboard([&] {
            ownText_ = QString();
            ownPicture_ = picture;
            onDataControl([picture](DataControlClipboard& dc) {
                dc.setSelection(dataControlPictureTypes(),
                                dataControlContent(QString(), false, picture));
            });
        });
        return;
    }
    changeClipboard([&] { QGuiApplication::clipboard()->setImage(picture); });
}

void QtHost::clipboardSetText(const QString& text) {
    if (usableDataControl()) {
        changeClipboard([&] {
            ownText_ = text.isNull() ? QString(QLatin1String("")) : text;
            ownPicture_ = QImage();
            onDataControl([text](DataControlClipboard& dc) {
                dc.setSelection(dataControlTextTypes(), dataControlContent(text, true, QImage()));
            });
        });
        return;
    }
    changeClipboard([&] { QGuiApplication::clipboard()->setText(text); });
}

// Whoever holds the clipboard: the server's current time wins over any
// copy's, where Qt's own last-known time may be older than the copy.
void QtHost::clipboardClear() {
    if (dc_) {
        if (!dcBroken_) changeClipboard([this] { onDataControl(&DataControlClipboard::clear); });
        return;
    }
    changeClipboard([this] {
        QGuiApplication::clipboard()->clear();
        if (x_) x_->clear();
    });
}

void QtHost::clipboardClearCaptured() {
    const bool reader = x_ || dc_;
    if (!(lookIsFresh() && look_->throughReader && reader)) {
        if (!dc_) changeClipboard([] { QGuiApplication::clipboard()->clear(); });
        return;
    }
    const Look captured = std::move(*look_);
    look_.reset();
    const bool changedSince = captured.generation != generation_;
    if (dc_) {
        // The compositor keeps no times: the copy is emptied unless a later
        // change has reached the reader.
        changeClipboard([&] {
            onDataControl([change = captured.since](DataControlClipboard& dc) {
                dc.clearIfUnchangedSince(change);
            });
        });
        if (changedSince) startLook();
        return;
    }
    changeClipboard([&] { x_->clearIfUnchangedSince(captured.since); });
    // An owner whose copy could not be emptied (it gave a wrong time) is not
    // read again until the clipboard changes hands: its copy is captured.
    if (!changedSince && x_->currentOwner() == captured.owner) {
        stalledOwner_ = captured.owner;
        stalledLooks_ = kStalledLooksMax;
    }
    // Another program copied while this copy was read: look at it now.
    if (changedSince) startLook();
}

void QtHost::clipboardPassOver() {
    passedOver_ = generation_;
}

// The look stays, so the ticks that follow answer from it without asking
// the owner again.
void QtHost::clipboardLeaveCaptured() {
    if (!look_) {
        clipboardPassOver();
        return;
    }
    passedOver_ = std::max(passedOver_, look_->generation);
    if (look_->throughReader) {
        leftOwner_ = look_->owner;
        leftSince_ = look_->since;
    }
    look_->uncaptured = false;
}

void QtHost::keepDataControlCopyAfterExit() {
    if (!dc_ || dcBroken_ || (ownText_.isNull() && ownPicture_.isNull())) return;
    // Asked on the reader's thread, after what it has yet to do: whether our
    // copy is still the selection.
    bool ours = false;
    QMetaObject::invokeMethod(
        readerWorker_,
        [dc = dc_, &ours] {
            dc->drainEvents();
            ours = dc->ownSelection();
        },
        Qt::BlockingQueuedConnection);
    if (ours) startClipboardHolder(ownText_, !ownText_.isNull(), ownPicture_, true);
}

void QtHost::msgBox(const QString& prompt, MsgStyle style, const QString& title) {
    QMessageBox box(iconForStyle(style), title, prompt, QMessageBox::Ok,
                    QApplication::activeWindow());
    box.exec();
}

bool QtHost::msgBoxYesNo(const QString& prompt, const QString& title) {
    QMessageBox box(QMessageBox::Question, title, prompt, QMessageBox::Yes | QMessageBox::No,
                    QApplication::activeWindow());
    box.setDefaultButton(QMessageBox::No);
    box.setEscapeButton(QMessageBox::No);
    return box.exec() == QMessageBox::Yes;
}

void QtHost::beep() {
    QApplication::beep();
}

void QtHost::bringToFront(QWidget* window) {
    window->raise();
    window->activateWindow();
    // A window that is being shown again can only be activated once it is
    // mapped: ask again when the events of showing it are through.
    QTimer::singleShot(0, window, [window] {
        if (!window->isVisible()) return;
        window->raise();
        window->activateWindow();
    });
}

void QtHost::popupMenu(QMenu* menu) {
    menu->exec(QCursor::pos());
}

// The desktop's opener is xdg-open (from xdg-utils) on most desktops; a
// failure says which document could not be opened and what would help.
void QtHost::openDocument(const QString& path) {
    if (QDesktopServices::openUrl(QUrl::fromLocalFile(path))) return;
    const QString name = QFileInfo(path).fileName();
    const bool noOpener = QStandardPaths::findExecutable(QStringLiteral("xdg-open")).isEmpty();
    const QString why = noOpener ? QStringLiteral("no program to open it was found")
                                 : QStringLiteral("the desktop did not start a program for it");
    QString sentence = QStringLiteral("\"%1\" cannot be opened: %2.").arg(name, why);
    if (noOpener) sentence += QStringLiteral(" The package xdg-utils provides one (xdg-open).");
    throw RuntimeError::pathFileAccess(path, why).explained(sentence);
}

void QtHost::addTrayIcon(QWidget* window, const QString& tip, TrayActivated activated) {
    if (tray_) return;
    tray_ = new QSystemTrayIcon(window->windowIcon(), window);
    tray_->setToolTip(tip);
    QObject::connect(tray_, &QSystemTrayIcon::activated, window, std::move(activated));
    tray_->show();
}

void QtHost::removeTrayIcon() {
    delete tray_;
}

bool QtHost::trayIconShown() {
    return tray_ && tray_->isVisible() && QSystemTrayIcon::isSystemTrayAvailable();
}

}  // namespace brimlet
