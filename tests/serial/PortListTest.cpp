// The port list: caption parsing, the fixed entries, COM numbers for the
// devices a source lists (kept per adapter across unplugging), in-use marks,
// the selector's contents, and the debounced rebuild after device changes.
#include "serial/PortList.h"
#include "CliRunner.h"
#include "PtyPair.h"
#include "TestClock.h"
#include "platform/Profile.h"
#include "serial/PortNames.h"
#include "serial/PortSource.h"
#include "serial/PortWatcher.h"
#include "session/SessionContext.h"
#include "session/TrelliumDoc.h"

#include <climits>
#include <gtest/gtest.h>

namespace {

using PortNames::CSerialDevice;

// Lists whatever the test puts in `devices`, counting the enumerations.
class CTestSource final : public CPortSource
{
public:
    explicit CTestSource(std::vector<CSerialDevice>& devices, int& calls)
        : m_devices(devices), m_calls(calls)
    {
    }
    std::vector<CSerialDevice> Devices() override
    {
        ++m_calls;
        return m_devices;
    }

private:
    std::vector<CSerialDevice>& m_devices;
    int& m_calls;
};

// Each test starts with no remembered ports and no environment mapping.
class PortListTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        qunsetenv("TRELLIUM_PORTS");
        Platform::OpenProfile()->remove(QStringLiteral("Ports"));
        list.SetSource(std::make_unique<CTestSource>(devices, enumerations));
    }
    void TearDown() override
    {
        qunsetenv("TRELLIUM_PORTS");
        Platform::OpenProfile()->remove(QStringLiteral("Ports"));
    }
    // "id name description" of each entry.
    std::vector<std::string> Entries() const
    {
        std::vector<std::string> out;
        for (const CPortItem& item : list.Items())
            out.push_back(QStringLiteral("%1 %2 %3")
                              .arg(item.m_nPortId)
                              .arg(item.m_strName, item.m_strDescription)
                              .toStdString());
        return out;
    }
    QString NameOf(const QString& devicePath) const
    {
        for (const CPortItem& item : list.Items()) {
            if (item.m_strDescription.contains(devicePath + QStringLiteral(" (")))
                return item.m_strName;
        }
        return {};
    }

    std::vector<CSerialDevice> devices;
    int enumerations = 0;
    CPortList list;
};

const std::vector<std::string> kFixed = {
    "254 TCP Client TCP/IP client connection",
    "255 TCP Server TCP/IP server",
    "256 UDP Client UDP client",
    "257 UDP Server UDP server",
    "258 Merge Display data from all connected port views",
};

TEST_F(PortListTest, AMachineWithoutSerialPortsListsTheFiveFixedEntries)
{
    list.Enumerate();
    EXPECT_EQ(Entries(), kFixed);
    list.Clear();
    EXPECT_TRUE(list.Items().empty());
}

TEST_F(PortListTest, DevicesAreNumberedAndCaptioned)
{
    devices = {
        {QStringLiteral("/dev/ttyACM0"), {}, QStringLiteral("Pico")},
        {QStringLiteral("/dev/ttyS0"), {}, {}},
        {QStringLiteral("/dev/ttyUSB0"), QStringLiteral("/dev/serial/by-id/usb-FTDI-A"),
         QStringLiteral("FT232R USB UART")},
    };
    list.Enumerate();
    std::vector<std::string> expected = {
        "0 COM1 /dev/ttyS0 (COM1)", // a UART keeps its own number
        "1 COM2 Pico - /dev/ttyACM0 (COM2)",
        "2 COM3 FT232R USB UART - /dev/ttyUSB0 (COM3)",
    };
    expected.insert(expected.end(), kFixed.begin(), kFixed.end());
    EXPECT_EQ(Entries(), expected);
    // Opening COM3 follows the adapter's stable path.
    EXPECT_EQ(PortNames::DevicePath(3), QStringLiteral("/dev/serial/by-id/usb-FTDI-A"));
    EXPECT_EQ(PortNames::DevicePath(2), QStringLiteral("/dev/ttyACM0"));
}

// A mapping that takes a UART's own number moves the UART for as long as
// it stands, and never into the profile: once the mapping is gone the UART
// has its own number again.
TEST_F(PortListTest, AUartMovedByAMappingIsNeverRemembered)
{
    CPtyPair pty;
    ASSERT_TRUE(pty.IsOpen());
    qputenv("TRELLIUM_PORTS", "COM1=" + pty.SlavePath().toLocal8Bit());
    devices = {{QStringLiteral("/dev/ttyS0"), {}, {}}};
    list.Enumerate();
    EXPECT_EQ(NameOf(QStringLiteral("/dev/ttyS0")), QStringLiteral("COM2"));
    EXPECT_FALSE(Platform::OpenProfile()->contains(QStringLiteral("Ports/COM2")));
    qunsetenv("TRELLIUM_PORTS");
    list.Enumerate();
    EXPECT_EQ(NameOf(QStringLiteral("/dev/ttyS0")), QStringLiteral("COM1"));
}

