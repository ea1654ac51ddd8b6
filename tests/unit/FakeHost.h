#pragma once

#include <QImage>
#include <QString>
#include <QStringList>
#include <functional>
#include <optional>

#include <QMenu>

#include "base/RuntimeError.h"
#include "host/Host.h"

namespace brimlet::testing {

// A host with an in-memory clipboard that records what the handlers do.
class FakeHost : public Host {
  public:
    std::optional<QImage> picture;
    std::optional<QString> text;
    QStringList calls;  // "beep", "clear", "msgBox 64 Title: prompt", ...
    std::function<void(const QString& call)> failOn;  // may throw for a call
    std::function<void()> duringMsgBox;               // runs while a message box is open
    bool trayShown = true;
    QString trayTip;  // the tray icon's, while it is there
    TrayActivated trayActivated;

    bool clipboardHasFormat(ClipFormat format) override {
        if (passedOver && passedOver->first == picture && passedOver->second == text) return false;
        return format == ClipFormat::Bitmap ? picture.has_value() : text.has_value();
    }
    QImage clipboardGetPicture() override {
        record(QStringLiteral("getPicture"));
        return picture.value_or(QImage());
    }
    QString clipboardGetText() override {
        record(QStringLiteral("getText"));
        return text.value_or(QString());
    }
    QByteArray clipboardGetTextUtf8() override {
        record(QStringLiteral("getTextUtf8"));
        return text.value_or(QString()).toUtf8();
    }
    void clipboardSetPicture(const QImage& p) override {
        if (p.isNull()) throw RuntimeError::cannotOpenClipboard();  // as the clipboard refuses it
        record(QStringLiteral("setPicture"));
        text.reset();
        picture = p;
    }
    void clipboardSetText(const QString& t) override {
        record(QStringLiteral("setText"));
        picture.reset();
        text = t;
    }
    void clipboardClear() override {
        record(QStringLiteral("clear"));
        picture.reset();
        text.reset();
    }
    void clipboardClearCaptured() override { clipboardClear(); }
    // What is passed over or left offers no format until the content changes.
    void clipboardPassOver() override { passedOver.emplace(picture, text); }
    void clipboardLeaveCaptured() override { clipboardPassOver(); }
    std::optional<std::pair<std::optional<QImage>, std::optional<QString>>> passedOver;
    void onClipboardChanged(std::function<void()> handler) override {
        changed = std::move(handler);
    }
    bool clipboardNeedsPolling() override { return needsPolling; }
    bool needsPolling = true;
    void onClipboardProblem(std::function<void(const RuntimeError&)> handler) override {
        problem = std::move(handler);
    }
    std::function<void(const RuntimeError&)> problem;
    // Another program copies: the content changes and the change is reported.
    void copyInAnotherProgram(std::optional<QString> newText,
                              std::optional<QImage> newPicture = {}) {
        text = std::move(newText);
        picture = std::move(newPicture);
        if (changed) changed();
    }
    std::function<void()> changed;

    void msgBox(const QString& prompt, MsgStyle style, const QString& title) override {
        record(QStringLiteral("msgBox %1 %2: %3").arg(style).arg(title, prompt));
        if (duringMsgBox) duringMsgBox();
    }
    bool msgBoxYesNo(const QString& prompt, const QString& title) override {
        record(QStringLiteral("msgBoxYesNo %1: %2").arg(title, prompt));
        return true;  // the user agrees
    }
    void beep() override { record(QStringLiteral("beep")); }
    void bringToFront(QWidget*) override { record(QStringLiteral("bringToFront")); }
    void popupMenu(QMenu* menu) override { record(QStringLiteral("popup ") + menu->objectName()); }
    void openDocument(const QString& path) override { record(QStringLiteral("open ") + path); }
    void addTrayIcon(QWidget*, const QString& tip, TrayActivated activated) override {
        record(QStringLiteral("tray add"));
        trayTip = tip;
        trayActivated = std::move(activated);
    }
    void removeTrayIcon() override {
        record(QStringLiteral("tray remove"));
        trayTip.clear();
        trayActivated = nullptr;
    }
    bool trayIconShown() override { return trayShown; }

    QStringList messages() const { return calls.filter(QStringLiteral("msgBox")); }

  private:
    void record(const QString& call) {
        if (failOn) failOn(call);
        calls << call;
    }
};

}  // namespace brimlet::testing
