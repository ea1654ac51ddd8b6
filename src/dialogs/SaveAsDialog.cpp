#include "dialogs/SaveAsDialog.h"

#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QTimer>
#include <QWindow>

#include "dialogs/FolderControls.h"
#include "files/AtomicFile.h"
#include "host/Host.h"
#include "files/Picture.h"
#include "host/Untrapped.h"
#include "widgets/CommandButton.h"
#include "widgets/Fonts.h"
#include "widgets/PictureBox.h"
#include "widgets/ProgramWindows.h"
#include "widgets/TextBox.h"
#include "widgets/Twips.h"

namespace brimlet {

namespace {

// Both dialogs' icon: a floppy disk, 48 by 48.
QIcon dialogIcon() {
    QImage image(48, 48, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(30, 40, 70), 1.5));
    p.setBrush(QColor(60, 90, 160));
    p.drawRoundedRect(QRectF(5, 5, 38, 38), 3, 3);
    p.setBrush(QColor(235, 235, 235));
    p.drawRect(QRectF(12, 5, 22, 13));
    p.setBrush(QColor(252, 252, 248));
    p.drawRect(QRectF(10, 25, 28, 18));
    return QIcon(QPixmap::fromImage(image));
}

// A failed save names the path and the reason, and the dialog stays as it was.
QString saveFailureMessage(const QString& path, const RuntimeError& error) {
    QString reason = error.text();
    QString detail = error.detail();
    if (detail.startsWith(path + QStringLiteral(": "))) detail = detail.mid(path.size() + 2);
    if (!detail.isEmpty() && detail != path) reason += QStringLiteral(" (") + detail + ')';
    return QStringLiteral("The file could not be saved:\n%1\n\n%2").arg(path, reason);
}

// The dialog has no minimise button: it would iconify the main window along
// with it, out of the user's reach. Window managers such as openbox ignore
// the hint that says so and offer one on every dialog, but never on a
// toolbar; so on X11 the window says it is a toolbar (which Qt's X11 layer
// reads from this property), then a dialog for those that know no toolbars.
// openbox gives a toolbar no focus when another window closes.
void offerNoMinimise(QWidget* dialog) {
    constexpr int kToolbar = 0x8;  // Qt::Dialog adds the dialog type after it
    dialog->winId();
    QWindow* window = dialog->windowHandle();
    window->setProperty("_q_xcb_wm_window_type", kToolbar);
    // Only a change of the flags makes the X11 layer read it again.
    window->setFlags(window->flags() & ~Qt::MSWindowsFixedSizeDialogHint);
}

}  // namespace

SaveAsDialog::SaveAsDialog(Host& host, QWidget* owner, const QString& folder, Content content,
                           const SaveAsLayout& layout)
    : QWidget(owner, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                         Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint),
      host_(host),
      content_(std::move(content)),
      types_(layout.types) {
    setObjectName(QString::fromLatin1(layout.objectName));
    setLoaded(this, true);
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QString::fromLatin1(layout.caption));
    setWindowIcon(dialogIcon());
    offerNoMinimise(this);
    const double dpi = logicalDpiX();
    setFixedSize(twipsToPixels(layout.width, dpi), twipsToPixels(layout.height, dpi));
    auto place = [&](QWidget* w, const QRect& r) {
        w->setGeometry(twipsRect(r.x(), r.y(), r.width(), r.height(), dpi));
    };
    auto named = [](QWidget* w, const char* name, const char* accessibleName) {
        w->setObjectName(QString::fromLatin1(name));
        w->setAccessibleName(QString::fromLatin1(accessibleName));
    };
    const QFont bold = boldFont(9.75);

    driveList_ = new DriveList(folder, this);
    named(driveList_, "driveList", "Drive");
    place(driveList_, {120, 120, 5415, 315});
    folderList_ = new FolderList(this);
    named(folderList_, "folderList", "Folder");
    place(folderList_, {120, 600, 5415, 990});
    nameLabel_ = new QLabel(QStringLiteral("File Name"), this);
    nameLabel_->setFont(bold);
    place(nameLabel_, layout.nameLabel);
    nameBox_ = new QLineEdit(this);
    named(nameBox_, "nameBox", "File Name");
    nameBox_->setFont(bold);
    place(nameBox_, layout.nameBox);
    typeLabel_ = new QLabel(QStringLiteral("Type"), this);
    typeLabel_->setFont(bold);
    place(typeLabel_, layout.typeLabel);
    typeBox_ = new QComboBox(this);
    named(typeBox_, "typeBox", "Type");
    typeBox_->setEditable(true);
    typeBox_->setInsertPolicy(QComboBox::NoInsert);
    typeBox_->setFont(bold);
    place(typeBox_, {1320, 2280, 4215, 360});
    // Enter presses the focused button; neither answers Enter or Esc elsewhere.
    saveButton_ = new CommandButton(QStringLiteral("Save"), this);
    named(saveButton_, "saveButton", "Save");
    saveButton_->setFont(bold);
    place(saveButton_, {120, 2880, 2175, 375});
    cancelButton_ = new CommandButton(QStringLiteral("Cancel"), this);
    named(cancelButton_, "cancelButton", "Cancel");
    cancelButton_->setFont(bold);
    place(cancelButton_, {2400, 2880, 2175, 375});

    setTabOrder(driveList_, folderList_);
    setTabOrder(folderList_, nameBox_);
    setTabOrder(nameBox_, typeBox_);
    setTabOrder(typeBox_, saveButton_);
    setTabOrder(saveButton_, cancelButton_);

    auto run = [this](void (SaveAsDialog::*handler)()) {
        return [this, handler] { runUntrapped(host_, [&] { (this->*handler)(); }); };
    };
    connect(driveList_, &DriveList::driveChanged, this, run(&SaveAsDialog::onDriveChanged));
    connect(saveButton_, &QPushButton::clicked, this, run(&SaveAsDialog::onSaveClicked));
    connect(cancelButton_, &QPushButton::clicked, this, &QWidget::close);
}

