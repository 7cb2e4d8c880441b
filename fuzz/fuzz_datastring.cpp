// Data strings: the escape pass and the whole encoder, with successive
// strings sharing one checksum state as successive sends do. File references
// are left out: a fuzzer must not read the files it names.
#include "send/DataString.h"

#include <QByteArray>
#include <QList>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray input(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    // Up to four strings, one a line.
    const QList<QByteArray> strings = input.split('\n').mid(0, 4);
    ChecksumState state;
    for (const QByteArray& text : strings) {
        if (text.startsWith('*'))
            continue;
        try {
            const QByteArray decoded = DecodeDataString(text);
            // The escape pass never lengthens the text.
            if (decoded.size() > text.size())
                std::abort();
        } catch (const CDataStringError&) {
        }
        int calls = 0;
        qsizetype sent = 0;
        try {
            const EncodeResult result =
                EncodeDataString(text, state, [&calls, &sent](const char* bytes, int count) {
                    ++calls;
                    sent += count;
                    if (count < 0 || (count > 0 && bytes == nullptr))
                        std::abort();
                });
            // Not a file: exactly one transmit, never more than three bytes
            // for each byte of text, and nothing to report.
            if (calls != 1 || sent > 3 * text.size() || !result.message.isEmpty() ||
                result.kind != EncodeResult::Kind::Sent)
                std::abort();
        } catch (const CDataStringError&) {
            // Refused before anything was sent.
            if (calls != 0)
                std::abort();
        }
    }
    return 0;
}
