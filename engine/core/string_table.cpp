#include "engine/core/string_table.hpp"

#include <array>

namespace engine::core {
namespace {

struct Entry {
    std::uint32_t id;
    std::string_view text;
};

// The texts are the system's own, misspellings included: clients compare them.
constexpr std::array<Entry, 27> kStrings{{
    {100, "TARNDistil"},
    {101, "Reached maximum number of points for the curve"},
    {102, "Flash calculations did not convege."},
    {103, "Fatal integration error - forward direction"},
    {104, "Fatal integration error - backward direction"},
    {105, "Array allocation error"},
    {106, "Array deallocation error"},
    {107, "Fatal flash error"},
    {108, "Error in eigen value / eigen vector calculations"},
    {109, "Azeotrope search calculation error (sperr <= 1)"},
    {110, "Error in classifying the azeotropes and/or pure components"},
    {111, "Computed azeotropes do not satisfy the topological constraint equation"},
    {112, "Error in calculating distillation boundaries - results may be incorrect"},
    {113, "This mixture is partially/totally a vapor at the given pressure and temperature"},
    {114, "Uninitialised Variant parameter passed to procedure"},
    {115, "Error Accessing Variant Data"},
    {116, "Error Freeing Memory"},
    {117, "Error calling Fortran routine"},
    {118, "Failed to set Property data"},
    {119, "Failed to set Component Data"},
    {120, "Property Package not initialised"},
    {121, "Azeotrope Search not initialised"},
    {122, "Unhandled Exception."},
    {124, "Error instantiating Distil COM Classes"},
    {125, "IDX vector not set"},
    {126, "Calculate Equilibrium returned error"},
    {127, "Error writing file"},
}};

}  // namespace

std::optional<std::string_view> load_string(std::uint32_t id) noexcept {
    for (const Entry& e : kStrings) {
        if (e.id == id) { return e.text; }
    }
    return std::nullopt;
}

std::string_view string_or_unknown(std::uint32_t id) noexcept {
    return load_string(id).value_or("Unknown Error");
}

}  // namespace engine::core
