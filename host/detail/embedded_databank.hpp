#pragma once
#include <span>

#include "host/databank.hpp"

namespace host::detail {

/// The databank files as compiled into the library, in Databank::kFileNames order. Defined in a
/// source file that the build generates from data/databank/ (host/embed_databank.cmake).
std::span<const DatabankFile> embedded_databank() noexcept;

}  // namespace host::detail
