#pragma once
#include "base/Transport.h"

#include <memory>

class CTrelliumDoc;

// What a session needs to know of each connection type, in one table: how to
// make its transport and how a send behaves while none is open. Adding a
// transport means adding its files and one line in TransportKinds.cpp.
struct CTransportKind
{
    // Makes the transport for `doc`, or nullptr when it cannot be made.
    std::unique_ptr<CTransport> (*make)(CTrelliumDoc& doc);
    // Shown when `make` gives nothing; empty: the session stays offline quietly.
    const char* createFailure;
    // A send with no open transport beeps and echoes nothing (serial ports);
    // otherwise it sends nothing and is echoed.
    bool bRefusesWithoutTransport;
};

// The kind of a connection type; unknown types are serial ports.
const CTransportKind& TransportKindOf(int connectionType);
