#include "cli/HeadlessView.h"

#include "base/TrelliumIds.h"
#include "session/TrelliumDoc.h"

CHeadlessView::CHeadlessView(CTrelliumDoc& doc, std::FILE* out, std::FILE* log)
    : m_doc(doc), m_sink(out), m_display(m_sink), m_log(log)
{
    m_display.SetSession(&doc);
    m_display.UpdateColors();
    doc.SetView(this);
    doc.SetServerLogWindow(this);
}

CHeadlessView::~CHeadlessView()
{
    if (m_doc.GetView() == this)
        m_doc.SetView(nullptr);
    if (m_doc.ServerLogWindow() == this)
        m_doc.SetServerLogWindow(nullptr);
}

void CHeadlessView::OnUpdate(int)
{
    // A stream is never rebuilt or re-laid out.
}

void CHeadlessView::OnNewBytes(const QByteArray& bytes, uint64_t lostBytes, uint32_t arrivalTick)
{
    m_pace.Note(static_cast<size_t>(bytes.size()), arrivalTick);
    m_display.ShowNewBytes(bytes, lostBytes, arrivalTick);
    // Text mode may still erase the line being written; the others never do.
    if (m_display.Settings().m_nMode != static_cast<int>(DisplayMode::Text))
        m_sink.FlushPartial();
    m_sink.Flush();
    if (m_bytesListener && !bytes.isEmpty())
        m_bytesListener(bytes);
}

void CHeadlessView::OnDatagramsLost(uint64_t count)
{
    m_display.ShowDatagramsLost(count);
    m_sink.FlushPartial();
}

void CHeadlessView::OnCommand(int id)
{
    if (id == Ids::CmdRefreshTitle)
        m_doc.UpdateTitle();
}

void CHeadlessView::AppendLog(const QString& line)
{
    const QByteArray text = line.toLocal8Bit().replace("\r\n", "\n");
    std::fwrite(text.constData(), 1, static_cast<size_t>(text.size()), m_log);
    std::fflush(m_log);
}

void CHeadlessView::Finish()
{
    m_sink.Finish();
}
