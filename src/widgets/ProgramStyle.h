#pragma once

#include <QProxyStyle>

namespace brimlet {

// The platform's own style, but for the icons of the extension buttons of
// menu and tool bars: a menu bar takes one as it is made, though it shows
// it only when its entries run out of room. Reading the icon's files means
// Qt's image reader looking through its plugins first, which alone held the
// first paint back by a millisecond or two. Here the files are read when
// the icon is first drawn or measured, and read as the PNGs they are.
class ProgramStyle : public QProxyStyle {
  public:
    ProgramStyle();
    QIcon standardIcon(StandardPixmap which, const QStyleOption* option = nullptr,
                       const QWidget* widget = nullptr) const override;
};

}  // namespace brimlet
