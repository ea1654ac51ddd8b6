#include "dialogs/SaveAsDialog.h"

#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QTimer>

#include "dialogs/FolderControls.h"
#include "host/AtomicFile.h"
#include "host/Host.h"
#include "host/Picture.h"
#include "host/Untrapped.h"
#include "ui/Fonts.h"
#include "ui/Form1.h"
#include "ui/ImageBox.h"
#include "ui/TextBox.h"
#include "ui/Twips.h"

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

}  // namespace

SaveAsDialog::SaveAsDialog(Host& host, Form1& form, const SaveAsLayout& layout)
    : QWidget(&form, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                         Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint),
      host_(host),
      form_(form),
      types_(layout.types) {
    setObjectName(QString::fromLatin1(layout.name));
    setProperty(kProgramWindow, true);
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QString::fromLatin1(layout.caption));
    setWindowIcon(dialogIcon());
    const double dpi = logicalDpiX();
    setFixedSize(twipsToPixels(layout.width, dpi), twipsToPixels(layout.height, dpi));
    auto place = [&](QWidget* w, const QRect& r) {
        w->setGeometry(twipsRect(r.x(), r.y(), r.width(), r.height(), dpi));
    };
    const QFont bold = boldFont(9.75);

    Drive1 = new DriveList(form.store().path(QString()), this);
    Drive1->setObjectName(QStringLiteral("Drive1"));
    place(Drive1, {120, 120, 5415, 315});
    Dir1 = new FolderList(this);
    Dir1->setObjectName(QStringLiteral("Dir1"));
    place(Dir1, {120, 600, 5415, 990});
    Label1 = new QLabel(QStringLiteral("File Name"), this);
    Label1->setFont(bold);
    place(Label1, layout.label1);
    Text1 = new QLineEdit(this);
    Text1->setObjectName(QStringLiteral("Text1"));
    Text1->setFont(bold);
    place(Text1, layout.text1);
    Label2 = new QLabel(QStringLiteral("Type"), this);
    Label2->setFont(bold);
    place(Label2, layout.label2);
    Combo1 = new QComboBox(this);
    Combo1->setObjectName(QStringLiteral("Combo1"));
    Combo1->setEditable(true);
    Combo1->setInsertPolicy(QComboBox::NoInsert);
    Combo1->setFont(bold);
    place(Combo1, {1320, 2280, 4215, 360});
    // Neither button answers Enter or Esc.
    Command1 = new QPushButton(QStringLiteral("Save"), this);
    Command1->setObjectName(QStringLiteral("Command1"));
    Command1->setAutoDefault(false);
    Command1->setFont(bold);
    place(Command1, {120, 2880, 2175, 375});
    Command2 = new QPushButton(QStringLiteral("Cancel"), this);
    Command2->setObjectName(QStringLiteral("Command2"));
    Command2->setAutoDefault(false);
    Command2->setFont(bold);
    place(Command2, {2400, 2880, 2175, 375});

    Drive1->setAccessibleName(QStringLiteral("Drive"));
    Dir1->setAccessibleName(QStringLiteral("Folder"));
    Text1->setAccessibleName(QStringLiteral("File Name"));
    Combo1->setAccessibleName(QStringLiteral("Type"));
    Command1->setAccessibleName(QStringLiteral("Save"));
    Command2->setAccessibleName(QStringLiteral("Cancel"));

    setTabOrder(Drive1, Dir1);
    setTabOrder(Dir1, Text1);
    setTabOrder(Text1, Combo1);
    setTabOrder(Combo1, Command1);
    setTabOrder(Command1, Command2);

    auto run = [this](void (SaveAsDialog::*handler)()) {
        return [this, handler] { runUntrapped(host_, [&] { (this->*handler)(); }); };
    };
    connect(Drive1, &DriveList::driveChanged, this, run(&SaveAsDialog::Drive1_Change));
    connect(Command1, &QPushButton::clicked, this, run(&SaveAsDialog::Command1_Click));
    connect(Command2, &QPushButton::clicked, this, run(&SaveAsDialog::Command2_Click));
}

void SaveAsDialog::Form_Load() {
    Combo1->addItems(types_);
    Combo1->setCurrentIndex(-1);
    Dir1->setPath(Drive1->currentFolderOf(Drive1->drive()));
}

void SaveAsDialog::Drive1_Change() {
    Dir1->setPath(Drive1->currentFolderOf(Drive1->drive()));
}

QString SaveAsDialog::targetPath() const {
    return Dir1->path() + QLatin1Char('/') + Text1->text() + Combo1->currentText();
}

void SaveAsDialog::Command1_Click() {
    host_.beep();
    if (Text1->text().isEmpty()) {
        host_.beep();
        host_.msgBox(QStringLiteral("Please enter a file name!"), MsgCritical,
                     QStringLiteral("Enter name"));
        return;
    }
    const QString path = targetPath();
    if (auto error = trapRunTimeError([&] { writeFileReplacing(path, contentToSave()); })) {
        host_.msgBox(saveFailureMessage(path, *error), MsgCritical, windowTitle());
        return;
    }
    host_.msgBox(QStringLiteral("File saved successfully!"), MsgInformation,
                 QStringLiteral("File Saved"));
    close();
}

void SaveAsDialog::Command2_Click() {
    close();
}

void SaveAsDialog::closeEvent(QCloseEvent* event) {
    QWidget::closeEvent(event);
    QTimer::singleShot(0, qApp, &endWhenNoWindowIsLoaded);
}

savetext::savetext(Host& host, Form1& form)
    : SaveAsDialog(host, form,
                   {"savetext",
                    "Save Text As",
                    5655,
                    3480,
                    QRect(120, 1920, 1575, 255),
                    QRect(1320, 1800, 4215, 375),
                    QRect(120, 2400, 1215, 375),
                    {".txt", ".html", ".js", ".php", ".pl"}}) {}

QByteArray savetext::contentToSave() const {
    return form_.Text1->text().toUtf8() + "\r\n";
}

saveimage::saveimage(Host& host, Form1& form)
    : SaveAsDialog(host, form,
                   {"saveimage",
                    "Save Image As",
                    5670,
                    3390,
                    QRect(120, 1800, 1095, 255),
                    QRect(1320, 1680, 4215, 405),
                    QRect(120, 2400, 1095, 255),
                    {".jpeg", ".jpg", ".gif", ".bmp"}}) {}

QByteArray saveimage::contentToSave() const {
    return bitmapFileBytes(form_.Image2->picture());
}

}  // namespace brimlet
