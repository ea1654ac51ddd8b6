#pragma once

#include <QObject>
#include <QString>
#include <functional>

class QLocalServer;

namespace brimlet {

// A Brimlet listens on a local socket named after its folder (in the user's
// runtime folder), so that a second start in the same folder can ask it to
// bring its window back instead of leaving it hidden in the tray.
QString secondStartSocketPath(const QString& folder);

// The running side. `show` brings the window to the front and says whether
// there was one to bring.
class SecondStartListener : public QObject {
    Q_OBJECT
  public:
    SecondStartListener(const QString& folder, std::function<bool()> show,
                        QObject* parent = nullptr);
    ~SecondStartListener() override;
    bool isListening() const;

  private:
    void answer();

    QLocalServer* server_;
    std::function<bool()> show_;
};

// The starting side: asks the Brimlet running in `folder` to show its
// window. Returns whether it did; waits a few seconds at most.
bool askRunningBrimletToShow(const QString& folder);

}  // namespace brimlet
