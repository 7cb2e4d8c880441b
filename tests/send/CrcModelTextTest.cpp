// CRC models written as text: a valid text gives a working model, and each
// kind of mistake is named.
#include "send/CrcModelText.h"

#include <gtest/gtest.h>

namespace {

uint64_t Check(const CrcModel& model)
{
    static const uint8_t kCheck[] = {'1', '2', '3', '4', '5', '6', '7', '8', '9'};
    return CrcBytewise(model, model.init[0], kCheck, sizeof kCheck);
}

TEST(CrcModelText, ParametersInAnyOrderGiveAWorkingModel)
{
    CrcModel model;
    EXPECT_TRUE(ParseCrcModelText(QStringLiteral("refout=true  poly=0x8005 init=65535 width=16 "
                                                 "refin=true"),
                                  model)
                    .isEmpty());
    EXPECT_EQ(model.width, 16);
    EXPECT_EQ(Check(model), 0x4B37u); // CRC-16/MODBUS
    EXPECT_TRUE(ParseCrcModelText(QStringLiteral("width=32 poly=0x04C11DB7 init=0xFFFFFFFF "
                                                 "refin=true refout=true xorout=0xFFFFFFFF"),
                                  model)
                    .isEmpty());
    EXPECT_EQ(Check(model), 0xCBF43926u); // CRC-32/ISO-HDLC
}

struct BadCase
{
    const char* text;
    const char* error;
};

class CrcModelTextRefused : public ::testing::TestWithParam<BadCase>
{
};

TEST_P(CrcModelTextRefused, SaysWhatIsWrong)
{
    CrcModel model;
    const QString error = ParseCrcModelText(QString::fromUtf8(GetParam().text), model);
    EXPECT_TRUE(error.startsWith(QString::fromUtf8(GetParam().error))) << error.toStdString();
}

INSTANTIATE_TEST_SUITE_P(
    Table, CrcModelTextRefused,
    ::testing::Values(BadCase{"", "a model needs width and poly"},
                      BadCase{"width=8", "a model needs width and poly"},
                      BadCase{"width=0 poly=1", "width \"0\" is not a number from 1 to 64"},
                      BadCase{"width=65 poly=1", "width \"65\" is not a number from 1 to 64"},
                      BadCase{"width=8 poly=0x100", "poly 0x100 does not fit in 8 bits"},
                      BadCase{"width=8 poly=zz", "poly \"zz\" is not a decimal or 0x hexadecimal"},
                      BadCase{"width=8 poly=\u0661", "poly \"\u0661\" is not a decimal"},
                      BadCase{"width=8 poly=7 refin=yes", "refin must be true or false"},
                      BadCase{"width=8 poly=7 foo=1", "unknown model parameter \"foo=1\""},
                      BadCase{"width=8 width=8 poly=7", "model parameter \"width\" given twice"},
                      BadCase{"width=64 poly=0x10000000000000000",
                              "poly \"0x10000000000000000\" is not a decimal"}));

} // namespace
