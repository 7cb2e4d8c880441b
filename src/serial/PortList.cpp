#include "serial/PortList.h"

#include "base/CommInfo.h"
#include "platform/DeviceAdvice.h"
#include "serial/PortNames.h"
#include "serial/PortSource.h"

#include <climits>
#include <set>

namespace {

struct CFixedEntry
{
    int portId;
    const char* name;
    const char* description;
};

constexpr CFixedEntry kFixedEntries[] = {
    {PortIdTcpClient, "TCP Client", "TCP/IP client connection"},
    {PortIdTcpServer, "TCP Server", "TCP/IP server"},
    {PortIdUdpClient, "UDP Client", "UDP client"},
    {PortIdUdpServer, "UDP Server", "UDP server"},
    {PortIdMerge, "Merge", "Display data from all connected port views"},
};

bool IsDigit(QChar c)
{
    return c >= QLatin1Char('0') && c <= QLatin1Char('9');
}

// Decimal digits to an int, saturating instead of overflowing.
int Accumulate(int number, QChar digit)
{
    const int d = digit.unicode() - '0';
    return number > (INT_MAX - d) / 10 ? INT_MAX : number * 10 + d;
}

} // namespace

QString PortCaption(const QString& description, const QString& devicePath, int comNumber)
{
    const QString where = QStringLiteral("%1 (COM%2)").arg(devicePath).arg(comNumber);
    return description.isEmpty() ? where : description + QStringLiteral(" - ") + where;
}

std::optional<int> PortIdFromCaption(const QString& caption)
{
    const qsizetype at = caption.indexOf(QLatin1String("COM"), 0, Qt::CaseSensitive);
    if (at < 0)
        return std::nullopt;
    const QStringView rest = QStringView(caption).mid(at + 3);

    // The standard conversion: blanks, a sign, then digits.
    qsizetype i = 0;
    while (i < rest.size() && (rest[i] == QLatin1Char(' ') ||
                               (rest[i] >= QLatin1Char('\t') && rest[i] <= QLatin1Char('\r'))))
        ++i;
    bool negative = false;
    if (i < rest.size() && (rest[i] == QLatin1Char('+') || rest[i] == QLatin1Char('-')))
        negative = rest[i++] == QLatin1Char('-');
    int number = 0;
    for (; i < rest.size() && IsDigit(rest[i]); ++i)
        number = Accumulate(number, rest[i]);
    if (number != 0)
        return negative ? -number - 1 : number - 1;

    // Otherwise the first number after "COM" that is not zero.
    number = 0;
    for (const QChar c : rest) {
        if (IsDigit(c))
            number = Accumulate(number, c);
        else if (number != 0)
            break;
    }
    return number > 0 ? number - 1 : 0;
}

CPortList::CPortList() : m_source(MakeUdevPortSource()) {}

CPortList::CPortList(std::unique_ptr<CPortSource> source) : m_source(std::move(source)) {}

CPortList::~CPortList() = default;

void CPortList::SetSource(std::unique_ptr<CPortSource> source)
{
    m_source = std::move(source);
}

void CPortList::Enumerate()
{
    std::set<int> inUse;
    for (const CPortItem& item : m_items) {
        if (item.m_bInUse)
            inUse.insert(item.m_nPortId);
    }
    m_items.clear();
    const std::vector<PortNames::CSerialDevice> devices =
        m_source ? m_source->Devices() : std::vector<PortNames::CSerialDevice>();
    for (const PortNames::CNumberedPort& port : PortNames::NumberPorts(devices)) {
        const int id = port.comNumber - 1;
        if (id >= PortIdTcpClient)
            continue; // past COM254 the ids belong to the fixed entries
        // A port the user may not open says so before it is chosen.
        QString caption = PortCaption(port.description, port.devicePath, port.comNumber);
        if (DeviceAdvice::IsForbidden(port.devicePath))
            caption += QStringLiteral(" - no permission");
        m_items.push_back(
            {id, QStringLiteral("COM%1").arg(port.comNumber), caption, inUse.count(id) > 0});
    }
    for (const CFixedEntry& fixed : kFixedEntries)
        m_items.push_back({fixed.portId, QString::fromLatin1(fixed.name),
                           QString::fromLatin1(fixed.description), false});
}

void CPortList::Clear()
{
    m_items.clear();
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
