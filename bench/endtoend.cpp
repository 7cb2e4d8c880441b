// The data path as a user meets it: `trellium-cli run` in its own process,
// fed by a real pseudo-terminal or real TCP clients on the loopback, its
// standard output read by another thread that checks every byte it shows.
// "shown" is the share of the bytes sent that came out, in order; the rate
// is bytes shown per second of wall time.
#include "session/SessionContext.h"
#include "session/TrelliumDoc.h"

#include "platform/Socket.h"

#include <QCoreApplication>
#include <QTemporaryDir>
#include <algorithm>
#include <arpa/inet.h>
#include <atomic>
#include <benchmark/benchmark.h>
#include <chrono>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <mutex>
#include <netinet/in.h>
#include <poll.h>
#include <pty.h>
#include <spawn.h>
#include <string>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {

// A client socket connected to `port` on the loopback; `receiveBuffer`
// bytes of kernel buffer when given (set before connecting, as it must be).
int ConnectLoopback(uint16_t port, int receiveBuffer = 0)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (receiveBuffer > 0)
        ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &receiveBuffer, sizeof receiveBuffer);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(0x7F000001);
    ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
    return fd;
}

using Clock = std::chrono::steady_clock;

// Printable text without line ends: Mont and Text show it as it is, with a
// line break every 80 characters that the checker skips.
char PatternByte(uint64_t i)
{
    return static_cast<char>(0x20 + i % 95);
}

// The senders send one block over and over: its length is a whole number of
// the pattern's periods, so that each block goes on where the last ended.
constexpr size_t kPatternBlock = 95 * 2760;

std::vector<char> PatternBlock(size_t length)
{
    std::vector<char> data(length - length % 95);
    for (size_t i = 0; i < data.size(); ++i)
        data[i] = PatternByte(i);
    return data;
}

QString CliPath()
{
    return QCoreApplication::applicationDirPath() + QStringLiteral("/trellium-cli");
}

QString WriteSession(const QString& dir, int portId, int mode, const QByteArray& repeatData = {})
{
    CSessionContext context;
    CTrelliumDoc doc(context);
    if (!repeatData.isEmpty())
        doc.m_funcKeys.AddKey(0, 0, 0, 0, "Flood", "", repeatData, -1, 1, 0, {});
    doc.SelectPort(portId);
    doc.EditInfo()->m_nNetworkPort = 0;
    doc.EditInfo()->m_strAddress = "127.0.0.1";
    doc.EditInfo()->m_nDisplayMode = mode;
    doc.EditInfo()->m_timing.m_nFormat = 0;
    const QString path = dir + QStringLiteral("/bench.trw");
    doc.OnSaveDocument(path);
    return path;
}

// A child `trellium-cli run FILE` whose standard output is checked byte by
// byte and whose standard error is kept.
class CRun
{
public:
    CRun(const QString& session, const std::vector<std::string>& env, bool checkOrder = true,
         const std::vector<std::string>& extra = {})
        : m_bCheckOrder(checkOrder)
    {
        int out[2];
        int err[2];
        ::pipe2(out, O_CLOEXEC);
        ::pipe2(err, O_CLOEXEC);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, out[1], 1);
        posix_spawn_file_actions_adddup2(&actions, err[1], 2);
        const std::string cli = CliPath().toStdString();
        const std::string file = session.toStdString();
        std::vector<std::string> envStrings;
        for (char** e = environ; *e; ++e)
            envStrings.emplace_back(*e);
        envStrings.insert(envStrings.end(), env.begin(), env.end());
        std::vector<char*> envp;
        for (std::string& s : envStrings)
            envp.push_back(s.data());
        envp.push_back(nullptr);
        std::vector<std::string> args = {cli, "run", file};
        args.insert(args.end(), extra.begin(), extra.end());
        std::vector<char*> argv;
        for (std::string& s : args)
            argv.push_back(s.data());
        argv.push_back(nullptr);
        posix_spawn(&m_pid, cli.c_str(), &actions, nullptr, argv.data(), envp.data());
        posix_spawn_file_actions_destroy(&actions);
        ::close(out[1]);
        ::close(err[1]);
        m_out = out[0];
        m_err = err[0];
        m_reader = std::thread([this] { ReadOut(); });
        m_errReader = std::thread([this] {
            char buffer[4096];
            ssize_t n;
            while ((n = ::read(m_err, buffer, sizeof buffer)) > 0) {
                std::lock_guard lock(m_errLock);
                m_errText.append(buffer, static_cast<size_t>(n));
            }
        });
    }
    ~CRun()
    {
        ::kill(m_pid, SIGTERM);
        int status = 0;
        ::waitpid(m_pid, &status, 0);
        m_reader.join();
        m_errReader.join();
        ::close(m_out);
        ::close(m_err);
    }
    uint64_t Shown() const { return m_shown.load(); }
    bool Wrong() const { return m_wrong.load(); }
    std::string Err()
    {
        std::lock_guard lock(m_errLock);
        return m_errText;
    }
    // Waits until `count` bytes were shown or `seconds` passed.
    bool WaitShown(uint64_t count, double seconds) const
    {
        const auto end = Clock::now() + std::chrono::duration<double>(seconds);
        while (m_shown.load() < count && Clock::now() < end && !m_wrong.load())
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        return m_shown.load() >= count;
    }

