#include "cli/CliAlerts.h"

#include <cstdio>

void CCliAlerts::Message(const QString& text, const QString&, AlertIcon)
{
    const QByteArray line = text.toLocal8Bit();
    std::fprintf(stderr, "%s\n", line.constData());
    std::fflush(stderr);
}