void SaveAsDialog::load() {
    typeBox_->addItems(types_);
    typeBox_->setCurrentIndex(-1);
    onDriveChanged();
}

void SaveAsDialog::onDriveChanged() {
    folderList_->setPath(driveList_->currentFolderOf(driveList_->drive()));
}

QString SaveAsDialog::targetPath() const {
    return folderList_->path() + QLatin1Char('/') + nameBox_->text() + typeBox_->currentText();
}

// A dialog that stays open takes the focus back from the window manager,
// which hands it to the main window when a message closes (see
// offerNoMinimise).
void SaveAsDialog::onSaveClicked() {
    host_.beep();
    if (nameBox_->text().isEmpty()) {
        host_.beep();
        host_.msgBox(QStringLiteral("Please enter a file name!"), MsgCritical,
                     QStringLiteral("Enter name"));
        activateWindow();
        return;
    }
    const QString path = targetPath();
    bool saved = false;
    if (auto error = trapRunTimeError([&] { saved = write(path); })) {
        host_.msgBox(saveFailureMessage(path, *error), MsgCritical, windowTitle());
        activateWindow();
        return;
    }
    if (!saved) {
        activateWindow();
        return;
    }
    host_.msgBox(QStringLiteral("File saved successfully!"), MsgInformation,
                 QStringLiteral("File Saved"));
    close();
}

// The bytes are taken when "Save" is clicked. A name that is taken (by a
// file that came meanwhile too) is replaced only when the user agrees;
// false when not.
bool SaveAsDialog::write(const QString& path) {
    StagedFile staged(QFileInfo(path).absolutePath(), content_, path);
    if (staged.publishIfAbsent(path)) return true;
    if (!host_.msgBoxYesNo(
            QStringLiteral("\"%1\" already exists.\nDo you want to replace it?").arg(path),
            QStringLiteral("Confirm Save As"))) {
        return false;
    }
    staged.publishReplacing(path);
    return true;
}

void SaveAsDialog::closeEvent(QCloseEvent* event) {
    QWidget::closeEvent(event);
    setLoaded(this, false);
    endWhenNoWindowIsLoaded();
}

SaveTextDialog::SaveTextDialog(Host& host, QWidget* owner, const QString& folder,
                               const TextBox* viewer)
    : SaveAsDialog(host, owner, folder,
                   [viewer](const ByteSink& write) {
                       viewer->forEachPiece([&](QStringView piece) { write(piece.toUtf8()); });
                       write("\r\n");
                   },
                   {"saveTextDialog",
                    "Save Text As",
                    5655,
                    3480,
                    QRect(120, 1920, 1575, 255),
                    QRect(1320, 1800, 4215, 375),
                    QRect(120, 2400, 1215, 375),
                    {".txt", ".html", ".js", ".php", ".pl"}}) {}

SaveImageDialog::SaveImageDialog(Host& host, QWidget* owner, const QString& folder,
                                 const PictureBox* viewer)
    : SaveAsDialog(host, owner, folder,
                   [viewer](const ByteSink& write) { writeBitmapFile(viewer->picture(), write); },
                   {"saveImageDialog",
                    "Save Image As",
                    5670,
                    3390,
                    QRect(120, 1800, 1095, 255),
                    QRect(1320, 1680, 4215, 405),
                    QRect(120, 2400, 1095, 255),
                    {".jpeg", ".jpg", ".gif", ".bmp"}}) {}

}  // namespace brimlet
