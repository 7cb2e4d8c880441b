#include "session/Workspace.h"

#include "base/Archive.h"

#include <QStandardPaths>
#include <algorithm>
#include <limits>

namespace Workspace {

CReadResult Read(QIODevice& device)
{
    CReadResult result;
    CArchive ar(&device, CArchive::Mode::Load);
    try {
        ar.ReadU32();
        ar.ReadU32();
        ar.ReadU32();
        for (int i = 0; i < kReservedTexts; ++i)
            ar.ReadString();
        const uint32_t count = ar.ReadU32();
        result.bCountRead = true;
        // Records are added as they are read: a hostile count costs nothing
        // beyond the records the file really holds.
        for (uint32_t i = 0; i < count; ++i) {
            CWorkspaceRecord record;
            record.path = ar.ReadString();
            record.left = ar.ReadI32();
            record.top = ar.ReadI32();
            record.right = ar.ReadI32();
            record.bottom = ar.ReadI32();
            record.maxX = ar.ReadI32();
            record.maxY = ar.ReadI32();
            record.minX = ar.ReadI32();
            record.minY = ar.ReadI32();
            record.showCommand = ar.ReadI32();
            record.flags = ar.ReadI32();
            result.records.push_back(record);
        }
        result.bComplete = true;
    } catch (const CArchiveException&) {
        // What was read stays; the rest of a damaged file is dropped.
    }
    return result;
}

bool Write(QIODevice& device, const std::vector<CWorkspaceRecord>& records)
{
    CArchive ar(&device, CArchive::Mode::Store);
    try {
        ar.WriteU32(0);
        ar.WriteU32(0);
        ar.WriteU32(0);
        for (int i = 0; i < kReservedTexts; ++i)
            ar.WriteString({});
        ar.WriteU32(static_cast<uint32_t>(records.size()));
        for (const CWorkspaceRecord& record : records) {
            ar.WriteString(record.path);
            for (int32_t value :
                 {record.left, record.top, record.right, record.bottom, record.maxX, record.maxY,
                  record.minX, record.minY, record.showCommand, record.flags})
                ar.WriteI32(value);
        }
        ar.WriteU32(0);
    } catch (const CArchiveException&) {
        return false;
    }
    return true;
}

QString FilePath()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
           QStringLiteral("/Trellium/trellium.ws9");
}

namespace {

int ClampedInt(int64_t value, int64_t low, int64_t high)
{
    return static_cast<int>(std::clamp(value, low, high));
}

} // namespace

QRect RestoredNormalRect(const CWorkspaceRecord& record)
{
    const int64_t width = int64_t{record.right} - record.left;
    const int64_t height = int64_t{record.bottom} - record.top;
    return {ClampedInt(record.left, -5000, 10000), ClampedInt(record.top, -5000, 10000),
            ClampedInt(width, 100, 10000), ClampedInt(height, 60, 10000)};
}

void StoreNormalRect(CWorkspaceRecord& record, const QRect& rect)
{
    constexpr int64_t kLow = std::numeric_limits<int32_t>::min();
    constexpr int64_t kHigh = std::numeric_limits<int32_t>::max();
    record.left = rect.left();
    record.top = rect.top();
    record.right = ClampedInt(int64_t{rect.left()} + rect.width(), kLow, kHigh);
    record.bottom = ClampedInt(int64_t{rect.top()} + rect.height(), kLow, kHigh);
}

} // namespace Workspace
