#pragma once
/// The loader of the host property-call library: finds the library (or borrows the host's input
/// library when the host has already loaded it) and resolves its fourteen entry points by the
/// export names the host's name mapping gives for their decorated names.
#include <string>
#include <string_view>

#include "host/entry_points.h"
#include "platform/loader.hpp"
#include "platform/types.hpp"

namespace properties {

class CPropCall {
public:
    /// The library loaded on demand, and the module whose entry points are taken instead when it
    /// is already loaded in the process (the host loads it when it runs the engine itself).
    static constexpr std::string_view kLibraryName = "propserve.dll";
    static constexpr std::string_view kBorrowedModuleName = "zeTARNInp";
    /// Entry points are looked up under names of at most this many characters.
    static constexpr std::size_t kMaxExportName = 63;

    /// The fourteen entry points; null until resolved.
    struct EntryPoints {
        tarn_closepdf_fn CLOSEPDF = nullptr;              ///< _CLOSEPDF@0
        tarn_callsetjmp_fn CALLSETJMP = nullptr;          ///< _CALLSETJMP@28
        tarn_compqry_fn CALL_COMPQRY = nullptr;           ///< _CALL_COMPQRY@52
        tarn_lsopst_fn CALL_LSOPST = nullptr;             ///< _CALL_LSOPST@20
        tarn_glbops_fn CALL_GLBOPS = nullptr;             ///< _CALL_GLBOPS@8
        tarn_ppgidx_fn CALL_PPGIDX = nullptr;             ///< _CALL_PPGIDX@16
        tarn_pflash_fn CALL_PHASEEQ = nullptr;            ///< _CALL_PHASEEQ@116
        tarn_fiopst_fn CALL_FIOPST = nullptr;             ///< _CALL_FIOPST@8
        tarn_get_real_param_fn GET_REAL_PARAM = nullptr;  ///< _GET_REAL_PARAM@20
        tarn_set_real_param_fn SET_REAL_PARAM = nullptr;  ///< _SET_REAL_PARAM@20
        tarn_get_int_param_fn GET_INT_PARAM = nullptr;    ///< _GET_INT_PARAM@20
        tarn_set_int_param_fn SET_INT_PARAM = nullptr;    ///< _SET_INT_PARAM@20
        tarn_get_char_param_fn GET_CHAR_PARAM = nullptr;  ///< _GET_CHAR_PARAM@28
        tarn_set_char_param_fn SET_CHAR_PARAM = nullptr;  ///< _SET_CHAR_PARAM@24
    };

    /// Borrows `borrowed_module` when it is loaded (resolving the entry points from it at once);
    /// otherwise holds nothing until Load. The names are Windows library names.
    explicit CPropCall(std::string library = std::string(kLibraryName),
                       std::string borrowed_module = std::string(kBorrowedModuleName));
    CPropCall(const CPropCall&) = delete;
    CPropCall& operator=(const CPropCall&) = delete;
    /// Frees the library unless it was borrowed.
    virtual ~CPropCall();

    /// Succeeds at once when every entry point is resolved. Otherwise loads the library (a
    /// message box "Failed to Load PropServe.dll" when it cannot be loaded) and resolves the
    /// entry points from the module held. True when a module is held, even if some entry points
    /// are missing.
    bool Load();

    /// 1 when all fourteen entry points are resolved.
    platform::BOOL ready() const noexcept { return ready_; }
    /// 1 when the module was found already loaded (it is never freed then).
    platform::BOOL borrowed() const noexcept { return borrowed_; }
    platform::HMODULE module() const noexcept { return module_; }
    /// The library name that is loaded.
    const std::string& library_path() const noexcept { return library_; }
    const EntryPoints& entry_points() const noexcept { return entry_points_; }

    /// The export name of a decorated entry-point name ("_CALLSETJMP@28" -> "CALLSETJMP"), as the
    /// host's name mapping gives it; empty when it gives none.
    static std::string export_name(std::string_view decorated);
    /// The entry point `decorated` of `module`, or null.
    static platform::FARPROC find_entry_point(platform::HMODULE module, std::string_view decorated);

private:
    void resolve();

    platform::HMODULE module_ = nullptr;
    std::string library_;
    std::string borrowed_name_;
    platform::BOOL ready_ = 0;
    EntryPoints entry_points_;
    platform::BOOL borrowed_ = 0;
};

}  // namespace properties