// Adapter A is unplugged while B stays; a new adapter C does not take A's
// number; A comes back under another device name and gets its number back.
TEST_F(PortListTest, AnAdapterKeepsItsNumberWhenPluggedInAgain)
{
    const QString a = QStringLiteral("/dev/serial/by-id/usb-A");
    const QString b = QStringLiteral("/dev/serial/by-id/usb-B");
    const QString c = QStringLiteral("/dev/serial/by-id/usb-C");
    devices = {{QStringLiteral("/dev/ttyUSB0"), a, {}}, {QStringLiteral("/dev/ttyUSB1"), b, {}}};
    list.Enumerate();
    EXPECT_EQ(NameOf(QStringLiteral("/dev/ttyUSB0")), QStringLiteral("COM1"));
    EXPECT_EQ(NameOf(QStringLiteral("/dev/ttyUSB1")), QStringLiteral("COM2"));

    devices = {{QStringLiteral("/dev/ttyUSB1"), b, {}}};
    list.Enumerate();
    EXPECT_EQ(list.Items().size(), 1 + kFixed.size());
    EXPECT_EQ(NameOf(QStringLiteral("/dev/ttyUSB1")), QStringLiteral("COM2"));

    devices = {{QStringLiteral("/dev/ttyUSB0"), c, {}}, {QStringLiteral("/dev/ttyUSB1"), b, {}}};
    list.Enumerate();
    EXPECT_EQ(NameOf(QStringLiteral("/dev/ttyUSB0")), QStringLiteral("COM3"));

    devices = {{QStringLiteral("/dev/ttyUSB0"), c, {}},
               {QStringLiteral("/dev/ttyUSB1"), b, {}},
               {QStringLiteral("/dev/ttyUSB2"), a, {}}};
    list.Enumerate();
    EXPECT_EQ(NameOf(QStringLiteral("/dev/ttyUSB2")), QStringLiteral("COM1"));
    EXPECT_EQ(PortNames::DevicePath(1), a);
}

TEST_F(PortListTest, ExplicitMappingsAreListedWhileTheirDeviceExists)
{
    CPtyPair pty;
    ASSERT_TRUE(pty.IsOpen());
    {
        auto profile = Platform::OpenProfile();
        profile->setValue(QStringLiteral("Ports/COM3"), QStringLiteral("/nonexistent/tty"));
        profile->setValue(QStringLiteral("Ports/COM9"), QStringLiteral("/dev/ttyUSB4"));
    }
    qputenv("TRELLIUM_PORTS", "COM7=" + pty.SlavePath().toLocal8Bit() + ",COM9=/dev/ttyUSB5");
    devices = {{QStringLiteral("/dev/ttyUSB5"), {}, QStringLiteral("CP2102")},
               {QStringLiteral("/dev/ttyUSB6"), {}, {}}};
    list.Enumerate();
    std::vector<std::string> expected = {
        // COM3 is remembered for a device that is not there: not listed, not given away.
        "0 COM1 /dev/ttyUSB6 (COM1)", "6 COM7 " + pty.SlavePath().toStdString() + " (COM7)",
        "8 COM9 CP2102 - /dev/ttyUSB5 (COM9)", // the environment wins over the profile
    };
    expected.insert(expected.end(), kFixed.begin(), kFixed.end());
    EXPECT_EQ(Entries(), expected);
    EXPECT_EQ(PortNames::DevicePath(7), pty.SlavePath());
    EXPECT_EQ(PortNames::DevicePath(3), QStringLiteral("/nonexistent/tty"));
    EXPECT_EQ(PortNames::DevicePath(5), QStringLiteral("/dev/ttyS4"));
}

TEST_F(PortListTest, InUseMarksAndTheSelector)
{
    devices = {{QStringLiteral("/dev/ttyS1"), {}, {}}};
    list.Enumerate();
    int refills = 0;
    list.SetInUseCallback([&] { ++refills; });
    list.SetInUse(1, true);
    EXPECT_EQ(refills, 1);
    list.SetInUse(40, true); // no such entry: nothing happens
    EXPECT_EQ(refills, 1);
    list.Enumerate(); // a rebuild keeps the marks of ports still there
    EXPECT_TRUE(list.Items()[0].m_bInUse);

    const CSelectorContents selector = list.FillSelector(PortIdUdpServer);
    ASSERT_EQ(selector.entries.size(), 6u);
    EXPECT_EQ(selector.selected, 4);
    EXPECT_EQ(selector.entries[4].name, QStringLiteral("UDP Server"));
    EXPECT_TRUE(selector.entries[0].inUse);
    EXPECT_EQ(selector.entries[0].description, QStringLiteral("/dev/ttyS1 (COM2)"));
    EXPECT_EQ(list.FillSelector(7).selected, -1);
}

