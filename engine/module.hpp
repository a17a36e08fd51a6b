#pragma once
/// What the engine module keeps for the whole process, and how objects are made by identity.
///
/// A root object publishes its property package and its azeotrope search as the process-wide
/// pointers below; the distillation map and the azeotrope search reach the property package (and
/// the map the azeotrope search) only through them. Destroying any root object clears both.
/// Nothing here is locked: the objects are apartment-threaded and serve one call at a time.
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

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

/// The class registered under a ProgID: the engine's table of version-independent and
/// versioned ProgIDs ("TARNDistil.Distil", "TARNDistil.Distil.38.0", ...). The map asks for the
/// root class under the name of an older registration, "TARNDistil.Distil.26.0"; any versioned
/// name of an engine class ("<version independent>.<major>.<minor>") resolves to that class.
std::optional<platform::CLSID> resolve_prog_id(std::string_view prog_id);
/// Creates one of the engine's four classes in process and queries `riid` into *ppv.
/// CLASS_E_CLASSNOTAVAILABLE for any other class identity.
HRESULT create_engine_object(const platform::CLSID& clsid,
                             platform::REFIID riid,
                             void** ppv) noexcept;

/// The message lines (without their trailing blanks) that the design, balance, feed and
/// product-stream routines wrote during the map's last call of ComputeFeed,
/// ComputeMaterialBalance, BV_Design or CreateProductStreams.
std::vector<std::string> message_lines();

}  // namespace engine
