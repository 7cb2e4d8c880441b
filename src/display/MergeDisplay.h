#pragma once

// The application's one merge display: every session's pane copies the bytes
// it shows into it, in the source's colours. The merge session's pane
// registers its display when it lays itself out; destroying any merge session
// unregisters it. User-interface thread only.
class CMergeTarget
{
public:
    virtual ~CMergeTarget() = default;
};

namespace MergeDisplay {
void Register(CMergeTarget* target);
void Unregister();
// Unregisters only when `target` is the registered one (a display going away).
void UnregisterIf(CMergeTarget* target);
CMergeTarget* Get();
} // namespace MergeDisplay
