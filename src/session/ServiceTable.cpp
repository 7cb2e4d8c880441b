#include "session/ServiceTable.h"

namespace ServiceTable {

QString ServiceName(int port)
{
    for (const Entry& entry : kEntries) {
        if (entry.port == port)
            return QLatin1String(entry.name);
    }
    return QStringLiteral("Port %1").arg(port);
}

} // namespace ServiceTable
