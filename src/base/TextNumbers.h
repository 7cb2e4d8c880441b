#pragma once
#include <QString>

// The leading decimal number of a text as the standard conversion reads it
// (blanks and a sign first; 0 when there are no digits), kept within int.
int LeadingInteger(const QString& text);
