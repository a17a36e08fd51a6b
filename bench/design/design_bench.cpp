// A whole design study on examples/aromatics.toml: benzene, toluene and p-xylene selected out of
// a four-component stream whose ethylbenzene is lumped with p-xylene; feed, material balance
// from three recoveries, boundary-value design with at most 100 stages per section at R = 3,
// and both product streams mapped back. Reports flash and enthalpy calls next to the time.
#include <benchmark/benchmark.h>

#include <array>
#include <string>
#include <vector>

#include "design/bv_design.hpp"
#include "design/feed.hpp"
#include "design/material_balance.hpp"
#include "design/product_streams.hpp"
#include "host/entry_points.h"

namespace {

bool open_example() {
    static const bool opened = [] {
        const std::string path = std::string(DISTIL_EXAMPLES_DIR) + "/aromatics.toml";
        const std::string run = "design_bench", dir = "/tmp/";
        std::int64_t status = -99;
        CALLSETJMP(run.data(), path.data(), dir.data(), &status,
                   static_cast<std::int64_t>(run.size()), static_cast<std::int64_t>(path.size()),
                   static_cast<std::int64_t>(dir.size()));
        return status >= 0;
    }();
    return opened;
}

struct Study {
    std::int64_t flashes = 0;
    std::int64_t feasible = 0;
    double stages = 0.0;
};

Study run_study(const char* opset, std::int64_t stop_criteria) {
    Study s;
    const std::vector<std::int64_t> idx{1, 2, 3};
    // Flows of benzene, toluene, p-xylene, ethylbenzene; total; T, P, H, V, L, two carried
    // entries, molar mass.
    const std::vector<double> stream{35, 30, 25, 10, 100, 370, 101325, 0, 0, 1, 0, 0, 95};
    std::vector<double> mapping(12, 0.0);
    mapping[0] = mapping[4 + 1] = mapping[8 + 2] = mapping[8 + 3] = 1.0;

    design::FeedInput feed;
    feed.ncc = 4;
    feed.idx = idx;
    feed.opset = opset;
    feed.pres = 101325.0;
    feed.feed = stream;
    feed.mapping = mapping;
    feed.enthalpy_method = 3;
    const design::FeedResult f = design::compute_feed(feed);
    s.flashes += f.flashes;

    const std::vector<std::int64_t> spec{0, 0, 0, 0, 0, 0, 1, 0, 0, 0, 1, 1};
    const std::vector<double> mw{78.11, 92.14, 106.17};
    const std::vector<double> rd{0.99, 0.0, 0.0}, rb{0.0, 0.98, 0.9999}, zeros(3, 0.0);
    design::MaterialBalanceInput mb;
    mb.idx = idx;
    mb.opset = opset;
    mb.pres = 101325.0;
    mb.xfeed = f.x_feed;
    mb.Fflow = f.F_flow;
    mb.spec = spec;
    mb.mol_wt = mw;
    mb.xdist = zeros;
    mb.xbot = zeros;
    mb.recov_dist = rd;
    mb.recov_bot = rb;
    const design::MaterialBalanceResult m = design::compute_material_balance(mb);
    s.flashes += m.flashes;

    design::DesignInput d;
    d.idx = idx;
    d.opset = opset;
    d.pres = 101325.0;
    d.iMaxStages = 100;
    d.iStopCriteria = stop_criteria;
    d.F_flow = f.F_flow;
    d.FeedQual = f.q;
    d.x_Dist = m.xdist_stream;
    d.D_Flow = m.Dflow;
    d.x_Bot = m.xbot_stream;
    d.B_Flow = m.Bflow;
    d.dbReflux = 3.0;
    const design::DesignResult r = design::bv_design(d);
    s.flashes += r.flashes;
    s.feasible = r.iFeasible;
    s.stages = r.column.dbStage_Rect;

    design::ProductStreamInput p;
    p.ncc = 4;
    p.idx = idx;
    p.opset = opset;
    p.pres = 101325.0;
    p.feed = stream;
    p.un_Map = design::kDistributeThroughMapping;
    p.mapping = mapping;
    const std::vector<double> mw4{78.11, 92.14, 106.17, 106.17};
    p.mol_wt = mw4;
    p.D_Flow = m.Dflow;
    p.x_dist = m.xdist_stream;
    p.B_Flow = m.Bflow;
    p.x_bot = m.xbot_stream;
    const design::ProductStreamResult ps = design::create_product_streams(p);
    s.flashes += ps.flashes;
    if (f.iErr != 0 || m.lErr != 0 || r.iErr < 0 || ps.status1 != 0 || ps.status2 != 0) {
        s.feasible = -1;
    }
    return s;
}

void full_design(benchmark::State& state, const char* opset, std::int64_t stop_criteria) {
    if (!open_example()) {
        state.SkipWithError("cannot open examples/aromatics.toml");
        return;
    }
    Study s;
    for (auto _ : state) {
        s = run_study(opset, stop_criteria);
        benchmark::DoNotOptimize(s);
    }
    if (s.feasible < 0) { state.SkipWithError("a step of the study failed"); }
    state.counters["flashes"] = static_cast<double>(s.flashes);
    state.counters["feasible"] = static_cast<double>(s.feasible);
    state.counters["stages"] = s.stages;
}

}  // namespace

BENCHMARK_CAPTURE(full_design, ideal_stop_at_pinch, "IDEAL", 1)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(full_design, unifac_stop_at_pinch, "UNIFAC", 1)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(full_design, unifac_all_100_stages, "UNIFAC", design::kTraceAllStages)
    ->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();
