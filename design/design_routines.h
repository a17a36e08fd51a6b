/* The column-design routines exported by name, as plain C.
 *
 * Calling convention: every explicit argument by reference; integers int64_t, reals double;
 * arrays column by column; the option-set name is a blank-padded character field (read up to its
 * length or its first zero byte) whose length in bytes follows, BY VALUE, after the last explicit
 * argument. Units: K, Pa, J/kmol, kg/kmol; flows in any one molar unit.
 *
 * Message lines (80 characters, blank-padded) go to WriteMessageLine. No routine throws; a
 * required pointer that is null counts as bad input (the routine's code for bad arguments, when
 * the error argument itself is present). Arrays are never written beyond the sizes that the
 * count arguments give them, and sized outputs are not written at all when those counts are
 * refused (except the first min(n, 3) entries of the n-sized outputs, which are initialised).
 */
#ifndef TARN_DESIGN_ROUTINES_H
#define TARN_DESIGN_ROUTINES_H

#include <stdint.h>

#include "design/export.hpp"

#ifdef __cplusplus
#define DESIGN_NOEXCEPT noexcept
extern "C" {
#else
#define DESIGN_NOEXCEPT
#endif

/* COMPUTE_FEED: the mapped ternary feed (x_feed, F_flow), its quality q and temperature T_feed
 * from a host stream vector feed (ncc + 9 entries) and the mapping matrix (ncc x nComp).
 * enthalpy_method 1 or 2: from the stream's enthalpy (full or mapped feed); 3 saturated liquid;
 * 4 saturated vapour. basis_comp receives n_Basis_Comp full-list positions (room for ncc).
 * iErr: 0; 1 bad input; 2 the mapped feed flow is zero; -2 a feed flash or enthalpy call failed,
 * -3 a feed flash did not converge (q and T_feed then keep 1.0 and -1.0); -4 a mapped mole
 * fraction is zero. iMsg: 0 (505 after an allocation failure). */
DESIGN_EXPORT void COMPUTE_FEED(const int64_t* ncc,
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
                                int64_t opset_len) DESIGN_NOEXCEPT;

/* COMPUTE_MATERIAL_BALANCE: product flows and compositions from three specifications flagged in
 * spec (n x 4: distillate fraction, bottoms fraction, distillate recovery, bottoms recovery).
 * basis 1: specifications on a mass basis (feed and results are molar). xdec_tieline is n x 2.
 * lErr: 0; 1 bad arguments; 2, 3, 4 solver failure or bad pressure/feed flow; -1 not
 * repairable (fallback split); -2 fatal flash at the product temperatures; -3 a product flash
 * did not converge; -4 one liquid in the decanter. lConverg: 0 met without repair. */
DESIGN_EXPORT void COMPUTE_MATERIAL_BALANCE(const int64_t* n,
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
                                            int64_t opset_len) DESIGN_NOEXCEPT;

/* BV_DESIGN: boundary-value design of a ternary column. With M = iMaxStages (2..100000):
 * x_rect, x_Strip, x_Rect_f, x_Strip_f hold n x M; Stage_Col and T_Col 2M; x_Col and y_Col
 * n x 2M; T_est needs room for 2M entries and X_est, Y_est for n x 2M (r_n_Stages columns are
 * written when the estimates are filled). iErr: 0; 1 bad arguments; 2 non-positive ratio;
 * 3 invalid feed or product input; -2, -3 decanter ignored; -4 a flash failed; -5 a profile
 * reached M. iMsg becomes 507 (502) when a flash failed fatally (did not converge). */
DESIGN_EXPORT void BV_DESIGN(const int64_t* n,
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
                             int64_t opset_len) DESIGN_NOEXCEPT;

/* CREATE_PROD_STREAM: distillate and bottoms as host stream vectors (ncc + 9 entries each).
 * un_Map 1 shares each selected component's product flow among the full-list components lumped
 * into it in the feed's proportions (one to one where its lumped feed flow is 0); otherwise one to
 * one through idx (full-list positions). status1: 1 when the arguments were refused (streams
 * all zero). status2: the code of the first bubble-point flash or enthalpy call that failed. */
DESIGN_EXPORT void CREATE_PROD_STREAM(const int64_t* ncc,
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
                                      int64_t opset_len) DESIGN_NOEXCEPT;

#ifdef __cplusplus
}
#endif

#endif
