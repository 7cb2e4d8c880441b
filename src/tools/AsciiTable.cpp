#include "tools/AsciiTable.h"

namespace AsciiTable {
namespace {

struct CControl
{
    const char* caret;
    const char* mnemonic;
    const char* name;
};

const CControl kControls[32] = {
    {"^@", "NUL", "Null"},
    {"^A", "SOH", "Start of Heading"},
    {"^B", "STX", "Start of Text"},
    {"^C", "ETX", "End of Text"},
    {"^D", "EOT", "End of Transmission"},
    {"^E", "ENQ", "Enquiry"},
    {"^F", "ACK", "Acknowledge"},
    {"^G", "BEL", "Bell"},
    {"^H", "BS", "Backspace"},
    {"^I", "HT", "Horizontal Tab"},
    {"^J", "LF", "Line Feed"},
    {"^K", "VT", "Vertical Tab"},
    {"^L", "FF", "Form Feed"},
    {"^M", "CR", "Carriage Return / ENTER key"},
    {"^N", "SO", "Shift Out"},
    {"^O", "SI", "Shift In"},
    {"^P", "DLE", "Data Link Escape"},
    {"^Q", "DC1", "Device Control 1 (often XON)"},
    {"^R", "DC2", "Device Control 2"},
    {"^S", "DC3", "Device Control 3 (often XOFF)"},
    {"^T", "DC4", "Device Control 4"},
    {"^U", "NAK", "Negative Acknowledgement"},
    {"^V", "SYN", "Synchronous Idle"},
    {"^W", "ETB", "End of Transmission Block"},
    {"^X", "CAN", "Cancel"},
    {"^Y", "EM", "End of Medium"},
    {"^Z", "SUB", "Substitute"},
    {"^[", "ESC", "Escape"},
    {"^\\", "FS", "File Separator"},
    {"^]", "GS", "Group Separator"},
    {"^^", "RS", "Record Separator"},
    {"^_", "US", "Unit Separator"},
};

QString Number(int value)
{
    return QStringLiteral("%1 %2")
        .arg(value, 3, 10, QLatin1Char(' '))
        .arg(QStringLiteral("%1").arg(value, 2, 16, QLatin1Char('0')).toUpper());
}

} // namespace

QString CellText(int value)
{
    if (value < 32)
        return Number(value) +
               QStringLiteral(" %1 %2").arg(QLatin1String(kControls[value].caret),
                                            QLatin1String(kControls[value].mnemonic));
    if (value == 127)
        return Number(value) + QStringLiteral(" DEL");
    if (value < 128)
        return Number(value) + QLatin1Char(' ') + QChar(value);
    return QLatin1Char(' ') + Number(value);
}

QString ToolTip(int value)
{
    if (value < 32)
        return QStringLiteral("Ctrl-%1  %2 = %3")
            .arg(QLatin1String(kControls[value].caret + 1),
                 QLatin1String(kControls[value].mnemonic), QLatin1String(kControls[value].name));
    if (value == 32)
        return QStringLiteral("Space Character");
    if (value == 127)
        return QStringLiteral("Control Character: Delete");
    return {};
}

Section SectionOf(int value)
{
    if (value < 32 || value == 127)
        return Section::Control;
    if (value < 128)
        return Section::Printable;
    return Section::EightBit;
}

} // namespace AsciiTable
