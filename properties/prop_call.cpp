#include "properties/prop_call.hpp"

#include <array>

#include "engine/core/fixed_field.hpp"
#include "platform/system.hpp"

namespace properties {
namespace {

template <typename Fn>
void resolve_one(platform::HMODULE module, std::string_view decorated, Fn& fn, int& found) {
    // Entry points travel as the generic FARPROC; casting back to the real signature is how
    // every client of a dynamically loaded library calls it.
    fn = reinterpret_cast<Fn>(CPropCall::find_entry_point(module, decorated));
    if (fn) { ++found; }
}

}  // namespace

CPropCall::CPropCall(std::string library, std::string borrowed_module)
    : library_(std::move(library)), borrowed_name_(std::move(borrowed_module)) {
    if (!borrowed_name_.empty()) {
        if (platform::HMODULE m = platform::GetModuleHandleA(borrowed_name_.c_str())) {
            module_ = m;
            borrowed_ = 1;
            resolve();
        }
    }
}

CPropCall::~CPropCall() {
    if (module_ && !borrowed_) { platform::FreeLibrary(module_); }
}

std::string CPropCall::export_name(std::string_view decorated) {
    std::array<char, kMaxExportName> out{};
    cf_DllFcn(decorated.data(), out.data(), static_cast<std::int64_t>(decorated.size()),
              static_cast<std::int64_t>(out.size()));
    return std::string(
        engine::core::trimmed_field(out.data(), static_cast<std::int64_t>(out.size())));
}

platform::FARPROC CPropCall::find_entry_point(platform::HMODULE module,
                                              std::string_view decorated) {
    if (!module) { return nullptr; }
    const std::string name = export_name(decorated);
    return name.empty() ? nullptr : platform::GetProcAddress(module, name.c_str());
}

bool CPropCall::Load() {
    if (ready_) { return true; }
    // A module loaded here already holds a reference: loading it again would only leak one.
    if (!module_ || borrowed_) {
        if (platform::HMODULE m = platform::LoadLibraryA(library_.c_str())) {
            module_ = m;
            borrowed_ = 0;
        } else {
            platform::MessageBox("Failed to Load PropServe.dll", "Error");
        }
    }
    if (module_) { resolve(); }
    return module_ != nullptr;
}

void CPropCall::resolve() {
    int found = 0;
    auto& e = entry_points_;
    resolve_one(module_, "_CLOSEPDF@0", e.CLOSEPDF, found);
    resolve_one(module_, "_CALLSETJMP@28", e.CALLSETJMP, found);
    resolve_one(module_, "_CALL_COMPQRY@52", e.CALL_COMPQRY, found);
    resolve_one(module_, "_CALL_LSOPST@20", e.CALL_LSOPST, found);
    resolve_one(module_, "_CALL_GLBOPS@8", e.CALL_GLBOPS, found);
    resolve_one(module_, "_CALL_PPGIDX@16", e.CALL_PPGIDX, found);
    resolve_one(module_, "_CALL_PHASEEQ@116", e.CALL_PHASEEQ, found);
    resolve_one(module_, "_CALL_FIOPST@8", e.CALL_FIOPST, found);
    resolve_one(module_, "_GET_REAL_PARAM@20", e.GET_REAL_PARAM, found);
    resolve_one(module_, "_SET_REAL_PARAM@20", e.SET_REAL_PARAM, found);
    resolve_one(module_, "_GET_INT_PARAM@20", e.GET_INT_PARAM, found);
    resolve_one(module_, "_SET_INT_PARAM@20", e.SET_INT_PARAM, found);
    resolve_one(module_, "_GET_CHAR_PARAM@28", e.GET_CHAR_PARAM, found);
    resolve_one(module_, "_SET_CHAR_PARAM@24", e.SET_CHAR_PARAM, found);
    ready_ = found == 14 ? 1 : 0;
}

}  // namespace properties
