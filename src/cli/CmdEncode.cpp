// trellium-cli encode: the bytes each data string would transmit.
#include "cli/Commands.h"
#include "send/TerminalText.h"

#include "send/DataString.h"

#include <cstdio>
#include <string>

namespace {

void PrintHexLine(const char* data, int count)
{
    static const char kDigits[] = "0123456789ABCDEF";
    std::string line;
    line.reserve(static_cast<size_t>(count) * 3 + 1);
    for (int i = 0; i < count; ++i) {
        const auto byte = static_cast<unsigned char>(data[i]);
        if (i != 0) {
            line += ' ';
        }
        line += kDigits[byte >> 4];
        line += kDigits[byte & 0x0F];
    }
    line += '\n';
    std::fwrite(line.data(), 1, line.size(), stdout);
}

} // namespace

int RunEncode(const QList<QByteArray>& args)
{
    if (args.isEmpty()) {
        PrintError(QStringLiteral("encode needs at least one data string"));
        return 2;
    }
    // Successive strings share the checksum state, as successive sends do;
    // each run of the command starts from a fresh one.
    ChecksumState state;
    bool refused = false;
    for (const QByteArray& raw : args) {
        const QString arg = QString::fromUtf8(raw);
        QByteArray text;
        QString notOneByte;
        if (!TerminalBytes(raw, text, notOneByte)) {
            std::fflush(stdout);
            PrintError(QStringLiteral("refused \"%1\": %2").arg(arg, notOneByte));
            refused = true;
            continue;
        }
        try {
            const EncodeResult result = EncodeDataString(text, state, PrintHexLine);
            if (!result.message.isEmpty()) {
                std::fflush(stdout);
                PrintError(result.message);
                refused = true;
            }
        } catch (const CDataStringError& error) {
            std::fflush(stdout);
            PrintError(
                QStringLiteral("refused \"%1\": %2").arg(arg, QString::fromLatin1(error.what())));
            refused = true;
        }
    }
    std::fflush(stdout);
    // A refused string or a file that could not be sent fails the command.
    return refused ? 2 : 0;
}
