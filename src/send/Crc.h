#pragma once
#include <cstddef>
#include <cstdint>

// The parametrised CRC engine for every width from 1 to 64 bits, and the
// built-in catalogue of 16-bit and 32-bit models.
//
// A model is loaded in catalogue form (poly, init, refin -> ref,
// refout -> rev, xorout), then PrepareModel turns it into working form and
// BuildByteTable fills the byte table. Both updates take and return the
// finished CRC (final exclusive-or applied), so a caller can feed one byte at
// a time and read the value at any moment.
struct CrcModel
{
    uint16_t width = 0; // 1..64; 0 = no model
    uint8_t ref = 0;    // reflected register (refin)
    uint8_t rev = 0;    // catalogue: refout; prepared: refin XOR refout
    // Each value is a pair (low, high) so the record could describe wider
    // models; for widths up to 64 only the low word is used.
    uint64_t poly[2] = {};
    uint64_t init[2] = {}; // prepared: the CRC of an empty message
    uint64_t xorout[2] = {};
    uint64_t check[2] = {};
    uint64_t residue[2] = {};
    uint64_t table[256] = {};
};

// One catalogue row; values are zero-extended into a CrcModel when loaded.
struct CrcCatalogueRow
{
    uint64_t poly;
    uint64_t init;
    uint8_t refin;
    uint8_t refout;
    uint64_t xorout;
    uint64_t check;
    uint64_t residue;
    const char* name; // the text after "CRC-16/" or "CRC-32/"
};

// The value with the low `width` bits set (0 for width 0, all ones from 64).
uint64_t CrcOnes(int width);

// The low n bits of x in reverse order; all other bits 0. n from 1 to 64.
uint64_t ReverseBits(uint64_t x, int n);

void PrepareModel(CrcModel& model);
void BuildByteTable(CrcModel& model);

// With data == nullptr or length == 0 both return model.init.
uint64_t CrcBitwise(const CrcModel& model, uint64_t crc, const uint8_t* data, size_t length);
uint64_t CrcBytewise(const CrcModel& model, uint64_t crc, const uint8_t* data, size_t length);

// Exact, case-sensitive search of the 16-bit (21 rows) or 32-bit (11 rows)
// catalogue in catalogue order; nullptr when absent.
const CrcCatalogueRow* FindCrc16Model(const char* name);
const CrcCatalogueRow* FindCrc32Model(const char* name);

// The whole catalogue, 16-bit rows first.
const CrcCatalogueRow* Crc16Catalogue(size_t* count);
const CrcCatalogueRow* Crc32Catalogue(size_t* count);

// Clears `model`, sets width, copies the row, prepares it and builds its table.
void LoadCatalogueModel(CrcModel& model, int width, const CrcCatalogueRow& row);
