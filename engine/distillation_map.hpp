#pragma once
/// The distillation map object ("DistillationMap Class", ProgID TARNDistil.DistillationMap): one
/// ternary diagram (top, left and right corner of the triangle) with its thermodynamic settings,
/// pressure, step sizes and options, and the result buffers of the curve, envelope and tie-line
/// calculations. Its methods run the analyses on that state: azeotropes and pure components
/// (through the global azeotrope search), residue and distillation curves, boundaries,
/// isovolatility curves, liquid-liquid envelopes and tie lines, and the column design study.
#include <array>
#include <cstdint>
#include <memory>
#include <span>
#include <string>

#include "engine/detail/connection_points.hpp"
#include "engine/detail/dispatch_names.hpp"
#include "engine/interfaces.hpp"

namespace engine {

namespace detail {
struct MapState;
}

/// Not final: the module's class factory derives the aggregated form of the class from it.
class CDistillationMap : public platform::ComObject<CDistillationMap,
                                                    IDistillationMap,
                                                    platform::ISupportErrorInfo,
                                                    platform::IConnectionPointContainer> {
public:
    static constexpr platform::CLSID clsid = core::CLSID_DistillationMap;

    CDistillationMap();

    HRESULT get_CurveCalcOption(LONG* pVal) override;
    HRESULT put_CurveCalcOption(LONG newVal) override;
    HRESULT get_ErrorCode(LONG* pVal) override;
    HRESULT get_MessageCode(LONG* pVal) override;
    HRESULT get_Pressure(DOUBLE* pVal) override;
    HRESULT put_Pressure(DOUBLE newVal) override;
    HRESULT get_StepSizeCurve(DOUBLE* pVal) override;
    HRESULT put_StepSizeCurve(DOUBLE newVal) override;
    HRESULT get_StepSizeEnv(DOUBLE* pVal) override;
    HRESULT put_StepSizeEnv(DOUBLE newVal) override;
    HRESULT get_Temperature(DOUBLE* pVal) override;
    HRESULT put_Temperature(DOUBLE newVal) override;
    HRESULT ComputeEnvelopeLLE() override;
    HRESULT ComputeEnvelopeVLLE() override;
    HRESULT ComputeMaterialBalance(LONG lComp,
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
                                   VARIANT vaIdx,
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
                                   LONG* lConverg) override;
    HRESULT GetAzeotropes(LONG* nAzeotropes,
                          VARIANT* vAzeotropes,
                          VARIANT* vTemperature,
                          VARIANT* vPhase,
                          VARIANT* vStability) override;
    HRESULT GetBoilingPoint(VARIANT vComposition, DOUBLE* dbBoilingPoint) override;
    HRESULT GetCurveLLE(VARIANT* vXCurve) override;
    HRESULT GetCurveVLLE(VARIANT* vXCurve, DOUBLE* dbPlaitTemp) override;
    HRESULT GetDistillationBoundary(LONG* nCurves,
                                    VARIANT* vDirection,
                                    VARIANT* vDistillationBoundary) override;
    HRESULT GetDistillationCurve(VARIANT vInitPoint,
                                 LONG* nDirection,
                                 VARIANT* vDistillationCurve) override;
    HRESULT GetIsovolatilityCurve(LONG* nCurves, VARIANT* vIsovolatilityCurve) override;
    HRESULT GetNewTieLineLLE(VARIANT vComposition, VARIANT* vX1, VARIANT* vX2) override;
    HRESULT GetNewTieLineVLLE(VARIANT vComposition,
                              VARIANT* vX1,
                              VARIANT* vX2,
                              VARIANT* vY) override;
    HRESULT GetPureProperties(VARIANT* vPureComp,
                              VARIANT* vTemperature,
                              VARIANT* vStability) override;
    HRESULT GetResidueCurve(VARIANT vInitPoint, LONG* nDirection, VARIANT* vResidueCurve) override;
    HRESULT GetTieLinesLLE(VARIANT* vTieline) override;
    HRESULT GetTieLinesVLLE(VARIANT* vTieline, VARIANT* vTiePoints) override;
    HRESULT SetCalculationOption(LONG nOption, DOUBLE dbLLTemp) override;
    HRESULT SetComponentData(BSTR bstrTop, BSTR bstrLeft, BSTR bstrRight) override;
    HRESULT SetPropertyData(BSTR szOpset, BSTR szVLEModel, BSTR szLLEModel, LONG nPhase) override;
    HRESULT ComputeFeed(LONG ncc,
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
                        LONG* iMsg) override;
    HRESULT CreateProductStreams(LONG ncc,
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
                                 VARIANT* Bot_Stream) override;
    HRESULT BV_Design(LONG nComp,
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
                      LONG* iMsg) override;

    HRESULT InterfaceSupportsErrorInfo(platform::REFIID riid) override;
    ENGINE_DISPATCH_DECLARATIONS
    ENGINE_CONNECTION_POINT_DECLARATIONS

    // In-process views that the automation interface does not carry.

    /// The host index of top, left and right (0 for an id the host does not know).
    std::array<std::int64_t, 3> component_indices() const noexcept;
    /// The option-set name as stored (at most 9 characters).
    std::string option_set() const;
    /// The phase count handed to every flash.
    LONG phase_count() const noexcept;

    /// The envelope store of the last liquid-liquid (or vapour-liquid-liquid) trace, as the
    /// tracer left it: counts as reported (not clamped to the capacities), points of three mole
    /// fractions (top, left, right), curve c from point slot c * points_per_curve, and tie line k
    /// with its first liquid at point 2 k and its second at point 2 k + 1.
    struct EnvelopeView {
        std::int64_t curve_count = 0;
        std::span<const std::int64_t> point_counts;  ///< one per curve slot
        std::int64_t points_per_curve = 0;
        std::span<const double> points;
        std::int64_t tie_line_count = 0;
        std::span<const double> tie_lines;
    };
    EnvelopeView envelope(bool vapour_liquid_liquid) const noexcept;

protected:
    friend platform::detail::ComObjectBase<true,
                                           CDistillationMap,
                                           IDistillationMap,
                                           platform::ISupportErrorInfo,
                                           platform::IConnectionPointContainer>;
    ~CDistillationMap() override;

private:
    std::unique_ptr<detail::MapState> state_;
    detail::EventSource events_{_IDistillationMapEvents::iid};
};

}  // namespace engine
