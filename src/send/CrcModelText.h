#pragma once
#include "send/Crc.h"

#include <QString>

// A CRC model written as text: "width=W poly=P [init=I] [refin=true|false]
// [refout=true|false] [xorout=X]", blank-separated in any order, numbers in
// decimal or 0x hex, width 1 to 64, every value within the width.

// Fills `model` in working form with its byte table and returns an empty
// text, or returns what is wrong with `text` (then `model` is unspecified).
QString ParseCrcModelText(const QString& text, CrcModel& model);

// One sentence on the two ways of naming a model, for error messages.
QString CrcModelTextHelp();
