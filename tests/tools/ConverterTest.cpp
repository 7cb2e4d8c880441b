// The data converter's arithmetic: each input form, the byte orders, the
// unsigned note, and the edges of the conversions it relies on.
#include "tools/Converter.h"

#include <gtest/gtest.h>

namespace {

using Converter::Convert;

TEST(Converter, FloatingPointShowsSingleAndDoubleBothWays)
{
    const auto r = Convert(QStringLiteral("1.5"));
    EXPECT_EQ(r.mode, Converter::ModeFloat);
    EXPECT_EQ(r.decimalHeader, QStringLiteral("IEEE-754 Single"));
    EXPECT_EQ(r.ieeeHeader, QStringLiteral("IEEE-754 Double"));
    EXPECT_EQ(r.rows[0].left, QStringLiteral("Normal"));
    EXPECT_EQ(r.rows[1].left, QStringLiteral("Reversed"));
    EXPECT_EQ(r.rows[0].decimal, QStringLiteral("0x3FC00000"));
    EXPECT_EQ(r.rows[1].decimal, QStringLiteral("0x0000C03F"));
    EXPECT_EQ(r.rows[0].ieee, QStringLiteral("0x3FF8000000000000"));
    EXPECT_EQ(r.rows[1].ieee, QStringLiteral("0x000000000000F83F"));
    EXPECT_TRUE(r.rows[2].decimal.isEmpty());
    // Beyond single precision: the single rounds to infinity, the double keeps it.
    const auto big = Convert(QStringLiteral("1e300."));
    EXPECT_EQ(big.rows[0].decimal, QStringLiteral("0x7F800000"));
    EXPECT_EQ(big.rows[0].ieee, QStringLiteral("0x7E37E43C8800759C"));
    EXPECT_EQ(Convert(QStringLiteral("1.0e-45")).rows[0].decimal, QStringLiteral("0x00000001"));
}

TEST(Converter, DecimalIntegersInThirtyTwoAndSixtyFourBits)
{
    const auto minusOne = Convert(QStringLiteral("-1"));
    EXPECT_EQ(minusOne.mode, Converter::ModeDecimal);
    EXPECT_EQ(minusOne.rows[0].decimal, QStringLiteral("0xFFFFFFFF"));
    EXPECT_EQ(minusOne.rows[1].decimal, QStringLiteral("0xFFFFFFFF"));
    EXPECT_EQ(minusOne.rows[0].ieee, QStringLiteral("0xFFFFFFFFFFFFFFFF"));
    const auto empty = Convert(QString());
    EXPECT_EQ(empty.mode, Converter::ModeDecimal);
    EXPECT_EQ(empty.rows[0].decimal, QStringLiteral("0x00000000"));
    // A capital X is no hexadecimal prefix: the decimal conversion stops at 0.
    EXPECT_EQ(Convert(QStringLiteral("0X10")).rows[0].ieee, QStringLiteral("0x0000000000000000"));
    // Past the limits: 32 bits saturate, 64 bits give all ones.
    const auto huge = Convert(QStringLiteral("99999999999999999999999"));
    EXPECT_EQ(huge.rows[0].decimal, QStringLiteral("0x7FFFFFFF"));
    EXPECT_EQ(huge.rows[0].ieee, QStringLiteral("0xFFFFFFFFFFFFFFFF"));
    EXPECT_EQ(Convert(QStringLiteral("-3000000000")).rows[0].decimal, QStringLiteral("0x80000000"));
}

TEST(Converter, ThirtyTwoBitHexInFourByteOrders)
{
    const auto one = Convert(QStringLiteral("0x3F800000"));
    EXPECT_EQ(one.mode, Converter::ModeHex32);
    EXPECT_EQ(one.rows[0].label, QStringLiteral("   A B C D"));
    EXPECT_EQ(one.rows[1].label, QStringLiteral("   D C B A "));
    EXPECT_EQ(one.rows[0].decimal, QStringLiteral("1065353216"));
    EXPECT_TRUE(one.rows[0].unsignedValue.isEmpty());
    EXPECT_EQ(one.rows[0].ieee, QStringLiteral("1.0"));
    EXPECT_EQ(one.rows[1].left, QStringLiteral("0x0000803F"));
    EXPECT_EQ(one.rows[1].ieee, QStringLiteral("4.6006e-41"));

    const auto ones = Convert(QStringLiteral("0xFFFFFFFF"));
    for (const auto& row : ones.rows) {
        EXPECT_EQ(row.decimal, QStringLiteral("-1"));
        EXPECT_EQ(row.unsignedValue, QStringLiteral("4294967295"));
        EXPECT_EQ(row.ieee, QStringLiteral("-nan"));
    }
    EXPECT_EQ(ones.note, QStringLiteral(" Unsigned integer representation"));

    const auto sixteen = Convert(QStringLiteral("0x10"));
    EXPECT_EQ(sixteen.rows[0].decimal, QStringLiteral("16"));
    EXPECT_EQ(sixteen.rows[1].decimal, QStringLiteral("268435456"));
    EXPECT_EQ(sixteen.rows[2].decimal, QStringLiteral("1048576"));
    EXPECT_EQ(sixteen.rows[3].decimal, QStringLiteral("4096"));
    EXPECT_TRUE(sixteen.note.isEmpty());
    // The reversed orders of 0x0FFFFFFF are negative: the note stays.
    EXPECT_FALSE(Convert(QStringLiteral("0x0FFFFFFF")).note.isEmpty());
    EXPECT_EQ(Convert(QStringLiteral("0x7F800000")).rows[0].ieee, QStringLiteral("inf"));
}

TEST(Converter, SixtyFourBitHexFromNineDigitsOn)
{
    const auto r = Convert(QStringLiteral("0x3FF000000"));
    EXPECT_EQ(r.mode, Converter::ModeHex64);
    EXPECT_EQ(r.rows[0].label, QStringLiteral("   A B C D E F G H"));
    EXPECT_EQ(r.rows[0].left, QStringLiteral("0x00000003FF000000"));
    EXPECT_EQ(r.rows[1].left, QStringLiteral("0x000000FF03000000"));
    const auto pi = Convert(QStringLiteral("0x400921FB54442D18"));
    EXPECT_EQ(pi.rows[0].ieee, QStringLiteral("3.14159"));
    // More than sixteen digits: the conversion saturates to all ones.
    const auto over = Convert(QStringLiteral("0x123456789ABCDEF012"));
    EXPECT_EQ(over.rows[0].left, QStringLiteral("0xFFFFFFFFFFFFFFFF"));
    EXPECT_EQ(over.rows[0].decimal, QStringLiteral("-1"));
    EXPECT_EQ(over.rows[0].unsignedValue, QStringLiteral("18446744073709551615"));
    // A subnormal double and the text rules of the IEEE column.
    EXPECT_EQ(Convert(QStringLiteral("0x0000000000000001")).rows[0].ieee,
              QStringLiteral("4.94066e-324"));
    EXPECT_EQ(Converter::FloatText(1e20), QStringLiteral("1e+20.0"));
    EXPECT_EQ(Converter::FloatText(0.5), QStringLiteral("0.5"));
}

} // namespace
