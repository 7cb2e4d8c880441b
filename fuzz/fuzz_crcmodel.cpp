// CRC models written as text: parsing, and for every model it accepts, the
// table-driven update checked against the bit-at-a-time one that defines the
// CRC, and whole-message against byte-at-a-time feeding.
#include "send/CrcModelText.h"

#include <QString>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QString text =
        QString::fromUtf8(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    static CrcModel model;
    if (!ParseCrcModelText(text, model).isEmpty())
        return 0;
    if (model.width < 1 || model.width > 64)
        std::abort();
    static const uint8_t kMessage[] = {'1', '2', '3', '4', '5', '6', '7', '8', '9', 0x00, 0xFF};
    const uint64_t start = CrcBytewise(model, 0, nullptr, 0);
    const uint64_t whole = CrcBytewise(model, start, kMessage, sizeof kMessage);
    uint64_t stepped = start;
    for (uint8_t byte : kMessage)
        stepped = CrcBytewise(model, stepped, &byte, 1);
    const uint64_t bitwise = CrcBitwise(model, start, kMessage, sizeof kMessage);
    if (whole != stepped || whole != bitwise || (whole & ~CrcOnes(model.width)) != 0)
        std::abort();
    return 0;
}
