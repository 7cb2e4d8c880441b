#pragma once
#include <QByteArray>
#include <array>
#include <atomic>
#include <cstdint>

class CArchive;

// Connection types; the port id and the type always agree (see PortIdToType).
enum ConnectionType : int32_t
{
    ConnSerial = 0,
    ConnTcpClient = 1,
    ConnTcpServer = 2,
    ConnUdpClient = 3,
    ConnUdpServer = 4,
    ConnMerge = 5,
};

// Fixed port ids of the non-serial entries; serial ports use COM number - 1.
enum FixedPortId : int32_t
{
    PortIdTcpClient = 254,
    PortIdTcpServer = 255,
    PortIdUdpClient = 256,
    PortIdUdpServer = 257,
    PortIdMerge = 258,
    PortIdNone = -1,
};

int32_t PortIdToType(int32_t portId);

enum class DisplayMode : int32_t
{
    Mont = 0,
    Text = 1,
    Hex = 2,
};

// Colour words are 0x00BBGGRR.
enum ColorIndex
{
    ColorBackground = 0,
    ColorText = 1,
    ColorSpecial = 2,
    ColorStamp = 3,
    ColorWordCount = 7,
};

inline constexpr uint32_t kOptionEcho = 0x4000;

struct CTimingInfo
{
    int32_t m_nMinInterval = 500; // ms; compared as unsigned
    int32_t m_nFormat = 0;        // 0 off, 1..6 time-stamp formats
};

class CColorRotation;

// A session's connection, display and timing settings. A session's record
// takes the next colour set of the program's rotation; a record made without
// one has set 0. Use on the user-interface thread.
class CCommInfo
{
public:
    CCommInfo();
    explicit CCommInfo(CColorRotation& rotation);

    // Reads versions 0 to 4; always writes version 4. A failed read leaves the
    // fields read so far and keeps the rest; throws CArchiveException.
    void Serialize(CArchive& ar);

    bool EchoOn() const { return (m_nOptions & kOptionEcho) != 0; }

    int32_t m_nPortId = PortIdTcpClient;
    int32_t m_nBaudRate = 9600;
    int32_t m_nDataBits = 8;
    int32_t m_nStopBits = 10; // stop bits x 10
    uint8_t m_cParity = 'N';
    int32_t m_nFlowControl = 0;
    int32_t m_nDisplayMode = 0;
    int32_t m_nConnectionType = ConnTcpClient;
    QByteArray m_strAddress = "127.0.0.1";
    int32_t m_nNetworkPort = 80;
    uint32_t m_nReserved = 0;
    uint32_t m_nOptions = 0;
    std::array<uint32_t, ColorWordCount> m_colors{};
    CTimingInfo m_timing;

    // The version read by the last Serialize load (0 when there was no marker).
    int32_t m_nVersionRead = 4;
};

namespace ColorSets {
inline constexpr int kCount = 4;
// Copies set `index` (0..3) into the first four words.
void Apply(int index, std::array<uint32_t, ColorWordCount>& colors);
} // namespace ColorSets

// The colour-set rotation shared by the sessions of one program: 4 sets,
// starting at 0. Any thread may call.
class CColorRotation
{
public:
    // Returns the index for a new record and advances the rotation.
    int TakeNext();
    // Steps the rotation back by one (choosing the merge entry).
    void StepBack();
    int Current() const { return m_index.load(); }

private:
    std::atomic<int> m_index{0};
};
