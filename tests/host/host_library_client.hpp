#pragma once
// A client of the host libraries as the property package is one: the four shared libraries
// loaded with dlopen, every entry point found through cf_DllFcn from its decorated name.
#include <dlfcn.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "host/entry_points.h"

namespace host_test {

/// A blank-padded character field of N bytes.
template <std::size_t N>
struct Field {
    char data[N];
    Field() { set(""); }
    explicit Field(std::string_view s) { set(s); }
    void set(std::string_view s) {
        for (std::size_t i = 0; i < N; ++i) { data[i] = i < s.size() ? s[i] : ' '; }
    }
    /// The text without trailing blanks.
    std::string text() const {
        std::string s(data, N);
        const auto last = s.find_last_not_of(' ');
        return last == std::string::npos ? std::string() : s.substr(0, last + 1);
    }
    static constexpr std::int64_t length = static_cast<std::int64_t>(N);
};

/// A fresh directory under the system's temporary directory, removed at the end.
class TempDir {
public:
    TempDir() {
        std::string pattern = (std::filesystem::temp_directory_path() / "hostlibs-XXXXXX").string();
        if (mkdtemp(pattern.data()) != nullptr) { path_ = pattern; }
    }
    ~TempDir() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path path_;
};

/// The host libraries and their entry points, resolved the way a client resolves them.
struct HostLibraries {
    void* propserve = nullptr;
    void* zetarninp = nullptr;
    void* phaseeq = nullptr;
    void* hostrtl = nullptr;

    tarn_cf_dllfcn_fn cf_DllFcn = nullptr;
    tarn_rto_str2int_c_fn rto_str2int_c = nullptr;
    tarn_callsetjmp_fn callsetjmp = nullptr;
    tarn_closepdf_fn closepdf = nullptr;
    tarn_compqry_fn compqry = nullptr;
    tarn_lsopst_fn lsopst = nullptr;
    tarn_glbops_fn glbops = nullptr;
    tarn_fiopst_fn fiopst = nullptr;
    tarn_ppgidx_fn ppgidx = nullptr;
    tarn_pflash_fn phaseeq_call = nullptr;  ///< _CALL_PHASEEQ@116 of PropServe
    tarn_pflash_fn pflash = nullptr;        ///< FLSH_PFLASH of phaseeq
    tarn_get_real_param_fn get_real = nullptr;
    tarn_set_real_param_fn set_real = nullptr;
    tarn_get_int_param_fn get_int = nullptr;
    tarn_set_int_param_fn set_int = nullptr;
    tarn_get_char_param_fn get_char = nullptr;
    tarn_set_char_param_fn set_char = nullptr;
    tarn_getcsp_fn getcsp = nullptr;
    tarn_enthalpy_fn liq_enthalpy = nullptr;
    tarn_enthalpy_fn vap_enthalpy = nullptr;

    std::string error;  ///< what failed to load or resolve; empty when all is well

    static void* open(const std::string& name) {
        return dlopen((std::string(HOST_LIBRARY_DIR) + "/" + name).c_str(), RTLD_NOW | RTLD_LOCAL);
    }

    /// The export name cf_DllFcn gives for a decorated name.
    std::string export_name(std::string_view decorated) const {
        Field<64> in(decorated), out;
        cf_DllFcn(in.data, out.data, in.length, out.length);
        return out.text();
    }

    template <typename Fn>
    void resolve(void* library, std::string_view decorated, Fn& fn) {
        const std::string name = export_name(decorated);
        fn = reinterpret_cast<Fn>(dlsym(library, name.c_str()));
        if (fn == nullptr) { error += "missing " + name + "; "; }
    }

