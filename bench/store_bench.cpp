// Reading the per-user store against its size, for the shapes of file that used to take
// quadratic time: ordinary keys, keys at the depth limit, thousands of values in one key, and one
// long binary value continued over many lines. Growth is linear when "s_per_MB" stays flat
// from 64 KiB to 16 MiB (the largest store accepted).
//
//     build/bench/vidorel_store_bench --benchmark_counters_tabular=true

#include "platform/RegistryStore.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

using namespace vidorel;

namespace {

// Blocks of text are added while they fit in `bytes`.
template <typename F> std::string fill(size_t bytes, std::string text, F&& block) {
    for (size_t k = 0;; ++k) {
        const std::string b = block(k);
        if (text.size() + b.size() > bytes) {
            return text;
        }
        text += b;
    }
}

std::string typicalStore(size_t bytes) {
    return fill(bytes, "REGEDIT4\n\n", [](size_t k) {
        return "[HKEY_CURRENT_USER\\Software\\Maker" + std::to_string(k % 50) + "\\Program" +
               std::to_string(k) +
               "]\n\"Volume\"=dword:00001388\n\"Video Racine\"=\"Tape \\\"one\\\" \xc3\xa9\"\n"
               "\"Video Directory\"=\"/home/ann/Videos/\"\n"
               "\"Framerate\"=hex:00,00,00,00,00,00,32,40\n"
               "\"Sources Exclues\"=\"USB Camera\\r\\nSound card\\r\\n\"\n"
               "\"Mute On\"=dword:00000001\n\n";
    });
}

// Keys at the deepest level accepted, each named by its full path of 512 parts. They share
// their parents: keys of their own at every level would pass the limit on keys first.
std::string deepKeys(size_t bytes) {
    std::string parents = "HKEY_CURRENT_USER";
    for (size_t i = 2; i < kMaxKeyDepth; ++i) {
        parents += "\\Level";
    }
    return fill(bytes, "REGEDIT4\n\n", [&](size_t k) {
        return "[" + parents + "\\K" + std::to_string(k) + "]\n\"v\"=dword:00000001\n";
    });
}

std::string manyValues(size_t bytes) {
    return fill(bytes, "REGEDIT4\n\n[HKEY_CURRENT_USER\\Many]\n", [](size_t k) {
        char value[16];
        std::snprintf(value, sizeof value, "%08zx", k);
        return "\"Value " + std::to_string(k) + "\"=dword:" + value + "\n";
    });
}

std::string longHex(size_t bytes) {
    std::string text =
        fill(bytes - 4, "REGEDIT4\n\n[HKEY_CURRENT_USER\\Big]\n\"Blob\"=hex:00",
             [](size_t k) { return k % 25 == 24 ? std::string(",\\\n  a5") : ",a5"; });
    return text + "\n";
}

template <std::string (*Make)(size_t)> void BM_Parse(benchmark::State& state) {
    const std::string text = Make(static_cast<size_t>(state.range(0)));
    for (auto _ : state) {
        RegistryTree tree;
        const bool ok = tree.parse(text);
        benchmark::DoNotOptimize(ok);
        if (!ok) {
            state.SkipWithError("the store was refused");
            break;
        }
    }
    const double mb = static_cast<double>(text.size()) / (1024.0 * 1024.0);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
    state.counters["MB"] = mb;
    state.counters["s_per_MB"] = benchmark::Counter(
        mb, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

// The whole read a program start does: open, checks, read and parse.
void BM_ReadFile(benchmark::State& state) {
    char folder[] = "/tmp/vidorel-store-bench-XXXXXX";
    if (::mkdtemp(folder) == nullptr) {
        state.SkipWithError("no temporary folder");
        return;
    }
    const std::filesystem::path file = std::filesystem::path(folder) / "registry.reg";
    const std::string text = typicalStore(static_cast<size_t>(state.range(0)));
    std::ofstream(file, std::ios::binary) << text;
    const RegistryFile store(file);
    for (auto _ : state) {
        StoreStatus status;
        RegistryTree tree = store.read(&status);
        benchmark::DoNotOptimize(tree);
        if (!status.problem.empty()) {
            state.SkipWithError(status.problem.c_str());
            break;
        }
    }
    std::filesystem::remove_all(folder);
    const double mb = static_cast<double>(text.size()) / (1024.0 * 1024.0);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
    state.counters["MB"] = mb;
    state.counters["s_per_MB"] = benchmark::Counter(
        mb, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

constexpr int64_t kSmallest = 64 << 10;
constexpr int64_t kLargest = static_cast<int64_t>(kMaxStoreBytes);

} // namespace

BENCHMARK_TEMPLATE(BM_Parse, typicalStore)
    ->RangeMultiplier(4)
    ->Range(kSmallest, kLargest)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_TEMPLATE(BM_Parse, deepKeys)
    ->RangeMultiplier(4)
    ->Range(kSmallest, kLargest)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_TEMPLATE(BM_Parse, manyValues)
    ->RangeMultiplier(4)
    ->Range(kSmallest, kLargest)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_TEMPLATE(BM_Parse, longHex)
    ->RangeMultiplier(4)
    ->Range(kSmallest, kLargest)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadFile)
    ->RangeMultiplier(4)
    ->Range(kSmallest, kLargest)
    ->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
