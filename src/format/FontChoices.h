#pragma once

#include <QStringList>

namespace brimlet {

// The choices of the font combo boxes and of the "Font" menu, in their order.
inline const QStringList kFontNames = {QStringLiteral("Amo Pro Caption"),
                                       QStringLiteral("Ms Gothic"),
                                       QStringLiteral("Ms Sans Serif"), QStringLiteral("MVSans")};
inline const QStringList kFontStyles = {QStringLiteral("Regular"), QStringLiteral("Bold"),
                                        QStringLiteral("Italic")};
inline const QStringList kFontSizes = {QStringLiteral("8"),  QStringLiteral("10"),
                                       QStringLiteral("12"), QStringLiteral("14"),
                                       QStringLiteral("18"), QStringLiteral("24")};
inline const QStringList kFontColors = {QStringLiteral("Black"), QStringLiteral("Blue"),
                                        QStringLiteral("Red")};

}  // namespace brimlet
