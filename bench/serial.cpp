// A serial session flooded through a pseudo-terminal: 20 MB written into the
// master as fast as it takes them, read by the session's port reader, shown
// by a headless view (the display model over a line buffer, as the companion
// shows it) or by the terminal widget (offscreen), in each display mode.
// Counters: ingest rate, CPU seconds per MB, resident memory at 2 MB and at
// the end, the process's peak, bytes dropped by the display (they fell out
// of the ring before the view took them; capture would still get them), and
// the longest gap between two turns of the event loop.
#include "BenchSupport.h"
#include "GuiBenchMain.h"
#include "display/DisplayModel.h"
#include "display/LineBuffer.h"
#include "display/ui/RichCtrl.h"
#include "serial/PortSource.h"
#include "session/SessionContext.h"
#include "session/SessionView.h"
#include "session/TrelliumDoc.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QTimer>
#include <atomic>
#include <benchmark/benchmark.h>
#include <pty.h>
#include <random>
#include <sys/resource.h>
#include <thread>
#include <unistd.h>

namespace {

constexpr int64_t kFloodBytes = 20'000'000;
const char* const kModeNames[] = {"mont", "text", "hex"};

class CNoDevices final : public CPortSource
{
public:
    std::vector<PortNames::CSerialDevice> Devices() override { return {}; }
};

// Shows what the session delivers, counting it.
class CFloodView final : public CSessionView
{
public:
    explicit CFloodView(CTrelliumDoc& doc, CRichCtrl* widget) : m_model(m_lines), m_widget(widget)
    {
        m_model.SetSession(&doc);
        m_model.UpdateColors();
    }
    void OnUpdate(int) override {}
    void OnNewBytes(const QByteArray& bytes, uint64_t lostBytes, uint32_t tick) override
    {
        if (m_widget) {
            if (lostBytes > 0)
                m_widget->AppendGap(lostBytes);
            m_widget->AppendData(bytes);
        } else {
            m_model.ShowNewBytes(bytes, lostBytes, tick);
        }
        m_taken += bytes.size() + static_cast<int64_t>(lostBytes);
        m_lost += static_cast<int64_t>(lostBytes);
    }
    void OnDatagramsLost(uint64_t) override {}
    void OnCommand(int) override {}
    void ClearDisplay() override {}

    CLineBuffer m_lines;
    CDisplayModel m_model;
    CRichCtrl* m_widget;
    int64_t m_taken = 0;
    int64_t m_lost = 0;
};

double CpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

std::string FloodData()
{
    std::mt19937 random(11);
    std::string data(1 << 20, '\0');
    for (char& c : data)
        c = static_cast<char>(random() % 256);
    return data;
}

// One session on a fresh pseudo-terminal, online through TRELLIUM_PORTS.
struct CFloodRig
{
    explicit CFloodRig(int mode, bool widget)
    {
        char name[128] = {};
        if (::openpty(&master, &slave, name, nullptr, nullptr) != 0)
            return;
        qputenv("TRELLIUM_PORTS", QByteArray("COM9=") + name);
        context.Ports().SetSource(std::make_unique<CNoDevices>());
        doc = std::make_unique<CTrelliumDoc>(context);
        {
            auto info = doc->EditInfo();
            info->m_nDisplayMode = mode;
            info->m_nBaudRate = 4000000;
        }
        if (widget) {
            display = std::make_unique<CRichCtrl>();
            display->SetSession(doc.get());
            display->UpdateColors();
            display->resize(800, 600);
            display->show();
        }
        view = std::make_unique<CFloodView>(*doc, display.get());
        doc->SetView(view.get());
        doc->SelectPort(8);
        doc->ToggleOnline();
        QApplication::processEvents();
    }
    ~CFloodRig()
    {
        if (doc) {
            doc->OnCloseDocument();
            doc->SetView(nullptr);
        }
        if (master >= 0)
            ::close(master);
        if (slave >= 0)
            ::close(slave);
        qunsetenv("TRELLIUM_PORTS");
    }

