#pragma once
#include "platform/PlatformError.h"

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <optional>
#include <set>
#include <vector>

// Serial ports are named "COMn" throughout the program and stored as port id
// n - 1. This layer gives every serial device a COM number:
//  1. explicit: the environment variable TRELLIUM_PORTS
//     ("COM7=/dev/pts/3,COM8=/dev/ttyUSB1"), then the profile section "Ports"
//     (value "COMn" = device path). Either may also map a number to a serial
//     port on another machine, served over telnet: "COM9=rfc2217://lab4:2001";
//  2. automatic: /dev/ttySk with a UART behind it is COM(k+1); every other
//     device backed by hardware takes the lowest free number, which is
//     remembered in the profile section "Ports" under the device's stable
//     /dev/serial/by-id/ path, so that an adapter plugged in again under
//     another device name keeps its number (and opening that COM number
//     follows the stable path to wherever the adapter is now).
// Opening, probing and the port list all go through here. User-interface
// thread (the profile is read and written).
namespace PortNames {

// A tty device backed by hardware, as a device source lists it.
struct CSerialDevice
{
    QString devicePath;  // "/dev/ttyUSB0"
    QString stablePath;  // "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A1-if00-port0", or empty
    QString description; // "FT232R USB UART", or empty
};

// A serial port with its number.
struct CNumberedPort
{
    int comNumber = 0;
    QString devicePath;
    QString description;
};

// The device path of "COMn", or an empty string when none is known. For a
// remote port, its address as mapped ("rfc2217://lab4:2001").
QString DevicePath(int comNumber);

// Where a remote serial port is served.
struct CRemotePort
{
    QByteArray host; // a name or a dotted IPv4 address
    uint16_t port = 0;
};

// True for a mapping that names a remote port (it begins "rfc2217://",
// whether or not the rest is well formed).
bool IsRemote(const QString& path);
// The host and port of "rfc2217://HOST:PORT"; nothing when malformed.
std::optional<CRemotePort> ParseRemote(const QString& path);
// "rfc2217://HOST:PORT".
QString RemoteAddress(const CRemotePort& where);
// Maps "COMn" to `path` in the profile for good (the environment still
// wins for the numbers it maps).
void MapPort(int comNumber, const QString& path);
// The COM numbers in use: `listed` (those of the port list) and every
// explicit mapping, including those of adapters that are unplugged now.
std::set<int> TakenComNumbers(std::set<int> listed);

// Success when the port can be opened for reading and writing, exclusively,
// as an existing device (it is closed again at once); otherwise why not, with
// the device named: "cannot open /dev/ttyUSB0: Device or resource busy".
CPlatformError CanOpen(int comNumber);

// True when "COMn" has a device this user may read and write; the device
// is not opened.
bool IsAccessible(int comNumber);

// Numbers `devices` (a device source's list, in its order) together with the
// explicit mappings whose device exists, remembering every new adapter in the
// profile. The result is ordered by COM number; each number and each device
// appears once.
std::vector<CNumberedPort> NumberPorts(const std::vector<CSerialDevice>& devices);

// Linux's 8250 driver registers ttyS0 to ttyS31 whether or not a UART is
// fitted; a port whose UART type is unknown (0) has none and is no serial
// port. `ttyName` is the kernel's name ("ttyS3"); names of other drivers are
// never phantoms.
bool IsPhantomSerial8250(const QString& ttyName);

} // namespace PortNames
