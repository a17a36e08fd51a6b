// Loaded by the loader tests through its Windows-style name.
namespace {
int g_calls = 0;  // shows whether two loads share one instance
}

extern "C" __attribute__((visibility("default"))) int platformtestlib_answer(int x) {
    return 2 * x + 1;
}

extern "C" __attribute__((visibility("default"))) int platformtestlib_count() { return ++g_calls; }
