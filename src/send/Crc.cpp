// The parametrised CRC engine: one bit-at-a-time update that defines the CRC
// and a table-driven byte update built from it.
#include "send/Crc.h"

namespace {

} // namespace

uint64_t ReverseBits(uint64_t x, int n)
{
    uint64_t result = 0;
    for (int i = 0; i < n && i < 64; ++i) {
        result = (result << 1) | (x & 1);
        x >>= 1;
    }
    return result;
}

void PrepareModel(CrcModel& model)
{
    if (model.ref) {
        model.poly[0] = ReverseBits(model.poly[0], model.width);
    }
    if (model.rev) {
        model.init[0] = ReverseBits(model.init[0], model.width);
    }
    model.init[0] ^= model.xorout[0];
    model.rev ^= model.ref;
}

void BuildByteTable(CrcModel& model)
{
    const int width = model.width;
    for (int k = 0; k < 256; ++k) {
        const uint8_t byte = static_cast<uint8_t>(k);
        uint64_t t = CrcBitwise(model, 0, &byte, 1);
        if (model.rev) {
            t = ReverseBits(t, width);
        }
        if (width < 8 && !model.ref) {
            t <<= 8 - width;
        }
        model.table[k] = t;
    }
}

uint64_t CrcBitwise(const CrcModel& model, uint64_t crc, const uint8_t* data, size_t length)
{
    if (data == nullptr || length == 0) {
        return model.init[0];
    }
    const int width = model.width;
    const uint64_t poly = model.poly[0];
    crc ^= model.xorout[0];
    if (model.rev) {
        crc = ReverseBits(crc, width);
    }
    if (model.ref) {
        crc &= CrcOnes(width);
        for (size_t i = 0; i < length; ++i) {
            crc ^= data[i];
            for (int bit = 0; bit < 8; ++bit) {
                crc = (crc & 1) ? (crc >> 1) ^ poly : crc >> 1;
            }
        }
    } else if (width <= 8) {
        // Narrow registers work in the top bits of a byte so that the byte
        // lines up with them.
        const int shift = 8 - width;
        const uint64_t p = poly << shift;
        crc <<= shift;
        for (size_t i = 0; i < length; ++i) {
            crc ^= data[i];
            for (int bit = 0; bit < 8; ++bit) {
                crc = (crc & 0x80) ? (crc << 1) ^ p : crc << 1;
            }
        }
        crc = (crc >> shift) & CrcOnes(width);
    } else {
        const uint64_t top = uint64_t{1} << (width - 1);
        for (size_t i = 0; i < length; ++i) {
            crc ^= static_cast<uint64_t>(data[i]) << (width - 8);
            for (int bit = 0; bit < 8; ++bit) {
                crc = (crc & top) ? (crc << 1) ^ poly : crc << 1;
            }
        }
        crc &= CrcOnes(width);
    }
    if (model.rev) {
        crc = ReverseBits(crc, width);
    }
    return crc ^ model.xorout[0];
}

uint64_t CrcBytewise(const CrcModel& model, uint64_t crc, const uint8_t* data, size_t length)
{
    if (data == nullptr || length == 0) {
        return model.init[0];
    }
    const int width = model.width;
    const uint64_t* table = model.table;
    if (model.rev) {
        crc = ReverseBits(crc, width);
    }
    if (model.ref) {
        crc &= CrcOnes(width);
        for (size_t i = 0; i < length; ++i) {
            crc = (crc >> 8) ^ table[(crc ^ data[i]) & 0xFF];
        }
    } else if (width <= 8) {
        const int shift = 8 - width;
        crc <<= shift;
        for (size_t i = 0; i < length; ++i) {
            crc = table[(crc ^ data[i]) & 0xFF];
        }
        crc >>= shift;
    } else {
        const int shift = width - 8;
        for (size_t i = 0; i < length; ++i) {
            crc = (crc << 8) ^ table[((crc >> shift) ^ data[i]) & 0xFF];
        }
        crc &= CrcOnes(width);
    }
    if (model.rev) {
        crc = ReverseBits(crc, width);
    }
    return crc;
}

void LoadCatalogueModel(CrcModel& model, int width, const CrcCatalogueRow& row)
{
    model = CrcModel{};
    model.width = static_cast<uint16_t>(width);
    model.poly[0] = row.poly;
    model.init[0] = row.init;
    model.ref = row.refin;
    model.rev = row.refout;
    model.xorout[0] = row.xorout;
    model.check[0] = row.check;
    model.residue[0] = row.residue;
    PrepareModel(model);
    BuildByteTable(model);
}

uint64_t CrcOnes(int width)
{
    // Shifting a 64-bit value by 64 is undefined, so the full width is its own case.
    if (width <= 0)
        return 0;
    return width >= 64 ? ~uint64_t{0} : (uint64_t{1} << width) - 1;
}
