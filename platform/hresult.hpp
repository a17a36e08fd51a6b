#pragma once
/// Status codes of the automation runtime: 32-bit values whose top bit marks a failure, with a
/// facility and a 16-bit code below (the automation convention every client already knows).
#include <cstdint>

namespace platform {

using HRESULT = std::int32_t;
using SCODE = HRESULT;

inline constexpr std::uint32_t SEVERITY_SUCCESS = 0;
inline constexpr std::uint32_t SEVERITY_ERROR = 1;
inline constexpr std::uint32_t FACILITY_NULL = 0;
inline constexpr std::uint32_t FACILITY_DISPATCH = 2;
inline constexpr std::uint32_t FACILITY_ITF = 4;  ///< "interface": codes defined by the component
inline constexpr std::uint32_t FACILITY_WIN32 = 7;

/// Builds a status from severity (0 or 1), facility and code.
constexpr HRESULT MAKE_HRESULT(std::uint32_t severity,
                               std::uint32_t facility,
                               std::uint32_t code) noexcept {
    // Conversion of the unsigned pattern to the signed type is modular since C++20.
    return static_cast<HRESULT>((severity << 31) | ((facility & 0x1FFFu) << 16) | (code & 0xFFFFu));
}
constexpr bool SUCCEEDED(HRESULT hr) noexcept { return hr >= 0; }
constexpr bool FAILED(HRESULT hr) noexcept { return hr < 0; }
constexpr std::uint32_t HRESULT_CODE(HRESULT hr) noexcept {
    return static_cast<std::uint32_t>(hr) & 0xFFFFu;
}
constexpr std::uint32_t HRESULT_FACILITY(HRESULT hr) noexcept {
    return (static_cast<std::uint32_t>(hr) >> 16) & 0x1FFFu;
}
/// The status written as its usual unsigned hexadecimal value (0x80004005), for messages.
constexpr std::uint32_t hresult_bits(HRESULT hr) noexcept { return static_cast<std::uint32_t>(hr); }

namespace detail {
constexpr HRESULT from_bits(std::uint32_t bits) noexcept { return static_cast<HRESULT>(bits); }
}  // namespace detail

inline constexpr HRESULT S_OK = 0;
inline constexpr HRESULT S_FALSE = 1;
inline constexpr HRESULT E_NOTIMPL = detail::from_bits(0x80004001u);
inline constexpr HRESULT E_NOINTERFACE = detail::from_bits(0x80004002u);
inline constexpr HRESULT E_POINTER = detail::from_bits(0x80004003u);
inline constexpr HRESULT E_ABORT = detail::from_bits(0x80004004u);
inline constexpr HRESULT E_FAIL = detail::from_bits(0x80004005u);
inline constexpr HRESULT E_UNEXPECTED = detail::from_bits(0x8000FFFFu);
inline constexpr HRESULT E_ACCESSDENIED = detail::from_bits(0x80070005u);
inline constexpr HRESULT E_OUTOFMEMORY = detail::from_bits(0x8007000Eu);
inline constexpr HRESULT E_INVALIDARG = detail::from_bits(0x80070057u);
inline constexpr HRESULT CLASS_E_NOAGGREGATION = detail::from_bits(0x80040110u);
inline constexpr HRESULT CLASS_E_CLASSNOTAVAILABLE = detail::from_bits(0x80040111u);
inline constexpr HRESULT CONNECT_E_NOCONNECTION = detail::from_bits(0x80040200u);
inline constexpr HRESULT DISP_E_UNKNOWNINTERFACE = detail::from_bits(0x80020001u);
inline constexpr HRESULT DISP_E_MEMBERNOTFOUND = detail::from_bits(0x80020003u);
inline constexpr HRESULT DISP_E_PARAMNOTFOUND = detail::from_bits(0x80020004u);
inline constexpr HRESULT DISP_E_TYPEMISMATCH = detail::from_bits(0x80020005u);
inline constexpr HRESULT DISP_E_UNKNOWNNAME = detail::from_bits(0x80020006u);
inline constexpr HRESULT DISP_E_NONAMEDARGS = detail::from_bits(0x80020007u);
inline constexpr HRESULT DISP_E_BADVARTYPE = detail::from_bits(0x80020008u);
inline constexpr HRESULT DISP_E_EXCEPTION = detail::from_bits(0x80020009u);
inline constexpr HRESULT DISP_E_OVERFLOW = detail::from_bits(0x8002000Au);
inline constexpr HRESULT DISP_E_BADINDEX = detail::from_bits(0x8002000Bu);
inline constexpr HRESULT DISP_E_ARRAYISLOCKED = detail::from_bits(0x8002000Du);
inline constexpr HRESULT DISP_E_BADPARAMCOUNT = detail::from_bits(0x8002000Eu);
inline constexpr HRESULT DISP_E_PARAMNOTOPTIONAL = detail::from_bits(0x8002000Fu);

/// The engine's failure statuses: severity error, facility "interface", code 0x200 plus the
/// identifier of the string-table entry that names the kind of failure.
constexpr HRESULT engine_status(std::uint32_t string_id) noexcept {
    return MAKE_HRESULT(SEVERITY_ERROR, FACILITY_ITF, 0x200u + string_id);
}
inline constexpr HRESULT E_TARN_UNINITIALISED_VARIANT = engine_status(114);  // 0x80040272
inline constexpr HRESULT E_TARN_VARIANT_ACCESS = engine_status(115);         // 0x80040273
inline constexpr HRESULT E_TARN_FREEING_MEMORY = engine_status(116);         // 0x80040274
inline constexpr HRESULT E_TARN_NUMERICAL_ROUTINE = engine_status(117);      // 0x80040275
inline constexpr HRESULT E_TARN_SET_PROPERTY_DATA = engine_status(118);      // 0x80040276
inline constexpr HRESULT E_TARN_SET_COMPONENT_DATA = engine_status(119);     // 0x80040277
inline constexpr HRESULT E_TARN_PROPERTY_PACKAGE = engine_status(120);       // 0x80040278
inline constexpr HRESULT E_TARN_AZEOTROPE_SEARCH = engine_status(121);       // 0x80040279
inline constexpr HRESULT E_TARN_UNHANDLED_EXCEPTION = engine_status(122);    // 0x8004027A
inline constexpr HRESULT E_TARN_INSTANTIATION = engine_status(124);          // 0x8004027C
inline constexpr HRESULT E_TARN_IDX_VECTOR = engine_status(125);             // 0x8004027D
inline constexpr HRESULT E_TARN_CALC_EQUILIBRIUM = engine_status(126);       // 0x8004027E
inline constexpr HRESULT E_TARN_WRITING_FILE = engine_status(127);           // 0x8004027F
/// "PropertyPackage not initialized" of the property package object.
inline constexpr HRESULT E_TARN_PROPERTY_PACKAGE_NOT_INITIALIZED = detail::from_bits(0x80044005u);
/// The azeotrope search's failure of its numerical routine.
inline constexpr HRESULT E_TARN_AZEOTROPE_ROUTINE = detail::from_bits(0x80044004u);

static_assert(hresult_bits(E_TARN_UNINITIALISED_VARIANT) == 0x80040272u);
static_assert(hresult_bits(E_TARN_WRITING_FILE) == 0x8004027Fu);
static_assert(FAILED(E_FAIL) && SUCCEEDED(S_FALSE));

}  // namespace platform
