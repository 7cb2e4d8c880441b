#pragma once
#include "display/DisplayModel.h"
#include "display/StreamSink.h"
#include "net/NetOwners.h"
#include "session/SessionView.h"
#include "session/StreamPace.h"

#include <cstdio>
#include <functional>

class CTrelliumDoc;

// The companion's view of a running session: what arrives is rendered by the
// display's own model, in the session's display mode and time-stamp setting,
// and printed to a stream without trimming. Server log lines go to another
// stream. User-interface thread only.
class CHeadlessView final : public CSessionView, public CServerLogSink
{
public:
    CHeadlessView(CTrelliumDoc& doc, std::FILE* out, std::FILE* log);
    ~CHeadlessView();

    void OnUpdate(int hint) override;
    void OnNewBytes(const QByteArray& bytes, uint64_t lostBytes, uint32_t arrivalTick) override;
    // Bytes of a stream are taken a tenth of a second apart.
    int FrameMs(int standard) const override { return m_pace.FrameMs(standard); }
    void OnDatagramsLost(uint64_t count) override;
    void OnCommand(int id) override;
    void ClearDisplay() override {}
    void AppendLog(const QString& line) override;

    // Prints the line still held back.
    void Finish();
    // Is handed every chunk of new bytes after it was printed.
    void SetBytesListener(std::function<void(const QByteArray&)> listener)
    {
        m_bytesListener = std::move(listener);
    }

private:
    CTrelliumDoc& m_doc;
    CStreamSink m_sink;
    CDisplayModel m_display;
    std::FILE* m_log;
    CStreamPace m_pace;
    std::function<void(const QByteArray&)> m_bytesListener;
};
