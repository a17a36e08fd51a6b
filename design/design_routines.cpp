// The exported by-reference routines: each checks and wraps its arguments, calls the plain
// core and copies the results out.
#include "design/design_routines.h"

#include <algorithm>
#include <span>
#include <vector>

#include "design/bv_design.hpp"
#include "design/feed.hpp"
#include "design/material_balance.hpp"
#include "design/product_streams.hpp"
#include "engine/core/fixed_field.hpp"
#include "engine/core/messages.hpp"
#include "engine/core/run_log.hpp"

namespace {

using design::kComponents;
using design::kMaxFullListComponents;

constexpr std::int64_t kAllocationError =
    static_cast<std::int64_t>(engine::core::Message::allocation_error);

template <typename T>
std::span<const T> in_span(const T* p, std::int64_t count) {
    if (p == nullptr || count <= 0) { return {}; }
    return std::span<const T>(p, static_cast<std::size_t>(count));
}

template <typename T>
void store(const std::vector<T>& from, T* to) {
    if (to != nullptr) { std::copy(from.begin(), from.end(), to); }
}

template <typename T>
void store_first(const std::vector<T>& from, std::size_t count, T* to) {
    if (to != nullptr) { std::copy_n(from.begin(), std::min(count, from.size()), to); }
}

template <typename T>
void set(T* p, T value) {
    if (p != nullptr) { *p = value; }
}

template <typename T>
T value_or(const T* p, T fallback) {
    return p != nullptr ? *p : fallback;
}

/// Full-list sizes within the limits, or 0.
std::int64_t checked_ncc(const std::int64_t* ncc) {
    const std::int64_t v = value_or<std::int64_t>(ncc, 0);
    return v >= 1 && v <= kMaxFullListComponents ? v : 0;
}

}  // namespace

void COMPUTE_FEED(const int64_t* ncc,
                  const int64_t* nComp,
                  const int64_t* idx,
                  const char* opset,
                  const int64_t* nPhase,
                  const double* pres,
                  const double* feed,
                  const double* mapping,
                  const int64_t* iBasis,
                  const int64_t* enthalpy_method,
                  const double* mol_wt,
                  double* x_feed,
                  double* F_flow,
                  double* q,
                  double* T_feed,
                  int64_t* n_Basis_Comp,
                  int64_t* basis_comp,
                  int64_t* iErr,
                  int64_t* iMsg,
                  int64_t opset_len) noexcept {
    try {
        design::FeedInput in;
        in.ncc = value_or<std::int64_t>(ncc, 0);
        in.nComp = value_or<std::int64_t>(nComp, 0);
        const std::int64_t full = checked_ncc(ncc);
        const bool three = in.nComp == kComponents;
        in.idx = three ? in_span(idx, kComponents) : std::span<const std::int64_t>();
        in.opset = engine::core::trimmed_field(opset, opset_len);
        in.nPhase = value_or<std::int64_t>(nPhase, 2);
        in.pres = value_or(pres, 0.0);
        in.feed = in_span(feed, full > 0 ? full + design::kStreamExtraEntries : 0);
        in.mapping = three ? in_span(mapping, full * kComponents) : std::span<const double>();
        in.iBasis = value_or<std::int64_t>(iBasis, 0);
        in.enthalpy_method = value_or<std::int64_t>(enthalpy_method, 0);
        in.mol_wt = in_span(mol_wt, full);
        if (!pres || !nPhase || !enthalpy_method) { in.nComp = 0; }  // refused as bad input
        const design::FeedResult r = design::compute_feed(in);
        store(r.x_feed, x_feed);
        set(F_flow, r.F_flow);
        set(q, r.q);
        set(T_feed, r.T_feed);
        set(n_Basis_Comp, r.n_Basis_Comp());
        if (!r.basis_comp.empty() && basis_comp == nullptr) {
            set<int64_t>(iErr, 1);
            set<int64_t>(iMsg, 0);
            return;
        }
        store(r.basis_comp, basis_comp);
        set(iErr, r.iErr);
        set(iMsg, r.iMsg);
    } catch (...) {
        engine::core::append_to_run_log(kAllocationError);
        set<int64_t>(iErr, 1);
        set(iMsg, kAllocationError);
    }
}

