#include "app/EndSignals.h"

#include <QSocketNotifier>
#include <cerrno>
#include <csignal>

#include <fcntl.h>
#include <unistd.h>

namespace brimlet {

namespace {

int signalPipe[2] = {-1, -1};

extern "C" void onEndSignal(int number) {
    const int saved = errno;
    const char byte = static_cast<char>(number);
    // A full pipe already holds a signal to act on.
    [[maybe_unused]] const ssize_t written = ::write(signalPipe[1], &byte, 1);
    errno = saved;
}

}  // namespace

void catchEndSignals() {
    if (signalPipe[0] >= 0 || ::pipe2(signalPipe, O_CLOEXEC | O_NONBLOCK) != 0) return;
    struct sigaction action {};
    action.sa_handler = onEndSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int number : {SIGTERM, SIGHUP, SIGINT}) {
        struct sigaction before {};
        if (::sigaction(number, nullptr, &before) == 0 && before.sa_handler != SIG_IGN) {
            ::sigaction(number, &action, nullptr);
        }
    }
}

EndSignals::EndSignals(std::function<void()> end, QObject* parent)
    : QObject(parent), end_(std::move(end)) {
    if (signalPipe[0] < 0) return;
    notifier_ = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, [this] {
        char numbers[16];
        while (::read(signalPipe[0], numbers, sizeof numbers) > 0) {
        }
        end_();
    });
}

}  // namespace brimlet
