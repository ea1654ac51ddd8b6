// The menu bar and the tray menu, each item wired to what it does. Captions
// are shown exactly as stored, blanks and ampersands included; no item is
// checked, disabled or bound to a key.

#include <QMenu>
#include <QMenuBar>

#include "format/FontChoices.h"
#include "format/FontControls.h"
#include "history/HistoryBrowser.h"
#include "tray/WindowStates.h"
#include "ui/MainWindow.h"

namespace brimlet {

namespace {

QMenu* addMenu(QWidget* parent, const char* name, const char* caption) {
    auto* menu = new QMenu(QString::fromLatin1(caption), parent);
    menu->setObjectName(QString::fromLatin1(name));
    if (auto* parentMenu = qobject_cast<QMenu*>(parent)) {
        parentMenu->addMenu(menu);
    } else if (auto* menuBar = qobject_cast<QMenuBar*>(parent)) {
        menuBar->addMenu(menu);
    }
    return menu;
}

// Object names of the "Font" menu's items, in the order of their choices.
const char* const kFontNameActions[] = {"fontAmoProCaptionAction", "fontMsGothicAction",
                                        "fontMsSansSerifAction", "fontMvSansAction"};
const char* const kFontSizeActions[] = {"fontSize8Action",  "fontSize10Action", "fontSize12Action",
                                        "fontSize14Action", "fontSize18Action", "fontSize24Action"};
const char* const kFontStyleActions[] = {"styleRegularAction", "styleBoldAction",
                                         "styleItalicAction"};
const char* const kFontColorActions[] = {"colorBlackAction", "colorBlueAction", "colorRedAction"};

}  // namespace

void MainWindow::createMenus() {
    // An item that runs `handler` when chosen.
    auto item = [this](QWidget* parent, const char* name, const QString& caption,
                       std::function<void()> handler) {
        auto* action = new QAction(caption, parent);
        action->setObjectName(QString::fromLatin1(name));
        parent->addAction(action);
        connect(action, &QAction::triggered, this, [this, handler] { run(handler); });
        return action;
    };
    auto items = [&](QMenu* menu, const char* const names[], const QStringList& choices,
                     void (FontControls::*apply)(const QString&)) {
        for (int i = 0; i < choices.size(); ++i) {
            const QString choice = choices[i];
            item(menu, names[i], choice, [this, apply, choice] { ((*fonts_).*apply)(choice); });
        }
    };
    using Via = HistoryBrowser::Via;
    QMenuBar* bar = menuBar();

    QMenu* file = addMenu(bar, "fileMenu", "File");
    QMenu* fileCopy = addMenu(file, "fileCopyMenu", "Copy");
    item(fileCopy, "copyImageAction", "Image", [this] { history_->copyPicture(Via::Menu); });
    item(fileCopy, "copyTextAction", "Text", [this] { history_->copyText(Via::Menu); });
    QMenu* fileDelete = addMenu(file, "fileDeleteMenu", "Delete");
    item(fileDelete, "deleteImageAction", "Image", [this] { history_->deletePicture(); });
    item(fileDelete, "deleteTextAction", "Text", [this] { history_->deleteText(Via::Menu); });
    QMenu* saveAs = addMenu(file, "saveAsMenu", "Save As");
    item(saveAs, "saveImageAsAction", "Save Image As", [this] { saveAsDialogs_->openSaveImage(); });
    item(saveAs, "saveTextAsAction", "Save Text As", [this] { saveAsDialogs_->openSaveText(); });

    QMenu* font = addMenu(bar, "fontMenu", "Font");
    items(addMenu(font, "fontNameMenu", "Font"), kFontNameActions, kFontNames,
          &FontControls::setName);
    items(addMenu(font, "fontSizeMenu", "Font Size"), kFontSizeActions, kFontSizes,
          &FontControls::setSize);
    items(addMenu(font, "fontStyleMenu", "Font Style"), kFontStyleActions, kFontStyles,
          &FontControls::applyStyle);
    items(addMenu(font, "fontColorMenu", "Font Color"), kFontColorActions, kFontColors,
          &FontControls::applyColor);

    // "Copy " acts each time its submenu opens, before any choice.
    QMenu* clipboard = addMenu(bar, "clipboardMenu", "Clipboard");
    QMenu* clipboardCopy = addMenu(clipboard, "clipboardCopyMenu", "Copy ");
    connect(clipboardCopy, &QMenu::aboutToShow, this,
            [this] { run([this] { capture_.onCopyMenuOpened(); }); });
    item(clipboardCopy, "captureOnAction", "On", [this] { capture_.turnOnFromMenu(); });
    item(clipboardCopy, "captureOffAction", "Off", [this] { capture_.turnOffFromMenu(); });

    QMenu* help = addMenu(bar, "helpMenu", "Help");
    item(help, "aboutAction", "About", [this] { help_.showAbout(); });
    item(help, "readmeAction", "Readme ", [this] { help_.openReadme(); });
    item(help, "contactAction", "Contact Us", [this] { help_.openContactPage(); });

    QMenu* donate = addMenu(bar, "donateMenu", "Donate");
    item(donate, "donateOneAction", "$1", [this] { help_.openDonatePage(1); });
    item(donate, "donateTwoAction", "$2", [this] { help_.openDonatePage(2); });
    item(donate, "donateFiveAction", "$5", [this] { help_.openDonatePage(5); });

    item(bar, "exitAction", "Exit", [this] { windowStates_->exitProgram(); });

    // Never in the menu bar: the tray icon's pop-up menu.
    trayMenu_ = new QMenu(QStringLiteral("&SysTray"), this);
    trayMenu_->setObjectName(QStringLiteral("trayMenu"));
    item(trayMenu_, "trayRestoreAction", " &Restore", [this] { windowStates_->restore(); });
    item(trayMenu_, "trayExitAction", "&Exit", [this] { windowStates_->exitFromTray(); });
}

}  // namespace brimlet
