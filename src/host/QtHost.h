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

#include "host/ClipboardLook.h"
#include "host/Host.h"

class QMimeData;
class QThread;

namespace brimlet {

class DataControlClipboard;
class XClipboardReader;

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
    bool clipboardNeedsPolling() override;
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

    // Whether the clipboard goes through Wayland's data-control.
    bool throughDataControl() const { return dc_ != nullptr; }
    // Through data-control: keeps what this program put on the clipboard
    // there after it ends (the holder process takes it over), when it is
    // still the selection. Call before the application object goes.
    void keepDataControlCopyAfterExit();

  private:
    static const QMimeData* mimeData();
    template <class Change>
    void changeClipboard(Change&& change);

    using Look = ClipboardLook;
    Look lookThroughQt() const;
    bool lookIsFresh() const {
        return look_ && (look_->uncaptured || look_->generation == generation_);
    }
    // On X11 and through data-control, another program's clipboard is
    // looked at on a thread of its own, so the window never waits for it;
    // the answer comes back as a change report.
    void startReaderThread();
    void startLook();
    void looked(Look look);
    void reportProblem(const RuntimeError& error);
    // On the reader's thread: tells this thread of the changes other
    // programs made through data-control, and of a broken connection.
    void reportDataControlChanges();
    void dataControlChanged();
    void dataControlBroken();
    // Runs `work` with the data-control clipboard on the reader's thread.
    void onDataControl(std::function<void(DataControlClipboard&)> work);
    bool usableDataControl();

    // How long an owner may take to answer one request: at first, and each
    // time it is asked again after it did not answer. Once it has not
    // answered that many times, it is skipped until the clipboard changes
    // hands.
    static constexpr std::chrono::milliseconds kPatienceSteps[] = {
        std::chrono::milliseconds(400), std::chrono::milliseconds(1000),
        std::chrono::milliseconds(2500), std::chrono::milliseconds(5000)};
    static constexpr int kStalledLooksMax = int(std::size(kPatienceSteps));

    // A reader of our own whose waits are bounded (on X11, or through
    // Wayland's data-control: at most one of them), the thread it works on,
    // and the owner that did not answer and how many looks it did not
    // answer (asked again at later ticks, up to kStalledLooksMax).
    std::shared_ptr<XClipboardReader> x_;
    std::shared_ptr<DataControlClipboard> dc_;
    std::unique_ptr<QThread> readerThread_;
    QObject* readerWorker_ = nullptr;   // lives on readerThread_
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
    // the one the reader saw held by leftOwner_ since leftSince_ (however
    // often a change is reported while it stays).
    quint64 passedOver_ = 0;
    std::uint32_t leftOwner_ = 0;
    std::uint32_t leftSince_ = 0;
    // Through data-control: on the reader's thread, the changes other
    // programs made as last reported and whether a broken connection was
    // reported; here, whether it broke and whether that was said, and what
    // this program put on the clipboard.
    quint64 dcReported_ = 0;
    bool dcBrokenPosted_ = false;
    bool dcBroken_ = false;
    bool dcBrokenSaid_ = false;
    QString ownText_;
    QImage ownPicture_;
    bool passesOver(const Look& look) const {
        return look.generation <= passedOver_ ||
               (look.throughReader && look.owner != 0 && look.since != 0 &&
                look.owner == leftOwner_ && look.since == leftSince_);
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
