// LSODA core: the driver (input checks, start-up, output control) and the step routine
// (prediction, corrector, error test, step/order selection, stiffness detection), written from
// Petzold (1983), Hindmarsh (1983) and Radhakrishnan & Hindmarsh (1993).
//
// Deliberate behaviour beyond the classic routine:
//  * a right-hand side that fails (positive code or a value that is not finite) is treated as a
//    corrector convergence failure: the step is retried with h / 4 and counts towards the ten
//    allowed failures (istate -5); a failure at the initial point is illegal input (-3); a
//    negative code stops the integration (istate -8);
//  * a Jacobian that is not finite is treated like a singular iteration matrix;
//  * a correction norm that is not finite fails the corrector instead of passing the tests
//    (NaN compares false), so no NaN reaches h or the history;
//  * repeated illegal input returns istate -3 every time instead of stopping the process;
//  * t, tout, y0 and the step options are checked for being finite.

#include "rcm/ode/detail/lsoda_core.hpp"

#include <algorithm>
#include <cmath>
#include <limits>

#include "rcm/ode/detail/dense_lu.hpp"
#include "rcm/ode/detail/messages.hpp"
#include "rcm/ode/method_coefficients.hpp"

namespace rcm::ode::detail {

std::int64_t real_work_adams(std::int64_t neq, std::int64_t mxordn) {
    return 20 + neq * (mxordn + 1) + 3 * neq;
}

std::int64_t real_work_bdf(
    std::int64_t neq, std::int64_t mxords, std::int64_t jt, std::int64_t ml, std::int64_t mu) {
    const std::int64_t matrix = (jt == 4 || jt == 5) ? (2 * ml + mu + 1) * neq + 2 : neq * neq + 2;
    return 20 + neq * (mxords + 1) + 3 * neq + matrix;
}

namespace {

constexpr double kUround = std::numeric_limits<double>::epsilon();  // unit roundoff U
constexpr double kCcmax = 0.3;      // |rc - 1| above this forces a new iteration matrix
constexpr int kMaxcor = 3;          // corrector iterations per attempt
constexpr std::int64_t kMsbp = 20;  // steps between Jacobian refreshes at most
constexpr int kMxncf = 10;          // convergence failures per step
constexpr std::int64_t kIllegalCallsBeforeWarning = 5;

// Result of the corrector.
enum class Corrector { converged, failed, stopped };

class Core {
public:
    Core(LsodaState& s, const CoreArguments& a, const RightHandSide& f, const JacobianFunction& jac)
        : s_(s), a_(a), f_(f), jac_(jac), out_(a.messages) {}

    void run(double* y, double& t, double tout, std::int64_t& istate);

private:
    // ---- helpers on the history array
    double* z(int j) { return s_.history.data() + static_cast<std::int64_t>(j) * s_.nyh; }
    const MethodCoefficients& table(Method m) const {
        return m == Method::bdf ? bdf_coefficients() : adams_coefficients();
    }
    std::int64_t n() const { return s_.n; }

    double vmnorm(const double* v) const;
    double matrix_norm() const;
    void set_error_weights(const double* y);
    bool weights_positive(std::int64_t* bad) const;
    void invert_weights();

    // f evaluation with the failure rules above: 0 ok, > 0 failed, < 0 stop.
    int evaluate(double t, const double* y, double* out);

    // ---- driver parts
    bool check_and_apply_settings(std::int64_t istate, double t, double tout);
    bool start(double* y, double t, double tout, std::int64_t& istate);
    void illegal(std::int64_t& istate);
    void finish_at_tn(double* y, double& t);
    void record_largest_error();

    // ---- step routine parts
    int take_step();
    void load_order_coefficients();
    void predict();
    void retract();
    void rescale(double rh, bool apply_hmin);
    Corrector correct(double& del, int& m);
    int form_iteration_matrix();  // 0 ok, 1 singular or failed, -1 stop
    bool select_step_and_order(double dsm);
    bool test_method_switch(double dsm);

