#include "base/CommInfo.h"

#include "base/Archive.h"

namespace {
constexpr int32_t kMarker = -234;
constexpr int32_t kVersion = 4;
constexpr int32_t kSubRecordVersion = 1;

constexpr uint32_t kSets[ColorSets::kCount][4] = {
    {0x000000, 0x00FF00, 0x00FFFF, 0x7F7F7F},
    {0x000000, 0xFFFF00, 0xFF00FF, 0x7F7F7F},
    {0x000000, 0x9F9FFF, 0x0000FF, 0x7F7F7F},
    {0x000000, 0x0080FF, 0x77BBFF, 0x7F7F7F},
};
} // namespace

int32_t PortIdToType(int32_t portId)
{
    switch (portId) {
    case PortIdTcpClient:
        return ConnTcpClient;
    case PortIdTcpServer:
        return ConnTcpServer;
    case PortIdUdpClient:
        return ConnUdpClient;
    case PortIdUdpServer:
        return ConnUdpServer;
    case PortIdMerge:
        return ConnMerge;
    default:
        return ConnSerial;
    }
}

namespace ColorSets {

void Apply(int index, std::array<uint32_t, ColorWordCount>& colors)
{
    for (int i = 0; i < 4; ++i)
        colors[i] = kSets[index][i];
}

} // namespace ColorSets

int CColorRotation::TakeNext()
{
    int index = m_index.load();
    while (!m_index.compare_exchange_weak(index, (index + 1) % ColorSets::kCount)) {
    }
    return index;
}

void CColorRotation::StepBack()
{
    int index = m_index.load();
    while (!m_index.compare_exchange_weak(index,
                                          (index + ColorSets::kCount - 1) % ColorSets::kCount)) {
    }
}

CCommInfo::CCommInfo()
{
    ColorSets::Apply(0, m_colors);
}

CCommInfo::CCommInfo(CColorRotation& rotation)
{
    ColorSets::Apply(rotation.TakeNext(), m_colors);
}

void CCommInfo::Serialize(CArchive& ar)
{
    if (ar.IsStoring()) {
        ar.WriteI32(kMarker);
        ar.WriteI32(kVersion);
        ar.WriteI32(m_nPortId);
        ar.WriteI32(m_nBaudRate);
        ar.WriteI32(m_nDataBits);
        ar.WriteI32(m_nStopBits);
        ar.WriteU8(m_cParity);
        ar.WriteI32(m_nFlowControl);
        ar.WriteI32(m_nDisplayMode);
        ar.WriteI32(m_nConnectionType);
        ar.WriteString(m_strAddress);
        ar.WriteI32(m_nNetworkPort);
        ar.WriteU32(m_nReserved);
        ar.WriteI32(kSubRecordVersion);
        for (uint32_t color : m_colors)
            ar.WriteU32(color);
        ar.WriteI32(kSubRecordVersion);
        ar.WriteI32(m_timing.m_nFormat);
        ar.WriteI32(m_timing.m_nMinInterval);
        ar.WriteU32(m_nOptions);
        return;
    }

    int32_t first = ar.ReadI32();
    int32_t version = 0;
    if (first == kMarker) {
        version = ar.ReadI32();
        m_nVersionRead = version;
        m_nPortId = ar.ReadI32();
    } else {
        m_nVersionRead = 0;
        m_nPortId = first;
    }
    m_nBaudRate = ar.ReadI32();
    m_nDataBits = ar.ReadI32();
    m_nStopBits = ar.ReadI32();
    m_cParity = ar.ReadU8();
    m_nFlowControl = ar.ReadI32();
    m_nDisplayMode = ar.ReadI32();
    if (version >= 1) {
        m_nConnectionType = ar.ReadI32();
        m_strAddress = ar.ReadString();
        m_nNetworkPort = ar.ReadI32();
        m_nReserved = ar.ReadU32();
    }
    if (version >= 2) {
        ar.ReadI32(); // colour record version
        for (uint32_t& color : m_colors)
            color = ar.ReadU32();
    }
    if (version >= 3) {
        ar.ReadI32(); // timing record version
        m_timing.m_nFormat = ar.ReadI32();
        m_timing.m_nMinInterval = ar.ReadI32();
    }
    if (version >= 4)
        m_nOptions = ar.ReadU32();
}
