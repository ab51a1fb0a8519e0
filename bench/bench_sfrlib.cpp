// SfrLib look-ups: GetInstName against a bare copy of a constant name (the
// floor for one indexed read and one string copy), the player's label text
// through the run-time binding, and InstInit.
#include <benchmark/benchmark.h>

#include <cstring>
#include <random>
#include <vector>

#include "player/platform/sfrlib_binding.h"
#include "support/SfrLib.h"

namespace {

struct Index {
    int bank, map, program;
};

// Named and unnamed entries mixed, as the channel rows meet them.
const std::vector<Index>& Indexes() {
    static const std::vector<Index> v = [] {
        std::mt19937 rng(7);
        const int banks[] = {0, 0, 0, 8, 16, 24, 64, 126, 127, 14, 48, 5};
        std::vector<Index> out(4096);
        for (auto& i : out) {
            i.bank = banks[rng() % std::size(banks)];
            i.map = static_cast<int>(rng() % 5);
            i.program = static_cast<int>(rng() % 128);
        }
        return out;
    }();
    return v;
}

void BM_CopyConstantName(benchmark::State& state) {
    static const char* const names[] = {"GrandPno", "Nylon-str. Gt.", "", "Piano 1w"};
    char buf[SFRLIB_INST_NAME_MAX];
    size_t k = 0;
    for (auto _ : state) {
        const char* n = names[Indexes()[k++ & 4095].program & 3];
        std::memcpy(buf, n, std::strlen(n) + 1);
        benchmark::DoNotOptimize(buf);
    }
}
BENCHMARK(BM_CopyConstantName);

void BM_GetInstName(benchmark::State& state) {
    InstInit();
    char buf[SFRLIB_INST_NAME_MAX];
    size_t k = 0;
    for (auto _ : state) {
        const Index& i = Indexes()[k++ & 4095];
        GetInstName(i.bank, i.map, i.program, buf);
        benchmark::DoNotOptimize(buf);
    }
}
BENCHMARK(BM_GetInstName);

void BM_InstLabelText(benchmark::State& state) {
    sonfara::platform::SfrLibBinding lib(SFRLIB_PATH);
    lib.InstInit();
    size_t k = 0;
    for (auto _ : state) {
        const Index& i = Indexes()[k++ & 4095];
        benchmark::DoNotOptimize(sonfara::platform::InstLabelText(lib, i.program, i.bank, i.map));
    }
}
BENCHMARK(BM_InstLabelText);

void BM_InstInit(benchmark::State& state) {
    for (auto _ : state) benchmark::DoNotOptimize(InstInit());
}
BENCHMARK(BM_InstInit);

}  // namespace
