#pragma once
#include <QString>

// The ASCII chart's contents: for each byte value its cell text, the tool
// tip (control characters, space and DEL), and which of the three sections
// it belongs to.
namespace AsciiTable {

enum class Section
{
    Control,   // 0..31 and 127: light red
    Printable, // 32..126: light green
    EightBit,  // 128..255: light grey
};

QString CellText(int value);
QString ToolTip(int value); // empty when the cell has none
Section SectionOf(int value);

} // namespace AsciiTable
