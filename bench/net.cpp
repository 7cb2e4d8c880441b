// Network receive paths: a TCP server session flooded by a loopback client
// into a headless view (the display's model over its line buffer) and into
// the display widget offscreen; and a server holding a thousand clients that
// each send. Counters: MB/s through the session, the longest gap between two
// turns of the event loop (probed by a 1 ms timer), resident memory.
#include "BenchSupport.h"
#include "GuiBenchMain.h"
#include "display/DisplayModel.h"
#include "display/LineBuffer.h"
#include "display/ui/RichCtrl.h"
#include "net/TCPIPSvr.h"
#include "platform/Socket.h"
#include "session/SessionContext.h"
#include "session/SessionView.h"
#include "session/TrelliumDoc.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTimer>
#include <arpa/inet.h>
#include <atomic>
#include <benchmark/benchmark.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <thread>
#include <vector>

namespace {

// Shows what the session delivers in a display model (headless) or in the
// widget's model (offscreen), and counts it.
class CBenchView final : public CSessionView
{
public:
    explicit CBenchView(CDisplayModel& model) : m_model(model) {}
    void OnUpdate(int) override {}
    void OnNewBytes(const QByteArray& bytes, uint64_t lost, uint32_t tick) override
    {
        m_model.ShowNewBytes(bytes, lost, tick);
        shown += bytes.size();
        this->lost += static_cast<int64_t>(lost);
    }
    void OnDatagramsLost(uint64_t) override {}
    void OnCommand(int) override {}
    void ClearDisplay() override {}

    CDisplayModel& m_model;
    int64_t shown = 0;
    int64_t lost = 0;
};

// A blocking client that connects to the loopback port and writes.
int ConnectBlocking(uint16_t port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
    return fd;
}

// range(0): 0 headless, 1 widget offscreen.
void BM_TcpServerFlood(benchmark::State& state)
{
    const bool widget = state.range(0) == 1;
    for (auto _ : state) {
        CSessionContext context;
        CTrelliumDoc doc(context);
        doc.SelectPort(PortIdTcpServer);
        doc.EditInfo()->m_nNetworkPort = 0;
        CLineBuffer lines;
        CDisplayModel headless(lines);
        CRichCtrl display;
        CDisplayModel& model = widget ? display.Model() : headless;
        if (widget) {
            display.SetSession(&doc);
            display.resize(800, 600);
            display.show();
        } else {
            headless.SetSession(&doc);
        }
        CBenchView view(model);
        doc.SetView(&view);
        doc.ToggleOnline();
        const uint16_t port = doc.TcpServer()->ListeningPort();
        const double before = ResidentMb();

        std::atomic<bool> stop{false};
        std::atomic<int64_t> written{0};
        std::thread client([&] {
            const int fd = ConnectBlocking(port);
            std::string block(64 * 1024, 'x');
            for (size_t i = 0; i < block.size(); i += 61)
                block[i] = '\n';
            while (!stop.load(std::memory_order_relaxed)) {
                const ssize_t n = ::send(fd, block.data(), block.size(), MSG_NOSIGNAL);
                if (n <= 0)
                    break;
                written.fetch_add(n, std::memory_order_relaxed);
            }
            ::close(fd);
        });
        CLoopProbe probe;
        while (probe.clock.elapsed() < 2000)
            QApplication::processEvents(QEventLoop::AllEvents, 5);
        stop = true;
        // Let the last bytes in flight arrive before the client goes.
        for (int i = 0; i < 20; ++i)
            QApplication::processEvents(QEventLoop::AllEvents, 5);
        client.join();
        const double seconds = static_cast<double>(probe.clock.nsecsElapsed()) / 1e9;
        state.counters["sent_MBps"] = static_cast<double>(written.load()) / seconds / 1e6;
        state.counters["shown_MBps"] = static_cast<double>(view.shown + view.lost) / seconds / 1e6;
        state.counters["lost_in_ring_MB"] = static_cast<double>(view.lost) / 1e6;
        state.counters["longest_loop_gap_ms"] = probe.LongestMs();
        state.counters["rss_before_MB"] = before;
        state.counters["rss_after_MB"] = ResidentMb();
        doc.OnCloseDocument();
        doc.SetView(nullptr);
    }
    state.SetLabel(widget ? "widget" : "headless");
}
BENCHMARK(BM_TcpServerFlood)->DenseRange(0, 1)->Iterations(1)->Unit(benchmark::kMillisecond);

// A thousand clients connect, each sends 10 kB, then all close.
void BM_ThousandClients(benchmark::State& state)
{
    Platform::RaiseOpenFileLimit(CTCPIPSvr::kMaxClients + kSpareDescriptors);
    constexpr int kClients = 1000;
    constexpr int kBytesEach = 10000;
    for (auto _ : state) {
        CSessionContext context;
        CTrelliumDoc doc(context);
        doc.SelectPort(PortIdTcpServer);
        doc.EditInfo()->m_nNetworkPort = 0;
        CLineBuffer lines;
        CDisplayModel model(lines);
        model.SetSession(&doc);
        CBenchView view(model);
        doc.SetView(&view);
        doc.ToggleOnline();
        const uint16_t port = doc.TcpServer()->ListeningPort();
        std::atomic<bool> done{false};
        std::thread clients([&] {
            std::vector<int> fds;
            const std::string payload(kBytesEach, 'c');
            for (int i = 0; i < kClients; ++i)
                fds.push_back(ConnectBlocking(port));
            for (int fd : fds)
                ::send(fd, payload.data(), payload.size(), MSG_NOSIGNAL);
            for (int fd : fds)
                ::close(fd);
            done = true;
        });
        CLoopProbe probe;
        int most = 0;
        while (!done.load() || doc.TcpServer()->ConnectionCount() > 0) {
            QApplication::processEvents(QEventLoop::AllEvents, 5);
            most = std::max(most, doc.TcpServer()->ConnectionCount());
            if (probe.clock.elapsed() > 20000)
                break;
        }
        clients.join();
        state.counters["clients_at_once"] = most;
        state.counters["received_MB"] = static_cast<double>(view.shown + view.lost) / 1e6;
        state.counters["sent_MB"] = static_cast<double>(kClients) * kBytesEach / 1e6;
        state.counters["log_lines"] = static_cast<double>(doc.TcpServer()->Log().LineCount());
        state.counters["longest_loop_gap_ms"] = probe.LongestMs();
        doc.OnCloseDocument();
        doc.SetView(nullptr);
    }
}
BENCHMARK(BM_ThousandClients)->Iterations(1)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    return RunGuiBenchmarks(argc, argv);
}
