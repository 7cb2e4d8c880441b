#include "display/DisplayModel.h"

#include "base/CommInfo.h"
#include "display/DisplaySource.h"
#include "display/MergeRegistry.h"
#include "platform/Clock.h"

CDisplayModel::CDisplayModel(CTextSink& sink) : m_sink(sink), m_renderer(0) {}

CDisplayModel::~CDisplayModel()
{
    if (m_pDoc)
        m_pDoc->Merge().UnregisterIf(this);
}

void CDisplayModel::SetSession(CDisplaySource* source)
{
    if (m_pDoc)
        m_pDoc->Merge().UnregisterIf(this);
    m_pDoc = source;
    m_renderer = CDisplayRenderer(Now());
}

uint32_t CDisplayModel::Now() const
{
    return m_pDoc ? m_pDoc->Clock().TickCount() : 0;
}

void CDisplayModel::KeepHistory()
{
    if (m_pDoc)
        m_renderer.SetMaxLines(m_pDoc->HistoryLines());
}

void CDisplayModel::Changed()
{
    if (m_changed)
        m_changed();
}

void CDisplayModel::UpdateColors()
{
    if (!m_pDoc)
        return;
    const auto& words = m_pDoc->Info().m_colors;
    m_colors = {words[ColorText], words[ColorSpecial], words[ColorStamp]};
}

CDisplaySettings CDisplayModel::Settings() const
{
    CDisplaySettings settings;
    if (m_pDoc) {
        const CCommInfo& info = m_pDoc->Info();
        settings.m_nMode = info.m_nDisplayMode;
        settings.m_nStampFormat = info.m_timing.m_nFormat;
        settings.m_nMinInterval = info.m_timing.m_nMinInterval;
    }
    return settings;
}

void CDisplayModel::AppendData(const QByteArray& bytes)
{
    Append(bytes, m_colors, Now());
}

void CDisplayModel::AppendData(const QByteArray& bytes, const CDisplayModel& source)
{
    Append(bytes, source.m_colors, Now());
}

void CDisplayModel::Append(const QByteArray& bytes, const CDisplayColors& colors, uint32_t tick)
{
    // Ticks wrap: "before the last append" is a negative signed difference.
    const uint32_t last = m_renderer.LastDisplayTick();
    if (static_cast<int32_t>(tick - last) < 0)
        tick = last;
    m_sink.SetColors(colors);
    KeepHistory();
    m_renderer.AppendData(bytes.constData(), static_cast<size_t>(bytes.size()), tick, Settings(),
                          m_sink);
    Changed();
}

void CDisplayModel::AppendGap(uint64_t lostBytes, const CDisplayModel* source)
{
    m_sink.SetColors(source ? source->m_colors : m_colors);
    KeepHistory();
    m_renderer.AppendGap(lostBytes, m_sink);
    Changed();
}

void CDisplayModel::ShowDatagramsLost(uint64_t count)
{
    m_sink.SetColors(m_colors);
    KeepHistory();
    m_renderer.AppendGap(count, m_sink, CDisplayRenderer::GapUnit::Datagrams);
    Changed();
    CDisplayModel* merge = m_pDoc ? m_pDoc->Merge().Get() : nullptr;
    if (merge && merge != this) {
        merge->m_sink.SetColors(m_colors);
        merge->KeepHistory();
        merge->m_renderer.AppendGap(count, merge->m_sink, CDisplayRenderer::GapUnit::Datagrams);
        merge->Changed();
    }
}

void CDisplayModel::Clear()
{
    m_renderer.Clear(m_sink);
    Changed();
}

void CDisplayModel::ShowNewBytes(const QByteArray& bytes, uint64_t lostBytes, uint32_t arrivalTick)
{
    if (lostBytes > 0)
        AppendGap(lostBytes);
    if (!bytes.isEmpty())
        Append(bytes, m_colors, arrivalTick);
    if (!m_pDoc)
        return;
    CDisplayModel* merge = m_pDoc->Merge().Get();
    if (merge && merge != this) {
        if (lostBytes > 0)
            merge->AppendGap(lostBytes, this);
        if (!bytes.isEmpty())
            merge->AppendData(bytes, *this);
    }
}

void CDisplayModel::Rebuild()
{
    Clear();
    if (m_pDoc)
        AppendData(m_pDoc->RingContents());
}

void CDisplayModel::RegisterMergeIfMerge()
{
    if (m_pDoc && m_pDoc->Info().m_nConnectionType == ConnMerge)
        m_pDoc->Merge().Register(this);
}
