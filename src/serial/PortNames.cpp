#include "serial/PortNames.h"

#include "platform/Profile.h"

#include <QFileInfo>
#include <QRegularExpression>
#include <algorithm>
#include <map>
#include <set>

namespace PortNames {
namespace {

const QString kSection = QStringLiteral("Ports");

// "COM7" → 7; 0 for anything else.
int ComNumberOf(const QString& name)
{
    static const QRegularExpression pattern(QStringLiteral("^COM([1-9][0-9]{0,5})$"),
                                            QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch match = pattern.match(name.trimmed());
    return match.hasMatch() ? match.captured(1).toInt() : 0;
}

// COM number → device path of TRELLIUM_PORTS; the first mapping of a number wins.
std::map<int, QString> EnvironmentMappings()
{
    std::map<int, QString> mappings;
    const QString text = qEnvironmentVariable("TRELLIUM_PORTS");
    for (const QString& item : text.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
        const qsizetype eq = item.indexOf(QLatin1Char('='));
        if (eq <= 0)
            continue;
        const int number = ComNumberOf(item.left(eq));
        const QString path = item.mid(eq + 1).trimmed();
        if (number > 0 && !path.isEmpty())
            mappings.emplace(number, path);
    }
    return mappings;
}

std::map<int, QString> ProfileMappings()
{
    std::map<int, QString> mappings;
    auto profile = Platform::OpenProfile();
    profile->beginGroup(kSection);
    for (const QString& key : profile->childKeys()) {
        const int number = ComNumberOf(key);
        const QString path = profile->value(key).toString().trimmed();
        if (number > 0 && !path.isEmpty())
            mappings.emplace(number, path);
    }
    return mappings;
}

void Remember(int number, const QString& path)
{
    auto profile = Platform::OpenProfile();
    profile->beginGroup(kSection);
    profile->setValue(QStringLiteral("COM%1").arg(number), path);
}

// /dev/ttyS4 → 5; 0 for every other path.
int LegacyComNumber(const QString& devicePath)
{
    static const QRegularExpression pattern(QStringLiteral("^/dev/ttyS([0-9]{1,5})$"));
    const QRegularExpressionMatch match = pattern.match(devicePath);
    return match.hasMatch() ? match.captured(1).toInt() + 1 : 0;
}

bool Names(const CSerialDevice& device, const QString& path)
{
    return path == device.devicePath || (!device.stablePath.isEmpty() && path == device.stablePath);
}

} // namespace

bool IsRemote(const QString& path)
{
    return path.trimmed().startsWith(QLatin1String("rfc2217://"), Qt::CaseInsensitive);
}

std::optional<CRemotePort> ParseRemote(const QString& path)
{
    // A host name or dotted address, then a port of 1 to 65535; nothing else
    // (no user, no path), so that a mistyped entry is refused, not guessed.
    static const QRegularExpression pattern(
        QStringLiteral(
            "^rfc2217://([A-Za-z0-9]([A-Za-z0-9.-]{0,252}[A-Za-z0-9])?):([0-9]{1,5})/?$"),
        QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch match = pattern.match(path.trimmed());
    if (!match.hasMatch())
        return std::nullopt;
    const int port = match.captured(3).toInt();
    if (port < 1 || port > 65535)
        return std::nullopt;
    return CRemotePort{match.captured(1).toLatin1(), static_cast<uint16_t>(port)};
}

QString RemoteAddress(const CRemotePort& where)
{
    return QStringLiteral("rfc2217://%1:%2").arg(QString::fromLatin1(where.host)).arg(where.port);
}

void MapPort(int comNumber, const QString& path)
{
    Remember(comNumber, path);
}

std::set<int> TakenComNumbers(std::set<int> listed)
{
    for (const auto& entry : ProfileMappings())
        listed.insert(entry.first);
    for (const auto& entry : EnvironmentMappings())
        listed.insert(entry.first);
    return listed;
}

QString DevicePath(int comNumber)
{
    if (comNumber < 1)
        return {};
    const std::map<int, QString> environment = EnvironmentMappings();
    if (const auto it = environment.find(comNumber); it != environment.end())
        return it->second;
    const std::map<int, QString> profile = ProfileMappings();
    if (const auto it = profile.find(comNumber); it != profile.end())
        return it->second;
    return QStringLiteral("/dev/ttyS%1").arg(comNumber - 1);
}

std::vector<CNumberedPort> NumberPorts(const std::vector<CSerialDevice>& devices)
{
    std::map<int, QString> explicitPaths = ProfileMappings();
    for (const auto& [number, path] : EnvironmentMappings())
        explicitPaths[number] = path; // the environment wins over the profile

    // Every explicit number is taken, present or not: an adapter that is
    // unplugged keeps its number for when it comes back.
    std::set<int> taken;
    for (const auto& entry : explicitPaths)
        taken.insert(entry.first);

    std::vector<CNumberedPort> ports;
    std::vector<const CSerialDevice*> unnumbered;
    std::set<int> claimed; // explicit numbers whose device is in `devices`
    for (const CSerialDevice& device : devices) {
        const auto named =
            std::find_if(explicitPaths.begin(), explicitPaths.end(),
                         [&](const auto& entry) { return Names(device, entry.second); });
        if (named != explicitPaths.end() && !claimed.count(named->first)) {
            claimed.insert(named->first);
            ports.push_back({named->first, device.devicePath, device.description});
            continue;
        }
        const int legacy = LegacyComNumber(device.devicePath);
        if (legacy > 0 && !taken.count(legacy)) {
            taken.insert(legacy);
            ports.push_back({legacy, device.devicePath, device.description});
            continue;
        }
        unnumbered.push_back(&device);
    }
    for (const CSerialDevice* device : unnumbered) {
        int number = 1;
        while (taken.count(number))
            ++number;
        taken.insert(number);
        // A fixed UART whose own number an explicit mapping took gets a
        // number for now only: remembered, it would keep that number after
        // the mapping (often a passing TRELLIUM_PORTS) is gone.
        if (LegacyComNumber(device->devicePath) <= 0)
            Remember(number,
                     device->stablePath.isEmpty() ? device->devicePath : device->stablePath);
        ports.push_back({number, device->devicePath, device->description});
    }
    // Explicit mappings to devices that no source lists (pseudo-terminals,
    // socat links) are ports while their device exists; a remote port is
    // always listed, as nothing here can tell whether it is there.
    for (const auto& [number, path] : explicitPaths) {
        if (claimed.count(number))
            continue;
        if (IsRemote(path))
            ports.push_back({number, path, QStringLiteral("Remote serial port")});
        else if (QFileInfo::exists(path))
            ports.push_back({number, path, {}});
    }
    std::sort(ports.begin(), ports.end(), [](const CNumberedPort& a, const CNumberedPort& b) {
        return a.comNumber < b.comNumber;
    });
    return ports;
}

} // namespace PortNames
