// A clipboard owner for the end-to-end tests: offers a text, and optionally a
// password manager's hint beside it, as a desktop program would. Prints
// "owned" once it holds the clipboard; ends when it loses it, or after a
// minute.
//
// With --stop-when-asked it prints "asked" when it is first asked for the
// text and stops itself there (SIGSTOP), as a program that hangs mid-answer.
//
// With --silent-manager it plays a clipboard manager that has stopped
// answering instead: it takes CLIPBOARD_MANAGER and never reads a request.
//
// usage: clipboard_owner [--stop-when-asked] TEXT [HINT]
//        clipboard_owner --silent-manager

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>
#include <QTimer>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <unistd.h>
#include <xcb/xcb.h>

namespace {

int beSilentManager() {
    xcb_connection_t* c = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(c)) return 1;
    const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
    const xcb_window_t window = xcb_generate_id(c);
    xcb_create_window(c, 0, window, screen->root, 0, 0, 1, 1, 0, XCB_WINDOW_CLASS_INPUT_ONLY,
                      screen->root_visual, 0, nullptr);
    const char name[] = "CLIPBOARD_MANAGER";
    xcb_intern_atom_reply_t* atom =
        xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, sizeof name - 1, name), nullptr);
    if (atom == nullptr) return 1;
    xcb_set_selection_owner(c, window, atom->atom, XCB_CURRENT_TIME);
    xcb_get_selection_owner_reply_t* owner =
        xcb_get_selection_owner_reply(c, xcb_get_selection_owner(c, atom->atom), nullptr);
    const bool owned = owner != nullptr && owner->owner == window;
    std::free(atom);
    std::free(owner);
    if (!owned) return 1;
    std::puts("owned");
    std::fflush(stdout);
    for (;;) ::pause();
}

// Contents that stop the program when they are first asked for.
class StoppingMimeData : public QMimeData {
  protected:
    QVariant retrieveData(const QString& type, QMetaType meta) const override {
        if (!asked_) {
            asked_ = true;
            std::puts("asked");
            std::fflush(stdout);
            ::raise(SIGSTOP);
        }
        return QMimeData::retrieveData(type, meta);
    }

  private:
    mutable bool asked_ = false;
};

}  // namespace

int main(int argc, char** argv) {
    if (argc == 2 && std::strcmp(argv[1], "--silent-manager") == 0) return beSilentManager();
    QGuiApplication app(argc, argv);
    const bool stopWhenAsked = argc > 1 && std::strcmp(argv[1], "--stop-when-asked") == 0;
    const int text = stopWhenAsked ? 2 : 1;  // where TEXT is
    if (argc <= text) return 2;
    QMimeData* data = stopWhenAsked ? new StoppingMimeData : new QMimeData;
    data->setText(QString::fromUtf8(argv[text]));
    if (argc > text + 1) data->setData(QStringLiteral("x-kde-passwordManagerHint"), argv[text + 1]);
    QClipboard* clipboard = QGuiApplication::clipboard();
    clipboard->setMimeData(data);
    QObject::connect(clipboard, &QClipboard::dataChanged, [clipboard] {
        if (!clipboard->ownsClipboard()) QCoreApplication::quit();
    });
    QTimer::singleShot(60000, &app, &QCoreApplication::quit);
    std::puts("owned");
    std::fflush(stdout);
    return QGuiApplication::exec();
}
