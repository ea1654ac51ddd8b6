#pragma once

#include <QProxyStyle>

namespace brimlet {

// The platform's own style, but for the icons of the extension buttons of
// menu and tool bars: a menu bar takes one as it is made, and the style
// reads it from a file whose type Qt would first ask every image plugin
// about, loading each of them, which alone holds the first paint back by
// several milliseconds. Here those files are read as the PNGs they are.
class ProgramStyle : public QProxyStyle {
  public:
    ProgramStyle();
    QIcon standardIcon(StandardPixmap which, const QStyleOption* option = nullptr,
                       const QWidget* widget = nullptr) const override;
};

}  // namespace brimlet
