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
    // New bytes in the session's ring (message 1524). The session coalesces
    // its notifications: `bytes` is everything new since the last call, taken
    // out of the ring in one step. When the view fell more than a ring's
    // length behind, `lostBytes` counts the bytes that were overwritten
    // before it could take them; `bytes` then holds what the ring still had.
    virtual void OnNewBytes(const QByteArray& bytes, uint64_t lostBytes) = 0;
    // Posted commands (3001 modem status, 3002 refill ports, 3011 refresh title).
    virtual void OnCommand(int id) = 0;
    // The session's Clear command: empty the display (not the ring).
    virtual void ClearDisplay() = 0;

protected:
    ~CSessionView() = default;
};
