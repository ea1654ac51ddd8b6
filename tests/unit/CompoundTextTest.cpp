#include <gtest/gtest.h>

#include "common/QtPrinters.h"

#include "host/x11/CompoundText.h"

namespace brimlet {
namespace {

TEST(CompoundText, EveryDesignatedSetIsDecodedAndTheRestReplaced) {
    // Latin-1 to begin with, then JIS X 0208 and ISO 8859-5 to the right,
    // GB 2312 to the left, KS C 5601, a UTF-8 segment, JIS X 0201.
    const DecodedText text = decodeCompoundText(
        "caf\xe9 \x1b$)B\xc6\xfc\xcb\xdc\x1b-L\xbf\xe0 \x1b$(A\x30\x21\x1b(B "
        "\x1b$)C\xb0\xa1 \x1b%Gh\xc3\xa9\x1b%@\x1b(J\\\x1b)I\xb1\n");
    EXPECT_TRUE(text.clean);
    EXPECT_EQ(QString::fromUtf8(text.utf8), QString::fromUtf8("café 日本Пр 啊 가 hé¥ｱ\n"));
    // A set that is not known, a character its set lacks, a cut-off escape.
    const DecodedText bad = decodeCompoundText(
        "\x1b-~\xa1\x1b$)B\xa9\xa1"
        "a\x1b$");
    EXPECT_FALSE(bad.clean);
    EXPECT_EQ(QString::fromUtf8(bad.utf8), QString::fromUtf8("\uFFFD\uFFFDa\uFFFD"));
}

}  // namespace
}  // namespace brimlet
