#include "serial/PortMonitor.h"

#include <QFileInfo>
#include <QSocketNotifier>
#include <libudev.h>

namespace {

struct CUdevUnref
{
    void operator()(udev* p) const { udev_unref(p); }
    void operator()(udev_monitor* p) const { udev_monitor_unref(p); }
    void operator()(udev_device* p) const { udev_device_unref(p); }
};

} // namespace

struct CPortMonitor::CImpl
{
    std::unique_ptr<udev, CUdevUnref> context;
    std::unique_ptr<udev_monitor, CUdevUnref> monitor;
    std::unique_ptr<QSocketNotifier> notifier;
};

CPortMonitor::CPortMonitor(std::unique_ptr<CImpl> impl) : m_impl(std::move(impl)) {}

CPortMonitor::~CPortMonitor() = default;

std::unique_ptr<CPortMonitor> CPortMonitor::Start(std::function<void()> changed)
{
    auto impl = std::make_unique<CImpl>();
    impl->context.reset(udev_new());
    if (!impl->context)
        return nullptr;
    // With the device manager's daemon running, its events come after its
    // rules have made the /dev/serial/by-id/ links; without it, only the
    // kernel's own events are there.
    const char* source = QFileInfo::exists(QStringLiteral("/run/udev/control")) ? "udev" : "kernel";
    impl->monitor.reset(udev_monitor_new_from_netlink(impl->context.get(), source));
    if (!impl->monitor ||
        udev_monitor_filter_add_match_subsystem_devtype(impl->monitor.get(), "tty", nullptr) < 0 ||
        udev_monitor_enable_receiving(impl->monitor.get()) < 0)
        return nullptr;
    const int fd = udev_monitor_get_fd(impl->monitor.get());
    if (fd < 0)
        return nullptr;
    impl->notifier = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read);
    udev_monitor* monitor = impl->monitor.get();
    QObject::connect(impl->notifier.get(), &QSocketNotifier::activated,
                     [monitor, changed = std::move(changed)] {
                         // The socket does not block: take every event queued.
                         int events = 0;
                         while (std::unique_ptr<udev_device, CUdevUnref> device{
                             udev_monitor_receive_device(monitor)})
                             ++events;
                         if (events > 0)
                             changed();
                     });
    return std::unique_ptr<CPortMonitor>(new CPortMonitor(std::move(impl)));
}
