#include "ui/Form1.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFont>
#include <QLayout>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QTimer>

#include "help/DocumentHolder.h"
#include "history/FileList.h"
#include "host/Host.h"
#include "host/TrayNotifyEvent.h"
#include "host/Untrapped.h"
#include "ui/AppIcon.h"
#include "ui/Controls.h"
#include "ui/Fonts.h"
#include "ui/ImageBox.h"
#include "ui/TextBox.h"
#include "ui/Twips.h"

namespace brimlet {

namespace {

constexpr int kClientWidth = 7845;
constexpr int kClientHeight = 4665;

template <class Control>
Control* named(Control* control, const char* name) {
    control->setObjectName(QString::fromLatin1(name));
    return control;
}

}  // namespace

Form1::Form1(Host& host, const QString& folder, QWidget* parent)
    : QMainWindow(parent), host_(host), store_(folder) {
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("Brimlet"));
    setWindowIcon(appIcon());
    // A fixed single border: no resizing, and no maximise button.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint);
    createControls(folder);
    createMenus();
    wireEvents();
    setTabOrder();
    layout()->setSizeConstraint(QLayout::SetFixedSize);
    adjustSize();
    if (const QScreen* screen = this->screen()) {
        move(screen->availableGeometry().center() - rect().center());
    }
    File1->setFocus();
}

Form1::~Form1() {
    host_.onClipboardChanged(nullptr);
}

void Form1::createControls(const QString& folder) {
    auto* client = new QWidget(this);
    setCentralWidget(client);
    const double dpi = client->logicalDpiX();
    client->setFixedSize(twipsToPixels(kClientWidth, dpi), twipsToPixels(kClientHeight, dpi));
    auto place = [&](QWidget* control, int left, int top, int width, int height) {
        control->setGeometry(twipsRect(left, top, width, height, dpi));
    };
    const QFont bold975 = boldFont(9.75);
    auto combo = [&](const char* name, int top) {
        auto* box = named(new ChoiceCombo(client), name);
        box->setFont(bold975);
        place(box, 3480, top, 1935, 360);
        return box;
    };
    auto button = [&](const char* name, const char* caption, int left, int top) {
        auto* b = named(new QPushButton(QString::fromLatin1(caption), client), name);
        b->setFont(bold975);
        b->setAutoDefault(false);
        place(b, left, top, 2175, 375);
        return b;
    };
    auto label = [&](const char* name, const char* caption, int left, int top, int width) {
        auto* l = named(new QLabel(QString::fromLatin1(caption), client), name);
        l->setFont(bold975);
        place(l, left, top, width, 255);
        return l;
    };

    // In creation order.
    Combo4 = combo("Combo4", 2280);
    Combo3 = combo("Combo3", 3720);
    Combo2 = combo("Combo2", 3240);
    Combo1 = combo("Combo1", 2760);

    Option2 = named(new QRadioButton(QStringLiteral("Off"), client), "Option2");
    Option2->setFont(bold975);
    place(Option2, 2760, 4320, 735, 255);
    Option1 = named(new QRadioButton(QStringLiteral("On"), client), "Option1");
    Option1->setFont(bold975);
    place(Option1, 1920, 4320, 975, 255);

    Command4 = button("Command4", "Delete Text", 120, 3720);
    Command3 = button("Command3", "Copy Text", 120, 3240);
    Command2 = button("Command2", "Delete Image", 5520, 3720);

    File2 = named(new FileList(folder, QStringLiteral("*.txt*"), client), "File2");
    place(File2, 120, 2280, 2175, 870);

    Text1 = named(new TextBox(client), "Text1");
    Text1->setFont(boldFont(8.25));
    Text1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Text1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    Text1->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    place(Text1, 120, 120, 5295, 2055);

    Command1 = button("Command1", "Copy Image", 5520, 3240);

    File1 = named(new FileList(folder, QStringLiteral("*.jpeg*"), client), "File1");
    place(File1, 5520, 2280, 2175, 870);

    Timer1 = named(new QTimer(this), "Timer1");
    Timer1->setInterval(500);
    Timer1->start();  // capturing is on from the start

    OLE6 = named(new DocumentHolder(QStringLiteral("donate5.html"), this), "OLE6");
    OLE5 = named(new DocumentHolder(QStringLiteral("donate2.html"), this), "OLE5");
    OLE4 = named(new DocumentHolder(QStringLiteral("donate1.html"), this), "OLE4");
    Label5 = label("Label5", "Font", 2400, 2400, 1215);
    Label4 = label("Label4", "Font Color", 2400, 3840, 1095);
    Label3 = label("Label3", "Font Style", 2400, 2880, 1095);
    Label2 = label("Label2", "Font Size", 2400, 3360, 975);
    OLE1 = named(new DocumentHolder(QStringLiteral("ReadmeHelp.txt"), this), "OLE1");
    OLE3 = named(new DocumentHolder(QStringLiteral("donate.html"), this), "OLE3");
    OLE2 = named(new DocumentHolder(QStringLiteral("contact.html"), this), "OLE2");

    Label1 = named(new ClickLabel(QStringLiteral("Clipboard Copy"), client), "Label1");
    Label1->setFont(bold975);
    Label1->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    place(Label1, 120, 4320, 1815, 495);

    Image2 = named(new ImageBox(client), "Image2");
    Image2->setFrameShape(QFrame::Box);
    place(Image2, 5520, 120, 2175, 2055);

    Image1 = named(new ImageBox(client), "Image1");
    place(Image1, 360, 1200, 1215, 975);
    Image1->hide();

    // Option buttons and labels lie on top of each other in places; the
    // option buttons must stay clickable.
    Option1->raise();
    Option2->raise();
}

