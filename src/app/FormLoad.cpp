// Start-up and shut-down of the main window.

#include <QDir>

#include "host/Host.h"
#include "host/Untrapped.h"
#include "ui/Controls.h"
#include "ui/Form1.h"

namespace brimlet {

namespace {

void fill(ChoiceCombo* box, std::initializer_list<const char*> items) {
    for (const char* item : items) box->addItem(QString::fromLatin1(item));
    box->setCurrentIndex(-1);  // the edit field stays empty until a choice
}

}  // namespace

void Form1::Form_Load() {
    show();
    repaint();

    trayRecord_ = makeTrayRecord(static_cast<std::uint32_t>(winId()),
                                 static_cast<std::uint32_t>(windowIcon().cacheKey()),
                                 QDir::cleanPath(store_.path(QStringLiteral("."))));
    host_.shellNotifyIcon(NIM_ADD, trayRecord_);  // a refused icon goes unnoticed

    // Each step is trapped on its own: failing to fill the boxes or to empty
    // the clipboard must not keep the counters from being read, or numbers
    // already used would be handed out again.
    (void)trapRunTimeError([this] {
        fill(Combo1, {"Regular", "Bold", "Italic"});
        fill(Combo2, {"8", "10", "12", "14", "18", "24"});
        fill(Combo3, {"Black", "Blue", "Red"});
        fill(Combo4, {"Amo Pro Caption", "Ms Gothic", "Ms Sans Serif", "MVSans"});
    });
    // Nothing that was on the clipboard before the start is ever captured.
    (void)trapRunTimeError([this] { host_.clipboardClear(); });
    if (trapRunTimeError([this] { store_.readCounters(); })) {
        store_.counters() = Counters{};  // no readable counter file: number from 1
    }
    tickCounter_ = 0;
}

void Form1::Form_Unload(int& /*cancel*/) {
    host_.shellNotifyIcon(NIM_DELETE, trayRecord_);
}

}  // namespace brimlet