    HostLibraries() {
        propserve = open("libpropserve.so");
        zetarninp = open("libzetarninp.so");
        phaseeq = open("libphaseeq.so");
        hostrtl = open("libhostrtl.so");
        if (!propserve || !zetarninp || !phaseeq || !hostrtl) {
            const char* e = dlerror();
            error = std::string("cannot load the host libraries: ") + (e ? e : "?");
            return;
        }
        cf_DllFcn = reinterpret_cast<tarn_cf_dllfcn_fn>(dlsym(hostrtl, "cf_DllFcn"));
        rto_str2int_c = reinterpret_cast<tarn_rto_str2int_c_fn>(dlsym(hostrtl, "rto_str2int_c"));
        if (!cf_DllFcn || !rto_str2int_c) {
            error = "hostrtl lacks its entry points";
            return;
        }
        resolve(propserve, "_CALLSETJMP@28", callsetjmp);
        resolve(propserve, "_CLOSEPDF@0", closepdf);
        resolve(propserve, "_CALL_COMPQRY@52", compqry);
        resolve(propserve, "_CALL_LSOPST@20", lsopst);
        resolve(propserve, "_CALL_GLBOPS@8", glbops);
        resolve(propserve, "_CALL_FIOPST@8", fiopst);
        resolve(propserve, "_CALL_PPGIDX@16", ppgidx);
        resolve(propserve, "_CALL_PHASEEQ@116", phaseeq_call);
        resolve(propserve, "_GET_REAL_PARAM@20", get_real);
        resolve(propserve, "_SET_REAL_PARAM@20", set_real);
        resolve(propserve, "_GET_INT_PARAM@20", get_int);
        resolve(propserve, "_SET_INT_PARAM@20", set_int);
        resolve(propserve, "_GET_CHAR_PARAM@28", get_char);
        resolve(propserve, "_SET_CHAR_PARAM@24", set_char);
        resolve(phaseeq, "FLSH_PFLASH", pflash);
        resolve(zetarninp, "GETCSP", getcsp);
        resolve(zetarninp, "LIQ_ENTHALPY", liq_enthalpy);
        resolve(zetarninp, "VAP_ENTHALPY", vap_enthalpy);
    }
    ~HostLibraries() {
        for (void* h : {hostrtl, phaseeq, zetarninp, propserve}) {
            if (h != nullptr) { dlclose(h); }
        }
    }
    HostLibraries(const HostLibraries&) = delete;
    HostLibraries& operator=(const HostLibraries&) = delete;

    /// Opens a problem file; returns the status.
    std::int64_t open_problem(const std::string& file,
                              const std::string& work_dir,
                              const std::string& run_id = "") const {
        Field<256> run(run_id), pdf(file), work(work_dir);
        std::int64_t status = -99;
        callsetjmp(run.data, pdf.data, work.data, &status, 255, 255, 255);
        return status;
    }

    std::string char_param(const std::string& name, std::int64_t index = 0) const {
        Field<16> n(name);
        Field<512> value;
        std::int64_t length = -1, err = -99;
        get_char(n.data, &index, value.data, &length, &err, n.length, value.length);
        return err == 0 ? value.text() : "<error " + std::to_string(err) + ">";
    }

    std::int64_t int_param(const std::string& name) const {
        Field<16> n(name);
        std::int64_t index = 0, value = -99, err = -99;
        get_int(n.data, &index, &value, &err, n.length);
        return err == 0 ? value : -1000 + err;
    }
};

/// Arguments and results of one host flash call.
struct FlashCall {
    std::int64_t kind = 3;
    double spec1 = 101325.0, spec2 = 0.0;
    std::vector<double> z;
    std::vector<std::int64_t> components;
    std::int64_t n = -1;  ///< -1: the size of z
    std::int64_t phase_count = 2, start_mode = 0, max_iterations = 100;
    double tolerance = 1e-10;
    std::int64_t option_set = 1, history_level = 4, terminal_level = 4, enthalpy_wanted = 1;
    double temperature = 0.0, pressure = 0.0, enthalpy = -1.0, vapour_fraction = 0.0, beta = -1.0;
    std::vector<double> x, x1, x2, y, work1, work2;
    double work3 = 0.0, work4 = 0.0;
    std::int64_t restart = 1, error = -99;

    void run(tarn_pflash_fn flash) {
        const std::size_t m = z.size();
        if (n == -1) { n = static_cast<std::int64_t>(m); }
        x.assign(m, -1.0);
        x1.assign(m, -1.0);
        x2.assign(m, -1.0);
        y.assign(m, -1.0);
        work1.assign(m, 0.0);
        work2.assign(m, 0.0);
        flash(&kind, &spec1, &spec2, z.data(), &n, components.data(), &phase_count, &start_mode,
              &max_iterations, &tolerance, &option_set, &history_level, &terminal_level,
              &enthalpy_wanted, &temperature, &pressure, &enthalpy, &vapour_fraction, &beta,
              x.data(), x1.data(), x2.data(), y.data(), work1.data(), work2.data(), &restart,
              &work3, &work4, &error);
    }
};

}  // namespace host_test
