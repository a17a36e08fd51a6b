#pragma once
/// The automation interfaces of the engine's objects: the root object (IDistil), the ternary
/// distillation map (IDistillationMap) and the azeotrope search (IAzeotropeSearch). The property
/// package's interface lives with its object in properties/.
///
/// Every interface is dual: its members come in slot order, which is also the order of the
/// dispatch ids listed beside each interface (a get and a put share one id). Members return a
/// status; results travel through the pointer arguments. Arrays cross in variants (safe arrays
/// with lower bounds 0); compositions are mole fractions, temperatures K, pressures Pa.
#include "engine/core/class_ids.hpp"
#include "platform/automation.hpp"
#include "properties/property_package.hpp"

namespace engine {

using platform::BSTR;
using platform::DOUBLE;
using platform::HRESULT;
using platform::LONG;
using platform::LONGLONG;
using platform::VARIANT;
using properties::IPropertyPackage;

/// The azeotrope search: singular points (pure components and azeotropes) of a mixture of 2 to
/// 20 components at one pressure.
struct IAzeotropeSearch : platform::IDispatch {
    static constexpr platform::IID iid = core::IID_IAzeotropeSearch;

    /// Runs the search for the current components, property data and pressure.
    virtual HRESULT ComputeAzeotropes() = 0;
    /// System pressure [Pa].
    virtual HRESULT get_Pressure(DOUBLE* pVal) = 0;
    virtual HRESULT put_Pressure(DOUBLE newVal) = 0;
    /// The azeotropes of the last search: count; compositions (count x n doubles); boiling
    /// temperatures [K]; phase flags (1 homogeneous, 2 heterogeneous) and stability codes
    /// (1 stable node, 2 saddle, 3 unstable node, -1 unclassified), 32-bit integers. With no
    /// azeotrope the count is 0 and the variants are not touched.
    virtual HRESULT GetAzeotropes(LONG* nAzeotropes,
                                  VARIANT* vAzeotropes,
                                  VARIANT* vTemperature,
                                  VARIANT* vPhase,
                                  VARIANT* vStability) = 0;
    /// Pure-component data for the current components: n x n identity, boiling temperatures [K]
    /// and stability codes from the K-values at each vertex. Sizes every result buffer.
    virtual HRESULT GetPureProperties(VARIANT* vComposition,
                                      VARIANT* vTemperature,
                                      VARIANT* vStability) = 0;
    /// The components by name: a 1-D array of strings, looked up in the property package.
    virtual HRESULT SetComponentData(VARIANT vComponents) = 0;
    /// The components by host index: nComp 64-bit indices.
    virtual HRESULT SetIdxVector(LONGLONG nComp, LONGLONG* IdxVector) = 0;
    /// Option set (at most 9 characters kept), model names (stored only) and phase count.
    virtual HRESULT SetPropertyData(BSTR bstrOpset,
                                    BSTR bstrVLEModel,
                                    BSTR bstrLLEModel,
                                    LONG nPhase) = 0;
    /// Azeotropes found by the last search.
    virtual HRESULT get_NoAzeotropes(LONG* pVal) = 0;
    /// The object's singular-point buffers (in-process clients only; valid until the next
    /// GetPureProperties): n + NoAzeotropes points of n mole fractions, point after point; their
    /// stability codes; their boiling temperatures [K].
    virtual HRESULT get_CompositionMatrix(DOUBLE** pVal) = 0;
    virtual HRESULT get_StabilityIndex(LONGLONG** pVal) = 0;
    virtual HRESULT get_BPTemperatures(DOUBLE** pVal) = 0;
};

enum AzeotropeSearchDispId : platform::DISPID {
    kDispIdComputeAzeotropes = 1,
    kDispIdSearchPressure = 2,
    kDispIdSearchGetAzeotropes = 3,
    kDispIdSearchGetPureProperties = 4,
    kDispIdSearchSetComponentData = 5,
    kDispIdSetIdxVector = 6,
    kDispIdSearchSetPropertyData = 7,
    kDispIdNoAzeotropes = 8,
    kDispIdCompositionMatrix = 9,
    kDispIdStabilityIndex = 10,
    kDispIdBPTemperatures = 11,
};

/// One ternary diagram (top, left and right corner) with its settings, its analyses and the
/// result buffers of the curve, envelope and tie-line calculations.
struct IDistillationMap : platform::IDispatch {
    static constexpr platform::IID iid = core::IID_IDistillationMap;

