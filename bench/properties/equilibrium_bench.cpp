// The cost of one bubble point through the equilibrium service next to the same host flash
// called directly: the difference is what the service adds (settings, option-set lookup,
// working arrays, result vectors). Acetone/chloroform/methanol with NRTL at 101325 Pa, over a
// ring of feeds with the previous temperature as start value, as curve tracing calls it.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <array>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "host/entry_points.h"
#include "properties/equilibrium.hpp"
#include "properties/equilibrium_exports.hpp"

namespace {

constexpr double kAtm = 101325.0;

bool open_example() {
    static const bool opened = [] {
        const std::string run = "bench";
        const std::string file =
            std::string(DISTIL_EXAMPLES_DIR) + "/acetone-chloroform-methanol.toml";
        const std::string dir = std::filesystem::temp_directory_path().string();
        std::int64_t status = -1;
        CALLSETJMP(run.data(), file.data(), dir.data(), &status,
                   static_cast<std::int64_t>(run.size()), static_cast<std::int64_t>(file.size()),
                   static_cast<std::int64_t>(dir.size()));
        return status >= 0;
    }();
    return opened;
}

std::vector<std::array<double, 3>> feeds() {
    std::vector<std::array<double, 3>> out;
    for (int k = 0; k < 16; ++k) {
        const double a = 0.1 + 0.05 * k;
        out.push_back({a, 0.9 * (1 - a), 0.1 * (1 - a)});
    }
    return out;
}

const std::vector<std::int64_t> kComponents{1, 2, 3};

void BM_HostFlashDirect(benchmark::State& state) {
    if (!open_example()) { state.SkipWithError("cannot open the example"); }
    const auto zs = feeds();
    std::int64_t option_set = 0, hist = 0, term = 0, iterations = 0;
    double tolerance = 0;
    GETCSP(&option_set, &hist, &term, &tolerance, &iterations);
    const std::int64_t kind = 3, n = 3, phases = 2, start = 0, enthalpy_wanted = 1;
    const double spec2 = 0.0;
    double t = 0.0;
    std::size_t k = 0;
    for (auto _ : state) {
        const auto& z = zs[k++ % zs.size()];
        double p = 0, h = 0, v = 0, beta = 0, w3 = 0, w4 = 0;
        std::array<double, 3> x{}, x1{}, x2{}, y{}, w1{}, w2{};
        std::int64_t restart = 1, error = 0;
        FLSH_PFLASH(&kind, &kAtm, &spec2, z.data(), &n, kComponents.data(), &phases, &start,
                    &iterations, &tolerance, &option_set, &hist, &term, &enthalpy_wanted, &t, &p,
                    &h, &v, &beta, x.data(), x1.data(), x2.data(), y.data(), w1.data(), w2.data(),
                    &restart, &w3, &w4, &error);
        benchmark::DoNotOptimize(y);
    }
}
BENCHMARK(BM_HostFlashDirect);

void BM_CalcFlash(benchmark::State& state) {
    if (!open_example()) { state.SkipWithError("cannot open the example"); }
    const auto zs = feeds();
    properties::FlashRequest request;
    request.components = kComponents;
    request.pressure = kAtm;
    request.option_set = state.range(0) ? "NRTL" : "";
    std::size_t k = 0;
    for (auto _ : state) {
        request.composition = zs[k++ % zs.size()];
        const properties::FlashResult r = properties::calc_flash(request);
        request.temperature = r.temperature;
        benchmark::DoNotOptimize(r);
    }
}
BENCHMARK(BM_CalcFlash)->Arg(0)->Arg(1)->ArgName("named_option_set");

void BM_CalcFlashByReference(benchmark::State& state) {
    if (!open_example()) { state.SkipWithError("cannot open the example"); }
    const auto zs = feeds();
    char type[10] = {'P', 'V', '\0', ' ', ' ', ' ', ' ', ' ', ' ', ' '};
    char option_set[8] = {'N', 'R', 'T', 'L', ' ', ' ', ' ', ' '};
    const std::int64_t phases = 2, n = 3;
    double t = 0.0;
    std::size_t k = 0;
    for (auto _ : state) {
        const auto& z = zs[k++ % zs.size()];
        double p = kAtm, v = 0, beta = 0;
        std::array<double, 3> x{}, y{}, x1{}, x2{};
        std::int64_t error = 0;
        CALC_FLASH(type, &phases, option_set, &n, kComponents.data(), z.data(), &t, &p, &v,
                   y.data(), x.data(), &beta, x1.data(), x2.data(), &error, 10, 8);
        benchmark::DoNotOptimize(y);
    }
}
BENCHMARK(BM_CalcFlashByReference);

}  // namespace

BENCHMARK_MAIN();