void Form1::createMenus() {
    QMenuBar* bar = menuBar();
    auto menu = [](QWidget* parent, const char* name, const char* caption) {
        auto* m = named(new QMenu(QString::fromLatin1(caption), parent), name);
        if (auto* parentMenu = qobject_cast<QMenu*>(parent)) {
            parentMenu->addMenu(m);
        } else if (auto* menuBar = qobject_cast<QMenuBar*>(parent)) {
            menuBar->addMenu(m);
        }
        return m;
    };
    auto item = [](QWidget* parent, const char* name, const char* caption) {
        auto* a = new QAction(QString::fromLatin1(caption), parent);
        a->setObjectName(QString::fromLatin1(name));
        parent->addAction(a);
        return a;
    };

    fi = menu(bar, "fi", "File");
    c = menu(fi, "c", "Copy");
    im = item(c, "im", "Image");
    tx = item(c, "tx", "Text");
    dl = menu(fi, "dl", "Delete");
    dlim = item(dl, "dlim", "Image");
    deltext = item(dl, "deltext", "Text");
    saveas = menu(fi, "saveas", "Save As");
    saveia = item(saveas, "saveia", "Save Image As");
    savtexas = item(saveas, "savtexas", "Save Text As");

    fods = menu(bar, "fods", "Font");
    afddf = menu(fods, "afddf", "Font");
    amprog = item(afddf, "amprog", "Amo Pro Caption");
    adfda = item(afddf, "adfda", "Ms Gothic");
    msssan = item(afddf, "msssan", "Ms Sans Serif");
    adsdf = item(afddf, "adsdf", "MVSans");
    fsg = menu(fods, "fsg", "Font Size");
    eight = item(fsg, "eight", "8");
    ten = item(fsg, "ten", "10");
    twe = item(fsg, "twe", "12");
    fourte = item(fsg, "fourte", "14");
    eighteren = item(fsg, "eighteren", "18");
    twetny = item(fsg, "twetny", "24");
    fontstyel = menu(fods, "fontstyel", "Font Style");
    reg = item(fontstyel, "reg", "Regular");
    bold = item(fontstyel, "bold", "Bold");
    itvs = item(fontstyel, "itvs", "Italic");
    fontcolor = menu(fods, "fontcolor", "Font Color");
    blk = item(fontcolor, "blk", "Black");
    blue = item(fontcolor, "blue", "Blue");
    redf = item(fontcolor, "redf", "Red");

    dadd = menu(bar, "dadd", "Clipboard");
    clon = menu(dadd, "clon", "Copy ");
    clipoff = item(clon, "clipoff", "On");
    offf = item(clon, "offf", "Off");

    hlp = menu(bar, "hlp", "Help");
    ab = item(hlp, "ab", "About");
    inst = item(hlp, "inst", "Readme ");
    cus = item(hlp, "cus", "Contact Us");

    don = menu(bar, "don", "Donate");
    doll = item(don, "doll", "$1");
    twodol = item(don, "twodol", "$2");
    threedol = item(don, "threedol", "$5");

    ex = item(bar, "ex", "Exit");

    // Never in the menu bar: the tray icon's pop-up menu.
    mPopupSys = named(new QMenu(QStringLiteral("&SysTray"), this), "mPopupSys");
    mPopRestore = item(mPopupSys, "mPopRestore", " &Restore");
    mPopExit = item(mPopupSys, "mPopExit", "&Exit");
}

