#pragma once

#include <QObject>
#include <functional>

class QSocketNotifier;

namespace brimlet {

// The signals that end a session (SIGTERM, SIGHUP at a desktop logout,
// SIGINT from a terminal) end Brimlet the way "Exit" does, so nothing is
// left behind. A signal handler may do next to nothing safely: it only
// writes the signal's number to a pipe, which the event loop watches.

// Catches those signals from now on (one that is ignored, as under nohup,
// stays ignored). One that comes before an EndSignals object exists waits
// in the pipe.
void catchEndSignals();

// Calls `end` from the event loop for each signal caught.
class EndSignals : public QObject {
    Q_OBJECT
  public:
    explicit EndSignals(std::function<void()> end, QObject* parent = nullptr);

  private:
    QSocketNotifier* notifier_ = nullptr;
    std::function<void()> end_;
};

}  // namespace brimlet
