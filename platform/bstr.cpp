#include "platform/bstr.hpp"

#include <cstdlib>
#include <cstring>
#include <new>

namespace platform {
namespace {

// Layout: [uint32 byte count][characters...][two zero bytes (three for an odd byte count)].
constexpr std::size_t kPrefix = sizeof(std::uint32_t);
constexpr std::uint64_t kMaxBytes = 0xFFFFFFFFull - 16;

BSTR allocate_bytes(std::uint64_t bytes) noexcept {
    if (bytes > kMaxBytes) { return nullptr; }
    auto* block = static_cast<char*>(std::malloc(kPrefix + bytes + 3));
    if (!block) { return nullptr; }
    const auto count = static_cast<std::uint32_t>(bytes);
    std::memcpy(block, &count, kPrefix);
    std::memset(block + kPrefix + bytes, 0, 3);
    return reinterpret_cast<BSTR>(block + kPrefix);
}

char* block_of(BSTR text) noexcept { return reinterpret_cast<char*>(text) - kPrefix; }
const char* block_of(const OLECHAR* text) noexcept {
    return reinterpret_cast<const char*>(text) - kPrefix;
}

constexpr char32_t kReplacement = 0xFFFD;

void append_utf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out.push_back(static_cast<char>(c));
    } else if (c < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (c >> 6)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (c >> 12)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (c >> 18)));
        out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
}

void append_utf16(std::u16string& out, char32_t c) {
    if (c < 0x10000) {
        out.push_back(static_cast<char16_t>(c));
    } else {
        c -= 0x10000;
        out.push_back(static_cast<char16_t>(0xD800 + (c >> 10)));
        out.push_back(static_cast<char16_t>(0xDC00 + (c & 0x3FF)));
    }
}

}  // namespace

BSTR SysAllocString(const OLECHAR* text) noexcept {
    if (!text) { return nullptr; }
    return SysAllocStringLen(text, static_cast<UINT>(std::char_traits<char16_t>::length(text)));
}

BSTR SysAllocStringLen(const OLECHAR* text, UINT length) noexcept {
    const std::uint64_t bytes = std::uint64_t{length} * sizeof(OLECHAR);
    BSTR s = allocate_bytes(bytes);
    if (!s) { return nullptr; }
    if (text) {
        std::memcpy(s, text, bytes);
    } else {
        std::memset(s, 0, bytes);
    }
    return s;
}

BSTR SysAllocStringByteLen(const char* data, UINT bytes) noexcept {
    BSTR s = allocate_bytes(bytes);
    if (!s) { return nullptr; }
    if (data) {
        std::memcpy(s, data, bytes);
    } else {
        std::memset(s, 0, bytes);
    }
    return s;
}

void SysFreeString(BSTR text) noexcept {
    if (text) { std::free(block_of(text)); }
}

BOOL SysReAllocStringLen(BSTR* target, const OLECHAR* text, UINT length) noexcept {
    if (!target) { return 0; }
    BSTR s = SysAllocStringLen(text, length);
    if (!s) { return 0; }
    SysFreeString(*target);
    *target = s;
    return 1;
}

UINT SysStringByteLen(const OLECHAR* text) noexcept {
    if (!text) { return 0; }
    std::uint32_t bytes;
    std::memcpy(&bytes, block_of(text), kPrefix);
    return bytes;
}

UINT SysStringLen(const OLECHAR* text) noexcept {
    return SysStringByteLen(text) / static_cast<UINT>(sizeof(OLECHAR));
}

std::string to_utf8(std::u16string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char32_t c = text[i];
        if (c >= 0xD800 && c <= 0xDBFF) {
            if (i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
                append_utf8(out, 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00));
                ++i;
            } else {
                append_utf8(out, kReplacement);
            }
        } else if (c >= 0xDC00 && c <= 0xDFFF) {
            append_utf8(out, kReplacement);
        } else {
            append_utf8(out, c);
        }
    }
    return out;
}

std::u16string to_utf16(std::string_view text) {
    std::u16string out;
    out.reserve(text.size());
    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
    const std::size_t n = text.size();
    std::size_t i = 0;
    while (i < n) {
        const unsigned char b = p[i];
        if (b < 0x80) {
            out.push_back(b);
            ++i;
            continue;
        }
        // Expected sequence length and the smallest code point it may encode (rejects overlong
        // forms); lead bytes C0, C1 and F5..FF are never valid.
        std::size_t len = 0;
        char32_t c = 0, min = 0;
        if (b >= 0xC2 && b <= 0xDF) {
            len = 2, c = b & 0x1F, min = 0x80;
        } else if (b >= 0xE0 && b <= 0xEF) {
            len = 3, c = b & 0x0F, min = 0x800;
        } else if (b >= 0xF0 && b <= 0xF4) {
            len = 4, c = b & 0x07, min = 0x10000;
        }
        std::size_t used = 1;
        bool ok = len != 0;
        while (ok && used < len) {
            if (i + used >= n || (p[i + used] & 0xC0) != 0x80) {
                ok = false;
                break;
            }
            c = (c << 6) | (p[i + used] & 0x3F);
            ++used;
        }
        if (ok && (c < min || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF))) { ok = false; }
        if (ok) {
            append_utf16(out, c);
            i += len;
        } else {
            // One replacement for the lead byte and the continuation bytes read after it.
            append_utf16(out, kReplacement);
            i += used;
        }
    }
    return out;
}

std::string narrow(const OLECHAR* text) { return to_utf8(bstr_view(text)); }

BSTR SysAllocStringUtf8(std::string_view text) noexcept {
    try {
        const std::u16string wide = to_utf16(text);
        if (wide.size() > 0x7FFFFFF0u) { return nullptr; }
        return SysAllocStringLen(wide.data(), static_cast<UINT>(wide.size()));
    } catch (...) { return nullptr; }
}

namespace {
BSTR copy_or_throw(std::u16string_view text) {
    if (text.size() > 0x7FFFFFF0u) { throw std::bad_alloc(); }
    BSTR s = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
    if (!s) { throw std::bad_alloc(); }
    return s;
}
}  // namespace

CComBSTR::CComBSTR(const OLECHAR* text) {
    if (text) { str_ = copy_or_throw(std::u16string_view(text)); }
}

CComBSTR::CComBSTR(std::u16string_view text) : str_(copy_or_throw(text)) {}

CComBSTR CComBSTR::from_utf8(std::string_view text) {
    CComBSTR s;
    s.str_ = copy_or_throw(to_utf16(text));
    return s;
}

CComBSTR::CComBSTR(const CComBSTR& other) {
    if (other.str_) { str_ = copy_or_throw(other.view()); }
}

CComBSTR& CComBSTR::operator=(const CComBSTR& other) {
    if (this != &other) {
        BSTR copy = other.str_ ? copy_or_throw(other.view()) : nullptr;
        SysFreeString(str_);
        str_ = copy;
    }
    return *this;
}

CComBSTR& CComBSTR::operator=(CComBSTR&& other) noexcept {
    if (this != &other) {
        SysFreeString(str_);
        str_ = std::exchange(other.str_, nullptr);
    }
    return *this;
}

BSTR CComBSTR::Copy() const { return str_ ? copy_or_throw(view()) : nullptr; }

void CComBSTR::Attach(BSTR text) noexcept {
    if (text != str_) {
        SysFreeString(str_);
        str_ = text;
    }
}

BSTR* CComBSTR::out() noexcept {
    Empty();
    return &str_;
}

void CComBSTR::Empty() noexcept {
    SysFreeString(str_);
    str_ = nullptr;
}

}  // namespace platform