    LsodaState& s_;
    const CoreArguments& a_;
    const RightHandSide& f_;
    const JacobianFunction& jac_;
    std::ostream* out_;
    static constexpr int kflag_stop_ = -4;
};

// ---------------------------------------------------------------------------------------------
// Norms and weights. The weights are kept as reciprocals, so the norm is max |v_i| * w_i.

double Core::vmnorm(const double* v) const {
    double m = 0.0;
    for (std::int64_t i = 0; i < n(); ++i) {
        const double a = std::abs(v[i]) * s_.ewt[static_cast<std::size_t>(i)];
        if (a > m || std::isnan(a)) {
            m = a;
            if (std::isnan(a)) { return a; }
        }
    }
    return m;
}

// Weighted max norm of the n x n matrix: max_i w_i sum_j |a_ij| / w_j.
double Core::matrix_norm() const {
    double m = 0.0;
    for (std::int64_t i = 0; i < n(); ++i) {
        double sum = 0.0;
        for (std::int64_t j = 0; j < n(); ++j) {
            sum += std::abs(s_.matrix[static_cast<std::size_t>(i + j * n())]) /
                   s_.ewt[static_cast<std::size_t>(j)];
        }
        m = std::max(m, sum * s_.ewt[static_cast<std::size_t>(i)]);
    }
    return m;
}

void Core::set_error_weights(const double* y) {
    const bool rtol_array = a_.itol == 3 || a_.itol == 4;
    const bool atol_array = a_.itol == 2 || a_.itol == 4;
    for (std::int64_t i = 0; i < n(); ++i) {
        const double rtol = a_.rtol[rtol_array ? i : 0];
        const double atol = a_.atol[atol_array ? i : 0];
        s_.ewt[static_cast<std::size_t>(i)] = rtol * std::abs(y[i]) + atol;
    }
}

bool Core::weights_positive(std::int64_t* bad) const {
    for (std::int64_t i = 0; i < n(); ++i) {
        if (!(s_.ewt[static_cast<std::size_t>(i)] > 0.0)) {
            *bad = i;
            return false;
        }
    }
    return true;
}

void Core::invert_weights() {
    for (std::int64_t i = 0; i < n(); ++i) {
        s_.ewt[static_cast<std::size_t>(i)] = 1.0 / s_.ewt[static_cast<std::size_t>(i)];
    }
}

int Core::evaluate(double t, const double* y, double* out) {
    ++s_.rhs_calls;
    const auto size = static_cast<std::size_t>(n());
    const int code = f_(t, std::span<const double>(y, size), std::span<double>(out, size));
    if (code != 0) { return code; }
    for (std::int64_t i = 0; i < n(); ++i) {
        if (!std::isfinite(out[i])) { return 1; }
    }
    return 0;
}

// ---------------------------------------------------------------------------------------------
// Nordsieck operations.

// z <- Pascal(z): the Taylor shift by one step, as q passes of pairwise additions over a window
// that grows towards the low columns.
void Core::predict() {
    const int q = s_.order;
    for (int pass = 1; pass <= q; ++pass) {
        for (int j = q - pass; j < q; ++j) {
            double* zj = z(j);
            const double* zj1 = z(j + 1);
            for (std::int64_t i = 0; i < n(); ++i) { zj[i] += zj1[i]; }
        }
    }
}

// Exact inverse of predict(), used when a step is rejected.
void Core::retract() {
    const int q = s_.order;
    for (int pass = 1; pass <= q; ++pass) {
        for (int j = q - pass; j < q; ++j) {
            double* zj = z(j);
            const double* zj1 = z(j + 1);
            for (std::int64_t i = 0; i < n(); ++i) { zj[i] -= zj1[i]; }
        }
    }
}

// Coefficients of the current (method, order); rc follows the change of l_0.
void Core::load_order_coefficients() {
    const MethodCoefficients& c = table(s_.method);
    s_.el = c.l[static_cast<std::size_t>(s_.order)];
    s_.rc = s_.rc * s_.el[0] / s_.el0;
    s_.el0 = s_.el[0];
    s_.conit = 0.5 / (s_.order + 2);
}

// Every change of h goes through here. apply_hmin is false when the caller changed h itself.
void Core::rescale(double rh, bool apply_hmin) {
    const double habs = std::abs(s_.step);
    if (apply_hmin) { rh = std::max(rh, s_.min_step / habs); }
    rh = std::min(rh, s_.rmax);
    rh = rh / std::max(1.0, habs * s_.inv_max_step * rh);
    if (s_.method == Method::adams) {
        // Functional iteration diverges beyond the stability bound: cap the step there and
        // remember it, as the fallback stiffness signal.
        s_.irflag = 0;
        const double pdh = std::max(habs * s_.pdlast, 1e-6);
        if (rh * pdh * 1.00001 >= adams_stability_bound(s_.order)) {
            rh = adams_stability_bound(s_.order) / pdh;
            s_.irflag = 1;
        }
    }
    double r = 1.0;
    for (int j = 1; j <= s_.order; ++j) {
        r *= rh;
        double* zj = z(j);
        for (std::int64_t i = 0; i < n(); ++i) { zj[i] *= r; }
    }
    s_.step *= rh;
    s_.rc *= rh;
    s_.ialth = s_.l;
}

// ---------------------------------------------------------------------------------------------
// Iteration matrix P = I - h l0 J, with J from the user or from difference quotients.

int Core::form_iteration_matrix() {
    ++s_.jacobian_calls;
    s_.jcur = 1;
    const double hl0 = s_.step * s_.el0;
    const std::int64_t nn = n();
    const auto size = static_cast<std::size_t>(nn);
    double* wm = s_.matrix.data();
    std::fill(s_.matrix.begin(), s_.matrix.begin() + nn * nn, 0.0);
    const std::span<const double> y(s_.y.data(), size);
    const double srur = std::sqrt(kUround);

    switch (s_.iteration) {
        case 1: {
            const int code = jac_ ? jac_(s_.t, y, 0, 0, std::span<double>(wm, size * size), nn) : 1;
            if (code != 0) { return code < 0 ? -1 : 1; }
            for (std::int64_t k = 0; k < nn * nn; ++k) { wm[k] *= -hl0; }
            break;
        }
        case 2: {
            const double fac = vmnorm(s_.savf.data());
            double r0 = 1000.0 * std::abs(s_.step) * kUround * static_cast<double>(nn) * fac;
            if (r0 == 0.0) { r0 = 1.0; }
            for (std::int64_t j = 0; j < nn; ++j) {
                const double yj = s_.y[static_cast<std::size_t>(j)];
                const double r =
                    std::max(srur * std::abs(yj), r0 / s_.ewt[static_cast<std::size_t>(j)]);
                s_.y[static_cast<std::size_t>(j)] += r;
                const double scale = -hl0 / r;
                const int code = evaluate(s_.t, s_.y.data(), s_.ftem.data());
                s_.y[static_cast<std::size_t>(j)] = yj;
                if (code != 0) { return code < 0 ? -1 : 1; }
                for (std::int64_t i = 0; i < nn; ++i) {
                    wm[i + j * nn] = (s_.ftem[static_cast<std::size_t>(i)] -
                                      s_.savf[static_cast<std::size_t>(i)]) *
                                     scale;
                }
            }
            break;
        }
        case 4: {
            // Classic band storage: the user sees rows ml.. of a (2 ml + mu + 1)-row buffer,
            // element (i, j) at row i - j + mu.
            const std::int64_t meband = 2 * s_.ml + s_.mu + 1;
            std::fill(s_.band.begin(), s_.band.end(), 0.0);
            const std::span<double> pd(s_.band.data() + s_.ml,
                                       s_.band.size() - static_cast<std::size_t>(s_.ml));
            const int code = jac_ ? jac_(s_.t, y, s_.ml, s_.mu, pd, meband) : 1;
            if (code != 0) { return code < 0 ? -1 : 1; }
            for (std::int64_t j = 0; j < nn; ++j) {
                const std::int64_t i1 = std::max<std::int64_t>(0, j - s_.mu);
                const std::int64_t i2 = std::min<std::int64_t>(nn - 1, j + s_.ml);
                for (std::int64_t i = i1; i <= i2; ++i) {
                    wm[i + j * nn] =
                        -hl0 *
                        s_.band[static_cast<std::size_t>(s_.ml + i - j + s_.mu + j * meband)];
                }
            }
            break;
        }
        case 5: {
            // Columns more than ml + mu apart touch disjoint rows: perturb them together.
            const std::int64_t mba = std::min(s_.ml + s_.mu + 1, nn);
            const double fac = vmnorm(s_.savf.data());
            double r0 = 1000.0 * std::abs(s_.step) * kUround * static_cast<double>(nn) * fac;
            if (r0 == 0.0) { r0 = 1.0; }
            const double* z0 = z(0);
            for (std::int64_t group = 0; group < mba; ++group) {
                for (std::int64_t j = group; j < nn; j += mba) {
                    const double r =
                        std::max(srur * std::abs(z0[j]), r0 / s_.ewt[static_cast<std::size_t>(j)]);
                    s_.y[static_cast<std::size_t>(j)] += r;
                }
                const int code = evaluate(s_.t, s_.y.data(), s_.ftem.data());
                for (std::int64_t j = group; j < nn; j += mba) {
                    s_.y[static_cast<std::size_t>(j)] = z0[j];
                }
                if (code != 0) { return code < 0 ? -1 : 1; }
                for (std::int64_t j = group; j < nn; j += mba) {
                    const double r =
                        std::max(srur * std::abs(z0[j]), r0 / s_.ewt[static_cast<std::size_t>(j)]);
                    const double scale = -hl0 / r;
                    const std::int64_t i1 = std::max<std::int64_t>(0, j - s_.mu);
                    const std::int64_t i2 = std::min<std::int64_t>(nn - 1, j + s_.ml);
                    for (std::int64_t i = i1; i <= i2; ++i) {
                        wm[i + j * nn] = (s_.ftem[static_cast<std::size_t>(i)] -
                                          s_.savf[static_cast<std::size_t>(i)]) *
                                         scale;
                    }
                }
            }
            break;
        }
        default:
            return 1;
    }
    for (std::int64_t k = 0; k < nn * nn; ++k) {
        if (!std::isfinite(wm[k])) { return 1; }
    }
    // ||J|| in the weighted norm: the stiffness measure for a switch back to Adams.
    s_.pdnorm = matrix_norm() / std::abs(hl0);
    for (std::int64_t i = 0; i < nn; ++i) { wm[i + i * nn] += 1.0; }
    return lu_factor(wm, nn, s_.pivots.data()) ? 0 : 1;
}

// ---------------------------------------------------------------------------------------------
// Corrector: functional iteration (Adams) or chord Newton iteration (BDF) on the predicted
// history. On convergence acor holds the correction e and del the last correction norm.

Corrector Core::correct(double& del, int& m) {
    const std::int64_t nn = n();
    double* z0 = z(0);
    double* z1 = z(1);
    for (;;) {
        m = 0;
        double rate = 0.0;
        double delp = 0.0;
        del = 0.0;
        std::copy(z0, z0 + nn, s_.y.begin());
        int code = evaluate(s_.t, s_.y.data(), s_.savf.data());
        if (code != 0) { return code < 0 ? Corrector::stopped : Corrector::failed; }
        if (s_.ipup > 0) {
            const int status = form_iteration_matrix();
            s_.ipup = 0;
            s_.rc = 1.0;
            s_.nslp = s_.steps;
            s_.crate = 0.7;
            if (status < 0) { return Corrector::stopped; }
            if (status > 0) { return Corrector::failed; }
        }
        std::fill(s_.acor.begin(), s_.acor.begin() + nn, 0.0);
        bool retry_with_new_jacobian = false;
        for (;;) {
            if (s_.iteration == 0) {
                for (std::int64_t i = 0; i < nn; ++i) {
                    const auto k = static_cast<std::size_t>(i);
                    s_.savf[k] = s_.step * s_.savf[k] - z1[i];
                    s_.y[k] = s_.savf[k] - s_.acor[k];
                }
                del = vmnorm(s_.y.data());
                for (std::int64_t i = 0; i < nn; ++i) {
                    const auto k = static_cast<std::size_t>(i);
                    s_.y[k] = z0[i] + s_.el[0] * s_.savf[k];
                    s_.acor[k] = s_.savf[k];
                }
            } else {
                for (std::int64_t i = 0; i < nn; ++i) {
                    const auto k = static_cast<std::size_t>(i);
                    s_.y[k] = s_.step * s_.savf[k] - (z1[i] + s_.acor[k]);
                }
                lu_solve(s_.matrix.data(), nn, s_.pivots.data(), s_.y.data());
                del = vmnorm(s_.y.data());
                for (std::int64_t i = 0; i < nn; ++i) {
                    const auto k = static_cast<std::size_t>(i);
                    s_.acor[k] += s_.y[k];
                    s_.y[k] = z0[i] + s_.el[0] * s_.acor[k];
                }
            }
            if (!std::isfinite(del)) {
                retry_with_new_jacobian = true;
                break;
            }
            // Convergence test. A correction at roundoff level converges outright; otherwise
            // the rate estimate (ratio of successive correction norms) scales the test, and an
            // Adams corrector always iterates twice so that a Lipschitz estimate exists.
            if (del <= 100.0 * s_.pnorm * kUround) { return Corrector::converged; }
            if (m != 0 || s_.method != Method::adams) {
                if (m != 0) {
                    double rm = 1024.0;
                    if (del <= 1024.0 * delp) { rm = del / delp; }
                    rate = std::max(rate, rm);
                    s_.crate = std::max(0.2 * s_.crate, rm);
                }
                const double dcon =
                    del * std::min(1.0, 1.5 * s_.crate) /
                    (table(s_.method).test[static_cast<std::size_t>(s_.order)][1] * s_.conit);
                if (dcon <= 1.0) {
                    s_.pdest = std::max(s_.pdest, rate / std::abs(s_.step * s_.el[0]));
                    if (s_.pdest != 0.0) { s_.pdlast = s_.pdest; }
                    return Corrector::converged;
                }
            }
            ++m;
            if (m == kMaxcor || (m >= 2 && del > 2.0 * delp)) {
                retry_with_new_jacobian = true;
                break;
            }
            delp = del;
            code = evaluate(s_.t, s_.y.data(), s_.savf.data());
            if (code != 0) { return code < 0 ? Corrector::stopped : Corrector::failed; }
        }
        // Diverged or too slow. With an old Jacobian, try once more with a fresh one at the
        // same prediction; otherwise it is a real failure.
        if (retry_with_new_jacobian && s_.iteration != 0 && s_.jcur == 0) {
            s_.ipup = s_.iteration;
            continue;
        }
        return Corrector::failed;
    }
}

// ---------------------------------------------------------------------------------------------
// Step and order selection after a successful step (kflag 0) or an error-test failure
// (kflag -1, -2). Returns true when h (and perhaps q) changed.

bool Core::select_step_and_order(double dsm) {
    const MethodCoefficients& c = table(s_.method);
    const auto q = static_cast<std::size_t>(s_.order);
    const int l = s_.l;
    double rhup = 0.0;
    if (s_.kflag == 0 && l != s_.lmax) {
        const double* saved = z(s_.lmax - 1);
        for (std::int64_t i = 0; i < n(); ++i) {
            s_.savf[static_cast<std::size_t>(i)] = s_.acor[static_cast<std::size_t>(i)] - saved[i];
        }
        const double dup = vmnorm(s_.savf.data()) / c.test[q][2];
        rhup = 1.0 / (1.4 * std::pow(dup, 1.0 / (l + 1)) + 1.4e-6);
    }
    double rhsm = 1.0 / (1.2 * std::pow(dsm, 1.0 / l) + 1.2e-6);
    double rhdn = 0.0;
    if (s_.order > 1) {
        const double ddn = vmnorm(z(l - 1)) / c.test[q][0];
        rhdn = 1.0 / (1.3 * std::pow(ddn, 1.0 / s_.order) + 1.3e-6);
    }
    double pdh = 0.0;
    if (s_.method == Method::adams) {
        pdh = std::max(std::abs(s_.step) * s_.pdlast, 1e-6);
        if (l < s_.lmax) { rhup = std::min(rhup, adams_stability_bound(l) / pdh); }
        rhsm = std::min(rhsm, adams_stability_bound(s_.order) / pdh);
        if (s_.order > 1) { rhdn = std::min(rhdn, adams_stability_bound(s_.order - 1) / pdh); }
        s_.pdest = 0.0;
    }

    int newq = s_.order;
    double rh = rhsm;
    bool up = false;
    if (rhsm >= rhup) {
        if (rhsm < rhdn) {
            newq = s_.order - 1;
            rh = rhdn;
        }
    } else if (rhup > rhdn) {
        up = true;
    } else {
        newq = s_.order - 1;
        rh = rhdn;
    }
    if (up) {
        newq = l;
        rh = rhup;
        if (rh < 1.1) {
            s_.ialth = 3;
            return false;
        }
        // The new highest column comes from the correction: z[q+1] = e l_q / (q + 1).
        const double r = s_.el[static_cast<std::size_t>(l - 1)] / l;
        double* znew = z(newq);
        for (std::int64_t i = 0; i < n(); ++i) {
            znew[i] = s_.acor[static_cast<std::size_t>(i)] * r;
        }
    } else {
        if (newq < s_.order && s_.kflag < 0 && rh > 1.0) { rh = 1.0; }
        const bool stability_limited =
            s_.method == Method::adams && rh * pdh * 1.00001 >= adams_stability_bound(newq);
        if (!stability_limited && s_.kflag == 0 && rh < 1.1) {
            s_.ialth = 3;
            return false;
        }
        if (s_.kflag <= -2) { rh = std::min(rh, 0.2); }
    }
    if (newq != s_.order) {
        s_.order = newq;
        s_.l = newq + 1;
        load_order_coefficients();
    }
    rescale(rh, true);
    return true;
}

// ---------------------------------------------------------------------------------------------
// Stiffness detection (Petzold 1983): compare the step each family could take next.
// Returns true when the method was switched (h and q already rescaled).

bool Core::test_method_switch(double dsm) {
    const MethodCoefficients& adams = adams_coefficients();
    const MethodCoefficients& bdf = bdf_coefficients();
    const double habs = std::abs(s_.step);
    const int q = s_.order;
    const double exsm = 1.0 / s_.l;
    if (s_.method == Method::adams) {
        if (q > 5) {
            return false;  // high Adams orders only appear on non-stiff stretches
        }
        double rh2 = 0.0;
        int nqm2 = q;
        if (dsm > 100.0 * s_.pnorm * kUround && s_.pdest != 0.0) {
            double rh1 = 1.0 / (1.2 * std::pow(dsm, exsm) + 1.2e-6);
            double rh1it = 2.0 * rh1;
            const double pdh = s_.pdlast * habs;
            if (pdh * rh1 > 1e-5) { rh1it = adams_stability_bound(q) / pdh; }
            rh1 = std::min(rh1, rh1it);
            if (q > s_.max_bdf_order) {
                nqm2 = s_.max_bdf_order;
                const int lm2 = nqm2 + 1;
                const double dm2 = vmnorm(z(lm2)) / bdf.cm[static_cast<std::size_t>(nqm2)];
                rh2 = 1.0 / (1.2 * std::pow(dm2, 1.0 / lm2) + 1.2e-6);
            } else {
                const double dm2 = dsm * (adams.cm[static_cast<std::size_t>(q)] /
                                          bdf.cm[static_cast<std::size_t>(q)]);
                rh2 = 1.0 / (1.2 * std::pow(dm2, exsm) + 1.2e-6);
            }
            if (rh2 < s_.ratio * rh1) { return false; }
        } else {
            // Estimates at roundoff level: switch only if Adams was held back by stability.
            if (s_.irflag == 0) { return false; }
            rh2 = 2.0;
            nqm2 = std::min(q, s_.max_bdf_order);
        }
        s_.icount = 20;
        s_.method = Method::bdf;
        s_.iteration = s_.jacobian_type;
        s_.pdlast = 0.0;
        s_.order = nqm2;
        s_.l = nqm2 + 1;
        rescale(rh2, true);
        return true;
    }

    double dm1 = 0.0;
    double rh1 = 0.0;
    double exm1 = exsm;
    int nqm1 = q;
    if (s_.max_adams_order >= q) {
        dm1 = dsm * (bdf.cm[static_cast<std::size_t>(q)] / adams.cm[static_cast<std::size_t>(q)]);
        rh1 = 1.0 / (1.2 * std::pow(dm1, exsm) + 1.2e-6);
    } else {
        nqm1 = s_.max_adams_order;
        const int lm1 = nqm1 + 1;
        exm1 = 1.0 / lm1;
        dm1 = vmnorm(z(lm1)) / adams.cm[static_cast<std::size_t>(nqm1)];
        rh1 = 1.0 / (1.2 * std::pow(dm1, exm1) + 1.2e-6);
    }
    double rh1it = 2.0 * rh1;
    const double pdh = s_.pdnorm * habs;
    if (pdh * rh1 > 1e-5) { rh1it = adams_stability_bound(nqm1) / pdh; }
    rh1 = std::min(rh1, rh1it);
    const double rh2 = 1.0 / (1.2 * std::pow(dsm, exsm) + 1.2e-6);
    if (rh1 * s_.ratio < 5.0 * rh2) { return false; }
    const double alpha = std::max(0.001, rh1);
    dm1 *= std::pow(alpha, exm1);
    if (dm1 <= 1000.0 * kUround * s_.pnorm) {
        return false;  // the Adams estimate would be roundoff
    }
    s_.icount = 20;
    s_.method = Method::adams;
    s_.iteration = 0;
    s_.pdlast = 0.0;
    s_.order = nqm1;
    s_.l = nqm1 + 1;
    rescale(rh1, true);
    return true;
}

// ---------------------------------------------------------------------------------------------
// One step. Returns kflag: 0 success, -1 error test failed repeatedly (or at hmin), -2
// corrector failed repeatedly (or at hmin), -4 a callback asked to stop.

int Core::take_step() {
    s_.kflag = 0;
    s_.told = s_.t;
    int ncf = 0;
    const std::int64_t nn = n();

    if (s_.jstart == 0) {
        s_.lmax = s_.max_order + 1;
        s_.order = 1;
        s_.l = 2;
        s_.ialth = 2;
        s_.rmax = 1e4;
        s_.rc = 0.0;
        s_.el0 = 1.0;
        s_.crate = 0.7;
        s_.held_step = s_.step;
        s_.nslp = 0;
        s_.ipup = s_.iteration;
        s_.icount = 20;
        s_.irflag = 0;
        s_.pdest = 0.0;
        s_.pdlast = 0.0;
        s_.ratio = 5.0;
        load_order_coefficients();
    } else if (s_.jstart < 0) {
        if (s_.jstart == -1) {
            // Method switched or settings changed: new matrix, coefficients of the method now
            // in force, order within the (possibly reduced) maximum.
            s_.ipup = s_.iteration;
            s_.lmax = s_.max_order + 1;
            if (s_.ialth == 1) { s_.ialth = 2; }
            if (s_.method != s_.method_used) {
                load_order_coefficients();
                s_.ialth = s_.l;
            }
            if (s_.order > s_.max_order) {
                s_.order = s_.max_order;
                s_.l = s_.order + 1;
                load_order_coefficients();
                s_.ialth = s_.l;
            }
        }
        if (s_.step != s_.held_step || std::abs(s_.held_step) * s_.inv_max_step > 1.0) {
            const double rh = s_.step / s_.held_step;
            s_.step = s_.held_step;
            rescale(rh, false);
        }
    }

    for (;;) {
        if (!(std::abs(s_.step) > 0.0) || !std::isfinite(s_.step)) {
            s_.kflag = -1;  // h underflowed: nothing more can be done on this step
            break;
        }
        if (std::abs(s_.rc - 1.0) > kCcmax) {
            s_.ipup = s_.iteration;  // h l0 drifted from the value in P
        }
        if (s_.steps >= s_.nslp + kMsbp) { s_.ipup = s_.iteration; }
        s_.t += s_.step;
        predict();
        s_.pnorm = vmnorm(z(0));

        double del = 0.0;
        int m = 0;
        const Corrector result = correct(del, m);
        if (result == Corrector::stopped) {
            s_.t = s_.told;
            retract();
            s_.kflag = kflag_stop_;
            break;
        }
        if (result == Corrector::failed) {
            ++ncf;
            s_.rmax = 2.0;
            s_.t = s_.told;
            retract();
            if (std::abs(s_.step) <= s_.min_step * 1.00001 || ncf == kMxncf) {
                s_.kflag = -2;
                break;
            }
            s_.ipup = s_.iteration;
            rescale(0.25, true);
            continue;
        }

        // Local error test.
        s_.jcur = 0;
        const double tc2 = table(s_.method).test[static_cast<std::size_t>(s_.order)][1];
        const double dsm = (m == 0 ? del : vmnorm(s_.acor.data())) / tc2;
        if (dsm <= 1.0) {
            s_.kflag = 0;
            ++s_.steps;
            s_.step_used = s_.step;
            s_.order_used = s_.order;
            s_.method_used = s_.method;
            for (int j = 0; j < s_.l; ++j) {
                double* zj = z(j);
                const double lj = s_.el[static_cast<std::size_t>(j)];
                for (std::int64_t i = 0; i < nn; ++i) {
                    zj[i] += lj * s_.acor[static_cast<std::size_t>(i)];
                }
            }
            --s_.icount;
            bool switched = false;
            if (s_.icount < 0) {
                switched = test_method_switch(dsm);
                if (switched) { s_.rmax = 10.0; }
            }
            if (!switched) {
                --s_.ialth;
                if (s_.ialth == 0) {
                    if (select_step_and_order(dsm)) { s_.rmax = 10.0; }
                } else if (s_.ialth == 1 && s_.l != s_.lmax) {
                    // Keep this correction: next step's order-increase estimate needs it.
                    std::copy(s_.acor.begin(), s_.acor.begin() + nn, z(s_.lmax - 1));
                }
            }
            // acor becomes the local error estimate of the step just taken.
            const double r =
                1.0 / table(s_.method_used).test[static_cast<std::size_t>(s_.order_used)][1];
            for (std::int64_t i = 0; i < nn; ++i) { s_.acor[static_cast<std::size_t>(i)] *= r; }
            break;
        }

        // Error test failed.
        --s_.kflag;
        s_.t = s_.told;
        retract();
        s_.rmax = 2.0;
        if (std::abs(s_.step) <= s_.min_step * 1.00001) {
            s_.kflag = -1;
            break;
        }
        if (s_.kflag > -3) {
            select_step_and_order(dsm);
            continue;
        }
        if (s_.kflag == -10) {
            s_.kflag = -1;
            break;
        }
        // Third failure and later: the history is not trusted any more; restart at order 1
        // from the current y with h / 10.
        const double rh = std::max(s_.min_step / std::abs(s_.step), 0.1);
        s_.step *= rh;
        std::copy(z(0), z(0) + nn, s_.y.begin());
        const int code = evaluate(s_.t, s_.y.data(), s_.savf.data());
        if (code != 0) {
            s_.kflag = code < 0 ? kflag_stop_ : -2;
            break;
        }
        double* z1 = z(1);
        for (std::int64_t i = 0; i < nn; ++i) {
            z1[i] = s_.step * s_.savf[static_cast<std::size_t>(i)];
        }
        s_.ipup = s_.iteration;
        s_.ialth = 5;
        if (s_.order != 1) {
            s_.order = 1;
            s_.l = 2;
            load_order_coefficients();
        }
    }
    s_.held_step = s_.step;
    s_.jstart = 1;
    return s_.kflag;
}

// ---------------------------------------------------------------------------------------------
// Driver.

void Core::illegal(std::int64_t& istate) {
    istate = -3;
    ++s_.illegal_calls;
    if (s_.illegal_calls >= kIllegalCallsBeforeWarning) {
        // The classic routine stops the run here; returning lets the caller end it cleanly.
        write_message(out_, {"LSODA--  Repeated occurrences of illegal input"});
    }
}

void Core::finish_at_tn(double* y, double& t) {
    std::copy(z(0), z(0) + n(), y);
    t = s_.t;
}

void Core::record_largest_error() {
    double big = 0.0;
    s_.largest_error_component = 0;
    for (std::int64_t i = 0; i < n(); ++i) {
        const double size =
            std::abs(s_.acor[static_cast<std::size_t>(i)]) * s_.ewt[static_cast<std::size_t>(i)];
        if (big < size) {
            big = size;
            s_.largest_error_component = i;
        }
    }
}

// Checks the settings of a first call (istate 1) or a call with changed settings (istate 3)
// and stores them; prints the classic message and returns false on illegal input.
bool Core::check_and_apply_settings(std::int64_t istate, double t, double tout) {
    const std::int64_t neq = a_.neq;
    if (neq < 1) {
        write_message(out_, {"LSODA--  NEQ (=I1) .lt. 1"}, {neq});
        return false;
    }
    if (istate == 3 && neq > s_.n) {
        write_message(out_, {"LSODA--  ISTATE = 3 and NEQ increased (I1 to I2)"}, {s_.n, neq});
        return false;
    }
    if (a_.itol < 1 || a_.itol > 4) {
        write_message(out_, {"LSODA--  ITOL (=I1) illegal"}, {a_.itol});
        return false;
    }
    if (a_.iopt < 0 || a_.iopt > 1) {
        write_message(out_, {"LSODA--  IOPT (=I1) illegal"}, {a_.iopt});
        return false;
    }
    if (a_.jt != 1 && a_.jt != 2 && a_.jt != 4 && a_.jt != 5) {
        write_message(out_, {"LSODA--  JT (=I1) illegal"}, {a_.jt});
        return false;
    }
    if ((a_.jt == 1 || a_.jt == 4) && !jac_) {
        write_message(out_, {"LSODA--  JT (=I1) needs a Jacobian routine and none was given"},
                      {a_.jt});
        return false;
    }
    if (a_.jt > 2) {
        if (a_.ml < 0 || a_.ml >= neq) {
            write_message(out_, {"LSODA--  ML (=I1) illegal: .lt.0 .or. .ge.NEQ (=I2)"},
                          {a_.ml, neq});
            return false;
        }
        if (a_.mu < 0 || a_.mu >= neq) {
            write_message(out_, {"LSODA--  MU (=I1) illegal: .lt.0 .or. .ge.NEQ (=I2)"},
                          {a_.mu, neq});
            return false;
        }
    }
    std::int64_t ixpr = 0, mxstep = 500, mxhnil = 10, mxordn = kMaxAdamsOrder,
                 mxords = kMaxBdfOrder;
    double hmax = 0.0, hmin = 0.0;
    if (a_.iopt == 1) {
        if (a_.ixpr < 0 || a_.ixpr > 1) {
            write_message(out_, {"LSODA--  IXPR (=I1) illegal"}, {a_.ixpr});
            return false;
        }
        ixpr = a_.ixpr;
        if (a_.mxstep < 0) {
            write_message(out_, {"LSODA--  MXSTEP (=I1) .lt. 0"}, {a_.mxstep});
            return false;
        }
        mxstep = a_.mxstep == 0 ? 500 : a_.mxstep;
        if (a_.mxhnil < 0) {
            write_message(out_, {"LSODA--  MXHNIL (=I1) .lt. 0"}, {a_.mxhnil});
            return false;
        }
        mxhnil = a_.mxhnil == 0 ? 10 : a_.mxhnil;
        if (istate == 1) {
            if (!std::isfinite(a_.h0)) {
                write_message(out_, {"LSODA--  H0 (=R1) is not a finite number"}, {}, {a_.h0});
                return false;
            }
            if (a_.h0 != 0.0 && (tout - t) * a_.h0 < 0.0) {
                write_message(out_, {"LSODA--  TOUT (=R1) behind T (=R2)"}, {}, {tout, t});
                write_message(out_, {"      Integration direction is given by H0 (=R1)  "}, {},
                              {a_.h0});
                return false;
            }
        }
        if (a_.mxordn < 0) {
            write_message(out_, {"LSODA--  MXORDN (=I1) .lt. 0"}, {a_.mxordn});
            return false;
        }
        mxordn =
            a_.mxordn == 0 ? kMaxAdamsOrder : std::min<std::int64_t>(a_.mxordn, kMaxAdamsOrder);
        if (a_.mxords < 0) {
            write_message(out_, {"LSODA--  MXORDS (=I1) .lt. 0"}, {a_.mxords});
            return false;
        }
        mxords = a_.mxords == 0 ? kMaxBdfOrder : std::min<std::int64_t>(a_.mxords, kMaxBdfOrder);
        if (!(a_.hmax >= 0.0)) {
            write_message(out_, {"LSODA--  HMAX (=R1) .lt. 0.0"}, {}, {a_.hmax});
            return false;
        }
        hmax = a_.hmax;
        if (!(a_.hmin >= 0.0) || !std::isfinite(a_.hmin)) {
            write_message(out_, {"LSODA--  HMIN (=R1) .lt. 0.0"}, {}, {a_.hmin});
            return false;
        }
        hmin = a_.hmin;
    }
    // Work space: the method in force decides (Adams at the start).
    const bool bdf_now = istate == 3 && s_.method == Method::bdf;
    const std::int64_t lenrw =
        bdf_now ? real_work_bdf(neq, mxords, a_.jt, a_.ml, a_.mu) : real_work_adams(neq, mxordn);
    const std::int64_t leniw = integer_work(neq);
    if (a_.lrw >= 0 && lenrw > a_.lrw) {
        write_message(out_, {"LSODA--  RWORK length needed, LENRW (=I1), exceeds LRW (=I2)"},
                      {lenrw, a_.lrw});
        return false;
    }
    if (a_.liw >= 0 && leniw > a_.liw) {
        write_message(out_, {"LSODA--  IWORK length needed, LENIW (=I1), exceeds LIW (=I2)"},
                      {leniw, a_.liw});
        return false;
    }
    const bool rtol_array = a_.itol == 3 || a_.itol == 4;
    const bool atol_array = a_.itol == 2 || a_.itol == 4;
    for (std::int64_t i = 0; i < neq; ++i) {
        if (i == 0 || rtol_array) {
            const double r = a_.rtol[i];
            if (!(r >= 0.0) || !std::isfinite(r)) {
                write_message(out_, {"LSODA--  RTOL(I1) is R1 .lt. 0.0"}, {i + 1}, {r});
                return false;
            }
        }
        if (i == 0 || atol_array) {
            const double at = a_.atol[i];
            if (!(at >= 0.0) || !std::isfinite(at)) {
                write_message(out_, {"LSODA--  ATOL(I1) is R1 .lt. 0.0"}, {i + 1}, {at});
                return false;
            }
        }
    }

    s_.n = neq;
    s_.print_switches = ixpr == 1;
    s_.max_steps = mxstep;
    s_.max_hnil_warnings = mxhnil;
    s_.max_adams_order = static_cast<int>(mxordn);
    s_.max_bdf_order = static_cast<int>(mxords);
    s_.inv_max_step = hmax > 0.0 ? 1.0 / hmax : 0.0;
    s_.min_step = hmin;
    s_.jacobian_type = static_cast<int>(a_.jt);
    s_.ml = a_.ml;
    s_.mu = a_.mu;
    s_.real_work_needed = lenrw;
    s_.integer_work_needed = leniw;
    return true;
}

// First call: storage, f(t0, y0), weights and the initial step (Hindmarsh's estimate from the
// tolerance and ||f0||). Returns false on illegal input (istate set).
bool Core::start(double* y, double t, double tout, std::int64_t& istate) {
    const std::int64_t nn = a_.neq;
    double h0 = a_.iopt == 1 ? a_.h0 : 0.0;
    if (a_.itask == 4 || a_.itask == 5) {
        const double tcrit = a_.tcrit;
        if (!std::isfinite(tcrit) || (tcrit - tout) * (tout - t) < 0.0) {
            write_message(out_, {"LSODA--  ITASK = 4 or 5 and TCRIT (=R1) behind TOUT (=R2)"}, {},
                          {tcrit, tout});
            illegal(istate);
            return false;
        }
        s_.critical_time = tcrit;
    }
    for (std::int64_t i = 0; i < nn; ++i) {
        if (!std::isfinite(y[i])) {
            write_message(out_, {"LSODA--  Y(I1) is R1, not a finite number"}, {i + 1}, {y[i]});
            illegal(istate);
            return false;
        }
    }

    const auto size = static_cast<std::size_t>(nn);
    s_.nyh = nn;
    s_.history.assign(static_cast<std::size_t>(kMaxAdamsOrder + 1) * size, 0.0);
    s_.ewt.assign(size, 0.0);
    s_.savf.assign(size, 0.0);
    s_.acor.assign(size, 0.0);
    s_.y.assign(size, 0.0);
    s_.ftem.assign(size, 0.0);
    s_.matrix.assign(size * size, 0.0);
    s_.pivots.assign(size, 0);
    s_.band.assign(
        s_.jacobian_type == 4 ? static_cast<std::size_t>(2 * s_.ml + s_.mu + 1) * size : 0, 0.0);

    s_.method = Method::adams;
    s_.method_used = Method::none;
    s_.t = t;
    s_.switch_time = t;
    s_.max_order = s_.max_adams_order;
    s_.jstart = 0;
    s_.iteration = 0;
    s_.hnil_warnings = 0;
    s_.steps = 0;
    s_.rhs_calls = 0;
    s_.jacobian_calls = 0;
    s_.steps_at_call_start = 0;
    s_.step_used = 0.0;
    s_.order_used = 0;
    s_.order = 1;
    s_.l = 2;
    s_.tolerance_scale = 0.0;
    s_.largest_error_component = -1;
    s_.pdnorm = 0.0;

    std::copy(y, y + nn, z(0));
    const int code = evaluate(t, z(0), z(1));
    if (code < 0) {
        write_message(out_, {"LSODA--  At T (=R1), the derivative routine asked to stop"}, {}, {t});
        istate = -8;
        return false;
    }
    if (code > 0) {
        write_message(out_,
                      {"LSODA--  At T (=R1), the derivatives could not be evaluated",
                       "      at the initial point"},
                      {}, {t});
        illegal(istate);
        return false;
    }
    set_error_weights(z(0));
    std::int64_t bad = 0;
    if (!weights_positive(&bad)) {
        write_message(out_, {"LSODA--  EWT(I1) is R1 .le. 0.0"}, {bad + 1},
                      {s_.ewt[static_cast<std::size_t>(bad)]});
        illegal(istate);
        return false;
    }
    invert_weights();

    if (h0 == 0.0) {
        const double tdist = std::abs(tout - t);
        const double w0 = std::max(std::abs(t), std::abs(tout));
        if (tdist < 2.0 * kUround * w0) {
            write_message(out_, {"LSODA--  TOUT (=R1) too close to T(=R2) to start integration."},
                          {}, {tout, t});
            illegal(istate);
            return false;
        }
        const bool rtol_array = a_.itol == 3 || a_.itol == 4;
        const bool atol_array = a_.itol == 2 || a_.itol == 4;
        double tol = a_.rtol[0];
        if (rtol_array) {
            for (std::int64_t i = 0; i < nn; ++i) { tol = std::max(tol, a_.rtol[i]); }
        }
        if (tol <= 0.0) {
            // Pure absolute control: use atol relative to the size of y instead.
            for (std::int64_t i = 0; i < nn; ++i) {
                const double ayi = std::abs(y[i]);
                if (ayi != 0.0) { tol = std::max(tol, a_.atol[atol_array ? i : 0] / ayi); }
            }
        }
        tol = std::min(std::max(tol, 100.0 * kUround), 0.001);
        const double fnorm = vmnorm(z(1));
        const double sum = 1.0 / (tol * w0 * w0) + tol * fnorm * fnorm;
        h0 = std::min(1.0 / std::sqrt(sum), tdist);
        h0 = std::copysign(h0, tout - t);
    }
    const double rh = std::abs(h0) * s_.inv_max_step;
    if (rh > 1.0) { h0 /= rh; }
    if ((a_.itask == 4 || a_.itask == 5) && (t + h0 - s_.critical_time) * h0 > 0.0) {
        h0 = s_.critical_time - t;
    }
    s_.step = h0;
    double* z1 = z(1);
    for (std::int64_t i = 0; i < nn; ++i) { z1[i] *= h0; }
    return true;
}

void Core::run(double* y, double& t, double tout, std::int64_t& istate) {
    const std::int64_t itask = a_.itask;
    if (istate < 1 || istate > 3) {
        write_message(out_, {"LSODA--  ISTATE (=I1) illegal"}, {istate});
        illegal(istate);
        return;
    }
    if (itask < 1 || itask > 5) {
        write_message(out_, {"LSODA--  ITASK (=I1) illegal"}, {itask});
        illegal(istate);
        return;
    }
    if (istate == 1) {
        s_.initialised = false;
        if (tout == t) {
            // Nothing to do; several such calls in a row mean the caller is stuck.
            ++s_.repeated_tout_calls;
            if (s_.repeated_tout_calls < 5) { return; }
            write_message(out_, {"LSODA--  Repeated calls with ISTATE = 1 and TOUT = T (=R1)  "},
                          {}, {t});
            illegal(istate);
            return;
        }
    } else if (!s_.initialised) {
        write_message(out_, {"LSODA--  ISTATE .gt. 1 but LSODA not initialized"});
        illegal(istate);
        return;
    }
    s_.repeated_tout_calls = 0;
    if (!std::isfinite(t) || !std::isfinite(tout)) {
        write_message(out_, {"LSODA--  T (=R1) or TOUT (=R2) is not a finite number"}, {},
                      {t, tout});
        illegal(istate);
        return;
    }
    if (istate != 2 && !check_and_apply_settings(istate, t, tout)) {
        illegal(istate);
        return;
    }

    bool first_step = false;
    if (istate == 1) {
        if (!start(y, t, tout, istate)) { return; }
        first_step = true;
    } else {
        if (istate == 3) {
            s_.max_order = s_.method == Method::adams ? s_.max_adams_order : s_.max_bdf_order;
            if (s_.method == Method::bdf) {
                s_.iteration = s_.jacobian_type;
                if (s_.jacobian_type == 4) {
                    s_.band.assign(static_cast<std::size_t>((2 * s_.ml + s_.mu + 1) * s_.nyh), 0.0);
                }
            }
            s_.jstart = -1;
        }
        s_.steps_at_call_start = s_.steps;
        const double h = s_.step;
        switch (itask) {
            case 1:
                if ((s_.t - tout) * h >= 0.0) {
                    if (interpolate(s_, tout, 0,
                                    std::span<double>(y, static_cast<std::size_t>(n()))) != 0) {
                        write_message(out_, {"LSODA--  Trouble from INTDY. ITASK = I1, TOUT = R1"},
                                      {itask}, {tout});
                        illegal(istate);
                        return;
                    }
                    t = tout;
                    istate = 2;
                    s_.illegal_calls = 0;
                    return;
                }
                break;
            case 3: {
                const double tp = s_.t - s_.step_used * (1.0 + 100.0 * kUround);
                if ((tp - tout) * h > 0.0) {
                    write_message(out_,
                                  {"LSODA--  ITASK = I1 and TOUT (=R1) behind TCUR - HU (= R2)"},
                                  {itask}, {tout, tp});
                    illegal(istate);
                    return;
                }
                if ((s_.t - tout) * h >= 0.0) {
                    finish_at_tn(y, t);
                    istate = 2;
                    s_.illegal_calls = 0;
                    return;
                }
                break;
            }
            case 4:
            case 5: {
                const double tcrit = a_.tcrit;
                if (!std::isfinite(tcrit) || (s_.t - tcrit) * h > 0.0) {
                    write_message(out_,
                                  {"LSODA--  ITASK = 4 or 5 and TCRIT (=R1) behind TCUR (=R2)"}, {},
                                  {tcrit, s_.t});
                    illegal(istate);
                    return;
                }
                if (itask == 4 && (tcrit - tout) * h < 0.0) {
                    write_message(out_,
                                  {"LSODA--  ITASK = 4 or 5 and TCRIT (=R1) behind TOUT (=R2)"}, {},
                                  {tcrit, tout});
                    illegal(istate);
                    return;
                }
                s_.critical_time = tcrit;
                if (itask == 4 && (s_.t - tout) * h >= 0.0) {
                    if (interpolate(s_, tout, 0,
                                    std::span<double>(y, static_cast<std::size_t>(n()))) != 0) {
                        write_message(out_, {"LSODA--  Trouble from INTDY. ITASK = I1, TOUT = R1"},
                                      {itask}, {tout});
                        illegal(istate);
                        return;
                    }
                    t = tout;
                    istate = 2;
                    s_.illegal_calls = 0;
                    return;
                }
                const double hmx = std::abs(s_.t) + std::abs(h);
                if (std::abs(s_.t - tcrit) <= 100.0 * kUround * hmx) {
                    finish_at_tn(y, t);
                    t = tcrit;
                    istate = 2;
                    s_.illegal_calls = 0;
                    return;
                }
                const double tnext = s_.t + h * (1.0 + 4.0 * kUround);
                if ((tnext - tcrit) * h > 0.0) {
                    s_.step = (tcrit - s_.t) * (1.0 - 4.0 * kUround);
                    if (s_.jstart >= 0) { s_.jstart = -2; }
                }
                break;
            }
            default:
                break;
        }
    }
    s_.illegal_calls = 0;

    for (;;) {
        if (!first_step) {
            if (s_.steps - s_.steps_at_call_start >= s_.max_steps) {
                write_message(out_,
                              {"LSODA--  At current T (=R1), MXSTEP (=I1) steps   ",
                               "      taken on this call before reaching TOUT     "},
                              {s_.max_steps}, {s_.t});
                istate = -1;
                finish_at_tn(y, t);
                return;
            }
            set_error_weights(z(0));
            std::int64_t bad = 0;
            if (!weights_positive(&bad)) {
                write_message(out_, {"LSODA--  At T (=R1), EWT(I1) has become R2 .le. 0."},
                              {bad + 1}, {s_.t, s_.ewt[static_cast<std::size_t>(bad)]});
                istate = -6;
                finish_at_tn(y, t);
                return;
            }
            invert_weights();
        }
        s_.tolerance_scale = kUround * vmnorm(z(0));
        if (!(s_.tolerance_scale <= 0.01)) {
            s_.tolerance_scale *= 200.0;
            if (s_.steps == 0) {
                write_message(out_,
                              {"LSODA--  At start of problem, too much accuracy   ",
                               "      requested for precision of machine..  See TOLSF (=R1) "},
                              {}, {s_.tolerance_scale});
                illegal(istate);
                return;
            }
            write_message(out_,
                          {"LSODA--  At T (=R1), too much accuracy requested  ",
                           "      for precision of machine..  See TOLSF (=R2) "},
                          {}, {s_.t, s_.tolerance_scale});
            istate = -2;
            finish_at_tn(y, t);
            return;
        }
        if (s_.t + s_.step == s_.t) {
            ++s_.hnil_warnings;
            if (s_.hnil_warnings <= s_.max_hnil_warnings) {
                write_message(out_,
                              {"LSODA--  Warning..Internal T (=R1) and H (=R2) are",
                               "      such that in the machine, T + H = T on the next step  ",
                               "      (H = step size). Solver will continue anyway."},
                              {}, {s_.t, s_.step});
                if (s_.hnil_warnings == s_.max_hnil_warnings) {
                    write_message(out_,
                                  {"LSODA--  Above warning has been issued I1 times.  ",
                                   "      It will not be issued again for this problem."},
                                  {s_.hnil_warnings});
                }
            }
        }
        first_step = false;

        const int kflag = take_step();
        if (kflag == -1) {
            write_message(out_,
                          {"LSODA--  At T (=R1) and step size H (=R2), the error",
                           "      test failed repeatedly or with ABS(H) = HMIN"},
                          {}, {s_.t, s_.step});
            istate = -4;
            record_largest_error();
            finish_at_tn(y, t);
            return;
        }
        if (kflag == -2) {
            write_message(out_,
                          {"LSODA--  At T (=R1) and step size H (=R2), the    ",
                           "      corrector convergence failed repeatedly     ",
                           "      or with ABS(H) = HMIN   "},
                          {}, {s_.t, s_.step});
            istate = -5;
            record_largest_error();
            finish_at_tn(y, t);
            return;
        }
        if (kflag < 0) {
            write_message(
                out_,
                {"LSODA--  At T (=R1), the derivative or Jacobian routine", "      asked to stop"},
                {}, {s_.t});
            istate = -8;
            finish_at_tn(y, t);
            return;
        }
        s_.initialised = true;

        if (s_.method != s_.method_used) {
            // The step routine switched the method: new maximum order, new coefficients and a
            // fresh matrix on the next step.
            s_.switch_time = s_.t;
            s_.max_order = s_.method == Method::adams ? s_.max_adams_order : s_.max_bdf_order;
            s_.jstart = -1;
            if (s_.print_switches) {
                if (s_.method == Method::bdf) {
                    write_message(out_,
                                  {"LSODA-- A switch to the BDF (stiff) method has occurred     ",
                                   "     at T = R1,  tentative step size H = R2,  step NST = I1 "},
                                  {s_.steps}, {s_.t, s_.step});
                } else {
                    write_message(out_,
                                  {"LSODA-- A switch to the Adams (nonstiff) method has occurred",
                                   "     at T = R1,  tentative step size H = R2,  step NST = I1 "},
                                  {s_.steps}, {s_.t, s_.step});
                }
            }
            if (s_.method == Method::bdf) {
                const std::int64_t lrs =
                    real_work_bdf(n(), s_.max_bdf_order, s_.jacobian_type, s_.ml, s_.mu);
                s_.real_work_needed = lrs;
                if (a_.lrw >= 0 && a_.lrw < lrs) {
                    write_message(out_,
                                  {"LSODA--  At current T(=R1), RWORK length too small",
                                   "      to proceed.  The integration was otherwise successful.",
                                   "      BDF needs LENRW (=I1), LRW (=I2) given"},
                                  {lrs, a_.lrw}, {s_.t});
                    istate = -7;
                    finish_at_tn(y, t);
                    return;
                }
            } else {
                s_.real_work_needed = real_work_adams(n(), s_.max_adams_order);
            }
        }

        const double h = s_.step;
        switch (itask) {
            case 1:
                if ((s_.t - tout) * h < 0.0) { continue; }
                interpolate(s_, tout, 0, std::span<double>(y, static_cast<std::size_t>(n())));
                t = tout;
                istate = 2;
                return;
            case 2:
                finish_at_tn(y, t);
                istate = 2;
                return;
            case 3:
                if ((s_.t - tout) * h < 0.0) { continue; }
                finish_at_tn(y, t);
                istate = 2;
                return;
            default: {
                if (itask == 4 && (s_.t - tout) * h >= 0.0) {
                    if (interpolate(s_, tout, 0,
                                    std::span<double>(y, static_cast<std::size_t>(n()))) != 0) {
                        write_message(out_, {"LSODA--  Trouble from INTDY. ITASK = I1, TOUT = R1"},
                                      {itask}, {tout});
                        illegal(istate);
                        return;
                    }
                    t = tout;
                    istate = 2;
                    return;
                }
                const double tcrit = s_.critical_time;
                const double hmx = std::abs(s_.t) + std::abs(h);
                const bool hit = std::abs(s_.t - tcrit) <= 100.0 * kUround * hmx;
                if (!hit) {
                    const double tnext = s_.t + h * (1.0 + 4.0 * kUround);
                    if ((tnext - tcrit) * h > 0.0) {
                        s_.step = (tcrit - s_.t) * (1.0 - 4.0 * kUround);
                        if (s_.jstart >= 0) { s_.jstart = -2; }
                    }
                    if (itask == 4) { continue; }
                }
                finish_at_tn(y, t);
                if (hit) { t = tcrit; }
                istate = 2;
                return;
            }
        }
    }
}

}  // namespace

void run_lsoda(LsodaState& state,
               const CoreArguments& arguments,
               const RightHandSide& f,
               const JacobianFunction& jacobian,
               double* y,
               double& t,
               double tout,
               std::int64_t& istate) {
    Core(state, arguments, f, jacobian).run(y, t, tout, istate);
}

}  // namespace rcm::ode::detail