private:
    // The checker must cost far less than the run it watches: output laid
    // out as expected (lines of 81 characters from the pattern's start) is
    // compared a read at a time with one memcmp; anything else is checked
    // byte by byte from there on.
    void ReadOut()
    {
        constexpr size_t kRead = 1 << 20;
        std::vector<char> buffer(kRead);
        std::vector<char> expected(kRead + kOutputPeriod);
        for (size_t i = 0, at = 0; i < expected.size(); ++i)
            expected[i] = i % (kLineLength + 1) == kLineLength ? '\n' : PatternByte(at++);
        uint64_t out = 0;
        uint64_t at = 0;
        bool aligned = true;
        ssize_t n;
        while ((n = ::read(m_out, buffer.data(), buffer.size())) > 0) {
            const auto count = static_cast<size_t>(n);
            if (aligned &&
                (!m_bCheckOrder ||
                 std::memcmp(buffer.data(), expected.data() + out % kOutputPeriod, count) == 0)) {
                out += count;
                at = out - out / (kLineLength + 1);
                m_shown.store(at);
                continue;
            }
            aligned = false;
            for (size_t i = 0; i < count; ++i) {
                const char c = buffer[i];
                if (c == '\n')
                    continue;
                if (m_bCheckOrder && c != PatternByte(at))
                    m_wrong.store(true);
                ++at;
            }
            m_shown.store(at);
        }
    }

    static constexpr size_t kLineLength = 81;
    // 95 lines of 81 characters and a break hold the pattern a whole number of times.
    static constexpr size_t kOutputPeriod = 95 * (kLineLength + 1);

    bool m_bCheckOrder;

public:
    pid_t Pid() const { return m_pid; }

private:
    pid_t m_pid = -1;
    int m_out = -1;
    int m_err = -1;
    std::thread m_reader;
    std::thread m_errReader;
    std::atomic<uint64_t> m_shown{0};
    std::atomic<bool> m_wrong{false};
    std::mutex m_errLock;
    std::string m_errText;
};

// Opens a pseudo-terminal pair and names its slave COM9 for a run; the
// master is the device's side.
std::string PtyAsCom9(int& master)
{
    int slave = -1;
    char name[128] = {};
    ::openpty(&master, &slave, name, nullptr, nullptr);
    ::close(slave);
    return std::string("TRELLIUM_PORTS=COM9=") + name;
}