TEST_F(PortListTest, TheFirstSessionBuildsTheListAndTheLastEmptiesIt)
{
    CTestClock clock;
    CSessionContext context(clock);
    context.Ports().SetSource(std::make_unique<CTestSource>(devices, enumerations));
    EXPECT_TRUE(context.Ports().Items().empty());
    {
        CTrelliumDoc first(context);
        EXPECT_EQ(context.Ports().Items().size(), kFixed.size());
        CTrelliumDoc second(context);
        EXPECT_EQ(enumerations, 1);
    }
    EXPECT_TRUE(context.Ports().Items().empty());
}

// A burst of device events rebuilds the list once, 2000 ms after the first.
TEST_F(PortListTest, DeviceChangesAreDebounced)
{
    CTestClock clock;
    int rebuilt = 0;
    CPortWatcher watcher(clock, list, [&] { ++rebuilt; });
    for (int i = 0; i < 10; ++i) {
        watcher.PortsChanged();
        clock.Advance(150);
    }
    EXPECT_TRUE(watcher.IsPending());
    EXPECT_EQ(enumerations, 0);
    clock.Advance(499);
    EXPECT_EQ(rebuilt, 0);
    devices = {{QStringLiteral("/dev/ttyUSB0"), {}, {}}};
    clock.Advance(1);
    EXPECT_EQ(rebuilt, 1);
    EXPECT_EQ(enumerations, 1);
    EXPECT_EQ(list.Items().size(), 1 + kFixed.size());
    EXPECT_FALSE(watcher.IsPending());

    watcher.PortsChanged();
    clock.Advance(5000);
    EXPECT_EQ(rebuilt, 2);
}

struct CaptionCase
{
    const char* caption;
    std::optional<int> portId;
};

class CaptionParsing : public ::testing::TestWithParam<CaptionCase>
{
};

TEST_P(CaptionParsing, PortIdAsTheSystemReadsIt)
{
    EXPECT_EQ(PortIdFromCaption(QString::fromLatin1(GetParam().caption)), GetParam().portId)
        << GetParam().caption;
}

INSTANTIATE_TEST_SUITE_P(
    Captions, CaptionParsing,
    ::testing::Values(CaptionCase{"Communications Port (COM1)", 0},
                      CaptionCase{"USB Serial Port (COM4)", 3},
                      CaptionCase{"Prolific USB-to-Serial Comm Port (COM12)", 11},
                      CaptionCase{"COMPORT adapter 2 (COM7)", 1}, // the first number after COM
                      CaptionCase{"COMPORT adapter (COM7)", 6},
                      CaptionCase{"FT232R USB UART - /dev/ttyUSB0 (COM5)", 4},
                      CaptionCase{"COM 9 with a blank", 8}, CaptionCase{"(COM0)", 0},
                      CaptionCase{"ends in COM", 0}, CaptionCase{"com5 is not COM", 0},
                      CaptionCase{"ECP Printer Port (LPT1)", std::nullopt},
                      CaptionCase{"COM99999999999999", INT_MAX - 1}));

using PortsCli = CliTest;

// The companion prints the list as a selector shows it; whatever serial
// ports this machine has come first, the fixed entries always end it.
TEST_F(PortsCli, PrintsOneEntryALine)
{
    const CliResult result = RunCli({QStringLiteral("ports")});
    ASSERT_EQ(result.exitCode, 0) << result.err.toStdString();
    QList<QByteArray> lines = result.out.split('\n');
    ASSERT_TRUE(lines.size() >= 6 && lines.last().isEmpty()) << result.out.toStdString();
    lines.removeLast();
    for (const QByteArray& line : lines)
        EXPECT_EQ(line.count('\t'), 2) << line.toStdString();
    QList<QByteArray> fixed = lines.mid(lines.size() - 5);
    EXPECT_EQ(fixed[0], QByteArray("254\tTCP Client\tTCP/IP client connection"));
    EXPECT_EQ(fixed[4], QByteArray("258\tMerge\tDisplay data from all connected port views"));
    EXPECT_EQ(RunCli({QStringLiteral("ports"), QStringLiteral("extra")}).exitCode, 2);
}

} // namespace
