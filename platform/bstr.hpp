#pragma once
/// Automation strings (BSTR): UTF-16 text preceded by its length in bytes (32 bits) and followed
/// by a zero character. A BSTR points at the first character, so it can be read as an ordinary
/// zero-terminated wide string; a null BSTR counts as the empty string everywhere.
///
/// Narrow text is UTF-8 throughout (it plays the part of the "ANSI code page"); the conversions
/// replace invalid sequences and unpaired surrogates with U+FFFD and never fail.
#include <string>
#include <string_view>
#include <utility>

#include "platform/export.hpp"
#include "platform/types.hpp"

namespace platform {

using BSTR = OLECHAR*;

/// Copy of a zero-terminated wide string; null for a null argument or when out of memory.
PLATFORM_API BSTR SysAllocString(const OLECHAR* text) noexcept;
/// String of `length` characters copied from `text`; with a null `text` the characters are
/// zero-filled. Null when out of memory or the length is beyond 32-bit byte counts.
PLATFORM_API BSTR SysAllocStringLen(const OLECHAR* text, UINT length) noexcept;
/// String of `bytes` bytes copied from `data` (any content, an odd count allowed).
PLATFORM_API BSTR SysAllocStringByteLen(const char* data, UINT bytes) noexcept;
/// Frees a string from the functions above; a null string is ignored.
PLATFORM_API void SysFreeString(BSTR text) noexcept;
/// Replaces *target by a copy of `length` characters of `text` (frees the old one).
/// Returns 0 when out of memory (then *target is unchanged).
PLATFORM_API BOOL SysReAllocStringLen(BSTR* target, const OLECHAR* text, UINT length) noexcept;
/// Length in characters (0 for null). The argument must be a BSTR: the length is read from
/// its prefix.
PLATFORM_API UINT SysStringLen(const OLECHAR* text) noexcept;
/// Length in bytes (0 for null).
PLATFORM_API UINT SysStringByteLen(const OLECHAR* text) noexcept;

/// UTF-16 -> UTF-8; unpaired surrogates become U+FFFD.
PLATFORM_API std::string to_utf8(std::u16string_view text);
/// UTF-8 -> UTF-16; invalid, overlong or truncated sequences become U+FFFD (one per bad byte run).
PLATFORM_API std::u16string to_utf16(std::string_view text);
/// The text of a BSTR (the whole counted length, so embedded zeros survive).
inline std::u16string_view bstr_view(const OLECHAR* text) noexcept {
    return text ? std::u16string_view(text, SysStringLen(text)) : std::u16string_view();
}
/// The narrow (UTF-8) form of a BSTR; empty for null.
PLATFORM_API std::string narrow(const OLECHAR* text);
/// A new BSTR holding narrow (UTF-8) text; null only when out of memory.
PLATFORM_API BSTR SysAllocStringUtf8(std::string_view text) noexcept;

/// Owner of one BSTR, freed on destruction. Copying copies the text and throws std::bad_alloc
/// when out of memory (the one failure that automation methods let escape).
class PLATFORM_API CComBSTR {
public:
    CComBSTR() noexcept = default;
    explicit CComBSTR(const OLECHAR* text);
    explicit CComBSTR(std::u16string_view text);
    /// From narrow (UTF-8) text.
    static CComBSTR from_utf8(std::string_view text);
    CComBSTR(const CComBSTR& other);
    CComBSTR(CComBSTR&& other) noexcept : str_(std::exchange(other.str_, nullptr)) {}
    CComBSTR& operator=(const CComBSTR& other);
    CComBSTR& operator=(CComBSTR&& other) noexcept;
    ~CComBSTR() { SysFreeString(str_); }

    BSTR get() const noexcept { return str_; }
    operator BSTR() const noexcept { return str_; }  // NOLINT: passes as an [in] argument
    UINT Length() const noexcept { return SysStringLen(str_); }
    bool empty() const noexcept { return Length() == 0; }
    std::u16string_view view() const noexcept { return bstr_view(str_); }
    std::string utf8() const { return narrow(str_); }
    /// A new copy for an [out] argument; the caller owns it. Throws std::bad_alloc.
    BSTR Copy() const;
    /// Takes ownership of `text`, freeing the string held so far.
    void Attach(BSTR text) noexcept;
    /// Gives up ownership.
    BSTR Detach() noexcept { return std::exchange(str_, nullptr); }
    /// Frees the string and hands out the slot for an [out] argument.
    BSTR* out() noexcept;
    void Empty() noexcept;

    friend bool operator==(const CComBSTR& a, const CComBSTR& b) noexcept {
        return a.view() == b.view();
    }

private:
    BSTR str_ = nullptr;
};

}  // namespace platform