// 20 MB into a pseudo-terminal as fast as it takes them.
void BM_RunPtyFlood(benchmark::State& state)
{
    constexpr uint64_t kBytes = 20'000'000;
    QTemporaryDir dir;
    for (auto _ : state) {
        int master = -1;
        CRun run(WriteSession(dir.path(), 8, static_cast<int>(state.range(0))),
                 {PtyAsCom9(master)});
        std::this_thread::sleep_for(std::chrono::milliseconds(300)); // the run opens the port
        const std::vector<char> data = PatternBlock(kPatternBlock / 4);
        const auto start = Clock::now();
        uint64_t sent = 0;
        while (sent < kBytes) {
            const size_t count = std::min<uint64_t>(data.size(), kBytes - sent);
            size_t done = 0;
            while (done < count) {
                const ssize_t n = ::write(master, data.data() + done, count - done);
                if (n <= 0)
                    break;
                done += static_cast<size_t>(n);
            }
            sent += done;
        }
        run.WaitShown(kBytes, 60);
        const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
        state.SetIterationTime(seconds);
        state.counters["MB_per_s"] = static_cast<double>(run.Shown()) / seconds / 1e6;
        state.counters["shown"] = static_cast<double>(run.Shown()) / static_cast<double>(kBytes);
        state.counters["wrong"] = run.Wrong() ? 1 : 0;
        ::close(master);
    }
}
BENCHMARK(BM_RunPtyFlood)->Arg(0)->Arg(1)->UseManualTime()->Iterations(1)->Unit(benchmark::kSecond);