    /// 1: residue and distillation curves end only at nodes; otherwise wherever they come to rest.
    virtual HRESULT get_CurveCalcOption(LONG* pVal) = 0;
    virtual HRESULT put_CurveCalcOption(LONG newVal) = 0;
    /// Error code of the last numerical call (low 32 bits); 0 for success.
    virtual HRESULT get_ErrorCode(LONG* pVal) = 0;
    /// Message code of the last numerical call (501 ... 513; 0 none).
    virtual HRESULT get_MessageCode(LONG* pVal) = 0;
    /// System pressure of every analysis [Pa].
    virtual HRESULT get_Pressure(DOUBLE* pVal) = 0;
    virtual HRESULT put_Pressure(DOUBLE newVal) = 0;
    /// Output step of the residue-curve tracer (warped time).
    virtual HRESULT get_StepSizeCurve(DOUBLE* pVal) = 0;
    virtual HRESULT put_StepSizeCurve(DOUBLE newVal) = 0;
    /// Predictor step of the envelope tracers [mol/mol].
    virtual HRESULT get_StepSizeEnv(DOUBLE* pVal) = 0;
    virtual HRESULT put_StepSizeEnv(DOUBLE newVal) = 0;
    /// Temperature of the liquid-liquid envelope and tie lines [K].
    virtual HRESULT get_Temperature(DOUBLE* pVal) = 0;
    virtual HRESULT put_Temperature(DOUBLE newVal) = 0;

    /// Liquid-liquid envelopes at Temperature and Pressure (the LLE model as option set).
    virtual HRESULT ComputeEnvelopeLLE() = 0;
    /// Vapour-liquid-liquid envelopes at the bubble point under Pressure.
    virtual HRESULT ComputeEnvelopeVLLE() = 0;
    /// Column material balance from three product specifications.
    virtual HRESULT ComputeMaterialBalance(LONG lComp,
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
                                           LONG* lConverg) = 0;
    /// The diagram's azeotropes, through the global azeotrope search.
    virtual HRESULT GetAzeotropes(LONG* nAzeotropes,
                                  VARIANT* vAzeotropes,
                                  VARIANT* vTemperature,
                                  VARIANT* vPhase,
                                  VARIANT* vStability) = 0;
    /// Bubble temperature [K] of a liquid (three mole fractions) at Pressure.
    virtual HRESULT GetBoilingPoint(VARIANT vComposition, DOUBLE* dbBoilingPoint) = 0;
    /// The last liquid-liquid envelopes: curves x points x 3 (-1.0 beyond a shorter curve).
    virtual HRESULT GetCurveLLE(VARIANT* vXCurve) = 0;
    /// The last vapour-liquid-liquid envelopes and the plait temperature [K] (0 when the last
    /// trace found none).
    virtual HRESULT GetCurveVLLE(VARIANT* vXCurve, DOUBLE* dbPlaitTemp) = 0;
    /// Distillation boundaries: curve count, direction per curve (2 towards higher boiling
    /// temperature, -2 towards lower), curves x points x 3.
    virtual HRESULT GetDistillationBoundary(LONG* nCurves,
                                            VARIANT* vDirection,
                                            VARIANT* vDistillationBoundary) = 0;
    /// Total-reflux distillation curve through a composition: points x 3.
    virtual HRESULT GetDistillationCurve(VARIANT vInitPoint,
                                         LONG* nDirection,
                                         VARIANT* vDistillationCurve) = 0;
    /// Unit-volatility curves of the three pairs: curves x points x 3.
    virtual HRESULT GetIsovolatilityCurve(LONG* nCurves, VARIANT* vIsovolatilityCurve) = 0;
    /// The liquid-liquid tie line through a composition (both ends -999.0 when it does not split).
    virtual HRESULT GetNewTieLineLLE(VARIANT vComposition, VARIANT* vX1, VARIANT* vX2) = 0;
    /// The three-phase tie line through a liquid at its bubble point, with its vapour.
    virtual HRESULT GetNewTieLineVLLE(VARIANT vComposition,
                                      VARIANT* vX1,
                                      VARIANT* vX2,
                                      VARIANT* vY) = 0;
    /// Pure-component data of the diagram, through the global azeotrope search.
    virtual HRESULT GetPureProperties(VARIANT* vPureComp,
                                      VARIANT* vTemperature,
                                      VARIANT* vStability) = 0;
    /// Residue curve through a composition: points x 3, in the forward sense.
    virtual HRESULT GetResidueCurve(VARIANT vInitPoint,
                                    LONG* nDirection,
                                    VARIANT* vResidueCurve) = 0;
    /// Tie lines of the last liquid-liquid envelopes: (2 x count) rows x 3, the two ends of each.
    virtual HRESULT GetTieLinesLLE(VARIANT* vTieline) = 0;
    /// Tie lines of the last vapour-liquid-liquid envelopes, and their vapours (count x 3).
    virtual HRESULT GetTieLinesVLLE(VARIANT* vTieline, VARIANT* vTiePoints) = 0;
    /// Stores a calculation option and a liquid-liquid temperature [K] (no checks).
    virtual HRESULT SetCalculationOption(LONG nOption, DOUBLE dbLLTemp) = 0;
    /// The three components by id: top, left, right.
    virtual HRESULT SetComponentData(BSTR bstrTop, BSTR bstrLeft, BSTR bstrRight) = 0;
    /// Option set (at most 9 characters kept), VLE and LLE model names, phase count of flashes.
    virtual HRESULT SetPropertyData(BSTR szOpset,
                                    BSTR szVLEModel,
                                    BSTR szLLEModel,
                                    LONG nPhase) = 0;
    /// Ternary feed of a design study from a host stream and a component mapping.
    virtual HRESULT ComputeFeed(LONG ncc,
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
                                LONG* iMsg) = 0;
    /// Distillate and bottoms as host stream vectors over the full component list.
    virtual HRESULT CreateProductStreams(LONG ncc,
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
                                         VARIANT* Bot_Stream) = 0;
    /// Boundary-value design of a ternary column.
    virtual HRESULT BV_Design(LONG nComp,
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
                              LONG* iMsg) = 0;
};

enum DistillationMapDispId : platform::DISPID {
    kDispIdCurveCalcOption = 1,
    kDispIdErrorCode = 2,
    kDispIdMessageCode = 3,
    kDispIdMapPressure = 4,
    kDispIdStepSizeCurve = 5,
    kDispIdStepSizeEnv = 6,
    kDispIdTemperature = 7,
    kDispIdComputeEnvelopeLLE = 8,
    kDispIdComputeEnvelopeVLLE = 9,
    kDispIdComputeMaterialBalance = 10,
    kDispIdMapGetAzeotropes = 11,
    kDispIdGetBoilingPoint = 12,
    kDispIdGetCurveLLE = 13,
    kDispIdGetCurveVLLE = 14,
    kDispIdGetDistillationBoundary = 15,
    kDispIdGetDistillationCurve = 16,
    kDispIdGetIsovolatilityCurve = 17,
    kDispIdGetNewTieLineLLE = 18,
    kDispIdGetNewTieLineVLLE = 19,
    kDispIdMapGetPureProperties = 20,
    kDispIdGetResidueCurve = 21,
    kDispIdGetTieLinesLLE = 22,
    kDispIdGetTieLinesVLLE = 23,
    kDispIdSetCalculationOption = 24,
    kDispIdMapSetComponentData = 25,
    kDispIdMapSetPropertyData = 26,
    kDispIdComputeFeed = 27,
    kDispIdCreateProductStreams = 28,
    kDispIdBV_Design = 29,
};

/// The root object: creates and holds the property package, the distillation map and the
/// azeotrope search, and opens the problem-definition file.
struct IDistil : platform::IDispatch {
    static constexpr platform::IID iid = core::IID_IDistil;

