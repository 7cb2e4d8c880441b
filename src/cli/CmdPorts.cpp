// trellium-cli ports: the port list as a port selector shows it.
#include "cli/Commands.h"

#include "serial/PortList.h"

#include <cstdio>

int RunPorts(const QStringList& args)
{
    if (!args.isEmpty()) {
        PrintError(QStringLiteral("ports takes no arguments"));
        return 2;
    }
    CPortList list;
    list.Enumerate();
    for (const CPortItem& item : list.Items()) {
        const QByteArray line = QStringLiteral("%1\t%2\t%3\n")
                                    .arg(item.m_nPortId)
                                    .arg(item.m_strName, item.m_strDescription)
                                    .toLocal8Bit();
        std::fwrite(line.constData(), 1, static_cast<size_t>(line.size()), stdout);
    }
    return 0;
}
