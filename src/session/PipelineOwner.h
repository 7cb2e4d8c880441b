#pragma once
#include <QString>

class CFuncKeys;
class CSessionView;

// What a session's data pipeline asks of the document that holds it.
class CPipelineOwner
{
public:
    // The view new bytes go to, or none. User-interface thread.
    virtual CSessionView* View() const = 0;
    // Refresh the title (capture, file progress). Any thread.
    virtual void UpdateTitle() = 0;
    // The connection in words, for messages ("127.0.0.1 port 5000").
    virtual QString ConnectionText() const = 0;
    // The macros whose auto responses the receive path feeds. Thread-safe.
    virtual CFuncKeys& FuncKeys() = 0;
    // The transport's output drained after a file send or a repeat waited.
    // User-interface thread.
    virtual void OnOutputRoom() = 0;

protected:
    ~CPipelineOwner() = default;
};
