// The workspace file: whatever the bytes, the reader returns the records it
// holds whole, never allocates by a claimed count or length, and what it
// returns can be written again and read back the same.
#include "session/Workspace.h"

#include <QBuffer>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    QByteArray bytes =
        QByteArray::fromRawData(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    QBuffer input(&bytes);
    input.open(QIODevice::ReadOnly);
    const Workspace::CReadResult read = Workspace::Read(input);
    if (read.records.size() > size)
        std::abort(); // every record takes bytes of the file
    QBuffer output;
    output.open(QIODevice::WriteOnly);
    if (!Workspace::Write(output, read.records))
        std::abort();
    output.close();
    output.open(QIODevice::ReadOnly);
    const Workspace::CReadResult again = Workspace::Read(output);
    if (!again.bComplete || again.records.size() != read.records.size())
        std::abort();
    for (size_t i = 0; i < read.records.size(); ++i) {
        if (again.records[i].path != read.records[i].path ||
            again.records[i].showCommand != read.records[i].showCommand)
            std::abort();
    }
    return 0;
}
