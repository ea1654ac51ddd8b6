#pragma once

#include <QByteArray>
#include <QByteArrayView>

namespace brimlet {

// A text decoded to UTF-8, and whether every part of it could be decoded
// (what could not became U+FFFD).
struct DecodedText {
    QByteArray utf8;
    bool clean = true;
};

// Decodes X11 Compound Text (the COMPOUND_TEXT clipboard form): ASCII and
// Latin-1 to begin with, then whatever the escape sequences designate: the
// 96-character sets ISO 8859-N, the 94-character sets of JIS X 0201, the
// 94x94 sets GB 2312, JIS X 0208, JIS X 0212 and KS C 5601, UTF-8 segments
// (ESC % G ... ESC % @) and extended segments named by their encoding.
// Takes one pass over the bytes; the result is at most four times as long.
DecodedText decodeCompoundText(QByteArrayView bytes);

}  // namespace brimlet
