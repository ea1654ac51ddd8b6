#pragma once

#include <QImage>
#include <QPointer>
#include <QString>
#include <QSystemTrayIcon>
#include <chrono>
#include <cstdint>
#include <functional>
#include <iterator>
#include <memory>
#include <optional>

#include "files/Files.h"
#include "host/Host.h"

class QMimeData;
class QThread;

namespace brimlet {

class XClipboardReader;

// What the clipboard offered when last looked at, and the change count it
// was looked at in. While no change has been reported since, looking again
// would only ask the owner the same question.
struct ClipboardLook {
    quint64 generation = 0;
    bool bitmap = false;
    bool text = false;
    // Content already fetched while looking (through the X reader). A null
    // picture is one that was offered but could not be read.
    std::optional<QImage> picture;
    // A text is kept as UTF-8 (the owner's own bytes when they are valid
    // UTF-8) and decoded only when asked for, after its file is written.
    std::optional<QByteArray> textUtf8;
    // A long text went to a file as it was read: textUtf8 holds its start.
    std::shared_ptr<SpooledText> spooled;
    // A picture decoded straight into its bitmap file (picture is then null).
    std::shared_ptr<StagedFile> pictureFile;
    // Through the X reader: the owner looked at, and a server time at or
    // after the moment it took the clipboard (so emptying the clipboard as
    // of that time empties this copy and never a later one).
    bool throughX = false;
    std::uint32_t owner = 0;
    std::uint32_t since = 0;
    // The owner did not answer in time (asked again at later ticks, with
    // more patience), or offered more than is taken in one go (tooBig:
    // skipped until the clipboard changes hands).
    bool stalled = false;
    bool tooBig = false;
    // The clipboard changed hands before the owner answered: what came may
    // be the next copy's, so it is looked at again.
    bool changedHands = false;
    // A copy read whole and not yet captured: it is captured even when the
    // clipboard has changed since.
    bool uncaptured = false;
};

// The host on Qt: the system clipboard, QMessageBox, the desktop's opener.
class QtHost : public Host {
  public:
    QtHost();
    ~QtHost() override;
    QtHost(const QtHost&) = delete;
    QtHost& operator=(const QtHost&) = delete;

    bool clipboardHasFormat(ClipFormat format) override;
    QImage clipboardGetPicture() override;
    QString clipboardGetText() override;
    QByteArray clipboardGetTextUtf8() override;
    void spoolTextsIn(const FolderHandle& folder) override;
    std::shared_ptr<SpooledText> clipboardTakeSpooledText() override;
    std::shared_ptr<StagedFile> clipboardTakeStagedPicture() override;
    void clipboardSetPicture(const QImage& picture) override;
    void clipboardSetText(const QString& text) override;
    void clipboardClear() override;
    void clipboardClearCaptured() override;
    void clipboardPassOver() override;
    void clipboardLeaveCaptured() override;
    void onClipboardChanged(std::function<void()> handler) override;
    void onClipboardProblem(std::function<void(const RuntimeError&)> handler) override;

    void msgBox(const QString& prompt, MsgStyle style, const QString& title) override;
    bool msgBoxYesNo(const QString& prompt, const QString& title) override;
    void beep() override;

    void bringToFront(QWidget* window) override;
    void popupMenu(QMenu* menu) override;
    void openDocument(const QString& path) override;

    void addTrayIcon(QWidget* window, const QString& tip, TrayActivated activated) override;
    void removeTrayIcon() override;
    bool trayIconShown() override;

  private:
    static const QMimeData* mimeData();
    template <class Change>
    void changeClipboard(Change&& change);

    using Look = ClipboardLook;
    Look lookThroughQt() const;
    bool lookIsFresh() const {
        return look_ && (look_->uncaptured || look_->generation == generation_);
    }
    // On X11 another program's clipboard is looked at on a thread of its
    // own, so the window never waits for it; the answer comes back as a
    // change report.
    void startLookThroughX();
    void lookedThroughX(Look look);
    void reportProblem(const RuntimeError& error);

    // How long an owner may take to answer one request: at first, and each
    // time it is asked again after it did not answer. Once it has not
    // answered that many times, it is skipped until the clipboard changes
    // hands.
    static constexpr std::chrono::milliseconds kPatienceSteps[] = {
        std::chrono::milliseconds(400), std::chrono::milliseconds(1000),
        std::chrono::milliseconds(2500), std::chrono::milliseconds(5000)};
    static constexpr int kStalledLooksMax = int(std::size(kPatienceSteps));

    // On X11: a reader of our own whose waits are bounded, the thread it
    // works on, and the owner that did not answer and how many looks it
    // did not answer (asked again at later ticks, up to kStalledLooksMax).
    std::shared_ptr<XClipboardReader> x_;
    std::unique_ptr<QThread> xThread_;
    QObject* xWorker_ = nullptr;        // lives on xThread_
    std::unique_ptr<QObject> answers_;  // receives the answers on this thread
    bool lookInFlight_ = false;
    std::uint32_t stalledOwner_ = 0;
    int stalledLooks_ = 0;
    quint64 generation_ = 1;
    // The change count just after this program last changed the clipboard:
    // what was read before it is gone from the clipboard.
    quint64 ownChange_ = 0;
    std::optional<Look> look_;
    // Where long texts are spooled as they are read (none: held whole).
    std::optional<FolderHandle> spoolIn_;
    // Copies left on the clipboard: those of changes up to passedOver_, and
    // the one the X reader saw held by leftOwner_ since leftSince_ (however
    // often a change is reported while it stays).
    quint64 passedOver_ = 0;
    std::uint32_t leftOwner_ = 0;
    std::uint32_t leftSince_ = 0;
    bool passesOver(const Look& look) const {
        return look.generation <= passedOver_ ||
               (look.throughX && look.owner != 0 && look.since != 0 && look.owner == leftOwner_ &&
                look.since == leftSince_);
    }
    // Whether the platform reports every change of the clipboard, so a look
    // stays true until the next report.
    bool changesReported_ = false;
    bool changingClipboard_ = false;
    std::function<void()> changed_;
    std::function<void(const RuntimeError&)> problem_;
    QMetaObject::Connection clipboardConnection_;

    QPointer<QSystemTrayIcon> tray_;
};

}  // namespace brimlet
