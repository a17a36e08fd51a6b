#pragma once
/// What the engine module keeps for the whole process, and how objects are made by identity.
///
/// A root object publishes its property package and its azeotrope search as the process-wide
/// pointers below; the distillation map and the azeotrope search reach the property package (and
/// the map the azeotrope search) only through them. Destroying any root object clears both.
/// Nothing here is locked: the objects are apartment-threaded and serve one call at a time.
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "engine/core/dispatch.hpp"
#include "engine/interfaces.hpp"

namespace engine {

/// The global property package (no reference added; null when none is published).
IPropertyPackage* global_property_package() noexcept;
/// The global azeotrope search (no reference added; null when none is published).
IAzeotropeSearch* global_azeotrope_search() noexcept;

/// Whether SetLogFile has switched tracing on (it stays on until the module is unloaded).
bool tracing_on() noexcept;
/// The narrow form of the trace file name given to SetLogFile ("" when none).
std::string trace_file_name();

/// Receives every line a trace point sends, with the path the trace routine composed for it.
/// The trace routine itself never writes (its write switch stays off at every trace point), so
/// this is the only way to watch the lines.
using TraceListener = std::function<void(std::string_view text, std::string_view path)>;
/// Installs a listener for the whole process and returns the previous one (empty: none).
TraceListener set_trace_listener(TraceListener listener);

/// The registry of registered classes, as the module's registration code provides it: where the
/// registry is kept, and the class registered there under a ProgID (nothing when the name is not
/// registered or the registry cannot be read). The registration code linked into the module
/// installs it when the module is loaded; until then nothing is registered.
struct ClassRegistry {
    std::string (*location)() = nullptr;
    std::optional<platform::CLSID> (*find_prog_id)(std::string_view prog_id) = nullptr;
};
void set_class_registry(const ClassRegistry& registry) noexcept;
/// The registry file registration writes ("" when none is installed or none can be named).
std::string registry_location();

/// The class of a ProgID: the one registered in the class registry when the name is registered
/// there, else the engine's built-in table of version-independent and versioned ProgIDs
/// ("TARNDistil.Distil", "TARNDistil.Distil.38.0", ...), so that unregistered use keeps working.
/// The map asks for the root class under the name of an older registration,
/// "TARNDistil.Distil.26.0"; any versioned name of an engine class
/// ("<version independent>.<major>.<minor>") resolves to that class in the built-in table.
std::optional<platform::CLSID> resolve_prog_id(std::string_view prog_id);
/// Creates one of the engine's four classes in process and queries `riid` into *ppv.
/// CLASS_E_CLASSNOTAVAILABLE for any other class identity.
HRESULT create_engine_object(const platform::CLSID& clsid,
                             platform::REFIID riid,
                             void** ppv) noexcept;
/// The same, aggregated by `outer` when it is not null: the new object delegates QueryInterface,
/// AddRef and Release of every interface to `outer`, and *ppv receives its own non-delegating
/// IUnknown, the only interface an aggregating object may ask for (CLASS_E_NOAGGREGATION for
/// any other `riid`).
HRESULT create_engine_object(const platform::CLSID& clsid,
                             platform::IUnknown* outer,
                             platform::REFIID riid,
                             void** ppv) noexcept;

/// The late-binding table of one of the engine's dual interfaces (IDistil, IDistillationMap,
/// IAzeotropeSearch, IPropertyPackage), in member order; empty for any other interface.
std::span<const core::dispatch::Member> dispatch_members(const platform::IID& iid) noexcept;

/// The message lines (without their trailing blanks) that the design, balance, feed and
/// product-stream routines wrote during the map's last call of ComputeFeed,
/// ComputeMaterialBalance, BV_Design or CreateProductStreams.
std::vector<std::string> message_lines();

}  // namespace engine
