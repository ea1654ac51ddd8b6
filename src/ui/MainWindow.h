#pragma once

#include <QMainWindow>
#include <QString>
#include <chrono>
#include <functional>
#include <memory>

#include "capture/CaptureEngine.h"
#include "capture/CaptureView.h"
#include "dialogs/SaveAsDialogs.h"
#include "help/HelpMenu.h"

class QEventLoop;
class QLabel;
class QMenu;
class QPushButton;
class QRadioButton;

namespace brimlet {

class ChoiceComboBox;
class ClickableLabel;
class FileList;
class FontControls;
class FolderReading;
class HistoryBrowser;
class Host;
class PictureBox;
class TextBox;
class WindowStates;

// The main window: the text viewer and the picture viewer over the text
// list and the picture list, copy and delete buttons under each list, the
// font boxes between them, the capture switch at the bottom, and the menu
// bar. It lays out the controls and wires each one to the part of the
// program that acts on it: the capture engine, the history browser, the
// font controls, the window states with the tray icon, the Save As dialogs
// and the help menu.
class MainWindow : public QMainWindow, private CaptureView {
    Q_OBJECT
  public:
    // `folder` is the working folder: the captures and the counter file.
    // The lists are filled from `reading`, the folder read for two lists
    // (the text list's, then the picture list's) and the numbering, which
    // follows the folder; without it the folder is read here.
    MainWindow(Host& host, const FolderHandle& folder, FolderReading* reading = nullptr,
               QWidget* parent = nullptr);
    ~MainWindow() override;

    // Start-up: the window is shown and drawn, the tray icon added, the font
    // boxes filled, and the capture engine started. The lists are filled
    // once the window's first paint is on the screen (fillLists).
    void load();
    // Fills both lists from the folder's read, waiting for it to end; the
    // read is then let go. Whatever was in the lists is replaced.
    void fillLists();

    // The folder's path at the start, for the user.
    const QString& folder() const { return folder_; }
    CaptureEngine& capture() { return capture_; }
    const CaptureEngine& capture() const { return capture_; }
    HistoryBrowser& history() { return *history_; }
    WindowStates& windowStates() { return *windowStates_; }
    SaveAsDialogs& saveAsDialogs() { return *saveAsDialogs_; }

  protected:
    void changeEvent(QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    // Runs the event loop until the window has been painted (bounded).
    void waitUntilDrawn();
    // Fills the lists from the event loop once the folder's read has ended.
    void fillWhenRead(std::chrono::milliseconds after);
    // Closing unloads the window: the tray icon goes and capturing stops.
    void closeEvent(QCloseEvent* event) override;

  private:
    // What the capture engine shows (CaptureView).
    void showPicture(const QImage& picture) override;
    void showText(const QString& text) override;
    void showTextStart(const QString& start, qsizetype length, const FolderFile& file) override;
    void pictureAdded(const QString& name) override;
    void textAdded(const QString& name) override;
    void selectCaptureOn() override;
    void selectCaptureOff() override;

    // Building the window (MainWindowLayout.cpp, MainWindowMenus.cpp).
    void createControls();
    void describeControls();
    void setTabOrder();
    void createMenus();
    void wireControls();

    // Gives the focus to "On" or "Off"; one that was not selected becomes
    // selected and runs its action, as a click by the user would.
    void giveFocus(QRadioButton* button);
    // Runs a handler; a run-time error it lets through is shown once and
    // the program goes on.
    void run(const std::function<void()>& handler);

    Host& host_;
    QString folder_;

    // The controls, top to bottom and left to right.
    TextBox* textViewer_ = nullptr;
    PictureBox* pictureViewer_ = nullptr;
    FileList* textList_ = nullptr;
    FileList* pictureList_ = nullptr;
    QLabel* fontLabel_ = nullptr;
    ChoiceComboBox* fontBox_ = nullptr;
    QLabel* fontStyleLabel_ = nullptr;
    ChoiceComboBox* fontStyleBox_ = nullptr;
    QLabel* fontSizeLabel_ = nullptr;
    ChoiceComboBox* fontSizeBox_ = nullptr;
    QLabel* fontColorLabel_ = nullptr;
    ChoiceComboBox* fontColorBox_ = nullptr;
    QPushButton* copyTextButton_ = nullptr;
    QPushButton* deleteTextButton_ = nullptr;
    QPushButton* copyImageButton_ = nullptr;
    QPushButton* deleteImageButton_ = nullptr;
    ClickableLabel* captureLabel_ = nullptr;
    QRadioButton* captureOnButton_ = nullptr;
    QRadioButton* captureOffButton_ = nullptr;
    QMenu* trayMenu_ = nullptr;

    // The parts that act on them.
    CaptureEngine capture_;
    HelpMenu help_;
    std::unique_ptr<SaveAsDialogs> saveAsDialogs_;
    std::unique_ptr<HistoryBrowser> history_;
    std::unique_ptr<FontControls> fonts_;
    std::unique_ptr<WindowStates> windowStates_;

    // The folder read for the lists until they are filled: the program's
    // own (reading_), or one made here.
    std::unique_ptr<FolderReading> ownReading_;
    std::unique_ptr<FolderWatcher> captureWatcher_;
    FolderReading* reading_ = nullptr;
    bool fillAfterPaint_ = false;  // load() has run; the first paint fills the lists
    bool painted_ = false;
    QEventLoop* drawn_ = nullptr;  // waiting for the first paint
};

}  // namespace brimlet
