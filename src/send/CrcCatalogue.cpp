// The built-in CRC models, under the short names that follow "CRC-16/" or
// "CRC-32/". The order of each array is the order of search.
#include "send/Crc.h"

#include <cstring>
#include <iterator>

namespace {

// poly, init, refin, refout, xorout, check, residue, name
const CrcCatalogueRow kCrc16Rows[] = {
    {0x8005, 0x0000, 1, 1, 0x0000, 0xBB3D, 0x0000, "ARC"},
    {0xC867, 0xFFFF, 0, 0, 0x0000, 0x4C06, 0x0000, "CDMA2000"},
    {0x8005, 0xFFFF, 0, 0, 0x0000, 0xAEE7, 0x0000, "CMS"},
    {0x1021, 0x0000, 0, 0, 0xFFFF, 0xCE3C, 0x1D0F, "GSM"},
    {0x1021, 0x0000, 1, 1, 0x0000, 0x2189, 0x0000, "KERMIT"},
    {0x8005, 0xFFFF, 1, 1, 0x0000, 0x4B37, 0x0000, "MODBUS"},
    {0x1DCF, 0xFFFF, 0, 0, 0xFFFF, 0xA819, 0xE394, "PROFIBUS"},
    {0x8005, 0x0000, 0, 0, 0x0000, 0xFEE8, 0x0000, "UMTS"},
    {0x8005, 0xFFFF, 1, 1, 0xFFFF, 0xB4C8, 0xB001, "USB"},
    {0x1021, 0x0000, 0, 0, 0x0000, 0x31C3, 0x0000, "XMODEM"},
    {0x8005, 0x800D, 0, 0, 0x0000, 0x9ECF, 0x0000, "DDS-110"},
    {0x0589, 0x0000, 0, 0, 0x0001, 0x007E, 0x0589, "DECT-R"},
    {0x0589, 0x0000, 0, 0, 0x0000, 0x007F, 0x0000, "DECT-X"},
    {0x3D65, 0x0000, 1, 1, 0xFFFF, 0xEA82, 0x66C5, "DNP"},
    {0x3D65, 0x0000, 0, 0, 0xFFFF, 0xC2B7, 0xA366, "EN-13757"},
    {0x1021, 0xFFFF, 0, 0, 0xFFFF, 0xD64E, 0x1D0F, "GENIBUS"},
    {0x8005, 0x0000, 1, 1, 0xFFFF, 0x44C2, 0xB001, "MAXIM-DOW"},
    {0x1021, 0xB2AA, 1, 1, 0x0000, 0x63D0, 0x0000, "RIELLO"},
    {0x1021, 0xFFFF, 1, 1, 0xFFFF, 0x906E, 0xF0B8, "X-25"},
    {0x1021, 0xC6C6, 1, 1, 0x0000, 0xBF05, 0x0000, "CRC-A"},
    {0x8BB7, 0x0000, 0, 0, 0x0000, 0xD0DB, 0x0000, "T10-DIF"},
};

const CrcCatalogueRow kCrc32Rows[] = {
    {0x814141AB, 0x00000000, 0, 0, 0x00000000, 0x3010BF7F, 0x00000000, "AIXM"},
    {0xF4ACFB13, 0xFFFFFFFF, 1, 1, 0xFFFFFFFF, 0x1697D06A, 0x904CDDBF, "AUTOSAR"},
    {0xA833982B, 0xFFFFFFFF, 1, 1, 0xFFFFFFFF, 0x87315576, 0x45270551, "BASE91-D"},
    {0x04C11DB7, 0xFFFFFFFF, 0, 0, 0xFFFFFFFF, 0xFC891918, 0xC704DD7B, "BZIP2"},
    {0x8001801B, 0x00000000, 1, 1, 0x00000000, 0x6EC2EDC4, 0x00000000, "CD-ROM-EDC"},
    {0x04C11DB7, 0x00000000, 0, 0, 0xFFFFFFFF, 0x765E7680, 0xC704DD7B, "CKSUM"},
    {0x1EDC6F41, 0xFFFFFFFF, 1, 1, 0xFFFFFFFF, 0xE3069283, 0xB798B438, "ISCSI"},
    {0x04C11DB7, 0xFFFFFFFF, 1, 1, 0xFFFFFFFF, 0xCBF43926, 0xDEBB20E3, "ISO-HDLC"},
    {0x04C11DB7, 0xFFFFFFFF, 1, 1, 0x00000000, 0x340BC6D9, 0x00000000, "JAMCRC"},
    {0x04C11DB7, 0xFFFFFFFF, 0, 0, 0x00000000, 0x0376E6E7, 0x00000000, "MPEG-2"},
    {0x000000AF, 0x00000000, 0, 0, 0x00000000, 0xBD0BE338, 0x00000000, "XFER"},
};

template <size_t N>
const CrcCatalogueRow* FindIn(const CrcCatalogueRow (&rows)[N], const char* name)
{
    if (name == nullptr) {
        return nullptr;
    }
    for (const CrcCatalogueRow& row : rows) {
        if (std::strcmp(row.name, name) == 0) {
            return &row;
        }
    }
    return nullptr;
}

} // namespace

const CrcCatalogueRow* FindCrc16Model(const char* name)
{
    return FindIn(kCrc16Rows, name);
}

const CrcCatalogueRow* FindCrc32Model(const char* name)
{
    return FindIn(kCrc32Rows, name);
}

const CrcCatalogueRow* Crc16Catalogue(size_t* count)
{
    if (count != nullptr) {
        *count = std::size(kCrc16Rows);
    }
    return kCrc16Rows;
}

const CrcCatalogueRow* Crc32Catalogue(size_t* count)
{
    if (count != nullptr) {
        *count = std::size(kCrc32Rows);
    }
    return kCrc32Rows;
}
