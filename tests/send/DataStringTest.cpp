// Data strings: escapes, tokens, checksum state across sends, file references.
#include "send/DataString.h"

#include <QByteArray>
#include <cstdio>
#include <gtest/gtest.h>
#include <thread>
#include <vector>

namespace {

QByteArray Hex(const char* hex)
{
    return QByteArray::fromHex(hex);
}

// Every transmit call of one encode, in order.
std::vector<QByteArray> EncodeCalls(const QByteArray& text, ChecksumState& state)
{
    std::vector<QByteArray> calls;
    EncodeDataString(text, state,
                     [&calls](const char* data, int count) { calls.emplace_back(data, count); });
    return calls;
}

// The bytes of a (non-file) send, which must be exactly one transmit call.
QByteArray Send(const QByteArray& text, ChecksumState& state)
{
    const std::vector<QByteArray> calls = EncodeCalls(text, state);
    EXPECT_EQ(calls.size(), 1u) << text.constData();
    return calls.empty() ? QByteArray() : calls.front();
}

struct BytesCase
{
    const char* text;
    const char* hex;
};

void PrintTo(const BytesCase& c, std::ostream* os)
{
    *os << '"' << c.text << '"';
}

class Escape : public ::testing::TestWithParam<BytesCase>
{
};

TEST_P(Escape, DecodesToItsBytes)
{
    EXPECT_EQ(DecodeDataString(GetParam().text).toHex(), Hex(GetParam().hex).toHex());
}

INSTANTIATE_TEST_SUITE_P(
    Table, Escape,
    ::testing::Values(BytesCase{"", ""}, BytesCase{"Ab~|", "41627e7c"}, BytesCase{"^M", "0d"},
                      BytesCase{"^@", "00"}, BytesCase{"^[", "1b"}, BytesCase{"^^", "5e"},
                      BytesCase{"^\x10", "d0"}, BytesCase{"^", "c0"}, BytesCase{"x^", "78c0"},
                      BytesCase{"^%", "e5"}, BytesCase{"%%", "25"}, BytesCase{"%0D%0a", "0d0a"},
                      BytesCase{"%ff", "ff"}, BytesCase{"%7G", "07"}, BytesCase{"%A", "0a"},
                      BytesCase{"%0%", "00"}, BytesCase{"%-1", "ff"},

                      BytesCase{"%ZZ", "00"}, BytesCase{"%ZZA", "0041"},
                      BytesCase{"%7E|", "7e7c"}));

// The two characters after a percent sign are read as the C library's "%X"
// conversion reads them (in the C locale); where it finds no number the byte
// is 0x00.
TEST(EscapeConversion, MatchesTheHexInputConversionForEveryAsciiPair)
{
    for (int a = 0; a < 128; ++a) {
        for (int b = 0; b < 128; ++b) {
            if (a == '%') {
                continue; // %% is the percent escape
            }
            const char pair[3] = {static_cast<char>(a), static_cast<char>(b), '\0'};
            unsigned value = 0;
            const uint8_t expected =
                std::sscanf(pair, "%X", &value) == 1 ? static_cast<uint8_t>(value) : 0x00;
            const QByteArray decoded = DecodeDataString(QByteArray("%") + QByteArray(pair, 2));
            ASSERT_EQ(decoded, QByteArray(1, static_cast<char>(expected))) << a << ' ' << b;
        }
    }
}

TEST(Refusal, TrailingLonePercentRefusesTheWholeSend)
{
    for (const char* text : {"%", "ABC%", "%%%", "^^%", "~|CHK-SUM|~AB~|CHK-OUT|~%"}) {
        ChecksumState state;
        int calls = 0;
        EXPECT_THROW(EncodeDataString(text, state, [&calls](const char*, int) { ++calls; }),
                     CDataStringError)
            << text;
        EXPECT_EQ(calls, 0) << text;
        EXPECT_EQ(state.method, ChecksumState::None) << text;
    }
}

class Encode : public ::testing::TestWithParam<BytesCase>
{
};

TEST_P(Encode, FreshStateSendsExactlyTheseBytes)
{
    ChecksumState state;
    EXPECT_EQ(Send(GetParam().text, state).toHex(), Hex(GetParam().hex).toHex());
}

INSTANTIATE_TEST_SUITE_P(
    WorkedExamples, Encode,
    ::testing::Values(BytesCase{"%02~|CHK-SUM|~ABC~|CHK-OUTHEXSTR|~%03", "02414243433603"},
                      BytesCase{"~|CHK-CRC-16/MODBUS|~123456789~|CHK-OUT|~",
                                "313233343536373839374b"},
                      BytesCase{"~|CHK-2S_CMPL|~^A^B~|CHK-OUT|~", "0102fd"},
                      BytesCase{"~|CHK-LRC|~AB~|CHK-STOP|~C~|CHK-OUT|~", "41424303"}));

INSTANTIATE_TEST_SUITE_P(
    TokenBoundaries, Encode,
    ::testing::Values(BytesCase{"", ""}, BytesCase{"~||~", "7e7c7c7e"}, BytesCase{"~||~X", "58"},
                      BytesCase{"A~||~", "417e7c7c7e"}, BytesCase{"~X~|", "7e587e7c"},
                      BytesCase{"~|CHK-SUM|xAB~|CHK-OUT|~", "414283"},
                      BytesCase{"~|CHK-SUM|~AB~|CHK-OUT", "4142"},
                      BytesCase{"%7E|CHK-SUM|~AB%7E%7CCHK-OUT|~", "414283"},
                      BytesCase{"~|CHK-SUM|~A~|CHK-XYZ|~B~|CHK-OUT|~", "414283"},
                      BytesCase{"~|CHK-SUM%00junk|~AB~|CHK-OUT|~", "414283"}));

// A keyword of 22 or more characters is dropped like any unknown keyword.
INSTANTIATE_TEST_SUITE_P(
    KeywordLength, Encode,
    ::testing::Values(
        BytesCase{"~|CHK-SUM|~A~|CHK-STOP|~B~|CHK-STARTxxxxxxxxxxxx|~C~|CHK-OUT|~", "41424384"},
        BytesCase{"~|CHK-SUM|~A~|CHK-STOP|~B~|CHK-STARTxxxxxxxxxxxxx|~C~|CHK-OUT|~", "41424341"}));

INSTANTIATE_TEST_SUITE_P(
    Operations, Encode,
    ::testing::Values(BytesCase{"~|XHK-SUM|~AB~|CHK-OUT|~", "4142"},
                      BytesCase{"~|CHKSUM|~AB~|CHK-OUT|~", "4142"},
                      BytesCase{"~|CHK-SUMX|~AB~|CHK-OUT|~", "4142"},
                      BytesCase{"~|CHK-START|~AB~|CHK-OUT|~", "4142"},
                      BytesCase{"~|CHK-SUM|~AB~|CHK-OUTX|~~|CHK-OUTHEXSTRX|~", "4142833833"},
                      BytesCase{"~|CHK-SUM|~A~|CHK-OUT|~B~|CHK-OUT|~", "41414283"},
                      BytesCase{"~|CHK-2S_CMPX|~A~|CHK-OUTHEXSTR|~", "414246"},
                      BytesCase{"~|CHK-CRC-16|~AB~|CHK-OUT|~", "4142"},
                      BytesCase{"~|CHK-SUM|~A~|CHK-CRC-16/modbus|~B~|CHK-OUT|~", "4142"},
                      BytesCase{"~|CHK-CRC-32/ISO-HDLC|~123456789~|CHK-OUT|~~|CHK-OUTHEXSTR|~",
                                "3132333435363738392639f4cb4342463433393236"},
                      BytesCase{"~|CHK-CRC-16/MODBUS|~12345~|CHK-CRC-32/ISO-HDLC|~123456789~|"
                                "CHK-OUT|~",
                                "31323334353132333435363738392639f4cb"},
                      BytesCase{"~|CHK-CRC-16/MODBUS|~1234~|CHK-CRC-32/MODBUS|~56789~|CHK-OUT|~",
                                "313233343536373839374b"}));

TEST(ChecksumCarryOver, MethodAndAccumulatorOutliveTheSend)
{
    ChecksumState state;
    EXPECT_EQ(Send("~|CHK-SUM|~AB", state), QByteArray("AB"));
    // Accumulating is off at the start of each send, the sum is kept.
    EXPECT_EQ(Send("C~|CHK-OUT|~", state), Hex("4383"));
    EXPECT_EQ(Send("~|CHK-START|~D~|CHK-OUT|~", state), Hex("44c7"));
    EXPECT_EQ(Send("~|CHK-LRC|~A~|CHK-OUT|~", state), Hex("4141"));
}

TEST(ChecksumCarryOver, ResumedCrcStartsFromZeroAndReselectionRestarts)
{
    ChecksumState state;
    const QByteArray modbus = Hex("313233343536373839374b");
    EXPECT_EQ(Send("~|CHK-CRC-16/MODBUS|~123456789~|CHK-OUT|~", state), modbus);
    EXPECT_EQ(Send("~|CHK-CRC-16/MODBUS|~123456789~|CHK-OUT|~", state), modbus);
    EXPECT_STREQ(state.modelName, "CRC-16/MODBUS");

    const uint8_t tail[] = {'5', '6', '7', '8', '9'};
    const uint64_t fromZero = CrcBytewise(state.model, 0, tail, sizeof tail);
    const QByteArray sent = Send("~|CHK-START|~56789~|CHK-OUT|~", state);
    EXPECT_EQ(sent, QByteArray("56789") + static_cast<char>(fromZero & 0xFF) +
                        static_cast<char>(fromZero >> 8));

    // A name without a slash selects CRC but starts nothing: the register is 0.
    EXPECT_EQ(Send("~|CHK-CRC-16|~AB~|CHK-OUT|~", state), Hex("41420000"));
    EXPECT_STREQ(state.modelName, "CRC-16/MODBUS");

    EXPECT_EQ(Send("~|CHK-CRC-32/ISO-HDLC|~~|CHK-OUTHEXSTR|~", state), QByteArray("00000000"));
    EXPECT_STREQ(state.modelName, "CRC-32/ISO-HDLC");
    EXPECT_EQ(state.model.width, 32);
}

TEST(SharedState, LockIsFreeDuringTransmitAndSendsDoNotMix)
{
    CSharedChecksum shared;
    std::vector<QByteArray> nested;
    shared.Encode("~|CHK-SUM|~A", [&](const char*, int) {
        // A transmit that sends again (as an auto response can) must not deadlock.
        shared.Encode("B~|CHK-OUT|~",
                      [&nested](const char* d, int n) { nested.emplace_back(d, n); });
    });
    ASSERT_EQ(nested.size(), 1u);
    EXPECT_EQ(nested.front(), Hex("4241"));

    const auto worker = [&shared](const char* text, const QByteArray& expected, int* wrong) {
        for (int i = 0; i < 2000; ++i) {
            shared.Encode(text,
                          [&](const char* d, int n) { *wrong += QByteArray(d, n) != expected; });
        }
    };
    int wrongSum = 0;
    int wrongLrc = 0;
    std::thread a(worker, "~|CHK-SUM|~AB~|CHK-OUT|~", Hex("414283"), &wrongSum);
    std::thread b(worker, "~|CHK-LRC|~AB~|CHK-OUT|~", Hex("414203"), &wrongLrc);
    a.join();
    b.join();
    EXPECT_EQ(wrongSum, 0);
    EXPECT_EQ(wrongLrc, 0);
}

} // namespace
