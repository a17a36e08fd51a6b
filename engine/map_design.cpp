// The design-study methods of the distillation map: feed, material balance, boundary-value
// design and product streams. Each unpacks its variants (checking type and size before anything
// is read), calls the exported routine and packs the results; the routine's error code travels
// translated into the method's code, and a non-zero code does not make the method fail.
#include <algorithm>
#include <array>
#include <vector>

#include "design/bv_design.hpp"
#include "design/design_routines.h"
#include "design/feed.hpp"
#include "engine/core/util_funcs.hpp"
#include "engine/detail/map_support.hpp"
#include "engine/detail/variant_arrays.hpp"
#include "engine/distillation_map.hpp"
#include "properties/equilibrium.hpp"

namespace engine {

using namespace platform;

namespace {

constexpr std::array<std::pair<std::int64_t, LONG>, 7> kFeedCodes{
    {{0, 0}, {1, 2500}, {2, 2501}, {-1, 2600}, {-2, 2601}, {-3, 2602}, {-4, 2603}}};
constexpr std::array<std::pair<std::int64_t, LONG>, 10> kBalanceCodes{{{0, 0},
                                                                       {1, 2500},
                                                                       {2, 2502},
                                                                       {3, 2503},
                                                                       {4, 2504},
                                                                       {5, 2505},
                                                                       {-1, 2604},
                                                                       {-2, 2605},
                                                                       {-3, 2606},
                                                                       {-4, 2607}}};
constexpr std::array<std::pair<std::int64_t, LONG>, 11> kDesignCodes{{{0, 0},
                                                                      {1, 2500},
                                                                      {2, 2506},
                                                                      {3, 2507},
                                                                      {-1, 2608},
                                                                      {-2, 2609},
                                                                      {-3, 2610},
                                                                      {-4, 2611},
                                                                      {-5, 2612},
                                                                      {-6, 2613},
                                                                      {-7, 2614}}};

constexpr std::int64_t kDesignComponents = 3;
constexpr std::int64_t kStreamExtra = design::kStreamExtraEntries;

bool empty(const VARIANT& v) noexcept { return core::CUtilFuncs::IsEmpty(&v); }

/// A full-list component count the routines accept, else 0 (they then refuse the call without
/// reading any full-list array).
std::int64_t full_list_size(LONG ncc) noexcept {
    return ncc >= 1 && ncc <= design::kMaxFullListComponents ? ncc : 0;
}

/// Mole fractions taken from a selected-component array: the routines read them only for
/// three components, and never more than three.
std::int64_t selected_read_size(LONG n) noexcept {
    return std::clamp<std::int64_t>(n, 0, kDesignComponents);
}

/// How many entries a selected-component result holds: the count the caller gave, within the
/// limit of a real problem.
std::int64_t selected_result_size(LONG n) noexcept {
    return std::clamp<std::int64_t>(n, 0, detail::kMaxComponents);
}

/// The map's index vector padded with zeros (which the routines refuse) to `size` entries.
std::vector<std::int64_t> padded_indices(const detail::MapState& m, std::int64_t size) {
    std::vector<std::int64_t> idx(static_cast<std::size_t>(std::max<std::int64_t>(size, 3)), 0);
    std::copy(m.idx.begin(), m.idx.end(), idx.begin());
    return idx;
}

/// `count` doubles of `v` padded with zeros to at least `size` entries.
std::optional<std::vector<double>> doubles_padded(const VARIANT& v,
                                                  std::int64_t count,
                                                  std::int64_t size) {
    auto values = detail::read_doubles(v, count);
    if (values && static_cast<std::int64_t>(values->size()) < size) {
        values->resize(static_cast<std::size_t>(size), 0.0);
    }
    return values;
}

template <class T>
T* data_or_null(std::vector<T>& v) noexcept {
    return v.empty() ? nullptr : v.data();
}

}  // namespace

HRESULT CDistillationMap::ComputeFeed(LONG ncc,
                                      LONG nComp,
                                      BSTR bstrOpset,
                                      LONG nPhase,
                                      DOUBLE dbPres,
                                      VARIANT vaFeedStream,
                                      VARIANT vaMapping,
                                      LONG iBasis,
                                      LONG enthalpy_method,
                                      VARIANT vaMol_Wt,
                                      VARIANT* vaX_Feed,
                                      DOUBLE* dbF_flow,
                                      DOUBLE* dbQ,
                                      DOUBLE* dbT_feed,
                                      LONG* n_Basis_Comp,
                                      VARIANT* vBasis_Comp,
                                      LONG* iErr,
                                      LONG* iMsg) {
    const std::string opset = narrow(bstrOpset);  // out of memory escapes
    if (empty(vaFeedStream)) {
        return detail::report_map("Feed Stream is empty!", E_TARN_UNINITIALISED_VARIANT);
    }
    if (empty(vaMapping)) {
        return detail::report_map("Mapping array is empty!", E_TARN_UNINITIALISED_VARIANT);
    }
    if (empty(vaMol_Wt)) {
        return detail::report_map("Molar Weights array is empty!", E_TARN_UNINITIALISED_VARIANT);
    }
    if (!vaX_Feed || !dbF_flow || !dbQ || !dbT_feed || !n_Basis_Comp || !vBasis_Comp || !iErr ||
        !iMsg) {
        return E_POINTER;
    }
    try {
        const std::int64_t full = full_list_size(ncc);
        const std::int64_t selected = selected_result_size(nComp);
        std::vector<double> feed, mapping, mol_wt;
        if (full > 0) {
            auto f = detail::read_doubles(vaFeedStream, full + kStreamExtra);
            if (!f) {
                return detail::report_map("ComputeFeed: vaFeedStream must hold ncc + 9 doubles",
                                          E_TARN_VARIANT_ACCESS);
            }
            feed = std::move(*f);
            if (selected > 0) {
                auto mp = detail::read_doubles(vaMapping, full * selected);
                if (!mp) {
                    return detail::report_map(
                        "ComputeFeed: vaMapping must hold ncc x nComp doubles",
                        E_TARN_VARIANT_ACCESS);
                }
                mapping = std::move(*mp);
            }
            // The molar weights are accepted and not used; a short list is padded.
            auto mw = detail::read_all_doubles(vaMol_Wt);
            if (!mw) {
                return detail::report_map("ComputeFeed: vaMol_Wt must hold doubles",
                                          E_TARN_VARIANT_ACCESS);
            }
            mol_wt = std::move(*mw);
            mol_wt.resize(static_cast<std::size_t>(full), 0.0);
        }
        std::vector<std::int64_t> basis(static_cast<std::size_t>(full), 0);
        std::vector<double> x_feed(static_cast<std::size_t>(std::max<std::int64_t>(selected, 3)),
                                   -1.0);
        std::vector<std::int64_t> idx = padded_indices(*state_, selected);
        const std::int64_t ncc64 = ncc, ncomp64 = nComp, phase = nPhase, basis_flag = iBasis,
                           method = enthalpy_method;
        std::int64_t n_basis = 0, err = 0, msg = 0;
        double F = 0.0, q = 0.0, T = 0.0;
        properties::clear_message_lines();
        COMPUTE_FEED(&ncc64, &ncomp64, idx.data(), opset.data(), &phase, &dbPres,
                     data_or_null(feed), data_or_null(mapping), &basis_flag, &method,
                     data_or_null(mol_wt), x_feed.data(), &F, &q, &T, &n_basis, data_or_null(basis),
                     &err, &msg, static_cast<std::int64_t>(opset.size()));
        *dbF_flow = F;
        *dbQ = q;
        *dbT_feed = T;
        *n_Basis_Comp = static_cast<LONG>(n_basis);
        *iErr = detail::translate_code(err, kFeedCodes);
        *iMsg = static_cast<LONG>(msg);
        core::CUtilFuncs util;
        const std::array<std::int64_t, 1> x_extent{selected};
        const std::array<std::int64_t, 1> basis_extent{full};
        if (!util.CreateSafeArray(vaX_Feed, x_feed, 1, x_extent) ||
            !util.CreateIntSafeArray(vBasis_Comp, std::span<const std::int64_t>(basis), 1,
                                     basis_extent)) {
            return detail::report_map("ComputeFeed: the result arrays could not be created",
                                      E_TARN_VARIANT_ACCESS);
        }
        return S_OK;
    } catch (...) { return detail::report_map("Unhandled Exception ", E_TARN_UNHANDLED_EXCEPTION); }
}

HRESULT CDistillationMap::ComputeMaterialBalance(LONG lComp,
                                                 BSTR bstrOpset,
                                                 LONG lPhase,
                                                 DOUBLE dbPress,
                                                 LONG lMode,
                                                 LONG lConfig,
                                                 VARIANT vaXfeed,
                                                 DOUBLE dbFflow,
                                                 VARIANT vaSpec,
                                                 LONG basis,
                                                 VARIANT vaMol_Wt,
                                                 VARIANT /*vaIdx: the map's own vector is used*/,
                                                 VARIANT* vaXdist,
                                                 VARIANT* vaXbot,
                                                 VARIANT* vaRecovDist,
                                                 VARIANT* vaRecovBot,
                                                 VARIANT* vaXdistStream,
                                                 VARIANT* vaXBotStream,
                                                 DOUBLE* dbDflow,
                                                 DOUBLE* dbBflow,
                                                 VARIANT* vaXdecTieline,
                                                 VARIANT* vaYdec,
                                                 DOUBLE* dbPhiProd,
                                                 DOUBLE* dbTDist,
                                                 DOUBLE* dbTBot,
                                                 LONG* lErr,
                                                 LONG* lMsg,
                                                 LONG* lConverg) {
    const std::string opset = narrow(bstrOpset);  // out of memory escapes
    const std::array<std::pair<const VARIANT*, const char*>, 7> inputs{{
        {&vaSpec, "Spec array is empty!"},
        {&vaXfeed, "Feed composition array is empty!"},
        {vaXdist, "Distillate composition array is empty!"},
        {vaXbot, "Bottoms composition array is empty!"},
        {vaRecovDist, " Distillate recovery array is empty!"},
        {vaRecovBot, " Bottoms recovery array is empty!"},
        {&vaMol_Wt, " Molar weights array is empty!"},
    }};
    for (const auto& [v, text] : inputs) {
        if (core::CUtilFuncs::IsEmpty(v)) {
            return detail::report_map(text, E_TARN_UNINITIALISED_VARIANT);
        }
    }
    if (!vaXdistStream || !vaXBotStream || !dbDflow || !dbBflow || !vaXdecTieline || !vaYdec ||
        !dbPhiProd || !dbTDist || !dbTBot || !lErr || !lMsg || !lConverg) {
        return E_POINTER;
    }
    try {
        const std::int64_t read = selected_read_size(lComp);
        const bool three = lComp == kDesignComponents;
        const std::int64_t size = std::max<std::int64_t>(selected_result_size(lComp), 3);
        std::vector<std::int64_t> spec(4 * kDesignComponents, 0);
        std::vector<double> xfeed(3, 0.0), mol_wt(3, 0.0);
        std::optional<std::vector<double>> xdist, xbot, recov_dist, recov_bot;
        if (three) {
            auto s = detail::read_ints(vaSpec, 4 * kDesignComponents);
            auto f = detail::read_doubles(vaXfeed, kDesignComponents);
            auto mw = detail::read_doubles(vaMol_Wt, kDesignComponents);
            if (!s || !f || !mw) {
                return detail::report_map("Extracting Data from Variants!",
                                          E_TARN_AZEOTROPE_ROUTINE);
            }
            spec = std::move(*s);
            xfeed = std::move(*f);
            mol_wt = std::move(*mw);
        }
        xdist = doubles_padded(*vaXdist, read, size);
        xbot = doubles_padded(*vaXbot, read, size);
        recov_dist = doubles_padded(*vaRecovDist, read, size);
        recov_bot = doubles_padded(*vaRecovBot, read, size);
        if (!xdist || !xbot || !recov_dist || !recov_bot) {
            return detail::report_map("Extracting Data from Variants!", E_TARN_AZEOTROPE_ROUTINE);
        }
        std::vector<double> xdist_stream(size, -1.0), xbot_stream(size, -1.0), ydec(size, -1.0),
            tieline(2 * size, -1.0);
        std::vector<std::int64_t> idx = padded_indices(*state_, size);
        const std::int64_t n = lComp, phase = lPhase, mode = lMode, config = lConfig,
                           basis64 = basis;
        std::int64_t err = 0, msg = 0, converged = 0;
        double D = 0.0, B = 0.0, phi = 0.0, TD = 0.0, TB = 0.0;
        properties::clear_message_lines();
        try {
            COMPUTE_MATERIAL_BALANCE(&n, idx.data(), opset.data(), &phase, &dbPress, &mode, &config,
                                     xfeed.data(), &dbFflow, spec.data(), &basis64, mol_wt.data(),
                                     xdist->data(), xbot->data(), recov_dist->data(),
                                     recov_bot->data(), xdist_stream.data(), xbot_stream.data(), &D,
                                     &B, tieline.data(), ydec.data(), &phi, &TD, &TB, &err, &msg,
                                     &converged, static_cast<std::int64_t>(opset.size()));
        } catch (...) {
            return detail::report_map(" Calling Fortran routine!", E_TARN_AZEOTROPE_ROUTINE);
        }
        *dbDflow = D;
        *dbBflow = B;
        *dbPhiProd = phi;
        *dbTDist = TD;
        *dbTBot = TB;
        *lErr = detail::translate_code(err, kBalanceCodes);
        *lMsg = static_cast<LONG>(msg);
        *lConverg = static_cast<LONG>(converged);
        const auto first = [read](const std::vector<double>& v) {
            return std::span<const double>(v).first(static_cast<std::size_t>(read));
        };
        if (!detail::write_doubles(vaXdist, first(*xdist)) ||
            !detail::write_doubles(vaXbot, first(*xbot)) ||
            !detail::write_doubles(vaRecovDist, first(*recov_dist)) ||
            !detail::write_doubles(vaRecovBot, first(*recov_bot))) {
            return detail::report_map("Error accessing Variant Data ", E_TARN_VARIANT_ACCESS);
        }
        core::CUtilFuncs util;
        const std::int64_t count = selected_result_size(lComp);
        const std::array<std::int64_t, 1> vector{count};
        const std::array<std::int64_t, 2> matrix{count, 2};
        if (!util.CreateSafeArray(vaXdistStream, xdist_stream, 1, vector) ||
            !util.CreateSafeArray(vaXBotStream, xbot_stream, 1, vector) ||
            !util.CreateSafeArray(vaYdec, ydec, 1, vector) ||
            // The routine's tie line is n x 2, column by column: the safe array's own order.
            !util.CreateSafeArrayBlock(vaXdecTieline, tieline, 2, matrix)) {
            return detail::report_map("Error accessing Variant Data ", E_TARN_VARIANT_ACCESS);
        }
        return S_OK;
    } catch (...) { return detail::report_map("Unhandled Exception ", E_TARN_UNHANDLED_EXCEPTION); }
}

HRESULT CDistillationMap::BV_Design(LONG nComp,
                                    BSTR bsOpset,
                                    LONG nPhase,
                                    DOUBLE dbPressure,
                                    LONG iConfig,
                                    LONG iMaxStages,
                                    LONG iStopCriteria,
                                    DOUBLE F_flow,
                                    DOUBLE FeedQual,
                                    VARIANT vx_Dist,
                                    DOUBLE D_Flow,
                                    VARIANT vx_Bot,
                                    DOUBLE B_Flow,
                                    VARIANT vDecSpec,
                                    DOUBLE Dec_val,
                                    LONG r_or_s,
                                    DOUBLE* dbReflux,
                                    DOUBLE* dbReboil,
                                    DOUBLE* dbPhi_Reflux,
                                    VARIANT* vx_Reflux,
                                    VARIANT* vy_Top,
                                    LONG* iFeasible,
                                    DOUBLE* dbStage_Rect,
                                    DOUBLE* dbStages_Strip,
                                    LONG* iN_Rect,
                                    VARIANT* vx_rect,
                                    LONG* iN_Strip,
                                    VARIANT* vx_Strip,
                                    LONG* iN_Rect_f,
                                    VARIANT* vx_Rect_f,
                                    LONG* iN_Strip_f,
                                    VARIANT* vx_Strip_f,
                                    LONG* iN_Col,
                                    VARIANT* vStage_Col,
                                    VARIANT* vx_Col,
                                    VARIANT* vy_Col,
                                    VARIANT* vT_Col,
                                    DOUBLE* dbV_Rect,
                                    DOUBLE* dbV_Strip,
                                    DOUBLE* dbL_Rect,
                                    DOUBLE* dbL_Strip,
                                    DOUBLE* dbQ_Reb,
                                    DOUBLE* dbQ_Con,
                                    LONG* r_n_Stages,
                                    LONG* r_Feed_Stage,
                                    DOUBLE* l1_Spec,
                                    DOUBLE* l2_Spec,
                                    LONG* Comp_List,
                                    VARIANT* vT_est,
                                    VARIANT* vX_est,
                                    VARIANT* vY_est,
                                    LONG* iErr,
                                    LONG* iMsg) {
    const std::string opset = narrow(bsOpset);  // out of memory escapes
    const std::array<std::pair<const VARIANT*, const char*>, 5> inputs{{
        {&vx_Dist, "Distillate Composition is Empty!"},
        {&vx_Bot, "Bottoms Composition is Empty!"},
        {&vDecSpec, "Decanter Specification is Empty!"},
        {vx_Reflux, "Reflux Composition is Empty!"},
        {vy_Top, "Vapour Composition is Empty!"},
    }};
    for (const auto& [v, text] : inputs) {
        if (core::CUtilFuncs::IsEmpty(v)) {
            return detail::report_map(text, E_TARN_UNINITIALISED_VARIANT);
        }
    }
    if (!dbReflux || !dbReboil || !dbPhi_Reflux || !iFeasible || !dbStage_Rect || !dbStages_Strip ||
        !iN_Rect || !vx_rect || !iN_Strip || !vx_Strip || !iN_Rect_f || !vx_Rect_f || !iN_Strip_f ||
        !vx_Strip_f || !iN_Col || !vStage_Col || !vx_Col || !vy_Col || !vT_Col || !dbV_Rect ||
        !dbV_Strip || !dbL_Rect || !dbL_Strip || !dbQ_Reb || !dbQ_Con || !r_n_Stages ||
        !r_Feed_Stage || !l1_Spec || !l2_Spec || !Comp_List || !vT_est || !vX_est || !vY_est ||
        !iErr || !iMsg) {
        return E_POINTER;
    }
    // Work arrays exist only for arguments the routine accepts: a refused component count or
    // stage limit gets empty profiles instead of an allocation sized by a bad number.
    const bool sized =
        nComp == kDesignComponents && iMaxStages >= 2 && iMaxStages <= design::kMaxStagesLimit;
    const std::int64_t n = kDesignComponents;
    const std::int64_t stages = sized ? iMaxStages : 0;
    const std::int64_t read = selected_read_size(nComp);
    std::vector<double> x_dist, x_bot, x_reflux, y_top;
    std::vector<std::int64_t> dec_spec;
    try {
        auto d = doubles_padded(vx_Dist, read, n);
        auto b = doubles_padded(vx_Bot, read, n);
        auto r = doubles_padded(*vx_Reflux, read, n);
        auto y = doubles_padded(*vy_Top, read, n);
        auto s = detail::read_ints(vDecSpec, 2);
        if (!d || !b || !r || !y || !s) {
            return detail::report_map("Error extracting data from Variants - BVDesign",
                                      E_TARN_VARIANT_ACCESS);
        }
        x_dist = std::move(*d);
        x_bot = std::move(*b);
        x_reflux = std::move(*r);
        y_top = std::move(*y);
        dec_spec = std::move(*s);
    } catch (...) {
        return detail::report_map("Error extracting data from Variants - BVDesign",
                                  E_TARN_VARIANT_ACCESS);
    }
    std::vector<double> x_rect, x_strip, x_rect_f, x_strip_f, stage_col, x_col, y_col, t_col, t_est,
        x_est, y_est;
    try {
        const auto profile = static_cast<std::size_t>(n * std::max<std::int64_t>(stages, 1));
        const auto column = static_cast<std::size_t>(2 * std::max<std::int64_t>(stages, 1));
        x_rect.assign(profile, -1.0);
        x_strip.assign(profile, -1.0);
        x_rect_f.assign(profile, -1.0);
        x_strip_f.assign(profile, -1.0);
        stage_col.assign(column, -1.0);
        t_col.assign(column, -1.0);
        x_col.assign(n * column, -1.0);
        y_col.assign(n * column, -1.0);
        t_est.assign(column, -1.0);
        x_est.assign(n * column, -1.0);
        y_est.assign(n * column, -1.0);
    } catch (...) {
        return detail::report_map("Error extracting data from Variants - BVDesign",
                                  E_TARN_VARIANT_ACCESS);
    }
    std::vector<std::int64_t> idx = padded_indices(*state_, n);
    const std::int64_t n64 = nComp, phase = nPhase, config = iConfig, max_stages = iMaxStages,
                       stop = iStopCriteria, choice = r_or_s;
    std::int64_t feasible = 0, n_rect = 0, n_strip = 0, n_rect_f = 0, n_strip_f = 0, n_col = 0,
                 n_stages = 0, feed_stage = 0, comp_list = 0, err = 0, msg = 0;
    double reflux = *dbReflux, reboil = *dbReboil, phi = *dbPhi_Reflux;
    double stage_rect = 0.0, stages_strip = 0.0, v_rect = 0.0, v_strip = 0.0, l_rect = 0.0,
           l_strip = 0.0, q_reb = 0.0, q_con = 0.0, l1 = 0.0, l2 = 0.0;
    properties::clear_message_lines();
    try {
        BV_DESIGN(&n64, idx.data(), opset.data(), &phase, &dbPressure, &config, &max_stages, &stop,
                  &F_flow, &FeedQual, x_dist.data(), &D_Flow, x_bot.data(), &B_Flow,
                  dec_spec.data(), &Dec_val, &choice, &reflux, &reboil, &phi, x_reflux.data(),
                  y_top.data(), &feasible, &stage_rect, &stages_strip, &n_rect, x_rect.data(),
                  &n_strip, x_strip.data(), &n_rect_f, x_rect_f.data(), &n_strip_f,
                  x_strip_f.data(), &n_col, stage_col.data(), x_col.data(), y_col.data(),
                  t_col.data(), &v_rect, &v_strip, &l_rect, &l_strip, &q_reb, &q_con, &n_stages,
                  &feed_stage, &l1, &l2, &comp_list, t_est.data(), x_est.data(), y_est.data(), &err,
                  &msg, static_cast<std::int64_t>(opset.size()));
    } catch (...) {
        return detail::report_map("Error calling Fortran! - BVDesign", E_TARN_NUMERICAL_ROUTINE);
    }
    *dbReflux = reflux;
    *dbReboil = reboil;
    *dbPhi_Reflux = phi;
    *iFeasible = static_cast<LONG>(feasible);
    *dbStage_Rect = stage_rect;
    *dbStages_Strip = stages_strip;
    *iN_Rect = static_cast<LONG>(n_rect);
    *iN_Strip = static_cast<LONG>(n_strip);
    *iN_Rect_f = static_cast<LONG>(n_rect_f);
    *iN_Strip_f = static_cast<LONG>(n_strip_f);
    *iN_Col = static_cast<LONG>(n_col);
    *dbV_Rect = v_rect;
    *dbV_Strip = v_strip;
    *dbL_Rect = l_rect;
    *dbL_Strip = l_strip;
    *dbQ_Reb = q_reb;
    *dbQ_Con = q_con;
    *r_n_Stages = static_cast<LONG>(n_stages);
    *r_Feed_Stage = static_cast<LONG>(feed_stage);
    *l1_Spec = l1;
    *l2_Spec = l2;
    *Comp_List = static_cast<LONG>(comp_list);
    *iErr = detail::translate_code(err, kDesignCodes);
    *iMsg = static_cast<LONG>(msg);
    try {
        core::CUtilFuncs util;
        const std::int64_t rows = sized ? n : std::max<LONG>(nComp, 0);
        // Estimates exist for the stages the routine filled (never beyond its arrays).
        const std::int64_t estimated = std::clamp<std::int64_t>(n_stages, 0, 2 * stages);
        const std::array<std::int64_t, 2> profile{rows, stages};
        const std::array<std::int64_t, 2> column{rows, 2 * stages};
        const std::array<std::int64_t, 1> column_vector{2 * stages};
        const std::array<std::int64_t, 2> estimates{rows, estimated};
        const std::array<std::int64_t, 1> estimate_vector{estimated};
        // Profiles are n x stages, column by column as the routine fills them: the storage
        // order of the safe arrays, so they are copied as blocks.
        if (!util.CreateSafeArrayBlock(vx_rect, x_rect, 2, profile) ||
            !util.CreateSafeArrayBlock(vx_Strip, x_strip, 2, profile) ||
            !util.CreateSafeArrayBlock(vx_Rect_f, x_rect_f, 2, profile) ||
            !util.CreateSafeArrayBlock(vx_Strip_f, x_strip_f, 2, profile) ||
            !util.CreateSafeArrayBlock(vx_Col, x_col, 2, column) ||
            !util.CreateSafeArrayBlock(vy_Col, y_col, 2, column) ||
            !util.CreateSafeArrayBlock(vStage_Col, stage_col, 1, column_vector) ||
            !util.CreateSafeArrayBlock(vT_Col, t_col, 1, column_vector) ||
            !util.CreateSafeArrayBlock(vT_est, t_est, 1, estimate_vector) ||
            !util.CreateSafeArrayBlock(vX_est, x_est, 2, estimates) ||
            !util.CreateSafeArrayBlock(vY_est, y_est, 2, estimates) ||
            !detail::write_doubles(vx_Reflux, std::span<const double>(x_reflux).first(read)) ||
            !detail::write_doubles(vy_Top, std::span<const double>(y_top).first(read))) {
            return detail::report_map("Error Creating Variants - BVDesign", E_TARN_VARIANT_ACCESS);
        }
    } catch (...) {
        return detail::report_map("Error Creating Variants - BVDesign", E_TARN_VARIANT_ACCESS);
    }
    return S_OK;
}

HRESULT CDistillationMap::CreateProductStreams(LONG ncc,
                                               LONG nselcomp,
                                               BSTR bstrOpset,
                                               LONG nPhase,
                                               DOUBLE dbPres,
                                               VARIANT vfeed_stream,
                                               LONG un_Map,
                                               VARIANT vMapping,
                                               LONG basis,
                                               VARIANT mol_wt,
                                               DOUBLE D_Flow,
                                               VARIANT x_dist,
                                               DOUBLE B_Flow,
                                               VARIANT x_bot,
                                               VARIANT* Dist_Stream,
                                               VARIANT* Bot_Stream) {
    const std::string opset = narrow(bstrOpset);  // out of memory escapes
    const std::array<std::pair<const VARIANT*, const char*>, 5> inputs{{
        {&vfeed_stream, "Feed Stream is Empty"},
        {&vMapping, "Mapping Array is Empty"},
        {&mol_wt, "Mol_wt array is empty"},
        {&x_dist, "X_Dist array is empty"},
        {&x_bot, "X_bot array is empty"},
    }};
    for (const auto& [v, text] : inputs) {
        if (core::CUtilFuncs::IsEmpty(v)) {
            return detail::report_map(text, E_TARN_UNINITIALISED_VARIANT);
        }
    }
    if (!Dist_Stream || !Bot_Stream) { return E_POINTER; }
    const std::int64_t full = full_list_size(ncc);
    // The routine accepts 1 .. ncc selected components; anything else reads no array.
    const std::int64_t selected = full > 0 && nselcomp >= 1 && nselcomp <= full ? nselcomp : 0;
    std::vector<double> feed, mapping, weights, xd, xb;
    try {
        if (full > 0) {
            auto f = detail::read_doubles(vfeed_stream, full + kStreamExtra);
            auto w = detail::read_doubles(mol_wt, full);
            if (!f || !w) {
                return detail::report_map(
                    "Error extracting data from variants - CreateProductStreams",
                    E_TARN_VARIANT_ACCESS);
            }
            feed = std::move(*f);
            weights = std::move(*w);
        }
        if (selected > 0) {
            auto mp = detail::read_doubles(vMapping, full * selected);
            auto d = detail::read_doubles(x_dist, selected);
            auto b = detail::read_doubles(x_bot, selected);
            if (!mp || !d || !b) {
                return detail::report_map(
                    "Error extracting data from variants - CreateProductStreams",
                    E_TARN_VARIANT_ACCESS);
            }
            mapping = std::move(*mp);
            xd = std::move(*d);
            xb = std::move(*b);
        }
    } catch (...) {
        return detail::report_map("Error extracting data from variants - CreateProductStreams",
                                  E_TARN_VARIANT_ACCESS);
    }
    std::vector<double> distillate, bottoms;
    try {
        distillate.assign(static_cast<std::size_t>(full > 0 ? full + kStreamExtra : 0), 0.0);
        bottoms.assign(distillate.size(), 0.0);
    } catch (...) {
        return detail::report_map("Error Allocating memory - CreateProductStreams", E_OUTOFMEMORY);
    }
    std::vector<std::int64_t> idx = padded_indices(*state_, selected);
    const std::int64_t ncc64 = ncc, nsel = nselcomp, phase = nPhase, mapped = un_Map,
                       basis64 = basis;
    std::int64_t status1 = 0, status2 = 0;
    properties::clear_message_lines();
    try {
        CREATE_PROD_STREAM(&ncc64, &nsel, idx.data(), opset.data(), &phase, &dbPres,
                           data_or_null(feed), &mapped, data_or_null(mapping), &basis64,
                           data_or_null(weights), &D_Flow, data_or_null(xd), &B_Flow,
                           data_or_null(xb), data_or_null(distillate), data_or_null(bottoms),
                           &status1, &status2, static_cast<std::int64_t>(opset.size()));
    } catch (...) {
        return detail::report_map("Error calling CREATE_PROD_STREAM", E_TARN_NUMERICAL_ROUTINE);
    }
    try {
        core::CUtilFuncs util;
        const std::array<std::int64_t, 1> extent{static_cast<std::int64_t>(distillate.size())};
        if (!util.CreateSafeArray(Dist_Stream, distillate, 1, extent) ||
            !util.CreateSafeArray(Bot_Stream, bottoms, 1, extent)) {
            return detail::report_map("Error Creating VARIANT arrays - CreateProductStreams",
                                      E_TARN_VARIANT_ACCESS);
        }
    } catch (...) {
        return detail::report_map("Error Creating VARIANT arrays - CreateProductStreams",
                                  E_TARN_VARIANT_ACCESS);
    }
    return S_OK;
}

}  // namespace engine
