#pragma once
#include <QByteArray>
#include <QString>

// A command-line argument as bytes to send, taken as the user's terminal
// gave it: each valid UTF-8 character up to U+00FF becomes that one byte,
// bytes that are not valid UTF-8 stay as they are, and a character above
// U+00FF cannot be one byte: the argument is refused and `error` says which
// character. Returns false when refused.
bool TerminalBytes(const QByteArray& raw, QByteArray& bytes, QString& error);
