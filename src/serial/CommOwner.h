#pragma once
#include "platform/PlatformError.h"

#include <cstdint>

// What a serial port's reader thread tells its owner. Every call arrives on
// the reader thread, one at a time.
class CCommOwner
{
public:
    // Bytes received, at most CComm::kReadChunk of them. False when the owner
    // can hold no more for now: the reader stops reading until CanReceive
    // says yes again and CComm::Kick wakes it.
    virtual bool OnCommData(const char* bytes, int count) = 0;
    // Asked before each wait: whether the reader may read.
    virtual bool CanReceive() = 0;
    // The modem-line word (ModemLine bits) when the reader starts, then after
    // each change; 0 throughout for a device without modem lines.
    virtual void OnModemStatus(uint32_t status) = 0;
    // Output that waited has drained to CComm::kOutputLowWater after a write
    // was refused as full or WantOutputRoom asked.
    virtual void OnOutputRoom() = 0;
    // The device is gone (unplugged, hung up, the other end of a
    // pseudo-terminal closed). The last call of the reader, made at most
    // once; the port stays open until its owner closes it, which it must do
    // from another thread.
    virtual void OnCommLost(const CPlatformError& why) = 0;

protected:
    ~CCommOwner() = default;
};
