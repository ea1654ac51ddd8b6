#pragma once

#include <QImage>
#include <QString>
#include <QStringList>

#include "capture/CaptureEngine.h"
#include "capture/CaptureView.h"

namespace brimlet::testing {

// A window for the capture engine that records what it is asked to show,
// and keeps the "On"/"Off" selection as option buttons do: selecting the one
// not selected runs its action on the engine.
class FakeCaptureView : public CaptureView {
  public:
    CaptureEngine* engine = nullptr;
    QString selected = QStringLiteral("none");  // "none", "On" or "Off"
    QImage picture;
    QString text;
    QStringList added;  // names of the capture files, in order
    QStringList calls;

    void showPicture(const QImage& p) override {
        picture = p;
        calls << QStringLiteral("showPicture");
    }
    void showText(const QString& t) override {
        text = t;
        calls << QStringLiteral("showText");
    }
    void showTextStart(const QString& start, qsizetype length, const FolderFile& file) override {
        text = start;
        calls
            << QStringLiteral("showTextStart %1 %2").arg(length).arg(QString::fromUtf8(file.name));
    }
    void pictureAdded(const QString& name) override {
        added << name;
        calls << QStringLiteral("pictureAdded ") + name;
    }
    void textAdded(const QString& name) override {
        added << name;
        calls << QStringLiteral("textAdded ") + name;
    }
    void selectCaptureOn() override {
        calls << QStringLiteral("selectOn");
        if (selected == QLatin1String("On")) return;
        selected = QStringLiteral("On");
        engine->turnOnEmptyingClipboard();
    }
    void selectCaptureOff() override {
        calls << QStringLiteral("selectOff");
        if (selected == QLatin1String("Off")) return;
        selected = QStringLiteral("Off");
        engine->turnOff();
    }
};

}  // namespace brimlet::testing
