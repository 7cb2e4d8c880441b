#pragma once
#include "serial/PortNames.h"

#include <memory>
#include <vector>

// Where the port list learns which serial devices are present. The program
// asks the system's device manager (MakeUdevPortSource); tests give their own.
class CPortSource
{
public:
    virtual ~CPortSource() = default;
    // The tty devices backed by hardware, in a stable order; phantom ports
    // (PortNames::IsPhantomSerial8250) are left out. Empty when the source
    // cannot list anything.
    virtual std::vector<PortNames::CSerialDevice> Devices() = 0;
};

// The system's device manager (libudev): tty devices with a parent bus
// device, their descriptions from the device database, and their stable
// /dev/serial/by-id/ links.
std::unique_ptr<CPortSource> MakeUdevPortSource();