void COMPUTE_MATERIAL_BALANCE(const int64_t* n,
                              const int64_t* idx,
                              const char* opset,
                              const int64_t* nPhase,
                              const double* pres,
                              const int64_t* lMode,
                              const int64_t* lConfig,
                              const double* xfeed,
                              const double* Fflow,
                              const int64_t* spec,
                              const int64_t* basis,
                              const double* mol_wt,
                              double* xdist,
                              double* xbot,
                              double* recov_dist,
                              double* recov_bot,
                              double* xdist_stream,
                              double* xbot_stream,
                              double* Dflow,
                              double* Bflow,
                              double* xdec_tieline,
                              double* ydec,
                              double* phi_prod,
                              double* TDist,
                              double* TBot,
                              int64_t* lErr,
                              int64_t* lMsg,
                              int64_t* lConverg,
                              int64_t opset_len) noexcept {
    try {
        design::MaterialBalanceInput in;
        in.n = value_or<std::int64_t>(n, 0);
        const bool three = in.n == kComponents;
        // Arrays are taken at their full size only for three components; otherwise at the
        // size the routine may touch (at most three), and then refused.
        const std::int64_t m = in.n <= 0 ? 0 : std::min<std::int64_t>(in.n, kComponents);
        in.idx = three ? in_span(idx, kComponents) : std::span<const std::int64_t>();
        in.opset = engine::core::trimmed_field(opset, opset_len);
        in.nPhase = value_or<std::int64_t>(nPhase, 2);
        in.pres = value_or(pres, 0.0);
        in.lMode = value_or<std::int64_t>(lMode, 0);
        in.lConfig = value_or<std::int64_t>(lConfig, 0);
        in.xfeed = three ? in_span(xfeed, kComponents) : std::span<const double>();
        in.Fflow = value_or(Fflow, 0.0);
        in.spec = three ? in_span(spec, 4 * kComponents) : std::span<const std::int64_t>();
        in.basis = value_or<std::int64_t>(basis, 0);
        in.mol_wt = three ? in_span(mol_wt, kComponents) : std::span<const double>();
        in.xdist = in_span<double>(xdist, m);
        in.xbot = in_span<double>(xbot, m);
        in.recov_dist = in_span<double>(recov_dist, m);
        in.recov_bot = in_span<double>(recov_bot, m);
        if (!pres || !Fflow || !nPhase) { in.n = 0; }
        design::MaterialBalanceResult r = design::compute_material_balance(in);
        // The in/out arrays are written back only where the caller gave them.
        if (in.xdist.size() == r.xdist.size()) { store(r.xdist, xdist); }
        if (in.xbot.size() == r.xbot.size()) { store(r.xbot, xbot); }
        if (in.recov_dist.size() == r.recov_dist.size()) { store(r.recov_dist, recov_dist); }
        if (in.recov_bot.size() == r.recov_bot.size()) { store(r.recov_bot, recov_bot); }
        store(r.xdist_stream, xdist_stream);
        store(r.xbot_stream, xbot_stream);
        set(Dflow, r.Dflow);
        set(Bflow, r.Bflow);
        store(r.xdec_tieline, xdec_tieline);
        store(r.ydec, ydec);
        set(phi_prod, r.phi_prod);
        set(TDist, r.TDist);
        set(TBot, r.TBot);
        set(lErr, r.lErr);
        set(lMsg, r.lMsg);
        set(lConverg, r.lConverg);
    } catch (...) {
        engine::core::append_to_run_log(kAllocationError);
        set<int64_t>(lErr, 1);
        set(lMsg, kAllocationError);
        set<int64_t>(lConverg, 1);
    }
}

