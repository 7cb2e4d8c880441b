// Sending engine throughput: CRC updates over a 64 KiB buffer and the
// encoding of a typical macro data string with a checksum token.
#include "send/Crc.h"
#include "send/DataString.h"

#include <benchmark/benchmark.h>
#include <random>
#include <vector>

namespace {

constexpr size_t kBufferSize = 64 * 1024;

const std::vector<uint8_t>& Buffer()
{
    static const std::vector<uint8_t> buffer = [] {
        std::vector<uint8_t> bytes(kBufferSize);
        std::mt19937 rng(7);
        for (uint8_t& b : bytes) {
            b = static_cast<uint8_t>(rng());
        }
        return bytes;
    }();
    return buffer;
}

CrcModel Load(int width, const char* name)
{
    CrcModel model;
    LoadCatalogueModel(model, width, width == 16 ? *FindCrc16Model(name) : *FindCrc32Model(name));
    return model;
}

using CrcUpdate = uint64_t (*)(const CrcModel&, uint64_t, const uint8_t*, size_t);

void RunCrc(benchmark::State& state, CrcUpdate update, int width, const char* name)
{
    const CrcModel model = Load(width, name);
    const std::vector<uint8_t>& data = Buffer();
    for (auto _ : state) {
        benchmark::DoNotOptimize(update(model, model.init[0], data.data(), data.size()));
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                            static_cast<int64_t>(data.size()));
}

void BM_CrcBytewise(benchmark::State& state, int width, const char* name)
{
    RunCrc(state, CrcBytewise, width, name);
}

void BM_CrcBitwise(benchmark::State& state, int width, const char* name)
{
    RunCrc(state, CrcBitwise, width, name);
}

BENCHMARK_CAPTURE(BM_CrcBytewise, Crc16Modbus, 16, "MODBUS");
BENCHMARK_CAPTURE(BM_CrcBytewise, Crc32IsoHdlc, 32, "ISO-HDLC");
BENCHMARK_CAPTURE(BM_CrcBitwise, Crc16Modbus, 16, "MODBUS");
BENCHMARK_CAPTURE(BM_CrcBitwise, Crc32IsoHdlc, 32, "ISO-HDLC");

// The way data strings drive the engine: one call per byte.
void BM_CrcBytewiseOneByteCalls(benchmark::State& state)
{
    const CrcModel model = Load(16, "MODBUS");
    const std::vector<uint8_t>& data = Buffer();
    for (auto _ : state) {
        uint64_t crc = model.init[0];
        for (const uint8_t& b : data) {
            crc = CrcBytewise(model, crc, &b, 1);
        }
        benchmark::DoNotOptimize(crc);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                            static_cast<int64_t>(data.size()));
}
BENCHMARK(BM_CrcBytewiseOneByteCalls);

void BM_EncodeMacro(benchmark::State& state)
{
    const QByteArray macro =
        "~|CHK-CRC-16/MODBUS|~%01%03%00%00%00%0AHello world 1234567~|CHK-OUT|~";
    ChecksumState checksum;
    size_t sent = 0;
    const TransmitFn transmit = [&sent](const char*, int count) {
        sent += static_cast<size_t>(count);
    };
    for (auto _ : state) {
        EncodeDataString(macro, checksum, transmit);
    }
    benchmark::DoNotOptimize(sent);
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()));
}
BENCHMARK(BM_EncodeMacro);

void BM_EncodeMacroShared(benchmark::State& state)
{
    const QByteArray macro =
        "~|CHK-CRC-16/MODBUS|~%01%03%00%00%00%0AHello world 1234567~|CHK-OUT|~";
    CSharedChecksum shared;
    size_t sent = 0;
    for (auto _ : state) {
        shared.Encode(macro,
                      [&sent](const char*, int count) { sent += static_cast<size_t>(count); });
    }
    benchmark::DoNotOptimize(sent);
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()));
}
BENCHMARK(BM_EncodeMacroShared);

} // namespace

BENCHMARK_MAIN();
