// A clipboard owner for the end-to-end tests: offers a text, and optionally a
// password manager's hint beside it, as a desktop program would. Prints
// "owned" once it holds the clipboard; ends when it loses it, or after a
// minute.
//
// With --silent-manager it plays a clipboard manager that has stopped
// answering instead: it takes CLIPBOARD_MANAGER and never reads a request.
//
// usage: clipboard_owner TEXT [HINT] | clipboard_owner --silent-manager

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>
#include <QTimer>
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

}  // namespace

int main(int argc, char** argv) {
    if (argc == 2 && std::strcmp(argv[1], "--silent-manager") == 0) return beSilentManager();
    QGuiApplication app(argc, argv);
    if (argc < 2) return 2;
    auto* data = new QMimeData;
    data->setText(QString::fromUtf8(argv[1]));
    if (argc > 2) data->setData(QStringLiteral("x-kde-passwordManagerHint"), argv[2]);
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
