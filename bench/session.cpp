// Opening session files: the largest macro count a file can claim, to show
// that loading costs time linear in the number of macros.
#include "base/Archive.h"
#include "platform/Alerts.h"
#include "session/SessionContext.h"
#include "session/TrelliumDoc.h"

#include <QBuffer>
#include <QCoreApplication>
#include <benchmark/benchmark.h>

namespace {

// A session file holding `count` macros with distinct identities.
QByteArray FileWithMacros(int count)
{
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    CArchive ar(&buffer, CArchive::Mode::Store);
    CCommInfo info;
    info.Serialize(ar);
    ar.WriteU32((2u << 16) | static_cast<uint32_t>(count));
    for (int i = 0; i < count; ++i) {
        ar.WriteU8(static_cast<uint8_t>(i & 0xFF));
        ar.WriteI32(i >> 8);
        ar.WriteI32(0);
        ar.WriteI32(0);
        ar.WriteString("Label");
        ar.WriteString("Description");
        ar.WriteString("~|CHK-CRC-16/MODBUS|~data~|CHK-OUT|~");
        ar.WriteI32(0);
        ar.WriteI32(0);
        ar.WriteI32(0);
        ar.WriteString("");
    }
    ar.WriteI32(0);
    ar.WriteString("");
    return buffer.data();
}

void BM_LoadMacros(benchmark::State& state)
{
    const int count = static_cast<int>(state.range(0));
    const QByteArray file = FileWithMacros(count);
    CSessionContext context;
    for (auto _ : state) {
        CTrelliumDoc doc(context);
        QBuffer buffer;
        buffer.setData(file);
        buffer.open(QIODevice::ReadOnly);
        doc.Load(buffer);
        benchmark::DoNotOptimize(doc.m_funcKeys.CountKeys(0, 0, 0));
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * file.size());
    state.counters["macros_per_s"] =
        benchmark::Counter(static_cast<double>(count) * static_cast<double>(state.iterations()),
                           benchmark::Counter::kIsRate);
}
BENCHMARK(BM_LoadMacros)->Arg(1024)->Arg(8192)->Arg(65535)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    return 0;
}