void Form1::on(QAction* action, Handler handler) {
    connect(action, &QAction::triggered, this, [this, handler] { run(handler); });
}

void Form1::wireEvents() {
    connect(Timer1, &QTimer::timeout, this, [this] { runCapture(&Form1::Timer1_Timer); });
    // Changes come in the middle of the platform's clipboard work: handle
    // them from the event loop, several reports of one change at once.
    host_.onClipboardChanged([this] {
        if (changePending_) return;
        changePending_ = true;
        QTimer::singleShot(0, this, [this] {
            changePending_ = false;
            runCapture(&Form1::clipboardChanged);
        });
    });
    // A copy left on the clipboard while capturing goes on is reported once.
    host_.onClipboardProblem(
        [this](const RuntimeError& error) { showUntrappedError(host_, error); });

    auto click = [this](QAbstractButton* b, Handler h) {
        connect(b, &QAbstractButton::clicked, this, [this, h] { run(h); });
    };
    click(Option1, &Form1::Option1_Click);
    click(Option2, &Form1::Option2_Click);
    click(Command1, &Form1::Command1_Click);
    click(Command2, &Form1::Command2_Click);
    click(Command3, &Form1::Command3_Click);
    click(Command4, &Form1::Command4_Click);
    connect(Label1, &ClickLabel::clicked, this, [this] { run(&Form1::Label1_Click); });
    connect(File1, &FileList::entryClicked, this, [this] { run(&Form1::File1_Click); });
    connect(File2, &FileList::entryClicked, this, [this] { run(&Form1::File2_Click); });
    auto choose = [this](ChoiceCombo* box, Handler h) {
        connect(box, &ChoiceCombo::chosen, this, [this, h] { run(h); });
    };
    choose(Combo1, &Form1::Combo1_Click);
    choose(Combo2, &Form1::Combo2_Click);
    choose(Combo3, &Form1::Combo3_Click);
    choose(Combo4, &Form1::Combo4_Click);

    // The header "Copy " acts each time its submenu opens.
    connect(clon, &QMenu::aboutToShow, this, [this] { run(&Form1::clon_Click); });
    on(clipoff, &Form1::clipoff_Click);
    on(offf, &Form1::offf_Click);

    on(im, &Form1::im_Click);
    on(tx, &Form1::tx_Click);
    on(dlim, &Form1::dlim_Click);
    on(deltext, &Form1::deltext_Click);
    on(saveia, &Form1::saveia_Click);
    on(savtexas, &Form1::savtexas_Click);

    on(amprog, &Form1::amprog_Click);
    on(adfda, &Form1::adfda_Click);
    on(msssan, &Form1::msssan_Click);
    on(adsdf, &Form1::adsdf_Click);
    on(eight, &Form1::eight_Click);
    on(ten, &Form1::ten_Click);
    on(twe, &Form1::twe_Click);
    on(fourte, &Form1::fourte_Click);
    on(eighteren, &Form1::eighteren_Click);
    on(twetny, &Form1::twetny_Click);
    on(reg, &Form1::reg_Click);
    on(bold, &Form1::bold_Click);
    on(itvs, &Form1::itvs_Click);
    on(blk, &Form1::blk_Click);
    on(blue, &Form1::blue_Click);
    on(redf, &Form1::redf_Click);

    on(ab, &Form1::ab_Click);
    on(inst, &Form1::inst_Click);
    on(cus, &Form1::cus_Click);
    on(doll, &Form1::doll_Click);
    on(twodol, &Form1::twodol_Click);
    on(threedol, &Form1::threedol_Click);

    on(ex, &Form1::ex_Click);
    on(mPopRestore, &Form1::mPopRestore_Click);
    on(mPopExit, &Form1::mPopExit_Click);
}

