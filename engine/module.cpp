#include "engine/module.hpp"

#include <unistd.h>

#include <cctype>

#include "engine/azeotrope_search.hpp"
#include "engine/core/class_ids.hpp"
#include "engine/core/prog_ids.hpp"
#include "engine/detail/aggregated.hpp"
#include "engine/detail/module_state.hpp"
#include "engine/distil.hpp"
#include "engine/distillation_map.hpp"
#include "properties/equilibrium.hpp"

namespace engine {

namespace detail {

ModuleState& module_state() noexcept {
    // A static object: its destructor runs when the module is unloaded and releases whatever
    // the process-wide pointers and the trace file name still hold.
    static ModuleState state;
    return state;
}

void trace(const core::CUtilFuncs& utility, std::string_view text, bool named) {
    ModuleState& state = module_state();
    if (state.tracing_on == 0) { return; }
    const std::string_view file = named ? std::string_view(state.trace_file.narrow()) : "";
    utility.TraceToFile(text, file, false);
    if (state.trace_listener) { state.trace_listener(text, utility.trace_path(file)); }
}

unsigned long current_thread_id() noexcept { return static_cast<unsigned long>(::gettid()); }

}  // namespace detail

IPropertyPackage* global_property_package() noexcept {
    return detail::module_state().property_package.get();
}

IAzeotropeSearch* global_azeotrope_search() noexcept {
    return detail::module_state().azeotrope_search.get();
}

bool tracing_on() noexcept { return detail::module_state().tracing_on != 0; }

std::string trace_file_name() { return detail::module_state().trace_file.narrow(); }

TraceListener set_trace_listener(TraceListener listener) {
    TraceListener previous = std::move(detail::module_state().trace_listener);
    detail::module_state().trace_listener = std::move(listener);
    return previous;
}

namespace {
ClassRegistry& class_registry() noexcept {
    static ClassRegistry registry;
    return registry;
}
}  // namespace

void set_class_registry(const ClassRegistry& registry) noexcept { class_registry() = registry; }

std::string registry_location() {
    const ClassRegistry& registry = class_registry();
    return registry.location ? registry.location() : std::string();
}

std::optional<platform::CLSID> resolve_prog_id(std::string_view prog_id) {
    if (const ClassRegistry& registry = class_registry(); registry.find_prog_id) {
        if (auto clsid = registry.find_prog_id(prog_id)) { return clsid; }
    }
    if (auto clsid = core::clsid_from_prog_id(prog_id)) { return clsid; }
    // "<version independent>.<digits>.<digits>": the class under another version's name.
    const auto last = prog_id.find_last_of('.');
    if (last == std::string_view::npos || last == 0) { return std::nullopt; }
    const auto middle = prog_id.find_last_of('.', last - 1);
    if (middle == std::string_view::npos || middle == 0) { return std::nullopt; }
    const auto digits = [](std::string_view s) {
        if (s.empty()) { return false; }
        for (const char c : s) {
            if (!std::isdigit(static_cast<unsigned char>(c))) { return false; }
        }
        return true;
    };
    if (!digits(prog_id.substr(middle + 1, last - middle - 1)) ||
        !digits(prog_id.substr(last + 1))) {
        return std::nullopt;
    }
    const std::string_view base = prog_id.substr(0, middle);
    for (const core::ClassIdentity& c : core::kEngineClasses) {
        if (c.version_independent_prog_id == base) { return c.clsid; }
    }
    return std::nullopt;
}

HRESULT create_engine_object(const platform::CLSID& clsid,
                             platform::REFIID riid,
                             void** ppv) noexcept {
    if (clsid == core::CLSID_Distil) { return platform::create_instance<CDistil>(riid, ppv); }
    if (clsid == core::CLSID_DistillationMap) {
        return platform::create_instance<CDistillationMap>(riid, ppv);
    }
    if (clsid == core::CLSID_AzeotropeSearch) {
        return platform::create_instance<CAzeotropeSearch>(riid, ppv);
    }
    if (clsid == core::CLSID_PropertyPackage) {
        return properties::create_property_package(riid, ppv);
    }
    if (ppv) { *ppv = nullptr; }
    return platform::CLASS_E_CLASSNOTAVAILABLE;
}

HRESULT create_engine_object(const platform::CLSID& clsid,
                             platform::IUnknown* outer,
                             platform::REFIID riid,
                             void** ppv) noexcept {
    if (!outer) { return create_engine_object(clsid, riid, ppv); }
    if (!ppv) { return platform::E_POINTER; }
    *ppv = nullptr;
    if (!platform::IsEqualIID(riid, platform::IID_IUnknown)) {
        return platform::CLASS_E_NOAGGREGATION;
    }
    if (clsid == core::CLSID_Distil) { return detail::create_aggregated<CDistil>(outer, ppv); }
    if (clsid == core::CLSID_DistillationMap) {
        return detail::create_aggregated<CDistillationMap>(outer, ppv);
    }
    if (clsid == core::CLSID_AzeotropeSearch) {
        return detail::create_aggregated<CAzeotropeSearch>(outer, ppv);
    }
    if (clsid == core::CLSID_PropertyPackage) {
        return detail::create_aggregated<properties::CPropertyPackage>(outer, ppv);
    }
    return platform::CLASS_E_CLASSNOTAVAILABLE;
}

std::vector<std::string> message_lines() { return properties::message_lines(); }

}  // namespace engine
