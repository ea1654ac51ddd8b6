#include "widgets/ProgramStyle.h"

#include <QGuiApplication>
#include <QImageReader>
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

}  // namespace

ProgramStyle::ProgramStyle() : QProxyStyle() {}

QIcon ProgramStyle::standardIcon(StandardPixmap which, const QStyleOption* option,
                                 const QWidget* widget) const {
    const bool rtl = (option != nullptr ? option->direction : QGuiApplication::layoutDirection()) ==
                     Qt::RightToLeft;
    QIcon icon;
    if (which == SP_ToolBarHorizontalExtensionButton) {
        for (const char* size : {"8", "16", "32"}) {
            addPng(icon, QStringLiteral("toolbar-ext-h-%1%2.png")
                             .arg(rtl ? QStringLiteral("rtl-") : QString(), QLatin1String(size)));
        }
    } else if (which == SP_ToolBarVerticalExtensionButton) {
        for (const char* size : {"5", "10", "20"}) {
            addPng(icon, QStringLiteral("toolbar-ext-v-%1.png").arg(QLatin1String(size)));
        }
    }
    return icon.isNull() ? QProxyStyle::standardIcon(which, option, widget) : icon;
}

}  // namespace brimlet
