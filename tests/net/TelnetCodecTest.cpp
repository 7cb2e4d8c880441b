// The telnet layer of remote serial ports and its serial port control
// commands: what a server sends, in pieces of any size, comes apart into
// data and commands byte for byte; what we send is framed as a server
// reads it.
#include "net/TelnetCodec.h"
#include "net/ComPortControl.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

using namespace Telnet;

QByteArray Bytes(std::initializer_list<int> values)
{
    QByteArray out;
    for (const int v : values)
        out.append(static_cast<char>(v));
    return out;
}

struct CRecord final : CSink
{
    void OnData(const char* bytes, int count) override { data.append(bytes, count); }
    void OnNegotiation(uint8_t verb, uint8_t option) override
    {
        events.push_back("neg " + std::to_string(verb) + " " + std::to_string(option));
    }
    void OnSubnegotiation(uint8_t option, const QByteArray& payload) override
    {
        events.push_back("sub " + std::to_string(option) + " " + payload.toHex(' ').toStdString());
    }
    QByteArray data;
    std::vector<std::string> events;
};

// Feeds `stream` in pieces of `piece` bytes.
CRecord Decode(const QByteArray& stream, int piece, bool peerBinary = true, bool* ok = nullptr)
{
    CRecord record;
    CDecoder decoder;
    decoder.SetPeerBinary(peerBinary);
    bool fine = true;
    for (qsizetype at = 0; at < stream.size() && fine; at += piece)
        fine =
            decoder.Feed(stream.constData() + at,
                         static_cast<int>(std::min<qsizetype>(piece, stream.size() - at)), record);
    if (ok)
        *ok = fine;
    return record;
}

TEST(TelnetDecoder, SplitsDataFromCommandsWhereverTheReadsBreak)
{
    const QByteArray stream = QByteArray("ab") + Bytes({kIac, kIac}) + "c" +
                              Bytes({kIac, kDo, 44}) + "d\r\n" + Bytes({kIac, 241}) +
                              Bytes({kIac, kSb, 44, 107, 0x30, kIac, kIac, kIac, kSe}) + "e" +
                              Bytes({0xFE, 0x00});
    const QByteArray data = QByteArray("ab") + Bytes({0xFF}) + "cd\r\ne" + Bytes({0xFE, 0x00});
    for (const int piece : {1, 2, 3, 7, 1000}) {
        const CRecord got = Decode(stream, piece);
        EXPECT_EQ(got.data, data) << "pieces of " << piece;
        EXPECT_EQ(got.events, (std::vector<std::string>{"neg 253 44", "sub 44 6b 30 ff"}))
            << "pieces of " << piece;
    }
}

TEST(TelnetDecoder, ACarriageReturnOfAPeerNotInBinaryLosesItsNul)
{
    const QByteArray stream = Bytes({'a', '\r', 0, 'b', '\r', '\n', '\r'}) + Bytes({kIac, kIac});
    for (const int piece : {1, 100}) {
        EXPECT_EQ(Decode(stream, piece, false).data,
                  Bytes({'a', '\r', 'b', '\r', '\n', '\r', 0xFF}));
        // In binary a NUL is data like any other byte.
        EXPECT_EQ(Decode(stream, piece, true).data,
                  Bytes({'a', '\r', 0, 'b', '\r', '\n', '\r', 0xFF}));
    }
}

TEST(TelnetDecoder, RefusesWhatNoTelnetPeerSendsAndStopsThere)
{
    bool ok = true;
    Decode(QByteArray("x") + Bytes({kIac, 17}) + "y", 1, true, &ok);
    EXPECT_FALSE(ok);

    // A subnegotiation that never ends is not buffered without bound.
    QByteArray endless = Bytes({kIac, kSb, 44});
    endless += QByteArray(kMaxSubnegotiation + 1, 'z');
    CDecoder decoder;
    CRecord record;
    EXPECT_FALSE(decoder.Feed(endless.constData(), static_cast<int>(endless.size()), record));
    EXPECT_FALSE(decoder.Error().isEmpty());
    EXPECT_FALSE(decoder.Feed("more", 4, record));
    EXPECT_TRUE(record.data.isEmpty());

    Decode(Bytes({kIac, kSb, 44, 1, kIac, 'q'}), 2, true, &ok);
    EXPECT_FALSE(ok);
}

TEST(TelnetEncoder, DoublesEveryIacOfDataAndOfSubnegotiations)
{
    EXPECT_EQ(EscapeData("plain", 5), QByteArray("plain"));
    EXPECT_EQ(EscapeData(Bytes({0xFF, 1, 0xFF, 0xFF}).constData(), 4),
              Bytes({0xFF, 0xFF, 1, 0xFF, 0xFF, 0xFF, 0xFF}));
    EXPECT_EQ(Subnegotiation(44, ComPortControl::BaudRate(0x0100FF02)),
              Bytes({kIac, kSb, 44, 1, 0x01, 0x00, 0xFF, 0xFF, 0x02, kIac, kSe}));
    EXPECT_EQ(Negotiation(kWill, 44), Bytes({kIac, kWill, 44}));

    // What we frame comes back whole through the decoder.
    QByteArray all(256, Qt::Uninitialized);
    for (int i = 0; i < 256; ++i)
        all[i] = static_cast<char>(i);
    EXPECT_EQ(Decode(EscapeData(all.constData(), 256), 5).data, all);
}

TEST(ComPortControl, ReadsAnswersAndSaysWhatTheRemotePortKept)
{
    using namespace ComPortControl;
    const auto baud = ParseServerMessage(Bytes({101, 0x00, 0x01, 0xC2, 0x00}));
    ASSERT_TRUE(baud);
    EXPECT_EQ(baud->command, SetBaudRate);
    EXPECT_EQ(baud->value, 115200u);
    const auto modem = ParseServerMessage(Bytes({107, 0xB0}));
    ASSERT_TRUE(modem);
    EXPECT_EQ(modem->command, NotifyModemState);
    EXPECT_EQ(modem->value, 0xB0u);
    // A client's own command, a short baud answer: not server messages.
    EXPECT_FALSE(ParseServerMessage(Bytes({1, 0, 0, 0x25, 0x80})));
    EXPECT_FALSE(ParseServerMessage(Bytes({101, 0, 0})));
    EXPECT_FALSE(ParseServerMessage(Bytes({107})));

    EXPECT_EQ(ParityOf('E'), ParityEven);
    EXPECT_EQ(ParityOf('N'), ParityNone);
    EXPECT_EQ(StopSizeOf(20), StopTwo);
    EXPECT_EQ(StopSizeOf(15), StopOneAndHalf);
    EXPECT_EQ(FlowOf(1), FlowXonXoff);
    EXPECT_EQ(FlowOf(2), FlowHardware);
    EXPECT_EQ(FlowOf(3), FlowHardware);
    EXPECT_EQ(FlowOf(0), FlowNone);

    EXPECT_TRUE(Disagreement(SetBaudRate, 9600, 9600).isEmpty());
    EXPECT_EQ(Disagreement(SetBaudRate, 115200, 9600),
              QStringLiteral("the remote port runs at 9600 baud"));
    EXPECT_EQ(Disagreement(SetParity, ParityEven, ParityNone),
              QStringLiteral("the remote port keeps no parity"));
}

} // namespace
