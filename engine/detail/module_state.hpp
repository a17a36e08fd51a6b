#pragma once
// The module-level state of the engine in one place: the root object's process-wide pointers,
// the trace settings and the module handle.
#include <cstdint>
#include <string_view>

#include "engine/core/shared_string.hpp"
#include "engine/core/util_funcs.hpp"
#include "engine/module.hpp"
#include "platform/loader.hpp"

namespace engine::detail {

struct ModuleState {
    /// Set by the construction of a root object, cleared by the destruction of any.
    platform::CComPtr<IPropertyPackage> property_package;
    platform::CComPtr<IAzeotropeSearch> azeotrope_search;
    /// Set by SetLogFile; the trace points pass its narrow form as the file name.
    core::SharedString trace_file;
    std::int32_t tracing_on = 0;  ///< 0 at load; SetLogFile sets it to 1 and nothing clears it
    platform::HINSTANCE module_instance = nullptr;
    TraceListener trace_listener;
};

/// The one instance. Unloading the module releases what the pointers and the name still hold.
ModuleState& module_state() noexcept;

/// A trace point: only while tracing is on, composes the path (the trace file set by SetLogFile
/// when `named` is set, the default name otherwise) with writing switched off, and hands the
/// line to the listener.
void trace(const core::CUtilFuncs& utility, std::string_view text, bool named);

/// The calling thread's id, as the trace lines print it.
unsigned long current_thread_id() noexcept;

}  // namespace engine::detail
