// The workspace file: whatever the bytes, the reader returns the records it
// holds whole, never allocates by a claimed count or length, and what it
// returns can be written again and read back the same. Each record's frame
// placement is worked out as a restore does: it stays within its bounds, a
// span is never turned into another by wrapping arithmetic (a record from
// INT32_MIN to INT32_MAX is as wide as allowed, not narrow), and storing the
// placement and restoring it again gives the same one.
#include "session/Workspace.h"

#include <QBuffer>
#include <algorithm>
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
        const CWorkspaceRecord& record = read.records[i];
        const QRect placed = Workspace::RestoredNormalRect(record);
        if (placed.left() < -5000 || placed.left() > 10000 || placed.top() < -5000 ||
            placed.top() > 10000)
            std::abort();
        const int64_t span = int64_t{record.right} - record.left;
        if (placed.width() != std::clamp<int64_t>(span, 100, 10000))
            std::abort();
        const int64_t rise = int64_t{record.bottom} - record.top;
        if (placed.height() != std::clamp<int64_t>(rise, 60, 10000))
            std::abort();
        CWorkspaceRecord stored;
        Workspace::StoreNormalRect(stored, placed);
        if (Workspace::RestoredNormalRect(stored) != placed)
            std::abort();
    }
    return 0;
}
