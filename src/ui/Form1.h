#pragma once

#include <QMainWindow>
#include <QString>

#include "capture/CaptureStore.h"

class QRadioButton;
class QTimer;

namespace brimlet {

class FileList;
class Host;
class ImageBox;
class TextBox;

// The main window. It owns the controls and the run's state; its event
// handlers are named control + "_" + event and live beside the subsystem
// they belong to (capture/, app/, ...).
class Form1 : public QMainWindow {
    Q_OBJECT
public:
    // `folder` is the working directory: the capture files and the counter
    // file live there.
    Form1(Host& host, const QString& folder, QWidget* parent = nullptr);
    ~Form1() override;

    // Start-up (app/).
    void Form_Load();

    // Clipboard poller (capture/).
    void Timer1_Timer();

    // Capture switch (capture/).
    void Option1_Click();
    void Option2_Click();

    // The capture state is Timer1's enabled flag.
    bool timer1Enabled() const;
    void setTimer1Enabled(bool enabled);

    // Gives the focus to an option button; one that was not selected becomes
    // selected and runs its click action, as a click by the user would.
    void giveFocus(QRadioButton* button);

    CaptureStore& store() { return store_; }
    qint16 tickCounter() const { return tickCounter_; }
    const QString& heldText() const { return heldText_; }

    // Controls, by their designer names.
    QTimer* Timer1;
    TextBox* Text1;
    ImageBox* Image1;
    ImageBox* Image2;
    FileList* File1;
    FileList* File2;
    QRadioButton* Option1;
    QRadioButton* Option2;

private:
    void createControls(const QString& folder);
    void wireEvents();
    void onTimer1();
    // Runs a handler; a run-time error it lets through is shown and the
    // program goes on.
    void run(void (Form1::*handler)());

    Host& host_;
    CaptureStore store_;
    qint16 tickCounter_ = 0;
    QString heldText_;
};

}  // namespace brimlet