namespace rcm::ode {

int interpolate(const LsodaState& state, double t, int k, std::span<double> out) {
    if (k < 0 || k > state.order) { return -1; }
    const double hu = state.step_used;
    const double tn = state.t;
    const double tp =
        tn - hu - 100.0 * detail::kUround * std::copysign(std::abs(tn) + std::abs(hu), hu);
    if ((t - tp) * (t - tn) > 0.0) { return -2; }
    const std::int64_t n = state.n;
    if (static_cast<std::int64_t>(out.size()) < n || state.history.empty()) { return -1; }
    const double h = state.step;
    const double s = (t - tn) / h;
    const int q = state.order;
    const double* z = state.history.data();
    const std::int64_t nyh = state.nyh;
    // Horner on the derivative polynomial: column j contributes j!/(j-k)! s^(j-k) z_j.
    auto falling = [](int j, int k_) {
        double c = 1.0;
        for (int i = j - k_ + 1; i <= j; ++i) { c *= i; }
        return c;
    };
    for (std::int64_t i = 0; i < n; ++i) {
        out[static_cast<std::size_t>(i)] = falling(q, k) * z[q * nyh + i];
    }
    for (int j = q - 1; j >= k; --j) {
        const double c = falling(j, k);
        for (std::int64_t i = 0; i < n; ++i) {
            out[static_cast<std::size_t>(i)] =
                c * z[j * nyh + i] + s * out[static_cast<std::size_t>(i)];
        }
    }
    if (k > 0) {
        const double r = std::pow(h, -k);
        for (std::int64_t i = 0; i < n; ++i) { out[static_cast<std::size_t>(i)] *= r; }
    }
    return 0;
}

}  // namespace rcm::ode
