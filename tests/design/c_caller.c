/* The exported design routines called from plain C with zero sizes, refused sizes, short
 * buffers and missing arrays: every call must come back with a code and leave the caller's
 * memory beyond the sizes it gave untouched (guard values). */
#include <math.h>
#include <stddef.h>
#include <stdio.h>
#include <string.h>

#include "design/design_routines.h"

#define GUARD 4242.0
#define IGUARD 4242

static int failures;
static char first_failure[256];

static void check(int ok, const char* what) {
    if (ok) { return; }
    if (failures == 0) { snprintf(first_failure, sizeof first_failure, "%s", what); }
    ++failures;
}

static void fill(double* v, size_t n, double value) {
    for (size_t i = 0; i < n; ++i) { v[i] = value; }
}

static void feed_checks(void) {
    const int64_t idx[3] = {1, 2, 3};
    const int64_t phase = 2, basis = 0, method = 3;
    const double pres = 101325.0;
    const double feed[13] = {30, 30, 40, 0, 100, 350, 101325, 0, 0, 1, 0, 0, 80};
    const double mapping[12] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0};
    const double mw[4] = {78, 92, 106, 114};
    double x_feed[4], F = 7.0, q = 7.0, T = 7.0;
    int64_t n_basis = IGUARD, basis_comp[4] = {IGUARD, IGUARD, IGUARD, IGUARD};
    int64_t err = IGUARD, msg = IGUARD;

    /* No full component list at all. */
    int64_t ncc = 0, ncomp = 3;
    fill(x_feed, 4, GUARD);
    COMPUTE_FEED(&ncc, &ncomp, idx, "IDEAL", &phase, &pres, feed, mapping, &basis, &method, mw,
                 x_feed, &F, &q, &T, &n_basis, basis_comp, &err, &msg, 5);
    check(err == 1, "COMPUTE_FEED ncc=0: iErr 1");
    check(F == -1.0 && q == 1.0 && T == -1.0, "COMPUTE_FEED ncc=0: outputs as initialised");
    check(x_feed[0] == -1.0 && x_feed[2] == -1.0 && x_feed[3] == GUARD,
          "COMPUTE_FEED ncc=0: x_feed initialised, nothing beyond three entries");
    check(n_basis == 0 && basis_comp[0] == IGUARD && msg == 0, "COMPUTE_FEED ncc=0: basis list");

    /* Four selected components against a three-entry result array. */
    ncc = 4;
    ncomp = 4;
    fill(x_feed, 4, GUARD);
    COMPUTE_FEED(&ncc, &ncomp, idx, "IDEAL", &phase, &pres, feed, mapping, &basis, &method, mw,
                 x_feed, &F, &q, &T, &n_basis, basis_comp, &err, &msg, 5);
    check(err == 1 && F == -1.0, "COMPUTE_FEED nComp=4: iErr 1, F_flow -1");
    check(x_feed[3] == GUARD, "COMPUTE_FEED nComp=4: never more than three entries");

    /* No selected components: nothing of x_feed is touched. */
    ncomp = 0;
    fill(x_feed, 4, GUARD);
    COMPUTE_FEED(&ncc, &ncomp, idx, NULL, &phase, &pres, feed, mapping, &basis, &method, mw, x_feed,
                 &F, &q, &T, &n_basis, basis_comp, &err, &msg, 0);
    check(err == 1 && x_feed[0] == GUARD, "COMPUTE_FEED nComp=0");

    /* A missing feed vector. */
    ncomp = 3;
    COMPUTE_FEED(&ncc, &ncomp, idx, "IDEAL", &phase, &pres, NULL, mapping, &basis, &method, mw,
                 x_feed, &F, &q, &T, &n_basis, basis_comp, &err, &msg, 5);
    check(err == 1, "COMPUTE_FEED without a feed vector");
    /* Without an error argument the call simply returns. */
    COMPUTE_FEED(NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL,
                 NULL, NULL, NULL, NULL, NULL, 0);
}

