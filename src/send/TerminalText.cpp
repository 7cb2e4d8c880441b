#include "send/TerminalText.h"

namespace {

// The length and code point of the valid UTF-8 sequence at `at`, or 0 when
// the bytes there are not one (overlong forms and surrogates included).
int DecodeUtf8(const QByteArray& raw, qsizetype at, char32_t& codePoint)
{
    const auto byte = [&](qsizetype i) { return static_cast<unsigned char>(raw[i]); };
    const unsigned char lead = byte(at);
    int length = 0;
    char32_t value = 0;
    char32_t minimum = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        value = lead & 0x1F;
        minimum = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        value = lead & 0x0F;
        minimum = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        value = lead & 0x07;
        minimum = 0x10000;
    } else {
        return 0;
    }
    if (at + length > raw.size())
        return 0;
    for (int i = 1; i < length; ++i) {
        const unsigned char next = byte(at + i);
        if ((next & 0xC0) != 0x80)
            return 0;
        value = (value << 6) | (next & 0x3F);
    }
    if (value < minimum || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF))
        return 0;
    codePoint = value;
    return length;
}

} // namespace

bool TerminalBytes(const QByteArray& raw, QByteArray& bytes, QString& error)
{
    bytes.clear();
    bytes.reserve(raw.size());
    for (qsizetype i = 0; i < raw.size();) {
        const auto lead = static_cast<unsigned char>(raw[i]);
        if (lead < 0x80) {
            bytes.append(static_cast<char>(lead));
            ++i;
            continue;
        }
        char32_t codePoint = 0;
        const int length = DecodeUtf8(raw, i, codePoint);
        if (length == 0) {
            bytes.append(static_cast<char>(lead)); // not UTF-8: the byte itself
            ++i;
            continue;
        }
        if (codePoint > 0xFF) {
            error = QStringLiteral("the character %1 (U+%2) cannot be sent as one byte")
                        .arg(QString::fromUcs4(&codePoint, 1),
                             QString::number(static_cast<uint>(codePoint), 16)
                                 .toUpper()
                                 .rightJustified(4, QLatin1Char('0')));
            return false;
        }
        bytes.append(static_cast<char>(codePoint));
        i += length;
    }
    return true;
}
