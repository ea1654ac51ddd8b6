#pragma once

#include <QObject>
#include <QString>
#include <QTimer>
#include <functional>

class QSocketNotifier;

namespace brimlet {

// A Brimlet listens on a local socket named after its folder, so that a
// second start in the same folder can ask it to bring its window back
// instead of leaving it hidden in the tray. The socket is a file in the
// user's runtime folder ($XDG_RUNTIME_DIR) when that is a folder of the
// user's own that no one else may enter and the path fits a socket's
// name; otherwise a name in Linux's abstract namespace made of the user's
// id and the folder. Never a shared folder. Both sides talk only to a peer
// of the same user.

// The running side. `show` brings the window to the front and says whether
// there was one to bring. The socket file goes with the object.
class SecondStartListener : public QObject {
    Q_OBJECT
  public:
    SecondStartListener(const QString& folder, std::function<bool()> show,
                        QObject* parent = nullptr);
    ~SecondStartListener() override;
    bool isListening() const { return fd_ >= 0; }

  private:
    void acceptCallers();
    void answer(int fd);
    void callerGone();

    int fd_ = -1;
    QByteArray file_;  // the socket file, when it is one
    quint64 device_ = 0;
    quint64 inode_ = 0;
    QSocketNotifier* notifier_ = nullptr;
    QTimer retry_;  // accepting again after running out of descriptors
    int callers_ = 0;
    bool closing_ = false;
    std::function<bool()> show_;
};

// The user's runtime folder ($XDG_RUNTIME_DIR) when it is the user's own
// and no one else may enter it; empty otherwise.
QByteArray privateRuntimeFolder();

// The starting side: asks the Brimlet running in `folder` to show its
// window. Returns whether it did; waits a few seconds at most.
bool askRunningBrimletToShow(const QString& folder);

}  // namespace brimlet
