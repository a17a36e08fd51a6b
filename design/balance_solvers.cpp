#include "design/balance_solvers.hpp"

#include <cmath>
#include <optional>
#include <string>

namespace design {
namespace {

constexpr std::size_t kN = 3;

/// A component number as the message lines print it: one digit, 1-based.
std::string digit(std::size_t i) { return std::string(1, static_cast<char>('1' + i)); }

std::size_t column_sum(const SpecFlags& spec, SpecColumn k) {
    std::size_t c = 0;
    for (std::size_t i = 0; i < kN; ++i) { c += flagged(spec, i, k) ? 1 : 0; }
    return c;
}

/// The lowest component flagged in column k (or in either of two columns).
std::optional<std::size_t> first_flagged(const SpecFlags& spec, SpecColumn k) {
    for (std::size_t i = 0; i < kN; ++i) {
        if (flagged(spec, i, k)) { return i; }
    }
    return std::nullopt;
}

bool has_recovery(const SpecFlags& spec, std::size_t i) {
    return flagged(spec, i, kDistillateRecovery) || flagged(spec, i, kBottomsRecovery);
}

std::optional<std::size_t> first_with_recovery(const SpecFlags& spec) {
    for (std::size_t i = 0; i < kN; ++i) {
        if (has_recovery(spec, i)) { return i; }
    }
    return std::nullopt;
}

/// The third product fraction from the two flagged ones, so that the product sums to 1.
void close_fractions(const SpecFlags& spec, SpecColumn k, Composition& x) {
    double sum = 0.0;
    std::size_t open = kN;
    for (std::size_t i = 0; i < kN; ++i) {
        if (flagged(spec, i, k)) {
            sum += x[i];
        } else {
            open = i;
        }
    }
    if (open < kN) { x[open] = 1.0 - sum; }
}

/// Component recovery D x / (F x_F); a component absent from the feed is recovered nowhere.
double recovery(double P, double x, double F, double x_F) {
    return x_F == 0.0 ? 0.0 : P * x / (F * x_F);
}

/// Recoveries of component i from its distillate fraction, the bottoms one by difference.
void recoveries_from_distillate(std::size_t i, double F, const Composition& x_F, BalanceState& s) {
    if (x_F[i] == 0.0) {
        s.r_D[i] = s.r_B[i] = 0.0;
        return;
    }
    s.r_D[i] = recovery(s.D, s.x_D[i], F, x_F[i]);
    s.r_B[i] = 1.0 - s.r_D[i];
}

void recoveries_from_bottoms(std::size_t i, double F, const Composition& x_F, BalanceState& s) {
    if (x_F[i] == 0.0) {
        s.r_D[i] = s.r_B[i] = 0.0;
        return;
    }
    s.r_B[i] = recovery(s.B, s.x_B[i], F, x_F[i]);
    s.r_D[i] = 1.0 - s.r_B[i];
}

/// The recoveries of component k from the overall balance once the other two are known.
void recoveries_by_closure(std::size_t k, double F, const Composition& x_F, BalanceState& s) {
    if (x_F[k] == 0.0) {
        s.r_D[k] = s.r_B[k] = 0.0;
        return;
    }
    double sum_D = 0.0, sum_B = 0.0;
    for (std::size_t i = 0; i < kN; ++i) {
        if (i == k) { continue; }
        sum_D += s.r_D[i] * x_F[i];
        sum_B += s.r_B[i] * x_F[i];
    }
    s.r_D[k] = (s.D / F - sum_D) / x_F[k];
    s.r_B[k] = (s.B / F - sum_B) / x_F[k];
}

/// Every product fraction that was not specified, from the recoveries.
void fractions_from_recoveries(double F,
                               const Composition& x_F,
                               const SpecFlags& spec,
                               BalanceState& s) {
    for (std::size_t i = 0; i < kN; ++i) {
        if (!flagged(spec, i, kDistillateFraction)) { s.x_D[i] = F * s.r_D[i] * x_F[i] / s.D; }
        if (!flagged(spec, i, kBottomsFraction)) { s.x_B[i] = F * s.r_B[i] * x_F[i] / s.B; }
    }
}

void mixed_not_located(BalanceState& s, MessageLog& log) {
    log.line("***** Error (Mixed_mat_bal) - could not locate reference component");
    s.status = 1;
}

void mixed_zero_reference(BalanceState& s, MessageLog& log) {
    log.line("***** Error (Mixed_mat_bal) - Composition of reference components is zero");
    s.status = 2;
}

void mixed_zero_flow(BalanceState& s, MessageLog& log) {
    log.line("***** Error (Mixed_mat_bal) - Zero Product Flowrate");
    s.status = 4;
}

/// Two fractions on one product and a recovery (steps for c1 = 2 or c2 = 2).
void mixed_two_fractions(double F,
                         const Composition& x_F,
                         const SpecFlags& spec,
                         bool on_distillate,
                         BalanceState& s,
                         MessageLog& log) {
    Composition& x = on_distillate ? s.x_D : s.x_B;
    close_fractions(spec, on_distillate ? kDistillateFraction : kBottomsFraction, x);
    const auto r = first_with_recovery(spec);
    if (!r) {
        mixed_not_located(s, log);
        return;
    }
    if (x[*r] == 0.0) {
        log.line(
            "***** Error (Mixed_mat_bal) - Composition of" +
            std::string(on_distillate ? "reference component xd(" : "reference component xb(") +
            digit(*r) + ") is zero");
        s.status = 2;
        return;
    }
    if (on_distillate) {
        s.D = s.r_D[*r] * x_F[*r] * F / s.x_D[*r];
        s.B = F - s.D;
        for (std::size_t i = 0; i < kN; ++i) { recoveries_from_distillate(i, F, x_F, s); }
        if (s.B == 0.0) {
            log.line("***** Warning - Zero bottoms product flowrate");
            s.x_B.fill(0.0);
        } else {
            for (std::size_t i = 0; i < kN; ++i) { s.x_B[i] = s.r_B[i] * F * x_F[i] / s.B; }
        }
    } else {
        s.B = s.r_B[*r] * x_F[*r] * F / s.x_B[*r];
        s.D = F - s.B;
        for (std::size_t i = 0; i < kN; ++i) { recoveries_from_bottoms(i, F, x_F, s); }
        if (s.D == 0.0) {
            log.line("***** Warning - Zero distillate flowrate");
            s.x_D.fill(0.0);
        } else {
            for (std::size_t i = 0; i < kN; ++i) { s.x_D[i] = s.r_D[i] * F * x_F[i] / s.D; }
        }
    }
}

/// One fraction on each product and one recovery.
void mixed_one_fraction_each(
    double F, const Composition& x_F, const SpecFlags& spec, BalanceState& s, MessageLog& log) {
    const auto a = first_flagged(spec, kDistillateFraction);
    const auto b = first_flagged(spec, kBottomsFraction);
    const auto c = first_with_recovery(spec);
    if (!a || !b || !c) {
        mixed_not_located(s, log);
        return;
    }
    if (s.x_D[*a] == 0.0 || s.x_B[*b] == 0.0) {
        mixed_zero_reference(s, log);
        return;
    }
    if (*a == *b) {
        if (s.x_D[*a] == s.x_B[*a]) {
            log.line("***** Error (Mixed_mat_bal) - Composition specifications xd(" + digit(*a) +
                     ") = xb(" + digit(*a) + ") ");
            log.line("    ==> infinite material balance solutions");
            s.status = 3;
            return;
        }
        if (*c == *a) {
            // Three specifications on one component leave the other two undetermined.
            mixed_not_located(s, log);
            return;
        }
        s.D = F * (x_F[*a] - s.x_B[*a]) / (s.x_D[*a] - s.x_B[*a]);
        s.B = F - s.D;
        recoveries_from_distillate(*a, F, x_F, s);
    } else if (*c == *a) {
        s.D = s.r_D[*a] * x_F[*a] * F / s.x_D[*a];
        s.B = F - s.D;
        recoveries_from_bottoms(*b, F, x_F, s);
    } else if (*c == *b) {
        s.B = s.r_B[*b] * x_F[*b] * F / s.x_B[*b];
        s.D = F - s.B;
        recoveries_from_distillate(*a, F, x_F, s);
    } else {
        s.status = 1;
        return;
    }
    // The one component whose recoveries are still open: neither a nor c (a = b), or neither
    // a nor b.
    const std::size_t known2 = *a == *b ? *c : *b;
    const std::size_t k = kN - *a - known2;
    recoveries_by_closure(k, F, x_F, s);
    if (s.D == 0.0 || s.B == 0.0) {
        mixed_zero_flow(s, log);
        return;
    }
    fractions_from_recoveries(F, x_F, spec, s);
}

/// Two recoveries and one product fraction.
void mixed_two_recoveries(
    double F, const Composition& x_F, const SpecFlags& spec, BalanceState& s, MessageLog& log) {
    std::optional<std::size_t> r;
    for (std::size_t i = 0; i < kN && !r; ++i) {
        if (flagged(spec, i, kDistillateFraction) || flagged(spec, i, kBottomsFraction)) { r = i; }
    }
    std::size_t with_recovery = 0, index_sum = 0;
    for (std::size_t i = 0; i < kN; ++i) {
        if (has_recovery(spec, i)) {
            ++with_recovery;
            index_sum += i;
        }
    }
    // Both recoveries on one component leave two components open: no reference either.
    if (!r || with_recovery != 2) {
        mixed_not_located(s, log);
        return;
    }
    const std::size_t k = kN - index_sum;
    const bool distillate = flagged(spec, *r, kDistillateFraction);
    const double x_r = distillate ? s.x_D[*r] : s.x_B[*r];
    if (x_r == 0.0) {
        mixed_zero_reference(s, log);
        return;
    }
    // P is the product whose fraction of r is given; r_P its recoveries in that product.
    const Composition& r_P = distillate ? s.r_D : s.r_B;
    double P = 0.0;
    if (*r != k) {
        P = r_P[*r] * x_F[*r] * F / x_r;
    } else {
        // The fraction belongs to the component without a recovery, so r_P(r) is unknown. The
        // other two components' flows in P are known, and they make up 1 - x_r of P.
        if (x_r >= 1.0) {
            mixed_zero_reference(s, log);
            return;
        }
        double others = 0.0;
        for (std::size_t i = 0; i < kN; ++i) {
            if (i != k) { others += r_P[i] * x_F[i]; }
        }
        P = F * others / (1.0 - x_r);
    }
    if (distillate) {
        s.D = P;
        s.B = F - s.D;
    } else {
        s.B = P;
        s.D = F - s.B;
    }
    recoveries_by_closure(k, F, x_F, s);
    if (s.D == 0.0 || s.B == 0.0) {
        mixed_zero_flow(s, log);
        return;
    }
    fractions_from_recoveries(F, x_F, spec, s);
}

}  // namespace

void Recov_mat_bal(
    double F, const Composition& x_F, const SpecFlags& spec, BalanceState& s, MessageLog& log) {
    for (std::size_t i = 0; i < kN; ++i) {
        if (flagged(spec, i, kDistillateRecovery)) {
            s.r_B[i] = 1.0 - s.r_D[i];
        } else {
            s.r_D[i] = 1.0 - s.r_B[i];
        }
    }
    s.D = 0.0;
    s.B = 0.0;
    for (std::size_t i = 0; i < kN; ++i) {
        s.D += F * s.r_D[i] * x_F[i];
        s.B += F * s.r_B[i] * x_F[i];
    }
    if (s.D == 0.0) {
        log.line("***** Warning - Zero distillate flow rate");
        s.x_D.fill(0.0);
    } else {
        for (std::size_t i = 0; i < kN; ++i) { s.x_D[i] = F * s.r_D[i] * x_F[i] / s.D; }
    }
    if (s.B == 0.0) {
        log.line("***** Warning - Zero bottoms product flow rate");
        s.x_B.fill(0.0);
    } else {
        for (std::size_t i = 0; i < kN; ++i) { s.x_B[i] = F * s.r_B[i] * x_F[i] / s.B; }
    }
}

void Comp_mat_bal(
    double F, const Composition& x_F, const SpecFlags& spec, BalanceState& s, MessageLog& log) {
    s.status = 0;
    const bool two_distillate = column_sum(spec, kDistillateFraction) == 2;
    const bool two_bottoms = !two_distillate && column_sum(spec, kBottomsFraction) == 2;
    if (!two_distillate && !two_bottoms) { return; }

    // Two fractions on product P and the reference r's fraction on the other product Q.
    Composition& x_P = two_distillate ? s.x_D : s.x_B;
    Composition& x_Q = two_distillate ? s.x_B : s.x_D;
    close_fractions(spec, two_distillate ? kDistillateFraction : kBottomsFraction, x_P);
    const auto r = first_flagged(spec, two_distillate ? kBottomsFraction : kDistillateFraction);
    if (!r) {
        log.line("***** Error (Comp_mat_bal) - could not locate reference component");
        s.status = 1;
        return;
    }
    if (s.x_D[*r] == s.x_B[*r]) {
        log.line("***** Error (Comp_mat_bal) - xd(" + digit(*r) + ") = xb(" + digit(*r) +
                 ") ==> infinite solutions ");
        s.status = 2;
        return;
    }
    double& P = two_distillate ? s.D : s.B;
    double& Q = two_distillate ? s.B : s.D;
    P = F * (x_F[*r] - x_Q[*r]) / (x_P[*r] - x_Q[*r]);
    Q = F - P;
    if (P == 0.0) {
        log.line(two_distillate ? "***** Warning - Zero distillate flowrate"
                                : "***** Warning - Zero bottoms product flowrate");
    } else if (Q == 0.0) {
        log.line(two_distillate ? "***** Error (Comp_mat_bal) - Zero bottoms product flowrate "
                                : "***** Error (Comp_mat_bal) - Zero distillate flowrate ");
        s.status = 3;
        return;
    }
    for (std::size_t i = 0; i < kN; ++i) {
        if (i != *r) { x_Q[i] = (F * x_F[i] - P * x_P[i]) / Q; }
    }
    for (std::size_t i = 0; i < kN; ++i) {
        if (x_F[i] == 0.0) {
            s.r_D[i] = s.r_B[i] = 0.0;
        } else {
            s.r_D[i] = recovery(s.D, s.x_D[i], F, x_F[i]);
            s.r_B[i] = recovery(s.B, s.x_B[i], F, x_F[i]);
        }
    }
}

void Mixed_mat_bal(
    double F, const Composition& x_F, const SpecFlags& spec, BalanceState& s, MessageLog& log) {
    s.status = 0;
    for (std::size_t i = 0; i < kN; ++i) {
        if (flagged(spec, i, kDistillateRecovery)) {
            s.r_B[i] = 1.0 - s.r_D[i];
        } else if (flagged(spec, i, kBottomsRecovery)) {
            s.r_D[i] = 1.0 - s.r_B[i];
        }
    }
    const std::size_t c1 = column_sum(spec, kDistillateFraction);
    const std::size_t c2 = column_sum(spec, kBottomsFraction);
    const std::size_t c3 = column_sum(spec, kDistillateRecovery);
    const std::size_t c4 = column_sum(spec, kBottomsRecovery);
    if (c1 == 2 && c1 + c2 == 2) {
        mixed_two_fractions(F, x_F, spec, true, s, log);
    } else if (c2 == 2 && c1 + c2 == 2) {
        mixed_two_fractions(F, x_F, spec, false, s, log);
    } else if (c1 == 1 && c2 == 1) {
        mixed_one_fraction_each(F, x_F, spec, s, log);
    } else if (c3 + c4 == 2) {
        mixed_two_recoveries(F, x_F, spec, s, log);
    }
}

RepairResult Fix_mat_bal(double F,
                         const Composition& x_F,
                         const Composition& x_D,
                         const Composition& x_B) {
    RepairResult out;
    // Moves point `from` along the line through `other` until its lowest negative fraction is
    // exactly 0; each pass starts again from the unrepaired pair.
    const auto slide = [&out](const Composition& from, const Composition& other,
                              Composition& repaired) {
        repaired = from;
        for (std::size_t pass = 0; pass < kN; ++pass) {
            std::size_t i = kN;
            for (std::size_t j = 0; j < kN && i == kN; ++j) {
                if (repaired[j] < 0.0) { i = j; }
            }
            if (i == kN) { break; }
            if (from[i] == other[i]) {
                out.status = 1;
                return false;
            }
            const double t = other[i] / (other[i] - from[i]);
            for (std::size_t j = 0; j < kN; ++j) {
                repaired[j] = other[j] + (from[j] - other[j]) * t;
            }
            repaired[i] = 0.0;
        }
        return true;
    };
    if (!slide(x_D, x_B, out.x_D) || !slide(x_B, x_D, out.x_B)) { return out; }
    double s1 = 0.0, s2 = 0.0;
    for (std::size_t j = 0; j < kN; ++j) {
        s1 += (x_F[j] - out.x_B[j]) * (x_F[j] - out.x_B[j]);
        s2 += (out.x_D[j] - out.x_B[j]) * (out.x_D[j] - out.x_B[j]);
    }
    out.D = s2 > 0.0 ? F * std::sqrt(s1 / s2) : 0.5 * F;
    out.B = F - out.D;
    out.status = out.D > 0.0 && out.B > 0.0 ? 0 : 1;
    return out;
}

}  // namespace design
