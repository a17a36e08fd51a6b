/* The plain exported functions called from C, as a host program's own numerical code calls
 * them: 12-entry arrays with guard values, missing arguments, and a real mixture. Returns the
 * number of failed checks and names the first one. */
#include <stddef.h>
#include <stdio.h>

#include "engine/flat_entry_points.h"

#define GUARD 4242.0
#define IGUARD 4242

static int failures;
static char first_failure[256];

static void check(int ok, const char* what) {
    if (ok) { return; }
    if (failures == 0) { snprintf(first_failure, sizeof first_failure, "%s", what); }
    ++failures;
}

const char* flat_caller_first_failure(void) { return first_failure; }

int flat_caller_checks(void) {
    const char* names[3] = {"ACETONE", "CHCL3", "MEOH"};
    const double pressure = 101325.0;
    const int32_t phases = 2;
    int32_t count = -1;
    double top[12], left[12], right[12], temperature[12];
    int64_t phase[12], stability[12];
    size_t i;
    for (i = 0; i < 12; ++i) {
        top[i] = left[i] = right[i] = temperature[i] = GUARD;
        phase[i] = stability[i] = IGUARD;
    }
    failures = 0;

    initial();

    /* Missing arguments: no result, nothing written, no crash. */
    CalAzeotropes(NULL, "NRTL", &pressure, &phases, &count, top, left, right, temperature, phase,
                  stability);
    check(count == 0, "no names: count 0");
    count = -1;
    CalAzeotropes(names, "NRTL", &pressure, &phases, &count, NULL, left, right, temperature, phase,
                  stability);
    check(count == 0, "a missing output array: count 0");
    CalAzeotropes(names, "NRTL", &pressure, &phases, NULL, top, left, right, temperature, phase,
                  stability);
    check(top[0] == GUARD && phase[0] == IGUARD, "no count: nothing written");

    /* Acetone / chloroform / methanol: four azeotropes, the rest of the arrays untouched. */
    CalAzeotropes(names, "NRTL", &pressure, &phases, &count, top, left, right, temperature, phase,
                  stability);
    check(count == 4, "four azeotropes");
    for (i = 0; i < 4 && count == 4; ++i) {
        check(top[i] + left[i] + right[i] > 0.999999 && top[i] + left[i] + right[i] < 1.000001,
              "mole fractions sum to one");
        check(temperature[i] > 320.0 && temperature[i] < 340.0, "boiling temperature");
        check(phase[i] == 1, "homogeneous");
        check(stability[i] >= 1 && stability[i] <= 3, "stability code");
    }
    for (i = 4; i < 12; ++i) {
        check(top[i] == GUARD && left[i] == GUARD && right[i] == GUARD && temperature[i] == GUARD &&
                  phase[i] == IGUARD && stability[i] == IGUARD,
              "guards beyond the azeotropes");
    }
    return failures;
}