static void balance_checks(void) {
    const int64_t idx[3] = {1, 2, 3};
    const int64_t phase = 2, mode = 0, config = 1, basis = 0;
    const int64_t spec[12] = {1, 1, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0};
    const double pres = 101325.0, Fflow = 100.0;
    const double xfeed[3] = {0.3, 0.3, 0.4}, mw[3] = {78, 92, 106};
    double xdist[4], xbot[4], rd[4], rb[4], xds[4], xbs[4], tie[7], ydec[4];
    double D = 7.0, B = 7.0, phi = 7.0, TD = 7.0, TB = 7.0;
    int64_t err = IGUARD, msg = IGUARD, conv = IGUARD;

    int64_t n = 0;
    fill(xds, 4, GUARD);
    fill(tie, 7, GUARD);
    fill(xdist, 4, GUARD);
    COMPUTE_MATERIAL_BALANCE(&n, idx, "IDEAL", &phase, &pres, &mode, &config, xfeed, &Fflow, spec,
                             &basis, mw, xdist, xbot, rd, rb, xds, xbs, &D, &B, tie, ydec, &phi,
                             &TD, &TB, &err, &msg, &conv, 5);
    check(err == 1 && conv == 1 && msg == 0, "COMPUTE_MATERIAL_BALANCE n=0: lErr 1, lConverg 1");
    check(D == -1.0 && B == -1.0 && phi == -1.0 && TD == 0.0 && TB == 0.0,
          "COMPUTE_MATERIAL_BALANCE n=0: scalars as initialised");
    check(xds[0] == GUARD && tie[0] == GUARD && xdist[0] == GUARD,
          "COMPUTE_MATERIAL_BALANCE n=0: no array touched");

    n = 5;
    fill(xds, 4, GUARD);
    fill(tie, 7, GUARD);
    fill(ydec, 4, GUARD);
    xdist[0] = 0.9;
    xdist[1] = 0.05;
    xdist[2] = 0.05;
    xdist[3] = GUARD;
    COMPUTE_MATERIAL_BALANCE(&n, idx, "IDEAL", &phase, &pres, &mode, &config, xfeed, &Fflow, spec,
                             &basis, mw, xdist, xbot, rd, rb, xds, xbs, &D, &B, tie, ydec, &phi,
                             &TD, &TB, &err, &msg, &conv, 5);
    check(err == 1, "COMPUTE_MATERIAL_BALANCE n=5: lErr 1");
    check(xds[0] == -1.0 && xds[2] == -1.0 && xds[3] == GUARD,
          "COMPUTE_MATERIAL_BALANCE n=5: streams initialised, three entries only");
    check(tie[5] == -1.0 && tie[6] == GUARD && ydec[3] == GUARD,
          "COMPUTE_MATERIAL_BALANCE n=5: tie line 3 x 2 only");
    check(xdist[0] == 0.9 && xdist[3] == GUARD,
          "COMPUTE_MATERIAL_BALANCE n=5: in/out arrays unchanged");
}

static void design_checks(void) {
    const int64_t idx[3] = {1, 2, 3};
    const int64_t phase = 2, config = 1, stop = 1, r_or_s = 1;
    const int64_t dec_spec[2] = {1, 1};
    const double pres = 101325.0, F = 100.0, q = 1.0, D = 40.0, B = 60.0, dec_val = 0.5;
    const double x_dist[3] = {0.9, 0.09, 0.01}, x_bot[3] = {0.05, 0.45, 0.5};
    double reflux = 2.0, reboil = 0.0, phi = 0.25;
    double x_reflux[4], y_top[4];
    double one[2], stages_rect = 7.0, stages_strip = 7.0;
    double v_rect = 7.0, v_strip = 7.0, l_rect = 7.0, l_strip = 7.0, q_reb = 7.0, q_con = 7.0;
    double l1 = 7.0, l2 = 7.0;
    int64_t feasible = IGUARD, n_rect = IGUARD, n_strip = IGUARD, n_rect_f = IGUARD;
    int64_t n_strip_f = IGUARD, n_col = IGUARD, n_stages = IGUARD, feed_stage = IGUARD;
    int64_t comp_list = IGUARD, err = IGUARD, msg = 0;

    int64_t n = 3, max_stages = 0;
    fill(x_reflux, 4, GUARD);
    fill(one, 2, GUARD);
    BV_DESIGN(&n, idx, "IDEAL", &phase, &pres, &config, &max_stages, &stop, &F, &q, x_dist, &D,
              x_bot, &B, dec_spec, &dec_val, &r_or_s, &reflux, &reboil, &phi, x_reflux, y_top,
              &feasible, &stages_rect, &stages_strip, &n_rect, one, &n_strip, one, &n_rect_f, one,
              &n_strip_f, one, &n_col, one, one, one, one, &v_rect, &v_strip, &l_rect, &l_strip,
              &q_reb, &q_con, &n_stages, &feed_stage, &l1, &l2, &comp_list, one, one, one, &err,
              &msg, 5);
    check(err == 1, "BV_DESIGN iMaxStages=0: iErr 1");
    check(one[0] == GUARD, "BV_DESIGN iMaxStages=0: no profile array touched");
    check(x_reflux[0] == -1.0 && x_reflux[2] == -1.0 && x_reflux[3] == GUARD,
          "BV_DESIGN iMaxStages=0: x_Reflux initialised, three entries only");
    check(feasible == 0 && n_rect == 0 && n_col == 0 && n_stages == 0 && v_rect == -1.0 &&
              l_strip == -1.0 && q_reb == 0.0 && comp_list == 0 && phi == 0.25,
          "BV_DESIGN iMaxStages=0: outputs as initialised");

    /* A stage limit no memory could hold is refused, not attempted. */
    max_stages = (int64_t)1 << 60;
    BV_DESIGN(&n, idx, "IDEAL", &phase, &pres, &config, &max_stages, &stop, &F, &q, x_dist, &D,
              x_bot, &B, dec_spec, &dec_val, &r_or_s, &reflux, &reboil, &phi, x_reflux, y_top,
              &feasible, &stages_rect, &stages_strip, &n_rect, one, &n_strip, one, &n_rect_f, one,
              &n_strip_f, one, &n_col, one, one, one, one, &v_rect, &v_strip, &l_rect, &l_strip,
              &q_reb, &q_con, &n_stages, &feed_stage, &l1, &l2, &comp_list, one, one, one, &err,
              &msg, 5);
    check(err == 1 && one[0] == GUARD, "BV_DESIGN huge iMaxStages: iErr 1");

    n = 0;
    max_stages = 10;
    fill(x_reflux, 4, GUARD);
    BV_DESIGN(&n, idx, "IDEAL", &phase, &pres, &config, &max_stages, &stop, &F, &q, x_dist, &D,
              x_bot, &B, dec_spec, &dec_val, &r_or_s, &reflux, &reboil, &phi, x_reflux, y_top,
              &feasible, &stages_rect, &stages_strip, &n_rect, one, &n_strip, one, &n_rect_f, one,
              &n_strip_f, one, &n_col, one, one, one, one, &v_rect, &v_strip, &l_rect, &l_strip,
              &q_reb, &q_con, &n_stages, &feed_stage, &l1, &l2, &comp_list, one, one, one, &err,
              &msg, 5);
    check(err == 1 && x_reflux[0] == GUARD && one[0] == GUARD, "BV_DESIGN n=0: iErr 1");

    /* Missing arrays. */
    n = 3;
    BV_DESIGN(&n, idx, "IDEAL", &phase, &pres, &config, &max_stages, &stop, &F, &q, x_dist, &D,
              x_bot, &B, dec_spec, &dec_val, &r_or_s, &reflux, &reboil, &phi, x_reflux, y_top,
              &feasible, &stages_rect, &stages_strip, &n_rect, NULL, &n_strip, NULL, &n_rect_f,
              NULL, &n_strip_f, NULL, &n_col, NULL, NULL, NULL, NULL, &v_rect, &v_strip, &l_rect,
              &l_strip, &q_reb, &q_con, &n_stages, &feed_stage, &l1, &l2, &comp_list, NULL, NULL,
              NULL, &err, &msg, 5);
    check(err == 1, "BV_DESIGN without arrays: iErr 1");
}

