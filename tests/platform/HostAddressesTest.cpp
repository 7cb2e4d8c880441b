// The host's own IPv4 addresses, shown when a server goes online: read from
// the interfaces without a name lookup, checked against the kernel's older
// interface listing and against binding to each address.
#include "platform/Socket.h"
#include "platform/UniqueFd.h"

#include <QStringList>
#include <arpa/inet.h>
#include <cstring>
#include <gtest/gtest.h>
#include <net/if.h>
#include <netinet/in.h>
#include <string>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <vector>

namespace {

struct CListedAddresses
{
    QStringList others;
    QStringList loopback;
};

// The IPv4 addresses of the interfaces that are up, as SIOCGIFCONF lists them.
CListedAddresses ListedByIoctl()
{
    CListedAddresses listed;
    const UniqueFd fd(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0));
    if (!fd.IsValid())
        return listed;
    std::vector<ifreq> requests(512);
    ifconf conf{};
    conf.ifc_len = static_cast<int>(requests.size() * sizeof(ifreq));
    conf.ifc_req = requests.data();
    if (::ioctl(fd.Get(), SIOCGIFCONF, &conf) != 0)
        return listed;
    const size_t count = static_cast<size_t>(conf.ifc_len) / sizeof(ifreq);
    for (size_t i = 0; i < count; ++i) {
        ifreq flags = requests[i];
        if (requests[i].ifr_addr.sa_family != AF_INET ||
            ::ioctl(fd.Get(), SIOCGIFFLAGS, &flags) != 0 || !(flags.ifr_flags & IFF_UP))
            continue;
        sockaddr_in in{};
        std::memcpy(&in, &requests[i].ifr_addr, sizeof in);
        const QString text = Platform::DottedIpv4(ntohl(in.sin_addr.s_addr));
        QStringList& into = (flags.ifr_flags & IFF_LOOPBACK) ? listed.loopback : listed.others;
        if (!into.contains(text))
            into.append(text);
    }
    return listed;
}

// "a, b, c" in sorted order, for comparing lists whatever their order.
std::string SortedText(QStringList list)
{
    list.sort();
    return list.join(QStringLiteral(", ")).toStdString();
}

TEST(HostAddresses, AreTheUpInterfacesWithLoopbackOnlyWhenAlone)
{
    const QStringList addresses = Platform::HostIpv4Addresses();
    const CListedAddresses listed = ListedByIoctl();
    if (listed.others.isEmpty() && listed.loopback.isEmpty())
        GTEST_SKIP() << "this machine lists no IPv4 interface that is up";
    const QStringList expected = listed.others.isEmpty() ? listed.loopback : listed.others;
    EXPECT_EQ(SortedText(addresses), SortedText(expected));
    QStringList once = addresses;
    EXPECT_EQ(once.removeDuplicates(), 0);
    if (!listed.others.isEmpty()) {
        for (const QString& address : addresses)
            EXPECT_FALSE(listed.loopback.contains(address)) << address.toStdString();
    }
}

TEST(HostAddresses, EachIsDottedAndBelongsToThisHost)
{
    const QStringList addresses = Platform::HostIpv4Addresses();
    for (const QString& address : addresses) {
        const std::optional<uint32_t> parsed = Platform::ParseDottedIpv4(address.toLatin1());
        ASSERT_TRUE(parsed.has_value()) << address.toStdString();
        EXPECT_EQ(Platform::DottedIpv4(*parsed), address);
        // Only an address of this host can be bound to.
        const UniqueFd fd(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0));
        ASSERT_TRUE(fd.IsValid());
        sockaddr_in local{};
        local.sin_family = AF_INET;
        local.sin_addr.s_addr = htonl(*parsed);
        EXPECT_EQ(::bind(fd.Get(), reinterpret_cast<const sockaddr*>(&local), sizeof local), 0)
            << address.toStdString();
    }
}

} // namespace