void BV_DESIGN(const int64_t* n,
               const int64_t* idx,
               const char* opset,
               const int64_t* nPhase,
               const double* pres,
               const int64_t* iConfig,
               const int64_t* iMaxStages,
               const int64_t* iStopCriteria,
               const double* F_flow,
               const double* FeedQual,
               const double* x_Dist,
               const double* D_Flow,
               const double* x_Bot,
               const double* B_Flow,
               const int64_t* DecSpec,
               const double* Dec_val,
               const int64_t* r_or_s,
               double* dbReflux,
               double* dbReboil,
               double* dbPhi_Reflux,
               double* x_Reflux,
               double* y_Top,
               int64_t* iFeasible,
               double* dbStage_Rect,
               double* dbStages_Strip,
               int64_t* iN_Rect,
               double* x_rect,
               int64_t* iN_Strip,
               double* x_Strip,
               int64_t* iN_Rect_f,
               double* x_Rect_f,
               int64_t* iN_Strip_f,
               double* x_Strip_f,
               int64_t* iN_Col,
               double* Stage_Col,
               double* x_Col,
               double* y_Col,
               double* T_Col,
               double* V_Rect,
               double* V_Strip,
               double* L_Rect,
               double* L_Strip,
               double* Q_Reb,
               double* Q_Con,
               int64_t* r_n_Stages,
               int64_t* r_Feed_Stage,
               double* l1_Spec,
               double* l2_Spec,
               int64_t* Comp_List,
               double* T_est,
               double* X_est,
               double* Y_est,
               int64_t* iErr,
               int64_t* iMsg,
               int64_t opset_len) noexcept {
    try {
        design::DesignInput in;
        in.n = value_or<std::int64_t>(n, 0);
        const bool three = in.n == kComponents;
        in.idx = three ? in_span(idx, kComponents) : std::span<const std::int64_t>();
        in.opset = engine::core::trimmed_field(opset, opset_len);
        in.nPhase = value_or<std::int64_t>(nPhase, 2);
        in.pres = value_or(pres, 0.0);
        in.iConfig = value_or<std::int64_t>(iConfig, 1);
        in.iMaxStages = value_or<std::int64_t>(iMaxStages, 0);
        in.iStopCriteria = value_or<std::int64_t>(iStopCriteria, 1);
        in.F_flow = value_or(F_flow, 0.0);
        in.FeedQual = value_or(FeedQual, 1.0);
        in.x_Dist = three ? in_span(x_Dist, kComponents) : std::span<const double>();
        in.D_Flow = value_or(D_Flow, 0.0);
        in.x_Bot = three ? in_span(x_Bot, kComponents) : std::span<const double>();
        in.B_Flow = value_or(B_Flow, 0.0);
        if (DecSpec != nullptr) { in.DecSpec = {DecSpec[0], DecSpec[1]}; }
        in.Dec_val = value_or(Dec_val, 0.0);
        in.r_or_s = value_or<std::int64_t>(r_or_s, 1);
        in.dbReflux = value_or(dbReflux, 0.0);
        in.dbReboil = value_or(dbReboil, 0.0);
        in.dbPhi_Reflux = value_or(dbPhi_Reflux, 0.0);
        in.iMsg = value_or<std::int64_t>(iMsg, 0);
        // Every array the routine fills must be there; a missing one is refused up front.
        const bool arrays = x_rect && x_Strip && x_Rect_f && x_Strip_f && Stage_Col && x_Col &&
                            y_Col && T_Col && T_est && X_est && Y_est;
        if (!arrays || !pres || !iMaxStages || !r_or_s || !DecSpec || !nPhase || !iStopCriteria ||
            !iConfig || !FeedQual) {
            in.n = 0;
        }
        const design::DesignResult r = design::bv_design(in);
        set(dbReflux, r.dbReflux);
        set(dbReboil, r.dbReboil);
        set(dbPhi_Reflux, r.dbPhi_Reflux);
        store(r.x_Reflux, x_Reflux);
        store(r.y_Top, y_Top);
        set(iFeasible, r.iFeasible);
        set(dbStage_Rect, r.column.dbStage_Rect);
        set(dbStages_Strip, r.column.dbStages_Strip);
        set(iN_Rect, r.rect.count);
        store(r.rect.x, x_rect);
        set(iN_Strip, r.strip.count);
        store(r.strip.x, x_Strip);
        set(iN_Rect_f, r.column.iN_Rect_f);
        store(r.column.x_Rect_f, x_Rect_f);
        set(iN_Strip_f, r.column.iN_Strip_f);
        store(r.column.x_Strip_f, x_Strip_f);
        set(iN_Col, r.column.iN_Col);
        store(r.column.Stage_Col, Stage_Col);
        store(r.column.x_Col, x_Col);
        store(r.column.y_Col, y_Col);
        store(r.column.T_Col, T_Col);
        set(V_Rect, r.V_Rect);
        set(V_Strip, r.V_Strip);
        set(L_Rect, r.L_Rect);
        set(L_Strip, r.L_Strip);
        set(Q_Reb, r.Q_Reb);
        set(Q_Con, r.Q_Con);
        set(r_n_Stages, r.column.r_n_Stages);
        set(r_Feed_Stage, r.column.r_Feed_Stage);
        set(l1_Spec, r.l1_Spec);
        set(l2_Spec, r.l2_Spec);
        set(Comp_List, r.Comp_List);
        const auto filled = static_cast<std::size_t>(r.column.estimates);
        store_first(r.column.T_est, filled, T_est);
        store_first(r.column.X_est, filled * static_cast<std::size_t>(kComponents), X_est);
        store_first(r.column.Y_est, filled * static_cast<std::size_t>(kComponents), Y_est);
        set(iErr, r.iErr);
        set(iMsg, r.iMsg);
    } catch (...) {
        engine::core::append_to_run_log(kAllocationError);
        set<int64_t>(iErr, 1);
        set(iMsg, kAllocationError);
    }
}

