#pragma once
#include <QByteArray>
#include <cstdint>

// How a session reaches its one view (the settings pane in the program, a
// headless view in the companion). All calls arrive on the user-interface
// thread: hints directly, "new bytes" and commands as queued invocations.
class CSessionView
{
public:
    // View-update hints 3033, 3037, 3038, 3039, 3040.
    virtual void OnUpdate(int hint) = 0;
    // New bytes (message 1524), taken from the session's backlog: the session
    // coalesces its notifications and hands over what arrived in chunks, at
    // most once per display frame while data keeps coming. `arrivalTick` is
    // when the chunk's first byte arrived (time stamps mark pauses there).
    // `lostBytes` counts bytes dropped before the chunk (datagrams that found
    // the backlog full, or that the system dropped); `bytes` may then be empty.
    virtual void OnNewBytes(const QByteArray& bytes, uint64_t lostBytes, uint32_t arrivalTick) = 0;
    // How far apart deliveries are while data keeps coming, given the
    // session's standard frame: a view that draws less often for a while
    // takes the bytes as seldom, rather than waking between its drawings.
    virtual int FrameMs(int standard) const { return standard; }
    // Datagrams the system dropped before the session could read them.
    virtual void OnDatagramsLost(uint64_t count) = 0;
    // Posted commands (3001 modem status, 3002 refill ports, 3011 refresh title).
    virtual void OnCommand(int id) = 0;
    // The session's Clear command: empty the display (not the ring).
    virtual void ClearDisplay() = 0;

protected:
    ~CSessionView() = default;
};
