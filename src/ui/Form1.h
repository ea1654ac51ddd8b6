#pragma once

#include <QMainWindow>
#include <QPointer>
#include <QString>
#include <QTemporaryDir>
#include <memory>

#include "capture/CaptureStore.h"
#include "tray/TrayRecord.h"

class QAction;
class QLabel;
class QMenu;
class QPushButton;
class QRadioButton;
class QTimer;

namespace brimlet {

class ChoiceCombo;
class ClickLabel;
class DocumentHolder;
class FileList;
class Host;
class RuntimeError;
class ImageBox;
class SaveAsDialog;
class TextBox;

// The main window. It owns the controls and the run's state; its event
// handlers are named control + "_" + event and live beside the subsystem
// they belong to (app/, capture/, history/, format/, tray/, dialogs/, help/).
class Form1 : public QMainWindow {
    Q_OBJECT
  public:
    // `folder` is the working directory: the capture files and the counter
    // file live there.
    Form1(Host& host, const QString& folder, QWidget* parent = nullptr);
    ~Form1() override;

    // Start-up and shut-down (app/).
    void Form_Load();
    void Form_Unload(int& cancel);

    // Clipboard poller and capture switch (capture/).
    void Timer1_Timer();
    void clipboardChanged();
    void Option1_Click();
    void Option2_Click();
    void Label1_Click();
    void clon_Click();
    void clipoff_Click();
    void offf_Click();

    // History lists, copy back, delete (history/).
    void File1_Click();
    void File2_Click();
    void Command1_Click();
    void im_Click();
    void Command3_Click();
    void tx_Click();
    void Command2_Click();
    void dlim_Click();
    void Command4_Click();
    void deltext_Click();

    // Font controls (format/).
    void Combo1_Click();
    void Combo2_Click();
    void Combo3_Click();
    void Combo4_Click();
    void amprog_Click();
    void adfda_Click();
    void msssan_Click();
    void adsdf_Click();
    void eight_Click();
    void ten_Click();
    void twe_Click();
    void fourte_Click();
    void eighteren_Click();
    void twetny_Click();
    void reg_Click();
    void bold_Click();
    void itvs_Click();
    void blk_Click();
    void blue_Click();
    void redf_Click();

    // Tray icon and window states (tray/).
    void Form_MouseMove(int button, int shift, double x, double y);
    void Form_Resize();
    void mPopRestore_Click();
    void mPopExit_Click();
    void ex_Click();

    // Save As dialogs (dialogs/) and help (help/).
    void savtexas_Click();
    void saveia_Click();
    void ab_Click();
    void inst_Click();
    void cus_Click();
    void doll_Click();
    void twodol_Click();
    void threedol_Click();

    // The capture state is Timer1's enabled flag.
    bool timer1Enabled() const;
    void setTimer1Enabled(bool enabled);

    // Gives the focus to an option button; one that was not selected becomes
    // selected and runs its click action, as a click by the user would.
    void giveFocus(QRadioButton* button);

    // Window scale: coordinates of mouse events are in twips.
    int scaleMode() const { return kScaleTwips; }
    double twipsPerPixelX() const;

    bool isLoaded() const { return loaded_; }
    CaptureStore& store() { return store_; }
    qint16 tickCounter() const { return tickCounter_; }
    const QString& heldText() const { return heldText_; }
    const QString& loadedText() const { return loadedText_; }
    const TrayRecord& trayRecord() const { return trayRecord_; }
    SaveAsDialog* savetextDialog() const;
    SaveAsDialog* saveimageDialog() const;

    // Controls, by their designer names.
    ChoiceCombo* Combo4;
    ChoiceCombo* Combo3;
    ChoiceCombo* Combo2;
    ChoiceCombo* Combo1;
    QRadioButton* Option2;
    QRadioButton* Option1;
    QPushButton* Command4;
    QPushButton* Command3;
    QPushButton* Command2;
    FileList* File2;
    TextBox* Text1;
    QPushButton* Command1;
    FileList* File1;
    QTimer* Timer1;
    DocumentHolder* OLE6;
    DocumentHolder* OLE5;
    DocumentHolder* OLE4;
    QLabel* Label5;
    QLabel* Label4;
    QLabel* Label3;
    QLabel* Label2;
    DocumentHolder* OLE1;
    DocumentHolder* OLE3;
    DocumentHolder* OLE2;
    ClickLabel* Label1;
    ImageBox* Image2;
    ImageBox* Image1;

    // Menus and their items, by their designer names.
    QMenu *fi, *c, *dl, *saveas, *fods, *afddf, *fsg, *fontstyel, *fontcolor, *dadd, *clon, *hlp,
        *don, *mPopupSys;
    QAction *im, *tx, *dlim, *deltext, *saveia, *savtexas;
    QAction *amprog, *adfda, *msssan, *adsdf;
    QAction *eight, *ten, *twe, *fourte, *eighteren, *twetny;
    QAction *reg, *bold, *itvs, *blk, *blue, *redf;
    QAction *clipoff, *offf;
    QAction *ab, *inst, *cus, *doll, *twodol, *threedol;
    QAction *ex, *mPopRestore, *mPopExit;

  protected:
    bool event(QEvent* event) override;
    void changeEvent(QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

  private:
    using Handler = void (Form1::*)();

    void createControls(const QString& folder);
    void createMenus();
    void describeControls();
    void wireEvents();
    void setTabOrder();
    void on(QAction* action, Handler handler);
    void captureChecks();
    // Runs a capture: a failing one also switches capturing off.
    void runCapture(Handler handler);
    // Runs a handler; a run-time error it lets through is shown and the
    // program goes on.
    void run(Handler handler);
    void restoreSequence();
    void reportUnreadableEntry(FileList* list, const RuntimeError& error);
    void copyPictureBack(const QString& message);
    void copyTextBack(const QString& text, const QString& message);
    void deletePicture();
    void deleteText(const QStringList& protectedNames);
    template <class Dialog>
    void openDialog(QPointer<SaveAsDialog>& dialog);
    void openEmbedded(const DocumentHolder* holder);

    Host& host_;
    CaptureStore store_;
    qint16 tickCounter_ = 0;
    QString heldText_;
    QString loadedText_;
    TrayRecord trayRecord_;
    bool loaded_ = true;
    bool changePending_ = false;
    QPointer<SaveAsDialog> savetext_;
    QPointer<SaveAsDialog> saveimage_;
    std::unique_ptr<QTemporaryDir> documents_;  // private folder for opened documents
};

// The program ends when none of its windows is loaded any more: the main
// window has been unloaded and no Save As dialog (a window with the property
// kProgramWindow set) is open.
inline constexpr char kProgramWindow[] = "brimletProgramWindow";
void endWhenNoWindowIsLoaded();

}  // namespace brimlet
