#include "cli/svg_writer.hpp"

#include <fmt/format.h>

#include <cmath>
#include <ostream>

namespace cli::svg {
namespace {

/// XML names as we use them: ASCII letters, digits and - _ . :, not starting with a digit, a
/// hyphen or a dot. (XML allows more; SVG never needs it.)
bool is_name(std::string_view name) {
    if (name.empty()) { return false; }
    const auto letter = [](char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); };
    if (!letter(name.front()) && name.front() != '_' && name.front() != ':') { return false; }
    for (const char c : name) {
        if (!letter(c) && !(c >= '0' && c <= '9') && c != '-' && c != '_' && c != '.' && c != ':') {
            return false;
        }
    }
    return true;
}

void check_name(std::string_view name, std::string_view what) {
    if (!is_name(name)) {
        throw std::invalid_argument(fmt::format("svg: '{}' is not a valid {} name", name, what));
    }
}

std::string point_text(Point p) { return number(p.x) + " " + number(p.y); }

}  // namespace

std::string number(double value) {
    if (!std::isfinite(value)) {
        throw std::invalid_argument("svg: a coordinate or length is not a finite number");
    }
    // Hundredths of a pixel are far below what any renderer shows; fixed notation keeps the
    // file free of exponents, which some SVG readers refuse in attributes.
    std::string text = fmt::format("{:.2f}", value);
    while (text.back() == '0') { text.pop_back(); }
    if (text.back() == '.') { text.pop_back(); }
    if (text == "-0") { text = "0"; }
    return text;
}

std::string escape(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        switch (c) {
            case '&':
                out += "&amp;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '"':
                out += "&quot;";
                break;
            case '\'':
                out += "&apos;";
                break;
            default:
                if (static_cast<unsigned char>(c) < 0x20 && c != '\t' && c != '\n' && c != '\r') {
                    break;  // not allowed in XML 1.0, not even as a character reference
                }
                out += c;
        }
    }
    return out;
}

PathData& PathData::move_to(Point p) {
    text_ += (text_.empty() ? "M" : " M") + point_text(p);
    return *this;
}

PathData& PathData::line_to(Point p) {
    text_ += " L" + point_text(p);
    return *this;
}

PathData& PathData::close() {
    text_ += " Z";
    return *this;
}

PathData& PathData::polyline(std::span<const Point> points) {
    for (std::size_t i = 0; i < points.size(); ++i) {
        i == 0 ? move_to(points[i]) : line_to(points[i]);
    }
    return *this;
}

Element::Element(std::string name) : name_(std::move(name)) { check_name(name_, "element"); }

Element& Element::set(std::string_view name, std::string_view value) {
    check_name(name, "attribute");
    for (auto& [key, old] : attributes_) {
        if (key == name) {
            old = value;
            return *this;
        }
    }
    attributes_.emplace_back(std::string(name), std::string(value));
    return *this;
}

Element& Element::set(std::string_view name, double value) { return set(name, number(value)); }

Element& Element::add(Element child) {
    children_.push_back(std::move(child));
    return children_.back();
}

Element& Element::text(std::string_view content) {
    text_ = content;
    return *this;
}

const std::string* Element::attribute(std::string_view name) const noexcept {
    for (const auto& [key, value] : attributes_) {
        if (key == name) { return &value; }
    }
    return nullptr;
}

void Element::write(std::ostream& out, int depth) const {
    const std::string indent(static_cast<std::size_t>(depth) * 2, ' ');
    out << indent << '<' << name_;
    for (const auto& [key, value] : attributes_) {
        out << ' ' << key << "=\"" << escape(value) << '"';
    }
    if (children_.empty() && text_.empty()) {
        out << "/>\n";
        return;
    }
    out << '>';
    if (!children_.empty()) {
        out << '\n';
        for (const Element& child : children_) { child.write(out, depth + 1); }
        if (!text_.empty()) { out << indent << "  " << escape(text_) << '\n'; }
        out << indent;
    } else {
        // Text alone stays on the line of its tags: white space inside <text> is drawn.
        out << escape(text_);
    }
    out << "</" << name_ << ">\n";
}

void write_document(std::ostream& out, const Element& root) {
    out << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
    root.write(out);
}

}  // namespace cli::svg
