#pragma once
#include <QString>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

class CPortSource;

// One entry of the port list: a serial port or one of the fixed entries.
struct CPortItem
{
    int m_nPortId = 0;        // COM number - 1, or 254 to 258
    QString m_strName;        // "COM5", "TCP Client", ...
    QString m_strDescription; // "FT232R USB UART - /dev/ttyUSB0 (COM5)", "TCP/IP server", ...
    bool m_bInUse = false;    // a session has the serial port open
};

// What a port selector shows: its entries in order and the index to select
// (-1 when no entry has the session's port id).
struct CSelectorEntry
{
    int portId = 0;
    QString name;
    QString description;
    bool inUse = false;
};
struct CSelectorContents
{
    std::vector<CSelectorEntry> entries;
    int selected = -1;
};

// The connection choices of the program: the serial ports present, numbered
// by PortNames, then the five fixed entries (TCP client, TCP server, UDP
// client, UDP server, merge). One per program, in its CSessionContext: built
// when the first session is created, emptied when the last is destroyed, and
// rebuilt after device changes (CPortWatcher). User-interface thread only.
class CPortList
{
public:
    // Lists devices through the system's device manager.
    CPortList();
    explicit CPortList(std::unique_ptr<CPortSource> source);
    ~CPortList();
    CPortList(const CPortList&) = delete;
    CPortList& operator=(const CPortList&) = delete;

    // Lists through `source` from the next Enumerate on.
    void SetSource(std::unique_ptr<CPortSource> source);

    // Rebuilds the entries: the serial ports in COM-number order, then the
    // fixed entries. In-use marks of ports still present are kept.
    void Enumerate();
    void Clear();
    const std::vector<CPortItem>& Items() const { return m_items; }

    // Marks the first entry with `portId` and then calls the in-use callback
    // (the window refills the active session's selector: command 3002).
    // Nothing happens when no entry has that id.
    void SetInUse(int portId, bool inUse);
    void SetInUseCallback(std::function<void()> callback) { m_inUseChanged = std::move(callback); }

    // The entries for a port selector, with `currentPortId`'s selected.
    CSelectorContents FillSelector(int currentPortId) const;

private:
    std::unique_ptr<CPortSource> m_source;
    std::vector<CPortItem> m_items;
    std::function<void()> m_inUseChanged;
};

// A serial port's caption: "FT232R USB UART - /dev/ttyUSB0 (COM5)", or
// "/dev/pts/3 (COM7)" without a description.
QString PortCaption(const QString& description, const QString& devicePath, int comNumber);

// The port id a device caption names, read as the system always has: after
// the first "COM" (case-sensitive), the number that a decimal conversion
// gives (leading blanks skipped); when that is 0, the first run of digits
// after it that is not all zeros. "... (COM4)" gives 3, "COMPORT ... (COM7)"
// gives 6, a caption whose "COM" is followed by no number gives 0. Nothing
// for a caption without "COM".
std::optional<int> PortIdFromCaption(const QString& caption);
