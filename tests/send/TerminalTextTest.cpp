// Command-line arguments as bytes: UTF-8 up to U+00FF becomes one byte each,
// other bytes stay as they are, wider characters are refused.
#include "send/TerminalText.h"

#include <gtest/gtest.h>

namespace {

struct TerminalCase
{
    const char* raw;
    const char* bytes; // nullptr: refused
    int length;
};

class TerminalBytesCases : public ::testing::TestWithParam<TerminalCase>
{
};

TEST_P(TerminalBytesCases, MapAsTheTerminalTyped)
{
    const TerminalCase c = GetParam();
    QByteArray bytes;
    QString error;
    const bool ok = TerminalBytes(QByteArray(c.raw), bytes, error);
    if (!c.bytes) {
        EXPECT_FALSE(ok);
        EXPECT_FALSE(error.isEmpty());
        return;
    }
    EXPECT_TRUE(ok) << error.toStdString();
    EXPECT_EQ(bytes, QByteArray(c.bytes, c.length));
}

INSTANTIATE_TEST_SUITE_P(
    Examples, TerminalBytesCases,
    ::testing::Values(TerminalCase{"plain", "plain", 5},
                      TerminalCase{"caf\xc3\xa9", "caf\xe9", 4}, // U+00E9 is one byte
                      TerminalCase{"\xc3\xbf", "\xff", 1},       // U+00FF, the last one
                      TerminalCase{"\xc2\x80", "\x80", 1},       // U+0080
                      TerminalCase{"a\xff"
                                   "b",
                                   "a\xff"
                                   "b",
                                   3},                                 // not UTF-8: kept
                      TerminalCase{"\xe9t\xe9", "\xe9t\xe9", 3},       // Latin-1 typed raw
                      TerminalCase{"\xc0\x81", "\xc0\x81", 2},         // overlong: not UTF-8
                      TerminalCase{"\xed\xa0\x80", "\xed\xa0\x80", 3}, // a surrogate
                      TerminalCase{"\xc3", "\xc3", 1},                 // cut short
                      TerminalCase{"\xe2\x82\xac", nullptr, 0},        // U+20AC
                      TerminalCase{"ok\xf0\x9f\x98\x80", nullptr, 0}));

TEST(TerminalBytes, RefusalNamesTheCharacter)
{
    QByteArray bytes;
    QString error;
    ASSERT_FALSE(TerminalBytes("x\xe2\x82\xac", bytes, error));
    EXPECT_EQ(error,
              QString::fromUtf8("the character \xe2\x82\xac (U+20AC) cannot be sent as one byte"));
}

} // namespace