    virtual HRESULT get_AzeotropeSearch(IAzeotropeSearch** pVal) = 0;
    virtual HRESULT get_DistillationMap(IDistillationMap** pVal) = 0;
    /// Null once CloseSimpdfFile dropped a property package that never opened a file.
    virtual HRESULT get_PropertyPackage(IPropertyPackage** pVal) = 0;
    /// Closes the open problem-definition file (see the object's description).
    virtual HRESULT CloseSimpdfFile() = 0;
    /// Opens a problem-definition file (an empty name: the host is already initialised).
    virtual HRESULT InitFromSimpdfFile(BSTR bstrSimpdfFile) = 0;
    /// Names the trace file (in the "TMP" directory) and switches tracing on for good.
    virtual HRESULT SetLogFile(BSTR fname) = 0;
    /// The Windows platform family; 0 where it cannot be told (always on this platform).
    virtual HRESULT get_OperatingSystem(LONG* pVal) = 0;
};

enum DistilDispId : platform::DISPID {
    kDispIdAzeotropeSearch = 2,
    kDispIdDistillationMap = 3,
    kDispIdPropertyPackage = 4,
    kDispIdDistilCloseSimpdfFile = 5,
    kDispIdDistilInitFromSimpdfFile = 6,
    kDispIdSetLogFile = 8,
    kDispIdOperatingSystem = 9,
};

/// The outgoing event interfaces of the three classes: dispatch interfaces without members (no
/// event is ever fired; they exist so that clients can connect as they expect to).
struct _IDistilEvents : platform::IDispatch {
    static constexpr platform::IID iid = core::DIID__IDistilEvents;
};
struct _IDistillationMapEvents : platform::IDispatch {
    static constexpr platform::IID iid = core::DIID__IDistillationMapEvents;
};
struct _IAzeotropeSearchEvents : platform::IDispatch {
    static constexpr platform::IID iid = core::DIID__IAzeotropeSearchEvents;
};

}  // namespace engine