// The tab sequence; labels and the document holders never take the focus.
void Form1::setTabOrder() {
    const QWidget* order[] = {File1,   Command1, Text1,  File2,  Command2, Command3, Command4,
                              Option1, Option2,  Combo1, Combo2, Combo3,   Combo4};
    for (size_t i = 0; i + 1 < std::size(order); ++i) {
        QWidget::setTabOrder(const_cast<QWidget*>(order[i]), const_cast<QWidget*>(order[i + 1]));
    }
}

void Form1::run(Handler handler) {
    runUntrapped(host_, [&] { (this->*handler)(); });
}

// A failing capture also switches capturing off, as "Off" does, so the
// message is not repeated every half second and the clipboard keeps what is
// on it.
void Form1::runCapture(Handler handler) {
    if (auto error = trapRunTimeError([&] { (this->*handler)(); })) {
        (void)trapRunTimeError([this] { giveFocus(Option2); });
        setTimer1Enabled(false);
        showUntrappedError(host_, *error);
    }
}

bool Form1::timer1Enabled() const {
    return Timer1->isActive();
}

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

double Form1::twipsPerPixelX() const {
    return 1440.0 / logicalDpiX();
}

// The tray's notifications arrive as mouse moves with the code as x. Real
// pointer moves over the window are not notifications and do nothing.
bool Form1::event(QEvent* event) {
    if (event->type() == TrayNotifyEvent::eventType()) {
        const double x = static_cast<TrayNotifyEvent*>(event)->code() * twipsPerPixelX();
        runUntrapped(host_, [&] { Form_MouseMove(0, 0, x, 0); });
        return true;
    }
    return QMainWindow::event(event);
}

void Form1::changeEvent(QEvent* event) {
    QMainWindow::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange) run(&Form1::Form_Resize);
}

void Form1::resizeEvent(QResizeEvent* event) {
    QMainWindow::resizeEvent(event);
    run(&Form1::Form_Resize);
}

// Closing unloads the window: the tray icon goes and capturing stops. The
// program ends once no window of it is left open.
void Form1::closeEvent(QCloseEvent* event) {
    int cancel = 0;
    runUntrapped(host_, [&] { Form_Unload(cancel); });
    if (cancel != 0) {
        event->ignore();
        return;
    }
    event->accept();
    setTimer1Enabled(false);
    loaded_ = false;
    QTimer::singleShot(0, qApp, &endWhenNoWindowIsLoaded);
}

void endWhenNoWindowIsLoaded() {
    for (const QWidget* window : QApplication::topLevelWidgets()) {
        if (const auto* form = qobject_cast<const Form1*>(window)) {
            if (form->isLoaded()) return;
        } else if (window->property(kProgramWindow).toBool() && window->isVisible()) {
            return;
        }
    }
    QCoreApplication::quit();
}

}  // namespace brimlet
