#include "tools/Converter.h"

#include <QByteArray>
#include <bit>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace Converter {
namespace {

QString Hex32(uint32_t value)
{
    return QStringLiteral("0x") +
           QStringLiteral("%1").arg(value, 8, 16, QLatin1Char('0')).toUpper();
}

QString Hex64(uint64_t value)
{
    return QStringLiteral("0x") +
           QStringLiteral("%1").arg(value, 16, 16, QLatin1Char('0')).toUpper();
}

uint32_t Reverse32(uint32_t v)
{
    return ((v & 0xFF) << 24) | ((v & 0xFF00) << 8) | ((v >> 8) & 0xFF00) | (v >> 24);
}

uint64_t Reverse64(uint64_t v)
{
    return (static_cast<uint64_t>(Reverse32(static_cast<uint32_t>(v))) << 32) |
           Reverse32(static_cast<uint32_t>(v >> 32));
}

// The bytes of `v` (index 0 the most significant) in `order`.
template <typename T, size_t N> T Reorder(T v, const std::array<int, N>& order)
{
    T result = 0;
    for (size_t i = 0; i < N; ++i) {
        const int from = order[i];
        const T byte = (v >> (8 * (N - 1 - static_cast<size_t>(from)))) & 0xFF;
        result |= byte << (8 * (N - 1 - i));
    }
    return result;
}

constexpr std::array<std::array<int, 4>, 4> kOrders32 = {
    {{0, 1, 2, 3}, {3, 2, 1, 0}, {2, 3, 0, 1}, {1, 0, 3, 2}}};
constexpr std::array<std::array<int, 8>, 4> kOrders64 = {{{0, 1, 2, 3, 4, 5, 6, 7},
                                                          {7, 6, 5, 4, 3, 2, 1, 0},
                                                          {4, 5, 6, 7, 0, 1, 2, 3},
                                                          {3, 2, 1, 0, 7, 6, 5, 4}}};
const char* const kLabels32[] = {"   A B C D", "   D C B A ", "   C D A B ", "   B A D C "};
const char* const kLabels64[] = {"   A B C D E F G H", "   H G F E D C B A", "   E F G H A B C D",
                                 "   D C B A H G F E"};

// The standard conversion to a signed 32-bit integer: blanks and a sign,
// digits up to the first non-digit, saturating at the limits.
int32_t ToInt32(const QByteArray& text)
{
    const long long value = std::strtoll(text.constData(), nullptr, 10);
    if (value > INT32_MAX)
        return INT32_MAX;
    if (value < INT32_MIN)
        return INT32_MIN;
    return static_cast<int32_t>(value);
}

// The four byte orders of a hexadecimal value: each row's bytes, its signed
// decimal, its unsigned decimal (only when the signed one is negative) and
// its IEEE-754 reading. True when an unsigned value was shown.
template <typename Signed, typename Float, typename Unsigned, size_t N, typename HexText>
bool FillRows(std::array<CRow, 4>& rows, Unsigned value,
              const std::array<std::array<int, N>, 4>& orders, const char* const (&labels)[4],
              HexText hex)
{
    bool unsignedShown = false;
    for (size_t i = 0; i < 4; ++i) {
        const Unsigned row = Reorder<Unsigned, N>(value, orders[i]);
        CRow& r = rows[i];
        r.label = QLatin1String(labels[i]);
        r.left = hex(row);
        r.decimal = QString::number(static_cast<Signed>(row));
        if (static_cast<Signed>(row) < 0) {
            r.unsignedValue = QString::number(row);
            unsignedShown = true;
        }
        r.ieee = FloatText(std::bit_cast<Float>(row));
    }
    return unsignedShown;
}

} // namespace

QString FloatText(double value)
{
    char text[64];
    std::snprintf(text, sizeof text, "%g", value);
    QString result = QString::fromLatin1(text);
    if (!result.contains(QLatin1String("nan")) && !result.contains(QLatin1String("inf")) &&
        !result.contains(QLatin1Char('.')))
        result += QStringLiteral(".0");
    return result;
}

CResult Convert(const QString& text)
{
    CResult result;
    const QByteArray bytes = text.toLatin1();
    if (bytes.startsWith("0x")) {
        const QByteArray digits = bytes.mid(2);
        result.mode = digits.size() <= 8 ? ModeHex32 : ModeHex64;
    } else {
        result.mode = bytes.contains('.') ? ModeFloat : ModeDecimal;
    }

    if (result.mode == ModeFloat || result.mode == ModeDecimal) {
        uint32_t narrow = 0;
        uint64_t wide = 0;
        if (result.mode == ModeFloat) {
            const double value = std::strtod(bytes.constData(), nullptr);
            narrow = std::bit_cast<uint32_t>(static_cast<float>(value));
            wide = std::bit_cast<uint64_t>(value);
            result.decimalHeader = QStringLiteral("IEEE-754 Single");
            result.ieeeHeader = QStringLiteral("IEEE-754 Double");
        } else {
            narrow = static_cast<uint32_t>(ToInt32(bytes));
            // strtoull gives the two's complement of a negative number and
            // all ones for one too large, as the converter always showed.
            wide = std::strtoull(bytes.constData(), nullptr, 10);
            result.decimalHeader = QStringLiteral("32-bit");
            result.ieeeHeader = QStringLiteral("64-bit");
        }
        result.rows[0].left = QStringLiteral("Normal");
        result.rows[1].left = QStringLiteral("Reversed");
        result.rows[0].decimal = Hex32(narrow);
        result.rows[0].ieee = Hex64(wide);
        result.rows[1].decimal = Hex32(Reverse32(narrow));
        result.rows[1].ieee = Hex64(Reverse64(wide));
        return result;
    }

    result.decimalHeader = QStringLiteral("Decimal");
    result.ieeeHeader = QStringLiteral("IEEE-754");
    const QByteArray digits = bytes.mid(2);
    const bool unsignedShown =
        result.mode == ModeHex32
            ? FillRows<int32_t, float>(
                  result.rows,
                  static_cast<uint32_t>(std::strtoul(digits.constData(), nullptr, 16) &
                                        0xFFFFFFFFu),
                  kOrders32, kLabels32, Hex32)
            : FillRows<int64_t, double>(
                  result.rows,
                  static_cast<uint64_t>(std::strtoull(digits.constData(), nullptr, 16)), kOrders64,
                  kLabels64, Hex64);
    if (unsignedShown)
        result.note = QStringLiteral(" Unsigned integer representation");
    return result;
}

} // namespace Converter
