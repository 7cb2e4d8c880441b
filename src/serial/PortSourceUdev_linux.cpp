#include "serial/PortSource.h"

#include <QString>
#include <algorithm>
#include <climits>
#include <cstring>
#include <dirent.h>
#include <libudev.h>
#include <memory>
#include <string>
#include <unistd.h>

namespace {

struct CUdevUnref
{
    void operator()(udev* p) const { udev_unref(p); }
    void operator()(udev_device* p) const { udev_device_unref(p); }
};
using CUdev = std::unique_ptr<udev, CUdevUnref>;
using CUdevDevice = std::unique_ptr<udev_device, CUdevUnref>;

QString Text(const char* value)
{
    return value ? QString::fromUtf8(value).trimmed() : QString();
}

// The first /dev/serial/by-id/ link of the device, or nothing (the links
// exist only where the device manager's daemon runs).
QString StablePath(udev_device* device)
{
    QString best;
    udev_list_entry* entry = nullptr;
    udev_list_entry_foreach(entry, udev_device_get_devlinks_list_entry(device))
    {
        const QString link = Text(udev_list_entry_get_name(entry));
        if (link.startsWith(QLatin1String("/dev/serial/by-id/")) && (best.isEmpty() || link < best))
            best = link;
    }
    return best;
}

// The device's name as the device database knows it, else as the device
// reports it, else as its USB parent reports it.
QString Description(udev_device* device)
{
    QString text = Text(udev_device_get_property_value(device, "ID_MODEL_FROM_DATABASE"));
    if (text.isEmpty())
        text = Text(udev_device_get_property_value(device, "ID_MODEL"))
                   .replace(QLatin1Char('_'), QLatin1Char(' '));
    if (text.isEmpty())
        text = Text(udev_device_get_property_value(device, "ID_SERIAL"))
                   .replace(QLatin1Char('_'), QLatin1Char(' '));
    if (text.isEmpty()) {
        // Borrowed from `device`; not to be released.
        if (udev_device* usb =
                udev_device_get_parent_with_subsystem_devtype(device, "usb", "usb_device"))
            text = Text(udev_device_get_sysattr_value(usb, "product"));
    }
    return text;
}

struct CCloseDir
{
    void operator()(DIR* p) const { closedir(p); }
};

class CUdevPortSource final : public CPortSource
{
public:
    std::vector<PortNames::CSerialDevice> Devices() override
    {
        std::vector<PortNames::CSerialDevice> devices;
        const CUdev context(udev_new());
        const std::unique_ptr<DIR, CCloseDir> dir(opendir("/sys/class/tty"));
        if (!context || !dir)
            return devices;
        // The class folder links every tty to its device. Virtual terminals,
        // the console and pseudo-terminals live under devices/virtual and
        // have no parent device; telling them by their link spares asking
        // the device manager about sixty-odd of them (a twentieth of the
        // time of a full udev enumeration, which every first session pays).
        while (const dirent* entry = readdir(dir.get())) {
            if (entry->d_name[0] == '.')
                continue;
            const std::string link = std::string("/sys/class/tty/") + entry->d_name;
            char target[PATH_MAX];
            const ssize_t length = readlink(link.c_str(), target, sizeof target - 1);
            if (length <= 0)
                continue;
            target[length] = '\0';
            if (std::strstr(target, "/devices/virtual/"))
                continue;
            const CUdevDevice device(
                udev_device_new_from_subsystem_sysname(context.get(), "tty", entry->d_name));
            if (!device || !udev_device_get_parent(device.get()))
                continue;
            const QString node = Text(udev_device_get_devnode(device.get()));
            const QString name = Text(udev_device_get_sysname(device.get()));
            if (node.isEmpty() || PortNames::IsPhantomSerial8250(name))
                continue;
            devices.push_back({node, StablePath(device.get()), Description(device.get())});
        }
        std::sort(devices.begin(), devices.end(),
                  [](const auto& a, const auto& b) { return a.devicePath < b.devicePath; });
        return devices;
    }
};

} // namespace

std::unique_ptr<CPortSource> MakeUdevPortSource()
{
    return std::make_unique<CUdevPortSource>();
}
