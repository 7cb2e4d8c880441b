// The settings record: defaults, the exact version 4 block, older versions,
// and the colour-set rotation.
#include "base/CommInfo.h"
#include "SessionTestSupport.h"
#include "base/Archive.h"

#include <QBuffer>
#include <gtest/gtest.h>

namespace {

QByteArray Write(CCommInfo& info)
{
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    CArchive ar(&buffer, CArchive::Mode::Store);
    info.Serialize(ar);
    return buffer.data();
}

void Read(CCommInfo& info, const QByteArray& bytes)
{
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    CArchive ar(&buffer, CArchive::Mode::Load);
    info.Serialize(ar);
}

TEST(CommInfo, DefaultBlockIsThe103BytesOfVersion4)
{
    CCommInfo info;
    const QByteArray expected = QByteArray::fromHex("16ffffff"
                                                    "04000000"
                                                    "fe000000"
                                                    "80250000"
                                                    "08000000"
                                                    "0a000000"
                                                    "4e"
                                                    "00000000"
                                                    "00000000"
                                                    "01000000"
                                                    "093132372e302e302e31"
                                                    "50000000"
                                                    "00000000"
                                                    "01000000"
                                                    "00000000"
                                                    "00ff0000"
                                                    "ffff0000"
                                                    "7f7f7f00"
                                                    "00000000"
                                                    "00000000"
                                                    "00000000"
                                                    "01000000"
                                                    "00000000"
                                                    "f4010000"
                                                    "00000000");
    const QByteArray bytes = Write(info);
    EXPECT_EQ(bytes.size(), 103);
    EXPECT_EQ(bytes.toHex(' '), expected.toHex(' '));
}

TEST(CommInfo, LongAddressUsesTheSixteenBitPrefix)
{
    CCommInfo info;
    info.m_strAddress = QByteArray(300, 'a');
    const QByteArray bytes = Write(info);
    EXPECT_EQ(bytes.mid(37, 3).toHex(' '), QByteArray("ff 2c 01"));
    CCommInfo back;
    Read(back, bytes);
    EXPECT_EQ(back.m_strAddress, info.m_strAddress);
}

TEST(CommInfo, RoundTripKeepsEveryField)
{
    CCommInfo info;
    info.m_nPortId = 6;
    info.m_nBaudRate = 250000;
    info.m_nDataBits = 7;
    info.m_nStopBits = 15;
    info.m_cParity = 'E';
    info.m_nFlowControl = 2;
    info.m_nDisplayMode = 2;
    info.m_nConnectionType = ConnSerial;
    info.m_strAddress = "10.1.2.3";
    info.m_nNetworkPort = 4001;
    info.m_nReserved = 0xDEADBEEF;
    info.m_nOptions = kOptionEcho;
    info.m_colors = {1, 2, 3, 4, 5, 6, 7};
    info.m_timing = {-1, 6};
    CCommInfo back;
    Read(back, Write(info));
    EXPECT_EQ(back.m_nVersionRead, 4);
    EXPECT_EQ(Write(back), Write(info));
}

TEST(CommInfo, VersionZeroReadsOnlyTheLineSettings)
{
    // No marker: the first word is the port id.
    const QByteArray v0 = CBytes().I32(3).I32(19200).I32(7).I32(20).U8('O').I32(1).I32(1).Get();
    CCommInfo info;
    Read(info, v0);
    EXPECT_EQ(info.m_nVersionRead, 0);
    EXPECT_EQ(info.m_nPortId, 3);
    EXPECT_EQ(info.m_nBaudRate, 19200);
    EXPECT_EQ(info.m_nDataBits, 7);
    EXPECT_EQ(info.m_nStopBits, 20);
    EXPECT_EQ(info.m_cParity, 'O');
    EXPECT_EQ(info.m_nFlowControl, 1);
    EXPECT_EQ(info.m_nDisplayMode, 1);
    EXPECT_EQ(info.m_nConnectionType, ConnTcpClient);
    EXPECT_EQ(info.m_strAddress, QByteArray("127.0.0.1"));
    EXPECT_EQ(info.m_timing.m_nMinInterval, 500);
}

TEST(CommInfo, OlderVersionsKeepTheFieldsTheyLack)
{
    const auto header = [](int version) {
        return CBytes().I32(-234).I32(version).I32(254).I32(9600).I32(8).I32(10).U8('N').I32(0).I32(
            0);
    };
    CCommInfo v1;
    const auto colorsBefore = v1.m_colors;
    Read(v1, header(1).I32(2).Str("host").I32(23).I32(9).Get());
    EXPECT_EQ(v1.m_nConnectionType, 2);
    EXPECT_EQ(v1.m_strAddress, QByteArray("host"));
    EXPECT_EQ(v1.m_nNetworkPort, 23);
    EXPECT_EQ(v1.m_colors, colorsBefore);

    CBytes v3 = header(3).I32(1).Str("h").I32(80).I32(0).I32(1);
    for (int i = 0; i < 7; ++i)
        v3.I32(i + 10);
    v3.I32(1).I32(4).I32(250);
    CCommInfo info3;
    Read(info3, v3.Get());
    EXPECT_EQ(info3.m_colors[6], 16u);
    EXPECT_EQ(info3.m_timing.m_nFormat, 4);
    EXPECT_EQ(info3.m_timing.m_nMinInterval, 250);
    EXPECT_EQ(info3.m_nOptions, 0u);
}

TEST(ColorRotation, FourSetsInTurnAndMergeStepsBack)
{
    CColorRotation rotation;
    std::vector<uint32_t> textColors;
    for (int i = 0; i < 5; ++i)
        textColors.push_back(CCommInfo(rotation).m_colors[ColorText]);
    EXPECT_EQ(textColors,
              (std::vector<uint32_t>{0x00FF00, 0xFFFF00, 0x9F9FFF, 0x0080FF, 0x00FF00}));
    CCommInfo first(rotation);
    EXPECT_EQ(first.m_colors[ColorSpecial], 0xFF00FFu); // set 1
    CColorRotation fresh;
    CCommInfo a(fresh);
    CCommInfo b(fresh);
    fresh.StepBack(); // the second session chooses merge
    CCommInfo c(fresh);
    EXPECT_EQ(c.m_colors[ColorText], 0xFFFF00u); // set 1 again
    CColorRotation other;
    other.StepBack();
    EXPECT_EQ(other.Current(), 3);
}

} // namespace
