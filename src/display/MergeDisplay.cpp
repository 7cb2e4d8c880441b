#include "display/MergeDisplay.h"

namespace {
CMergeTarget* g_merge = nullptr;
}

namespace MergeDisplay {
void Register(CMergeTarget* target) { g_merge = target; }
void Unregister() { g_merge = nullptr; }
void UnregisterIf(CMergeTarget* target)
{
    if (g_merge == target)
        g_merge = nullptr;
}
CMergeTarget* Get() { return g_merge; }
} // namespace MergeDisplay