void CREATE_PROD_STREAM(const int64_t* ncc,
                        const int64_t* nselcomp,
                        const int64_t* idx,
                        const char* opset,
                        const int64_t* nPhase,
                        const double* pres,
                        const double* feed,
                        const int64_t* un_Map,
                        const double* mapping,
                        const int64_t* basis,
                        const double* mol_wt,
                        const double* D_Flow,
                        const double* x_dist,
                        const double* B_Flow,
                        const double* x_bot,
                        double* Dist_Stream,
                        double* Bot_Stream,
                        int64_t* status1,
                        int64_t* status2,
                        int64_t opset_len) noexcept {
    try {
        design::ProductStreamInput in;
        const std::int64_t full = checked_ncc(ncc);
        in.ncc = full;
        in.nselcomp = value_or<std::int64_t>(nselcomp, 0);
        const std::int64_t nsel = in.nselcomp >= 1 && in.nselcomp <= full ? in.nselcomp : 0;
        in.idx = in_span(idx, nsel);
        in.opset = engine::core::trimmed_field(opset, opset_len);
        in.nPhase = value_or<std::int64_t>(nPhase, 2);
        in.pres = value_or(pres, 0.0);
        in.feed = in_span(feed, full > 0 ? full + design::kStreamExtraEntries : 0);
        in.un_Map = value_or<std::int64_t>(un_Map, 0);
        in.mapping = in.un_Map == design::kDistributeThroughMapping ? in_span(mapping, full * nsel)
                                                                    : std::span<const double>();
        in.basis = value_or<std::int64_t>(basis, 0);
        in.mol_wt = in_span(mol_wt, full);
        in.D_Flow = value_or(D_Flow, 0.0);
        in.x_dist = in_span(x_dist, nsel);
        in.B_Flow = value_or(B_Flow, 0.0);
        in.x_bot = in_span(x_bot, nsel);
        if (!pres || !D_Flow || !B_Flow || !nPhase || !un_Map) { in.nselcomp = 0; }
        const design::ProductStreamResult r = design::create_product_streams(in);
        if (Dist_Stream != nullptr && Bot_Stream != nullptr) {
            store(r.Dist_Stream, Dist_Stream);
            store(r.Bot_Stream, Bot_Stream);
            set(status1, r.status1);
        } else {
            set<int64_t>(status1, 1);
        }
        set(status2, r.status2);
    } catch (...) {
        engine::core::append_to_run_log(kAllocationError);
        set<int64_t>(status1, 1);
    }
}
