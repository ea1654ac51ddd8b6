#include "widgets/ProgramStyle.h"

#include <QGuiApplication>
#include <QIconEngine>
#include <QImageReader>
#include <QPainter>
#include <QPixmap>
#include <QStyleOption>

namespace brimlet {

namespace {

// A PNG of Qt's own resources, read as a PNG: no format is guessed.
void addPng(QIcon& icon, const QString& name) {
    QImageReader reader(QStringLiteral(":/qt-project.org/styles/commonstyle/images/") + name,
                        "png");
    reader.setAutoDetectImageFormat(false);
    const QImage image = reader.read();
    if (!image.isNull()) icon.addPixmap(QPixmap::fromImage(image));
}

// An icon whose files are read when it is first drawn or measured: an
// extension button is shown only when its bar runs out of room.
class IconReadWhenDrawn : public QIconEngine {
  public:
    explicit IconReadWhenDrawn(QStringList names) : names_(std::move(names)) {}
    QIconEngine* clone() const override { return new IconReadWhenDrawn(*this); }
    void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode,
               QIcon::State state) override {
        icon().paint(painter, rect, Qt::AlignCenter, mode, state);
    }
    QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State state) override {
        return icon().pixmap(size, mode, state);
    }
    QSize actualSize(const QSize& size, QIcon::Mode mode, QIcon::State state) override {
        return icon().actualSize(size, mode, state);
    }
    QList<QSize> availableSizes(QIcon::Mode mode, QIcon::State state) override {
        return icon().availableSizes(mode, state);
    }

  private:
    const QIcon& icon() {
        if (!read_) {
            read_ = true;
            for (const QString& name : names_) addPng(icon_, name);
        }
        return icon_;
    }
    QStringList names_;
    bool read_ = false;
    QIcon icon_;
};

}  // namespace

ProgramStyle::ProgramStyle() : QProxyStyle() {}

QIcon ProgramStyle::standardIcon(StandardPixmap which, const QStyleOption* option,
                                 const QWidget* widget) const {
    const bool rtl = (option != nullptr ? option->direction : QGuiApplication::layoutDirection()) ==
                     Qt::RightToLeft;
    QStringList names;
    if (which == SP_ToolBarHorizontalExtensionButton) {
        for (const char* size : {"8", "16", "32"}) {
            names << QStringLiteral("toolbar-ext-h-%1%2.png")
                         .arg(rtl ? QStringLiteral("rtl-") : QString(), QLatin1String(size));
        }
    } else if (which == SP_ToolBarVerticalExtensionButton) {
        for (const char* size : {"5", "10", "20"}) {
            names << QStringLiteral("toolbar-ext-v-%1.png").arg(QLatin1String(size));
        }
    }
    if (names.isEmpty()) return QProxyStyle::standardIcon(which, option, widget);
    return QIcon(new IconReadWhenDrawn(std::move(names)));
}

}  // namespace brimlet
