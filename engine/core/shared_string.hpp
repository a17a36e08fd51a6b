#pragma once
/// A reference-counted text kept in its wide (automation) form, whose narrow (UTF-8) form is
/// made once, on first request. Copies share one body; the last one frees both forms. Used for
/// names that outlive a call (the trace file name, option-set names).
#include <memory>
#include <mutex>
#include <string>

#include "platform/bstr.hpp"

namespace engine::core {

class SharedString {
public:
    /// Holds nothing.
    SharedString() noexcept = default;
    /// A copy of `text` (null counts as empty). Throws std::bad_alloc when out of memory.
    explicit SharedString(const platform::OLECHAR* text);
    explicit SharedString(std::u16string_view text);

    bool has_value() const noexcept { return body_ != nullptr; }
    /// The wide form (null when nothing is held). The pointer identifies the stored copy.
    platform::BSTR wide() const noexcept { return body_ ? body_->wide.get() : nullptr; }
    /// The narrow form, converted on the first call ("" when nothing is held).
    const std::string& narrow() const;
    /// Number of holders of this text (0 when nothing is held).
    long use_count() const noexcept { return body_.use_count(); }
    void reset() noexcept { body_.reset(); }

private:
    struct Body {
        platform::CComBSTR wide;
        mutable std::once_flag narrowed;
        mutable std::string narrow;
    };
    std::shared_ptr<const Body> body_;
};

}  // namespace engine::core
