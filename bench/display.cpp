// Display throughput: the renderer alone (null sink), the renderer into the
// display's line buffer, the widget fed chunk by chunk, and a whole session
// flooded from a reader thread while the event loop runs.
#include "BenchSupport.h"
#include "GuiBenchMain.h"
#include "display/DisplayRenderer.h"
#include "display/LineBuffer.h"
#include "display/ui/RichCtrl.h"
#include "session/SessionContext.h"
#include "session/SessionView.h"
#include "session/TrelliumDoc.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTimer>
#include <atomic>
#include <benchmark/benchmark.h>
#include <random>
#include <string>
#include <thread>

namespace {

constexpr int kChunk = 4096;

class CNullSink : public CTextSink
{
public:
    void AppendText(RunFormat, std::string_view text) override
    {
        m_nChars += static_cast<int64_t>(text.size());
    }
    int LineCount() const override { return 1; }
    void RemoveFirstLine() override {}
    int64_t CharCount() const override { return m_nChars; }
    void DeleteLastChar() override {}
    int LastLineLength() const override { return 0; }
    void EraseLastLine() override {}
    void Clear() override { m_nChars = 0; }

private:
    int64_t m_nChars = 0;
};

// The display part of a session's view, counting what it is handed.
class CCountingView : public CSessionView
{
public:
    explicit CCountingView(CRichCtrl* display) : m_pDisplay(display) {}
    virtual ~CCountingView() = default;
    void OnUpdate(int) override {}
    void OnNewBytes(const QByteArray& bytes, uint64_t lostBytes, uint32_t) override
    {
        if (lostBytes > 0)
            m_pDisplay->AppendGap(lostBytes);
        m_pDisplay->AppendData(bytes);
        m_shown += bytes.size();
        ++m_deliveries;
    }
    void OnDatagramsLost(uint64_t) override {}
    void OnCommand(int) override {}
    void ClearDisplay() override {}

