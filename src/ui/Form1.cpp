#include "ui/Form1.h"

#include <QFont>
#include <QRadioButton>
#include <QTimer>

#include "history/FileList.h"
#include "host/Host.h"
#include "host/Untrapped.h"
#include "ui/ImageBox.h"
#include "ui/TextBox.h"
#include "ui/Twips.h"

namespace brimlet {

namespace {

constexpr int kClientWidth = 7845;
constexpr int kClientHeight = 4665;

QFont boldFont(double points) {
    QFont font(QStringLiteral("MS Sans Serif"));
    font.setPointSizeF(points);
    font.setBold(true);
    return font;
}

}  // namespace

Form1::Form1(Host& host, const QString& folder, QWidget* parent)
    : QMainWindow(parent), host_(host), store_(folder) {
    setWindowTitle(QStringLiteral("Brimlet"));
    createControls(folder);
    wireEvents();
}

Form1::~Form1() = default;

void Form1::createControls(const QString& folder) {
    auto* client = new QWidget(this);
    setCentralWidget(client);
    const double dpi = client->logicalDpiX();
    auto place = [&](QWidget* control, int left, int top, int width, int height) {
        control->setGeometry(twipsRect(left, top, width, height, dpi));
    };
    client->setFixedSize(twipsToPixels(kClientWidth, dpi), twipsToPixels(kClientHeight, dpi));

    File1 = new FileList(folder, QStringLiteral("*.jpeg*"), client);
    File1->setObjectName(QStringLiteral("File1"));
    place(File1, 5520, 2280, 2175, 870);

    Text1 = new TextBox(client);
    Text1->setObjectName(QStringLiteral("Text1"));
    Text1->setFont(boldFont(8.25));
    Text1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Text1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    Text1->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    place(Text1, 120, 120, 5295, 2055);

    File2 = new FileList(folder, QStringLiteral("*.txt*"), client);
    File2->setObjectName(QStringLiteral("File2"));
    place(File2, 120, 2280, 2175, 870);

    Option1 = new QRadioButton(QStringLiteral("On"), client);
    Option1->setObjectName(QStringLiteral("Option1"));
    Option1->setFont(boldFont(9.75));
    place(Option1, 1920, 4320, 975, 255);

    Option2 = new QRadioButton(QStringLiteral("Off"), client);
    Option2->setObjectName(QStringLiteral("Option2"));
    Option2->setFont(boldFont(9.75));
    place(Option2, 2760, 4320, 735, 255);

    Image2 = new ImageBox(client);
    Image2->setObjectName(QStringLiteral("Image2"));
    Image2->setFrameShape(QFrame::Box);
    place(Image2, 5520, 120, 2175, 2055);

    Image1 = new ImageBox(client);
    Image1->setObjectName(QStringLiteral("Image1"));
    place(Image1, 360, 1200, 1215, 975);
    Image1->hide();

    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(500);
    Timer1->start();
}

void Form1::wireEvents() {
    connect(Timer1, &QTimer::timeout, this, &Form1::onTimer1);
    connect(Option1, &QRadioButton::clicked, this, [this] { run(&Form1::Option1_Click); });
    connect(Option2, &QRadioButton::clicked, this, [this] { run(&Form1::Option2_Click); });
}

void Form1::run(void (Form1::*handler)()) {
    runUntrapped(host_, [&] { (this->*handler)(); });
}

// A failing tick also switches capturing off, as "Off" does, so the message
// is not repeated every half second and the clipboard keeps what is on it.
void Form1::onTimer1() {
    if (auto error = trapRunTimeError([this] { Timer1_Timer(); })) {
        (void)trapRunTimeError([this] { giveFocus(Option2); });
        setTimer1Enabled(false);
        showUntrappedError(host_, *error);
    }
}

bool Form1::timer1Enabled() const { return Timer1->isActive(); }

void Form1::setTimer1Enabled(bool enabled) {
    if (!enabled) {
        Timer1->stop();
    } else if (!Timer1->isActive()) {
        Timer1->start();
    }
}

void Form1::giveFocus(QRadioButton* button) {
    // A window hidden in the tray cannot take the focus; the selection and
    // its click action still happen.
    if (isVisible() && !isMinimized()) button->setFocus(Qt::OtherFocusReason);
    if (button->isChecked()) return;
    button->setChecked(true);
    if (button == Option1) {
        Option1_Click();
    } else if (button == Option2) {
        Option2_Click();
    }
}

}  // namespace brimlet
