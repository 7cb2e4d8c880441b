#include "session/SaveTarget.h"

#include "platform/FileIo.h"

#include <QFile>

QString SaveTargetProblem(const QString& path)
{
    const CErrorOr<Platform::FileStatus> status = Platform::StatusOfPath(QFile::encodeName(path));
    // A target that cannot be examined (missing, or in a folder that is not
    // there) is left to the save itself, which reports its own failure.
    if (status.IsError() || status.Value().regular)
        return {};
    return QStringLiteral("Cannot save %1: it is not a regular file").arg(path);
}