    CRichCtrl* m_pDisplay;
    int64_t m_shown = 0;
    int64_t m_deliveries = 0;
};

// 0: text lines (printable, CR LF every 60 characters); 1: random bytes.
std::string MakeData(int kind, size_t size)
{
    std::mt19937 random(7);
    std::string data(size, '\0');
    for (size_t i = 0; i < size; ++i) {
        if (kind == 0)
            data[i] = i % 62 == 60   ? '\r'
                      : i % 62 == 61 ? '\n'
                                     : static_cast<char>(32 + random() % 95);
        else
            data[i] = static_cast<char>(random() % 256);
    }
    return data;
}

const char* const kModeNames[] = {"mont", "text", "hex"};
const char* const kDataNames[] = {"lines", "binary"};

void BM_RendererNullSink(benchmark::State& state)
{
    const int mode = static_cast<int>(state.range(0));
    const std::string data = MakeData(static_cast<int>(state.range(1)), 1 << 20);
    CDisplayRenderer renderer(0);
    CNullSink sink;
    CDisplaySettings settings;
    settings.m_nMode = mode;
    size_t offset = 0;
    for (auto _ : state) {
        renderer.AppendData(data.data() + offset, kChunk, 0, settings, sink);
        offset = (offset + kChunk) % data.size();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * kChunk);
    state.SetLabel(std::string(kModeNames[mode]) + "/" + kDataNames[state.range(1)]);
}
BENCHMARK(BM_RendererNullSink)->ArgsProduct({{0, 1, 2}, {0, 1}});

void BM_RendererLineBuffer(benchmark::State& state)
{
    const int mode = static_cast<int>(state.range(0));
    const std::string data = MakeData(static_cast<int>(state.range(1)), 1 << 20);
    CDisplayRenderer renderer(0);
    CLineBuffer lines;
    CDisplaySettings settings;
    settings.m_nMode = mode;
    settings.m_nStampFormat = 1;
    size_t offset = 0;
    uint32_t tick = 0;
    for (auto _ : state) {
        renderer.AppendData(data.data() + offset, kChunk, tick += 600, settings, lines);
        offset = (offset + kChunk) % data.size();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * kChunk);
    state.SetLabel(std::string(kModeNames[mode]) + "/" + kDataNames[state.range(1)]);
}
BENCHMARK(BM_RendererLineBuffer)->ArgsProduct({{0, 1, 2}, {0, 1}});

// The widget, shown offscreen: every iteration appends one 4096-byte chunk
// and lets the event loop draw, as one delivery of a flooding session does.
// Counters: the longest single iteration (append + event loop), in ms.
void BM_WidgetChunks(benchmark::State& state)
{
    const int mode = static_cast<int>(state.range(0));
    const std::string data = MakeData(static_cast<int>(state.range(1)), 1 << 20);
    CSessionContext context;
    CTrelliumDoc doc(context);
    doc.EditInfo()->m_nDisplayMode = mode;
    doc.EditInfo()->m_timing.m_nFormat = 1;
    CRichCtrl display;
    display.SetSession(&doc);
    display.UpdateColors();
    display.resize(800, 600);
    display.show();
    QApplication::processEvents();
    size_t offset = 0;
    qint64 longestNs = 0;
    QElapsedTimer timer;
    for (auto _ : state) {
        timer.start();
        display.AppendData(QByteArray::fromRawData(data.data() + offset, kChunk));
        QApplication::processEvents();
        longestNs = std::max(longestNs, timer.nsecsElapsed());
        offset = (offset + kChunk) % data.size();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * kChunk);
    state.counters["longest_ms"] = static_cast<double>(longestNs) / 1e6;
    state.SetLabel(std::string(kModeNames[mode]) + "/" + kDataNames[state.range(1)]);
}
BENCHMARK(BM_WidgetChunks)->ArgsProduct({{0, 1, 2}, {0, 1}})->Unit(benchmark::kMicrosecond);

// A whole session: a reader thread calls ReceiveData with 4096-byte blocks as
// fast as it can while the user-interface thread runs its event loop for two
// seconds. Counters: ingest (bytes taken by the session), shown (bytes that
// reached the display; the rest fell out of the ring and shows as gaps), and
// the longest gap between two turns of the event loop, probed by a 1 ms timer.
void BM_SessionFlood(benchmark::State& state)
{
    const int mode = static_cast<int>(state.range(0));
    const std::string data = MakeData(1, 1 << 20);
    for (auto _ : state) {
        CSessionContext context;
        CTrelliumDoc doc(context);
        doc.EditInfo()->m_nDisplayMode = mode;
        CRichCtrl display;
        display.SetSession(&doc);
        display.UpdateColors();
        display.resize(800, 600);
        display.show();
        CCountingView view(&display);
        doc.SetView(&view);
        QApplication::processEvents();

        std::atomic<bool> stop{false};
        std::atomic<int64_t> fed{0};
        std::thread reader([&] {
            size_t offset = 0;
            while (!stop.load(std::memory_order_relaxed)) {
                doc.ReceiveData(data.data() + offset, kChunk);
                fed.fetch_add(kChunk, std::memory_order_relaxed);
                offset = (offset + kChunk) % data.size();
            }
        });

        const double residentBefore = ResidentMb();
        CLoopProbe probe;
        const QElapsedTimer& clock = probe.clock;
        while (clock.elapsed() < 2000)
            QApplication::processEvents(QEventLoop::AllEvents, 5);
        stop = true;
        reader.join();
        QApplication::processEvents();
        const double seconds = static_cast<double>(clock.nsecsElapsed()) / 1e9;

        doc.SetView(nullptr);
        state.counters["ingest_MBps"] = static_cast<double>(fed.load()) / seconds / 1e6;
        state.counters["shown_MBps"] = static_cast<double>(view.m_shown) / seconds / 1e6;
        state.counters["deliveries"] = static_cast<double>(view.m_deliveries);
        state.counters["longest_loop_gap_ms"] = probe.LongestMs();
        state.counters["rss_before_MB"] = residentBefore;
        state.counters["rss_after_MB"] = ResidentMb();
    }
    state.SetLabel(kModeNames[mode]);
}
BENCHMARK(BM_SessionFlood)->DenseRange(0, 2)->Iterations(1)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    return RunGuiBenchmarks(argc, argv);
}
