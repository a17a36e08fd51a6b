#include "design/message_log.hpp"

#include "properties/equilibrium.hpp"

namespace design {

std::string message_line(std::string_view text) {
    std::string line(text.substr(0, kMessageLineWidth));
    line.resize(kMessageLineWidth, ' ');
    return line;
}

void MessageLog::line(std::string_view text) {
    std::string padded = message_line(text);
    properties::write_message_line(padded);
    lines_.push_back(std::move(padded));
}

}  // namespace design
