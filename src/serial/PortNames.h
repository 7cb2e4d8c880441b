#pragma once
#include "platform/PlatformError.h"

#include <QString>

// Serial ports are named "COMn" throughout the program and stored as port id
// n - 1. This layer maps a COM number to a device:
//  1. the environment variable TRELLIUM_PORTS ("COM7=/dev/pts/3,COM8=/dev/ttyUSB1"),
//  2. the profile section "Ports" (value "COMn" = device path),
//  3. /dev/ttyS(n-1) when real hardware stands behind it.
namespace PortNames {

// The device path of "COMn", or an empty string when none is known.
QString DevicePath(int comNumber);

// Success when the port can be opened for reading and writing, exclusively,
// as an existing device (it is closed again at once); otherwise why not, with
// the device named: "cannot open /dev/ttyUSB0: Device or resource busy".
CPlatformError CanOpen(int comNumber);

} // namespace PortNames
