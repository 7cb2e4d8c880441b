#include "serial/PortList.h"

#include "serial/PortNames.h"
#include "session/CommInfo.h"

void CPortList::Enumerate()
{
    m_items.clear();
    for (int com = 1; com <= 12; ++com) {
        if (!PortNames::CanOpen(com).IsError())
            m_items.push_back(
                {com - 1, QStringLiteral("COM%1").arg(com), PortNames::DevicePath(com), false});
    }
    const struct
    {
        int id;
        const char* name;
        const char* description;
    } fixed[] = {
        {PortIdTcpClient, "TCP Client", "TCP/IP client connection"},
        {PortIdTcpServer, "TCP Server", "TCP/IP server"},
        {PortIdUdpClient, "UDP Client", "UDP client"},
        {PortIdUdpServer, "UDP Server", "UDP server"},
        {PortIdMerge, "Merge", "Display data from all connected port views"},
    };
    for (const auto& entry : fixed)
        m_items.push_back(
            {entry.id, QLatin1String(entry.name), QLatin1String(entry.description), false});
}

void CPortList::SetInUse(int portId, bool inUse)
{
    for (CPortItem& item : m_items) {
        if (item.m_nPortId == portId) {
            item.m_bInUse = inUse;
            if (m_inUseChanged)
                m_inUseChanged();
            return;
        }
    }
}

CSelectorContents CPortList::FillSelector(int currentPortId) const
{
    CSelectorContents contents;
    for (const CPortItem& item : m_items) {
        if (item.m_nPortId == currentPortId && contents.selected < 0)
            contents.selected = static_cast<int>(contents.entries.size());
        contents.entries.push_back(
            {item.m_nPortId, item.m_strName, item.m_strDescription, item.m_bInUse});
    }
    return contents;
}
