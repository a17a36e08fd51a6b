#include "engine/core/shared_string.hpp"

namespace engine::core {

SharedString::SharedString(const platform::OLECHAR* text)
    : SharedString(text ? std::u16string_view(text) : std::u16string_view()) {}

SharedString::SharedString(std::u16string_view text) {
    auto body = std::make_shared<Body>();
    body->wide = platform::CComBSTR(text);
    body_ = std::move(body);
}

const std::string& SharedString::narrow() const {
    static const std::string kEmpty;
    if (!body_) { return kEmpty; }
    std::call_once(body_->narrowed, [this] { body_->narrow = body_->wide.utf8(); });
    return body_->narrow;
}

}  // namespace engine::core
