#include "session/HistorySetting.h"

#include "display/DisplayRenderer.h"
#include "platform/Profile.h"

#include <algorithm>
#include <climits>

namespace {

const QString kKey = QStringLiteral("Display/HistoryLines");

int Clamped(int lines)
{
    return std::clamp(lines, CDisplayRenderer::kDefaultLines, CDisplayRenderer::kMostLines);
}

} // namespace

namespace HistorySetting {

int Load()
{
    bool ok = false;
    // Read wide, so that a number too large for an int still means "the most".
    const qlonglong lines = Platform::OpenProfile()->value(kKey).toString().toLongLong(&ok);
    return ok ? Clamped(static_cast<int>(std::clamp<qlonglong>(lines, 0, INT_MAX)))
              : CDisplayRenderer::kDefaultLines;
}

void Save(int lines)
{
    Platform::OpenProfile()->setValue(kKey, Clamped(lines));
}

} // namespace HistorySetting
