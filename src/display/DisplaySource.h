#pragma once
#include <QByteArray>

class CClock;
class CCommInfo;
class CMergeRegistry;

// What a display reads of the session it shows: its settings (mode, time
// stamps, colours), the ring a rebuild shows again, the clock its time
// stamps measure by, the program's merge display and how much it keeps. Implemented by the
// session; user-interface thread only.
class CDisplaySource
{
public:
    virtual const CCommInfo& Info() const = 0;
    virtual QByteArray RingContents() const = 0;
    virtual CClock& Clock() const = 0;
    virtual CMergeRegistry& Merge() const = 0;
    // How many lines the program's displays keep (its history setting).
    virtual int HistoryLines() const = 0;

protected:
    ~CDisplaySource() = default;
};
