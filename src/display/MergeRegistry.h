#pragma once

class CDisplayModel;

// The one merge display of a program: every session's display forwards what
// it shows into it, in the source's colours. The merge session's display
// registers itself when its pane is laid out; destroying any merge session
// unregisters it. User-interface thread only.
class CMergeRegistry
{
public:
    void Register(CDisplayModel* display) { m_pDisplay = display; }
    void Unregister() { m_pDisplay = nullptr; }
    // Unregisters only when `display` is the registered one (a display going away).
    void UnregisterIf(const CDisplayModel* display)
    {
        if (m_pDisplay == display)
            m_pDisplay = nullptr;
    }
    CDisplayModel* Get() const { return m_pDisplay; }

private:
    CDisplayModel* m_pDisplay = nullptr;
};
