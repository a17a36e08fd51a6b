#pragma once
/// A small SVG writer: a tree of elements with attributes and text, written as well-formed XML.
/// Names are checked when they are set and every attribute value and text is escaped when it is
/// written, so no caller builds markup by concatenating strings.
#include <iosfwd>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace cli::svg {

/// A point of the drawing [px]; y grows downwards, as SVG has it.
struct Point {
    double x = 0.0;
    double y = 0.0;
};

/// A length or coordinate as SVG text: at most two decimals, no exponent, no "-0". Throws
/// std::invalid_argument for NaN and infinities, which would make the file unreadable.
std::string number(double value);

/// `text` with the five XML special characters replaced by entities; characters XML 1.0 does
/// not allow (control characters other than tab, newline, carriage return) are dropped.
std::string escape(std::string_view text);

/// Path data ("d" attribute) built from moves, lines and closes.
class PathData {
public:
    PathData& move_to(Point p);
    PathData& line_to(Point p);
    PathData& close();
    /// A move to the first point and lines through the others; nothing for an empty span.
    PathData& polyline(std::span<const Point> points);
    bool empty() const noexcept { return text_.empty(); }
    const std::string& str() const noexcept { return text_; }

private:
    std::string text_;
};

/// One element: a name, attributes in the order they were set, then either children or text.
class Element {
public:
    /// Throws std::invalid_argument when `name` is not an XML name.
    explicit Element(std::string name);

    /// Sets (or replaces) an attribute. Throws std::invalid_argument for a bad name.
    Element& set(std::string_view name, std::string_view value);
    Element& set(std::string_view name, double value);
    /// Appends a child and returns it, for building in place.
    Element& add(Element child);
    /// Text content, written after the children.
    Element& text(std::string_view content);

    const std::string& name() const noexcept { return name_; }
    /// The value of an attribute, or nullptr.
    const std::string* attribute(std::string_view name) const noexcept;
    const std::vector<Element>& children() const noexcept { return children_; }

    /// The element and its children as indented XML.
    void write(std::ostream& out, int depth = 0) const;

private:
    std::string name_;
    std::vector<std::pair<std::string, std::string>> attributes_;
    std::vector<Element> children_;
    std::string text_;
};

/// A whole document: the XML declaration, then `root` (an "svg" element).
void write_document(std::ostream& out, const Element& root);

}  // namespace cli::svg