static void stream_checks(void) {
    const int64_t idx[3] = {1, 2, 3};
    const int64_t phase = 2, un_map = 0, basis = 0;
    const double pres = 101325.0, D = 40.0, B = 60.0;
    const double feed[13] = {30, 30, 40, 0, 100, 350, 101325, 0, 0, 1, 0, 0, 80};
    const double mapping[12] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0};
    const double mw[4] = {78, 92, 106, 114};
    const double x_dist[3] = {0.9, 0.09, 0.01}, x_bot[3] = {0.05, 0.45, 0.5};
    double dist[14], bot[14];
    int64_t s1 = IGUARD, s2 = IGUARD;

    int64_t ncc = 0, nsel = 3;
    fill(dist, 14, GUARD);
    CREATE_PROD_STREAM(&ncc, &nsel, idx, "IDEAL", &phase, &pres, feed, &un_map, mapping, &basis, mw,
                       &D, x_dist, &B, x_bot, dist, bot, &s1, &s2, 5);
    check(s1 == 1 && s2 == 0 && dist[0] == GUARD, "CREATE_PROD_STREAM ncc=0: status1 1");

    /* More selected than full-list components: refused, streams zero over ncc + 9 only. */
    ncc = 2;
    nsel = 3;
    fill(dist, 14, GUARD);
    CREATE_PROD_STREAM(&ncc, &nsel, idx, "IDEAL", &phase, &pres, feed, &un_map, mapping, &basis, mw,
                       &D, x_dist, &B, x_bot, dist, bot, &s1, &s2, 5);
    check(s1 == 1 && dist[0] == 0.0 && dist[10] == 0.0 && dist[11] == GUARD,
          "CREATE_PROD_STREAM nselcomp > ncc: refused within ncc + 9 entries");

    /* An index outside the full list. */
    const int64_t bad_idx[3] = {1, 2, 9};
    ncc = 4;
    fill(dist, 14, GUARD);
    CREATE_PROD_STREAM(&ncc, &nsel, bad_idx, "IDEAL", &phase, &pres, feed, &un_map, mapping, &basis,
                       mw, &D, x_dist, &B, x_bot, dist, bot, &s1, &s2, 5);
    check(s1 == 1 && dist[13] == GUARD, "CREATE_PROD_STREAM index outside the list: status1 1");

    CREATE_PROD_STREAM(&ncc, &nsel, idx, "IDEAL", &phase, &pres, feed, &un_map, mapping, &basis, mw,
                       &D, x_dist, &B, x_bot, NULL, NULL, &s1, &s2, 5);
    check(s1 == 1, "CREATE_PROD_STREAM without streams: status1 1");
}

int design_c_caller_run(char* failure, size_t failure_size) {
    failures = 0;
    first_failure[0] = '\0';
    feed_checks();
    balance_checks();
    design_checks();
    stream_checks();
    if (failure != NULL && failure_size > 0) {
        snprintf(failure, failure_size, "%s", first_failure);
    }
    return failures;
}
