#include <gtest/gtest.h>

#include "common/QtPrinters.h"

#include "history/LineReader.h"

namespace brimlet {
namespace {

TEST(LineReader, EveryLineEndsInCrLfAndALoneLfStaysInside) {
    EXPECT_EQ(linesWithCrLf(""), "");
    EXPECT_EQ(linesWithCrLf("abc"), "abc\r\n");
    EXPECT_EQ(linesWithCrLf("one\r\ntwo\r\n"), "one\r\ntwo\r\n");
    EXPECT_EQ(linesWithCrLf("one\ntwo\n"), "one\ntwo\n\r\n");
    EXPECT_EQ(linesWithCrLf("a\rb"), "a\r\nb\r\n");
    EXPECT_EQ(linesWithCrLf("a\r"), "a\r\n");
    EXPECT_EQ(linesWithCrLf("\r\n"), "\r\n");
    EXPECT_EQ(linesWithCrLf("a\r\rb\r\n\n"), "a\r\n\r\nb\r\n\n\r\n");
    EXPECT_EQ(capturedText("one\ntwo\n\r\n"), "one\ntwo\n");  // only the file's own CR LF goes
    EXPECT_EQ(capturedText("a\r\n\r\n"), "a\r\n");
    EXPECT_EQ(capturedText("a\rb"), "a\r\nb");
}

}  // namespace
}  // namespace brimlet
