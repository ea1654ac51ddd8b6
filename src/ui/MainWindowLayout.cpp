// The main window's controls: where each sits (in twips), its caption and
// font, what a screen reader calls it, and the tab sequence.

#include <QLabel>
#include <QPushButton>
#include <QRadioButton>

#include "files/Folder.h"
#include "ui/MainWindow.h"
#include "widgets/ChoiceComboBox.h"
#include "widgets/ClickableLabel.h"
#include "widgets/CommandButton.h"
#include "widgets/FileList.h"
#include "widgets/Fonts.h"
#include "widgets/PictureBox.h"
#include "widgets/TextBox.h"
#include "widgets/Twips.h"

namespace brimlet {

namespace {

constexpr int kClientWidth = 7845;
constexpr int kClientHeight = 4665;

template <class Control>
Control* named(Control* control, const char* name) {
    control->setObjectName(QString::fromLatin1(name));
    return control;
}

// What a screen reader says of a control (and what the focus trace names).
void describe(QWidget* control, const char* name, const char* description = nullptr) {
    control->setAccessibleName(QString::fromLatin1(name));
    if (description != nullptr) control->setAccessibleDescription(QString::fromLatin1(description));
}

}  // namespace

void MainWindow::createControls() {
    auto* client = new QWidget(this);
    setCentralWidget(client);
    const double dpi = client->logicalDpiX();
    client->setFixedSize(twipsToPixels(kClientWidth, dpi), twipsToPixels(kClientHeight, dpi));
    auto place = [&](QWidget* control, int left, int top, int width, int height) {
        control->setGeometry(twipsRect(left, top, width, height, dpi));
    };
    const QFont bold975 = boldFont(9.75);
    auto combo = [&](const char* name, int top) {
        auto* box = named(new ChoiceComboBox(client), name);
        box->setFont(bold975);
        place(box, 3480, top, 1935, 360);
        return box;
    };
    // Enter presses the focused button, as Space does.
    auto button = [&](const char* name, const char* caption, int left, int top) {
        auto* b = named(new CommandButton(QString::fromLatin1(caption), client), name);
        b->setFont(bold975);
        place(b, left, top, 2175, 375);
        return b;
    };
    auto label = [&](const char* name, const char* caption, int top, int width) {
        auto* l = named(new QLabel(QString::fromLatin1(caption), client), name);
        l->setFont(bold975);
        place(l, 2400, top, width, 255);
        return l;
    };
    auto option = [&](const char* name, const char* caption, int left, int width) {
        auto* o = named(new QRadioButton(QString::fromLatin1(caption), client), name);
        o->setFont(bold975);
        place(o, left, 4320, width, 255);
        return o;
    };

    // Top band: the viewers.
    // Its font (8.25 points, bold) is set once the window is drawn (load):
    // it is empty until then, and that font is not needed for the first
    // paint.
    textViewer_ = named(new TextBox(client), "textViewer");
    textViewer_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    textViewer_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    textViewer_->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    place(textViewer_, 120, 120, 5295, 2055);
    pictureViewer_ = named(new PictureBox(client), "pictureViewer");
    pictureViewer_->setFrameShape(QFrame::Box);
    place(pictureViewer_, 5520, 120, 2175, 2055);

    // History band: the lists, filled from one read of the folder (watched
    // since before it) once the window is on the screen (fillLists).
    textList_ = named(
        new FileList(reading_->folder(), QStringLiteral("*.txt*"), client, reading_->takeWatcher()),
        "textList");
    place(textList_, 120, 2280, 2175, 870);
    pictureList_ = named(new FileList(reading_->folder(), QStringLiteral("*.jpeg*"), client,
                                      reading_->takeWatcher()),
                         "pictureList");
    place(pictureList_, 5520, 2280, 2175, 870);

    // Middle column: the font boxes, each label a little lower than its box.
    fontLabel_ = label("fontLabel", "Font", 2400, 1215);
    fontBox_ = combo("fontBox", 2280);
    fontStyleLabel_ = label("fontStyleLabel", "Font Style", 2880, 1095);
    fontStyleBox_ = combo("fontStyleBox", 2760);
    fontSizeLabel_ = label("fontSizeLabel", "Font Size", 3360, 975);
    fontSizeBox_ = combo("fontSizeBox", 3240);
    fontColorLabel_ = label("fontColorLabel", "Font Color", 3840, 1095);
    fontColorBox_ = combo("fontColorBox", 3720);

    // The commands under each list.
    copyTextButton_ = button("copyTextButton", "Copy Text", 120, 3240);
    deleteTextButton_ = button("deleteTextButton", "Delete Text", 120, 3720);
    copyImageButton_ = button("copyImageButton", "Copy Image", 5520, 3240);
    deleteImageButton_ = button("deleteImageButton", "Delete Image", 5520, 3720);

    // Bottom row: the capture switch. The buttons lie over the label in
    // places and must stay clickable.
    captureLabel_ =
        named(new ClickableLabel(QStringLiteral("Clipboard Copy"), client), "captureLabel");
    captureLabel_->setFont(bold975);
    captureLabel_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    place(captureLabel_, 120, 4320, 1815, 495);
    captureOnButton_ = option("captureOnButton", "On", 1920, 975);
    captureOffButton_ = option("captureOffButton", "Off", 2760, 735);
    captureOnButton_->raise();
    captureOffButton_->raise();
}

void MainWindow::describeControls() {
    describe(pictureList_, "Picture list", "The pictures in the folder; choose one to show it");
    describe(textList_, "Text list", "The texts in the folder; choose one to show it");
    describe(pictureViewer_, "Picture viewer", "The picture last captured or chosen");
    describe(textViewer_, "Text viewer", "The text last captured or chosen; it can be edited");
    describe(copyImageButton_, "Copy Image");
    describe(deleteImageButton_, "Delete Image");
    describe(copyTextButton_, "Copy Text");
    describe(deleteTextButton_, "Delete Text");
    describe(captureOnButton_, "Clipboard Copy On");
    describe(captureOffButton_, "Clipboard Copy Off");
    describe(fontBox_, "Font");
    describe(fontStyleBox_, "Font Style");
    describe(fontSizeBox_, "Font Size");
    describe(fontColorBox_, "Font Color");
    fontLabel_->setBuddy(fontBox_);
    fontStyleLabel_->setBuddy(fontStyleBox_);
    fontSizeLabel_->setBuddy(fontSizeBox_);
    fontColorLabel_->setBuddy(fontColorBox_);
}

// The tab sequence; the labels never take the focus.
void MainWindow::setTabOrder() {
    QWidget* const order[] = {
        pictureList_,    copyImageButton_,  textViewer_,      textList_,         deleteImageButton_,
        copyTextButton_, deleteTextButton_, captureOnButton_, captureOffButton_, fontStyleBox_,
        fontSizeBox_,    fontColorBox_,     fontBox_};
    for (size_t i = 0; i + 1 < std::size(order); ++i) {
        QWidget::setTabOrder(order[i], order[i + 1]);
    }
}

}  // namespace brimlet
