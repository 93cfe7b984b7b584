// GOST key work as the customer waits for it: making a key pair (parameter generation is the
// slow part; target median under 2 s), signing, verifying, and opening a key container.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <vector>

#include "core/Streams.h"
#include "gost/ZtCiferNew.h"

using namespace brelo;

namespace {

const char* const kPassword = "Пароль-1";

TZtCifer& Pair() {
    static TZtCifer pair;
    if (!pair.PrivateLoaded())
        pair.GenerateKeyPair();
    return pair;
}

ByteString PrivateText() {
    TMemoryStream s;
    Pair().SavePrivateKeyToStream(s, kPassword);
    return s.Bytes();
}

void BM_GenerateKeyPair(benchmark::State& state) {
    for (auto _ : state) {
        TZtCifer c;
        c.GenerateKeyPair();
        benchmark::DoNotOptimize(c.PublicBlock());
    }
}
BENCHMARK(BM_GenerateKeyPair)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1)
    ->Repetitions(25)
    ->ComputeStatistics("max",
                        [](const std::vector<double>& v) {
                            return *std::max_element(v.begin(), v.end());
                        })
    ->ReportAggregatesOnly(true);

void BM_Sign(benchmark::State& state) {
    ByteString message(state.range(0), 'm'), signature;
    for (auto _ : state) Pair().SignString(message, true, signature);
}
BENCHMARK(BM_Sign)->Unit(benchmark::kMillisecond)->Arg(5)->Arg(1 << 20);

void BM_Verify(benchmark::State& state) {
    ByteString message(state.range(0), 'm'), signature;
    Pair().SignString(message, true, signature);
    for (auto _ : state) benchmark::DoNotOptimize(Pair().VerifyString(message, signature, true));
}
BENCHMARK(BM_Verify)->Unit(benchmark::kMillisecond)->Arg(5)->Arg(1 << 20);

void BM_OpenKeyContainer(benchmark::State& state) {
    const ByteString text = PrivateText();
    for (auto _ : state) {
        TZtCifer c;
        c.LoadPrivateKeyFromString(text, kPassword);
        c.CheckPrivateKey();
    }
}
BENCHMARK(BM_OpenKeyContainer)->Unit(benchmark::kMillisecond);

void BM_CheckKeyPair(benchmark::State& state) {
    for (auto _ : state) Pair().CheckKeyPair();
}
BENCHMARK(BM_CheckKeyPair)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
