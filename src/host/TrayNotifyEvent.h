#pragma once

#include <QEvent>

namespace brimlet {

// What the user did on the tray icon, delivered to the icon's window: the
// notification code (a mouse message number, 514 for a left release, ...).
class TrayNotifyEvent : public QEvent {
  public:
    explicit TrayNotifyEvent(int code) : QEvent(eventType()), code_(code) {}
    int code() const { return code_; }

    static QEvent::Type eventType() {
        static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
        return type;
    }

  private:
    int code_;
};

}  // namespace brimlet
