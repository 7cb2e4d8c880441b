// The CRC engine against the catalogue's check and residue values, known
// models of other widths, and random models (bit and byte updates agree).
#include "send/Crc.h"

#include <cstring>
#include <gtest/gtest.h>
#include <random>
#include <string>
#include <vector>

namespace {

const uint8_t kCheckMessage[] = {'1', '2', '3', '4', '5', '6', '7', '8', '9'};

using CrcFn = uint64_t (*)(const CrcModel&, uint64_t, const uint8_t*, size_t);

uint64_t OneByteAtATime(CrcFn fn, const CrcModel& m, const uint8_t* data, size_t length)
{
    uint64_t crc = fn(m, 0, nullptr, 0);
    for (size_t i = 0; i < length; ++i) {
        crc = fn(m, crc, data + i, 1);
    }
    return crc;
}

CrcModel MakeModel(int width, uint64_t poly, uint64_t init, bool refin, bool refout,
                   uint64_t xorout)
{
    CrcModel m;
    m.width = static_cast<uint16_t>(width);
    m.poly[0] = poly;
    m.init[0] = init;
    m.ref = refin;
    m.rev = refout;
    m.xorout[0] = xorout;
    PrepareModel(m);
    BuildByteTable(m);
    return m;
}

struct CatalogueCase
{
    int width;
    const CrcCatalogueRow* row;
};

std::vector<CatalogueCase> AllRows()
{
    std::vector<CatalogueCase> cases;
    size_t count = 0;
    const CrcCatalogueRow* rows16 = Crc16Catalogue(&count);
    for (size_t i = 0; i < count; ++i) {
        cases.push_back({16, &rows16[i]});
    }
    const CrcCatalogueRow* rows32 = Crc32Catalogue(&count);
    for (size_t i = 0; i < count; ++i) {
        cases.push_back({32, &rows32[i]});
    }
    return cases;
}

class CatalogueRow : public ::testing::TestWithParam<CatalogueCase>
{
};

TEST_P(CatalogueRow, EveryUpdateGivesTheCheckValue)
{
    CrcModel m;
    LoadCatalogueModel(m, GetParam().width, *GetParam().row);
    const uint64_t check = GetParam().row->check;
    for (CrcFn fn : {&CrcBitwise, &CrcBytewise}) {
        EXPECT_EQ(fn(m, m.init[0], kCheckMessage, sizeof kCheckMessage), check);
        EXPECT_EQ(OneByteAtATime(fn, m, kCheckMessage, sizeof kCheckMessage), check);
    }
}

// A message followed by its own CRC (in the register's bit order) leaves the
// residue in the register whatever the message was.
TEST_P(CatalogueRow, CodewordLeavesTheResidue)
{
    CrcModel m;
    const CrcCatalogueRow& row = *GetParam().row;
    LoadCatalogueModel(m, GetParam().width, row);
    std::vector<uint8_t> codeword(kCheckMessage, kCheckMessage + sizeof kCheckMessage);
    const int bytes = GetParam().width / 8;
    for (int i = 0; i < bytes; ++i) {
        const int shift = row.refout ? 8 * i : 8 * (bytes - 1 - i);
        codeword.push_back(static_cast<uint8_t>(row.check >> shift));
    }
    EXPECT_EQ(CrcBytewise(m, m.init[0], codeword.data(), codeword.size()) ^ row.xorout,
              row.residue);
}

INSTANTIATE_TEST_SUITE_P(All, CatalogueRow, ::testing::ValuesIn(AllRows()), [](const auto& info) {
    std::string name = "W" + std::to_string(info.param.width) + "_" + info.param.row->name;
    for (char& c : name) {
        c = std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
    }
    return name;
});

TEST(CrcCatalogue, SearchIsExactAndPerWidth)
{
    size_t count16 = 0;
    size_t count32 = 0;
    EXPECT_STREQ(Crc16Catalogue(&count16)[0].name, "ARC");
    EXPECT_STREQ(Crc32Catalogue(&count32)[0].name, "AIXM");
    EXPECT_EQ(count16, 21u);
    EXPECT_EQ(count32, 11u);

    for (const char* name : {"MODBUS", "USB", "X-25", "CRC-A", "T10-DIF"}) {
        ASSERT_NE(FindCrc16Model(name), nullptr) << name;
        EXPECT_STREQ(FindCrc16Model(name)->name, name);
        EXPECT_EQ(FindCrc32Model(name), nullptr) << name;
    }
    for (const char* name : {"ISO-HDLC", "BZIP2", "CD-ROM-EDC"}) {
        EXPECT_NE(FindCrc32Model(name), nullptr) << name;
        EXPECT_EQ(FindCrc16Model(name), nullptr) << name;
    }
    for (const char* name : {"modbus", "Modbus", "usb", "X25", "MODBUS ", "", "CRC-16/MODBUS"}) {
        EXPECT_EQ(FindCrc16Model(name), nullptr) << name;
    }
    EXPECT_EQ(FindCrc32Model("iso-hdlc"), nullptr);
    EXPECT_EQ(FindCrc16Model(nullptr), nullptr);
}

TEST(CrcEngine, EmptyMessageIsThePreparedInit)
{
    const struct
    {
        int width;
        const CrcCatalogueRow* row;
        uint64_t expected;
    } cases[] = {{32, FindCrc32Model("ISO-HDLC"), 0x00000000},
                 {16, FindCrc16Model("MODBUS"), 0xFFFF},
                 {16, FindCrc16Model("DECT-R"), 0x0001}};
    for (const auto& c : cases) {
        CrcModel m;
        LoadCatalogueModel(m, c.width, *c.row);
        EXPECT_EQ(CrcBytewise(m, 0x1234, nullptr, 0), c.expected) << c.row->name;
        EXPECT_EQ(CrcBitwise(m, 0x1234, kCheckMessage, 0), c.expected) << c.row->name;
    }
}

// Known models outside the catalogue: narrow and wide registers, reflected
// and not, and one whose output reflection differs from its input's.
TEST(CrcEngine, OtherWidthsGiveTheirKnownCheckValues)
{
    const uint64_t all = ~uint64_t{0};
    const struct
    {
        const char* name;
        CrcModel model;
        uint64_t check;
    } cases[] = {
        {"CRC-3/GSM", MakeModel(3, 0x3, 0, false, false, 0x7), 0x4},
        {"CRC-4/G-704", MakeModel(4, 0x3, 0, true, true, 0), 0x7},
        {"CRC-5/USB", MakeModel(5, 0x05, 0x1F, true, true, 0x1F), 0x19},
        {"CRC-7/MMC", MakeModel(7, 0x09, 0, false, false, 0), 0x75},
        {"CRC-8/SMBUS", MakeModel(8, 0x07, 0, false, false, 0), 0xF4},
        {"CRC-10/ATM", MakeModel(10, 0x233, 0, false, false, 0), 0x199},
        {"CRC-12/UMTS", MakeModel(12, 0x80F, 0, false, true, 0), 0xDAF},
        {"CRC-24/OPENPGP", MakeModel(24, 0x864CFB, 0xB704CE, false, false, 0), 0x21CF02},
        {"CRC-40/GSM", MakeModel(40, 0x0004820009, 0, false, false, 0xFFFFFFFFFF), 0xD4164FC646},
        {"CRC-64/ECMA-182", MakeModel(64, 0x42F0E1EBA9EA3693, 0, false, false, 0),
         0x6C40DF5F0B497347},
        {"CRC-64/XZ", MakeModel(64, 0x42F0E1EBA9EA3693, all, true, true, all), 0x995DC9BBDF1939FA},
    };
    for (const auto& c : cases) {
        for (CrcFn fn : {&CrcBitwise, &CrcBytewise}) {
            EXPECT_EQ(OneByteAtATime(fn, c.model, kCheckMessage, sizeof kCheckMessage), c.check)
                << c.name;
        }
    }
}

TEST(CrcEngine, RandomModelsAgreeBitwiseAndBytewise)
{
    std::mt19937_64 rng(20240611);
    for (int round = 0; round < 3000; ++round) {
        const int width = 1 + round % 64;
        const uint64_t mask = width == 64 ? ~uint64_t{0} : (uint64_t{1} << width) - 1;
        const CrcModel m =
            MakeModel(width, rng() & mask, rng() & mask, rng() & 1, rng() & 1, rng() & mask);
        std::vector<uint8_t> message(rng() % 48);
        for (uint8_t& b : message) {
            b = static_cast<uint8_t>(rng());
        }
        const uint64_t expected = CrcBitwise(m, m.init[0], message.data(), message.size());
        SCOPED_TRACE(::testing::Message() << "width " << width << " ref " << int(m.ref) << " rev "
                                          << int(m.rev) << " length " << message.size());
        ASSERT_LE(expected, mask);
        ASSERT_EQ(CrcBytewise(m, m.init[0], message.data(), message.size()), expected);
        ASSERT_EQ(OneByteAtATime(&CrcBytewise, m, message.data(), message.size()), expected);
        ASSERT_EQ(OneByteAtATime(&CrcBitwise, m, message.data(), message.size()), expected);
    }
}

} // namespace
