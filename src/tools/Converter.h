#pragma once
#include <QString>
#include <array>

// The data converter's arithmetic: a number as typed, and its binary
// representations. Modes: 1 floating point ("1.5"), 3 decimal integer
// ("-1", and the empty text), 4 hexadecimal of up to 8 digits ("0x3F800000"),
// 5 hexadecimal of more (64-bit). Only a lower-case "0x" prefix makes
// hexadecimal.
namespace Converter {

enum Mode
{
    ModeNone = 0,
    ModeFloat = 1,
    ModeDecimal = 3,
    ModeHex32 = 4,
    ModeHex64 = 5,
};

struct CRow
{
    QString label;         // the row's byte order (hexadecimal modes)
    QString left;          // the reordered pattern, or "Normal"/"Reversed"
    QString decimal;       // 32-bit pattern, or the signed integer
    QString unsignedValue; // the unsigned integer when the signed one is negative
    QString ieee;          // 64-bit pattern, or the float / double
};

struct CResult
{
    Mode mode = ModeNone;
    QString leftHeader = QStringLiteral("Order");
    QString decimalHeader;
    QString ieeeHeader;
    std::array<CRow, 4> rows;
    QString note; // " Unsigned integer representation" when an unsigned field is shown
};

CResult Convert(const QString& text);

// "%g", then ".0" when the text has no point, "nan" or "inf" (1 → "1.0").
QString FloatText(double value);

} // namespace Converter