    int master = -1;
    int slave = -1;
    CSessionContext context;
    std::unique_ptr<CTrelliumDoc> doc;
    std::unique_ptr<CRichCtrl> display;
    std::unique_ptr<CFloodView> view;
};

void BM_SerialFlood(benchmark::State& state)
{
    const int mode = static_cast<int>(state.range(0));
    const bool widget = state.range(1) != 0;
    const std::string data = FloodData();
    for (auto _ : state) {
        CFloodRig rig(mode, widget);
        if (!rig.doc || !rig.doc->IsOnline()) {
            state.SkipWithError("the session did not go online on a pseudo-terminal");
            return;
        }
        std::atomic<int64_t> written{0};
        std::thread device([&] {
            int64_t done = 0;
            while (done < kFloodBytes) {
                const size_t n = static_cast<size_t>(std::min<int64_t>(65536, kFloodBytes - done));
                const size_t at = static_cast<size_t>(done) % (data.size() - 65536);
                const ssize_t w = ::write(rig.master, data.data() + at, n);
                if (w <= 0)
                    break;
                done += w;
                written.store(done, std::memory_order_relaxed);
            }
        });

        // The event loop sleeps when it has nothing to do, as the program's
        // does; a 1 ms probe measures its gaps and ends it once every byte
        // has reached the view.
        QEventLoop loop;
        double residentAt2Mb = 0;
        CLoopProbe probe;
        probe.tick = [&] {
            if (residentAt2Mb == 0 && rig.view->m_taken >= 2'000'000)
                residentAt2Mb = StatusMb("VmRSS:");
            if (rig.view->m_taken >= kFloodBytes || probe.clock.elapsed() > 120000)
                loop.quit();
        };
        const double cpuBefore = CpuSeconds();
        loop.exec();
        const double seconds = static_cast<double>(probe.clock.nsecsElapsed()) / 1e9;
        const double cpu = CpuSeconds() - cpuBefore;
        probe.timer.stop();
        device.join();

        const double mb = static_cast<double>(rig.view->m_taken) / 1e6;
        state.counters["ingest_MBps"] = mb / seconds;
        state.counters["cpu_s_per_MB"] = cpu / mb;
        state.counters["rss_at_2MB_MB"] = residentAt2Mb;
        state.counters["rss_end_MB"] = StatusMb("VmRSS:");
        state.counters["peak_rss_MB"] = StatusMb("VmHWM:");
        state.counters["dropped_bytes"] = static_cast<double>(rig.view->m_lost);
        state.counters["longest_loop_gap_ms"] = probe.LongestMs();
    }
    state.SetLabel(std::string(kModeNames[mode]) + (widget ? "/widget" : "/headless"));
}
BENCHMARK(BM_SerialFlood)
    ->ArgsProduct({{0, 1, 2}, {0, 1}})
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);

// A steady 300 kB/s for three seconds (30 kB every 100 ms) into a session,
// headless or with the widget: the share of one core the whole process uses.
void BM_SerialSteady300kBps(benchmark::State& state)
{
    const int mode = static_cast<int>(state.range(0));
    const bool widget = state.range(1) != 0;
    const std::string data = FloodData();
    for (auto _ : state) {
        CFloodRig rig(mode, widget);
        if (!rig.doc || !rig.doc->IsOnline()) {
            state.SkipWithError("the session did not go online on a pseudo-terminal");
            return;
        }
        const double cpuBefore = CpuSeconds();
        QElapsedTimer clock;
        clock.start();
        int64_t sent = 0;
        QTimer pace;
        pace.setInterval(100);
        QObject::connect(&pace, &QTimer::timeout, [&] {
            const size_t at = static_cast<size_t>(sent) % (data.size() - 30000);
            const ssize_t w = ::write(rig.master, data.data() + at, 30000);
            sent += std::max<ssize_t>(w, 0);
        });
        pace.start();
        QEventLoop loop;
        QTimer::singleShot(3000, &loop, &QEventLoop::quit);
        loop.exec();
        pace.stop();
        const double cpu = CpuSeconds() - cpuBefore;
        state.counters["core_percent"] = 100.0 * cpu / (static_cast<double>(clock.elapsed()) / 1e3);
        state.counters["sent_kB"] = static_cast<double>(sent) / 1e3;
    }
    state.SetLabel(std::string(kModeNames[mode]) + (widget ? "/widget" : "/headless"));
}
BENCHMARK(BM_SerialSteady300kBps)
    ->ArgsProduct({{0, 1, 2}, {0, 1}})
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    return RunGuiBenchmarks(argc, argv);
}
