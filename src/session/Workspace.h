#pragma once
#include <QByteArray>
#include <QRect>
#include <QString>
#include <cstdint>
#include <vector>

class QIODevice;

// One session of the workspace: its document file and the placement of its
// frame (the normal rectangle, the maximised and minimised positions, the
// show state and the placement flags).
struct CWorkspaceRecord
{
    enum ShowCommand : int32_t
    {
        ShowNormal = 1,
        ShowMinimized = 2,
        ShowMaximized = 3,
    };

    QByteArray path; // empty for a session never saved
    int32_t left = 0;
    int32_t top = 0;
    int32_t right = 0;
    int32_t bottom = 0;
    int32_t maxX = 0;
    int32_t maxY = 0;
    int32_t minX = 0;
    int32_t minY = 0;
    int32_t showCommand = ShowNormal;
    int32_t flags = 0;
};

// The workspace file "trellium.ws9": the sessions open when the program last
// closed, in creation order. Reserved fields are written as zeros and
// skipped on reading.
namespace Workspace {

inline constexpr int kReservedTexts = 15;

struct CReadResult
{
    std::vector<CWorkspaceRecord> records; // those read before any failure
    bool bCountRead = false;               // the session count was read
    bool bComplete = false;                // every record was read
};

// Never allocates by a claimed count or length: a damaged file gives the
// records it holds whole, and the rest is dropped.
CReadResult Read(QIODevice& device);
// False when a write failed.
bool Write(QIODevice& device, const std::vector<CWorkspaceRecord>& records);

// The file's path: the data folder ("~/.local/share/Trellium/") plus
// "trellium.ws9".
QString FilePath();

// Where a restored frame goes, kept within reason whatever a damaged file
// holds: its top-left corner within -5000..10000, its width within
// 100..10000 and its height within 60..10000. Worked out in 64 bits, so
// corners at the ends of the 32-bit range cannot wrap before they are clamped.
QRect RestoredNormalRect(const CWorkspaceRecord& record);
// Stores `rect` as the record's normal rectangle (left, top, right, bottom),
// the far edges held to the 32-bit range.
void StoreNormalRect(CWorkspaceRecord& record, const QRect& rect);

} // namespace Workspace