uint16_t ServerPort(CRun& run)
{
    for (int i = 0; i < 5000; ++i) {
        const std::string err = run.Err();
        const size_t at = err.find(" port ");
        if (at != std::string::npos && err.find('\n', at) != std::string::npos)
            return static_cast<uint16_t>(std::stoi(err.substr(at + 6)));
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return 0;
}

// Clients send printable text as fast as the server session takes it, for
// two seconds, each from its own thread; with one client every byte is
// checked in order, with more their streams interleave and the count of
// bytes shown is compared with the count sent.
void BM_RunTcpServerFlood(benchmark::State& state)
{
    const int clients = static_cast<int>(state.range(0));
    QTemporaryDir dir;
    for (auto _ : state) {
        const QString session = WriteSession(dir.path(), 255, 0);
        CRun run(session, {}, clients == 1);
        const uint16_t port = ServerPort(run);
        std::vector<int> fds;
        for (int i = 0; i < clients; ++i)
            fds.push_back(ConnectLoopback(port));
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        std::atomic<uint64_t> sent{0};
        const auto start = Clock::now();
        const auto end = start + std::chrono::seconds(2);
        std::vector<std::thread> writers;
        for (int fd : fds) {
            writers.emplace_back([fd, end, &sent] {
                const std::vector<char> data = PatternBlock(kPatternBlock);
                const size_t kBlock = data.size();
                while (Clock::now() < end) {
                    size_t done = 0;
                    while (done < kBlock) {
                        const ssize_t n =
                            ::send(fd, data.data() + done, kBlock - done, MSG_NOSIGNAL);
                        if (n <= 0)
                            return;
                        done += static_cast<size_t>(n);
                    }
                    sent += done;
                }
            });
        }
        for (std::thread& writer : writers)
            writer.join();
        run.WaitShown(sent.load(), 120);
        const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
        state.SetIterationTime(seconds);
        state.counters["MB_per_s"] = static_cast<double>(run.Shown()) / seconds / 1e6;
        state.counters["shown"] =
            static_cast<double>(run.Shown()) / static_cast<double>(sent.load());
        state.counters["wrong"] = run.Wrong() ? 1 : 0;
        for (int fd : fds)
            ::close(fd);
    }
}
BENCHMARK(BM_RunTcpServerFlood)
    ->Arg(1)
    ->Arg(10)
    ->Arg(100)
    ->UseManualTime()
    ->Iterations(1)
    ->Unit(benchmark::kSecond);

double ResidentMb(pid_t pid)
{
    FILE* status = std::fopen(("/proc/" + std::to_string(pid) + "/status").c_str(), "r");
    if (!status)
        return 0;
    char line[256];
    double kb = 0;
    while (std::fgets(line, sizeof line, status)) {
        if (std::strncmp(line, "VmRSS:", 6) == 0)
            kb = std::atof(line + 6);
    }
    std::fclose(status);
    return kb / 1024.0;
}

// CPU seconds the process has used so far: the time its threads ran, in
// nanoseconds from the scheduler (/proc/PID/stat counts in ticks of 10 ms,
// a step of 0.1 % over a 10 s run).
double CpuSeconds(pid_t pid)
{
    const std::string tasks = "/proc/" + std::to_string(pid) + "/task";
    std::error_code error;
    uint64_t ns = 0;
    for (const auto& task : std::filesystem::directory_iterator(tasks, error)) {
        FILE* stat = std::fopen((task.path() / "schedstat").c_str(), "r");
        if (!stat)
            continue;
        unsigned long long ran = 0;
        if (std::fscanf(stat, "%llu", &ran) == 1)
            ns += ran;
        std::fclose(stat);
    }
    return static_cast<double>(ns) / 1e9;
}

// 300 kB/s steady (30 kB every 100 ms for 10 s) into a pseudo-terminal:
// the share of one core the run uses, and whether it showed every byte.
void BM_RunPtySteady300kBps(benchmark::State& state)
{
    QTemporaryDir dir;
    for (auto _ : state) {
        int master = -1;
        CRun run(WriteSession(dir.path(), 8, static_cast<int>(state.range(0))),
                 {PtyAsCom9(master)});
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
        const double cpuBefore = CpuSeconds(run.Pid());
        const auto start = Clock::now();
        std::vector<char> data(30000);
        uint64_t sent = 0;
        for (int burst = 0; burst < 100; ++burst) {
            for (size_t i = 0; i < data.size(); ++i)
                data[i] = PatternByte(sent + i);
            size_t done = 0;
            while (done < data.size()) {
                const ssize_t n = ::write(master, data.data() + done, data.size() - done);
                if (n <= 0)
                    break;
                done += static_cast<size_t>(n);
            }
            sent += done;
            std::this_thread::sleep_until(start + std::chrono::milliseconds(100 * (burst + 1)));
        }
        run.WaitShown(sent - 80, 10); // Text holds its last, unfinished line back
        const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
        const double cpu = CpuSeconds(run.Pid()) - cpuBefore;
        state.SetIterationTime(seconds);
        state.counters["core_percent"] = 100.0 * cpu / seconds;
        state.counters["shown"] = static_cast<double>(run.Shown()) / static_cast<double>(sent);
        ::close(master);
    }
}
BENCHMARK(BM_RunPtySteady300kBps)
    ->Arg(0)
    ->Arg(1)
    ->UseManualTime()
    ->Iterations(1)
    ->Unit(benchmark::kSecond);

// 2000 clients that never read while the session repeats a 1 KiB macro every
// millisecond: the run's resident memory before, at its peak and after the
// clients left, and how many lines its log wrote.
void BM_RunServerWithClientsThatDoNotRead(benchmark::State& state)
{
    const int kClients =
        std::getenv("BENCH_CLIENTS") ? std::atoi(std::getenv("BENCH_CLIENTS")) : 2000;
    QTemporaryDir dir;
    for (auto _ : state) {
        const QString session = WriteSession(dir.path(), 255, 2, QByteArray(1024, 'r'));
        CRun run(session, {}, false, {"--press", "F1"});
        const uint16_t port = ServerPort(run);
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
        const double before = ResidentMb(run.Pid());
        std::vector<int> fds;
        for (int i = 0; i < kClients; ++i)
            fds.push_back(ConnectLoopback(port, 4096)); // reads nothing, small buffers
        double peak = 0;
        const auto start = Clock::now();
        while (Clock::now() - start < std::chrono::seconds(20)) {
            peak = std::max(peak, ResidentMb(run.Pid()));
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
        }
        for (int fd : fds)
            ::close(fd);
        std::this_thread::sleep_for(std::chrono::seconds(3));
        const double after = ResidentMb(run.Pid());
        const std::string log = run.Err();
        state.SetIterationTime(23);
        state.counters["rss_before_MB"] = before;
        state.counters["rss_peak_MB"] = peak;
        state.counters["rss_after_MB"] = after;
        state.counters["log_lines"] = static_cast<double>(std::count(log.begin(), log.end(), '\n'));
    }
}
BENCHMARK(BM_RunServerWithClientsThatDoNotRead)
    ->UseManualTime()
    ->Iterations(1)
    ->Unit(benchmark::kSecond);

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    Platform::RaiseOpenFileLimit(8192);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
