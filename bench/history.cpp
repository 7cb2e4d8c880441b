// History: what a kept display line costs in memory in each mode, how fast a
// display appends while it keeps 100 or a million lines, and how long Find
// takes over a million lines.
#include "BenchSupport.h"
#include "display/DisplayRenderer.h"
#include "display/LineBuffer.h"
#ifndef BENCH_BEFORE_HISTORY
#include "display/LineFinder.h"
#endif

#include <benchmark/benchmark.h>
#include <malloc.h>
#include <random>
#include <string>

namespace {

// Bytes the allocator has handed out, large blocks that it maps on their
// own (such as a big ring of lines) included.
size_t HeapBytes()
{
    const struct mallinfo2 info = mallinfo2();
    return info.uordblks + info.hblkhd;
}

constexpr int kChunk = 4096;
const char* const kModeNames[] = {"mont", "text", "hex"};

// A line buffer that the renderer never trims: it shows one line.
class CUntrimmedLines : public CTextSink
{
public:
    void AppendText(RunFormat format, std::string_view text) override
    {
        m_lines.AppendText(format, text);
    }
    void AppendCells(std::string_view text, std::span<const uint8_t> formats) override
    {
        m_lines.AppendCells(text, formats);
    }
    int LineCount() const override { return 1; }
    void RemoveFirstLine() override {}
    int64_t CharCount() const override { return m_lines.CharCount(); }
    void DeleteLastChar() override { m_lines.DeleteLastChar(); }
    int LastLineLength() const override { return m_lines.LastLineLength(); }
    void EraseLastLine() override { m_lines.EraseLastLine(); }
    void Clear() override { m_lines.Clear(); }

    CLineBuffer m_lines;
};

// Printable text; in Text mode a CR after every 80 characters, so every line
// is 80 characters in every mode (Mont and Hex break at 81 by themselves).
std::string MakeLines(int mode, size_t size)
{
    std::mt19937 random(7);
    std::string data(size, '\0');
    for (size_t i = 0; i < size; ++i)
        data[i] = mode == 1 && i % 81 == 80 ? '\r' : static_cast<char>(32 + random() % 95);
    return data;
}

// 1,000,000 kept lines of a full width: bytes a line as the allocator counts
// them, and the resident memory they added.
void BM_KeptLineMemory(benchmark::State& state)
{
    const int mode = static_cast<int>(state.range(0));
    constexpr int kLines = 1000000;
    const std::string data = MakeLines(mode, 1 << 20);
    for (auto _ : state) {
        const double residentBefore = ResidentMb();
        const size_t before = HeapBytes();
        CDisplayRenderer renderer(0);
        CDisplaySettings settings;
        settings.m_nMode = mode;
        CUntrimmedLines sink;
        size_t offset = 0;
        while (sink.m_lines.LineCount() < kLines) {
            renderer.AppendData(data.data() + offset, kChunk, 0, settings, sink);
            offset = (offset + kChunk) % data.size();
        }
        const auto used = static_cast<double>(HeapBytes() - before);
        state.counters["bytes_per_line"] = used / sink.m_lines.LineCount();
        state.counters["MB_for_1M_lines"] = used / sink.m_lines.LineCount() * kLines / 1e6;
        state.counters["resident_MB_added"] = ResidentMb() - residentBefore;
    }
    state.SetLabel(kModeNames[mode]);
}
BENCHMARK(BM_KeptLineMemory)->DenseRange(0, 2)->Iterations(1)->Unit(benchmark::kMillisecond);

// Steady appends of 4096-byte chunks into a display that already keeps
// `range(1)` lines, each append trimming what falls out.
void BM_AppendKept(benchmark::State& state)
{
    const int mode = static_cast<int>(state.range(0));
    const int kept = static_cast<int>(state.range(1));
    const std::string data = MakeLines(mode, 1 << 20);
    CDisplayRenderer renderer(0);
#ifndef BENCH_BEFORE_HISTORY
    renderer.SetMaxLines(kept);
#endif
    CLineBuffer lines;
    CDisplaySettings settings;
    settings.m_nMode = mode;
    size_t offset = 0;
    while (lines.LineCount() < kept) {
        renderer.AppendData(data.data() + offset, kChunk, 0, settings, lines);
        offset = (offset + kChunk) % data.size();
    }
    for (auto _ : state) {
        renderer.AppendData(data.data() + offset, kChunk, 0, settings, lines);
        offset = (offset + kChunk) % data.size();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * kChunk);
    state.SetLabel(std::string(kModeNames[mode]) + "/" + std::to_string(kept));
}
#ifdef BENCH_BEFORE_HISTORY
BENCHMARK(BM_AppendKept)->ArgsProduct({{0, 1, 2}, {100}})->Repetitions(5)->ReportAggregatesOnly();
#else
BENCHMARK(BM_AppendKept)
    ->ArgsProduct({{0, 1, 2}, {100, 1000000}})
    ->Repetitions(5)
    ->ReportAggregatesOnly();
#endif

#ifndef BENCH_BEFORE_HISTORY
// Find over 1,000,000 kept lines of 80 characters (Hex: of byte values): a
// new query searches them all once. range(0): 0 text, 1 text in any case,
// 2 byte values; a few matches are planted.
void BM_FindMillionLines(benchmark::State& state)
{
    const int kind = static_cast<int>(state.range(0));
    const int mode = kind == 2 ? 2 : 1;
    std::string data = MakeLines(mode, 1 << 20);
    const std::string planted = kind == 2 ? "\x0D\x0A" : "Watchdog";
    for (size_t at = 1000; at + planted.size() < data.size(); at += 200000)
        data.replace(at, planted.size(), planted);
    CDisplayRenderer renderer(0);
    CDisplaySettings settings;
    settings.m_nMode = mode;
    CUntrimmedLines sink;
    size_t offset = 0;
    while (sink.m_lines.LineCount() < 1000000) {
        renderer.AppendData(data.data() + offset, kChunk, 0, settings, sink);
        offset = (offset + kChunk) % data.size();
    }
    const char* const query[] = {"Watchdog", "WATCHDOG", "0D 0A"};
    CLineFinder finder;
    for (auto _ : state) {
        finder.SetQuery(query[kind], kind != 1, kind == 2);
        finder.Update(sink.m_lines);
        benchmark::DoNotOptimize(finder.Matches().size());
    }
    state.counters["matches"] = static_cast<double>(finder.Matches().size());
    const char* const names[] = {"text", "any case", "byte values"};
    state.SetLabel(names[kind]);
}
BENCHMARK(BM_FindMillionLines)->DenseRange(0, 2)->Unit(benchmark::kMillisecond);
#endif

} // namespace

BENCHMARK_MAIN();
