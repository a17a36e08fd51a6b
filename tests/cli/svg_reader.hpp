#pragma once
// Reading SVG back in the tests: an independent XML parser (expat) builds a small element tree,
// and path data is read into points. What the writer produced is judged by what a reader sees.
#include <expat.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

namespace svg_test {

struct Node {
    std::string name;
    std::map<std::string, std::string> attributes;
    std::vector<Node> children;
    std::string text;  // character data directly inside, concatenated

    std::string attribute(const std::string& key) const {
        const auto it = attributes.find(key);
        return it == attributes.end() ? std::string() : it->second;
    }
    bool has_class(const std::string& c) const {
        std::istringstream words(attribute("class"));
        std::string w;
        while (words >> w) {
            if (w == c) { return true; }
        }
        return false;
    }
    /// Every descendant (and this node) for which `keep` holds, in document order.
    void collect(const std::function<bool(const Node&)>& keep,
                 std::vector<const Node*>& out) const {
        if (keep(*this)) { out.push_back(this); }
        for (const Node& c : children) { c.collect(keep, out); }
    }
    std::vector<const Node*> all(const std::function<bool(const Node&)>& keep) const {
        std::vector<const Node*> out;
        collect(keep, out);
        return out;
    }
    const Node* by_id(const std::string& id) const {
        const auto found = all([&](const Node& n) { return n.attribute("id") == id; });
        return found.empty() ? nullptr : found.front();
    }
    /// The text of this node and its descendants.
    std::string all_text() const {
        std::string t = text;
        for (const Node& c : children) { t += c.all_text(); }
        return t;
    }
};

/// Parses a whole document; nullopt with `error` set when expat finds it not well formed.
inline std::optional<Node> parse(const std::string& document, std::string* error = nullptr) {
    struct State {
        Node root;
        std::vector<Node*> open;
    } state;
    const std::unique_ptr<XML_ParserStruct, void (*)(XML_Parser)> parser(XML_ParserCreate("UTF-8"),
                                                                         XML_ParserFree);
    XML_SetUserData(parser.get(), &state);
    XML_SetElementHandler(
        parser.get(),
        [](void* data, const XML_Char* name, const XML_Char** attributes) {
            auto& s = *static_cast<State*>(data);
            Node n;
            n.name = name;
            for (int i = 0; attributes[i]; i += 2) {
                n.attributes[attributes[i]] = attributes[i + 1];
            }
            if (s.open.empty()) {
                s.root = std::move(n);
                s.open.push_back(&s.root);
            } else {
                s.open.back()->children.push_back(std::move(n));
                s.open.push_back(&s.open.back()->children.back());
            }
        },
        [](void* data, const XML_Char*) { static_cast<State*>(data)->open.pop_back(); });
    XML_SetCharacterDataHandler(parser.get(), [](void* data, const XML_Char* s, int length) {
        auto& st = *static_cast<State*>(data);
        if (!st.open.empty()) { st.open.back()->text.append(s, static_cast<std::size_t>(length)); }
    });
    if (XML_Parse(parser.get(), document.data(), static_cast<int>(document.size()), 1) ==
        XML_STATUS_ERROR) {
        if (error) {
            *error = std::string(XML_ErrorString(XML_GetErrorCode(parser.get()))) + " at line " +
                     std::to_string(XML_GetCurrentLineNumber(parser.get()));
        }
        return std::nullopt;
    }
    return std::move(state.root);
}

struct Point {
    double x = 0.0, y = 0.0;
};

/// The sub-paths of path data made of absolute M, L and Z commands; nullopt for anything else
/// (the writer uses nothing else, so anything else is a fault worth seeing).
inline std::optional<std::vector<std::vector<Point>>> path_points(const std::string& d) {
    std::vector<std::vector<Point>> paths;
    std::istringstream in(d);
    char command = 0;
    while (in >> std::ws && in.peek() != EOF) {
        const int c = in.peek();
        if (c == 'M' || c == 'L' || c == 'Z') {
            command = static_cast<char>(in.get());
            if (command == 'Z') { continue; }
        } else if (!(std::isdigit(c) || c == '-' || c == '.')) {
            return std::nullopt;
        }
        Point p;
        if (!(in >> p.x >> p.y) || command == 0 || command == 'Z') { return std::nullopt; }
        if (command == 'M' || paths.empty()) { paths.emplace_back(); }
        paths.back().push_back(p);
        command = command == 'M' ? 'L' : command;  // implicit lines after a move
    }
    return paths;
}

/// The (x, y) of a "translate(x y)" transform.
inline std::optional<Point> translation(const std::string& transform) {
    Point p;
    if (std::sscanf(transform.c_str(), "translate(%lf %lf)", &p.x, &p.y) != 2) {
        return std::nullopt;
    }
    return p;
}

/// Where a composition (top, left, right) belongs on the page: the barycentric combination of
/// the corners the picture itself declares.
inline Point place(const std::array<double, 3>& x, Point top, Point left, Point right) {
    return {x[0] * top.x + x[1] * left.x + x[2] * right.x,
            x[0] * top.y + x[1] * left.y + x[2] * right.y};
}

/// How far [px] a point lies outside a triangle: the largest distance beyond the line of an
/// edge, on the side away from the opposite corner (negative inside).
inline double outside_by(Point p, Point a, Point b, Point c) {
    const std::array<std::array<Point, 3>, 3> edges{{{a, b, c}, {b, c, a}, {c, a, b}}};
    double worst = -1e300;
    for (const auto& [u, v, w] : edges) {
        const double ex = v.x - u.x, ey = v.y - u.y, len = std::hypot(ex, ey);
        const double side_p = (ex * (p.y - u.y) - ey * (p.x - u.x)) / len;
        const double side_w = (ex * (w.y - u.y) - ey * (w.x - u.x)) / len;
        worst = std::max(worst, side_w > 0 ? -side_p : side_p);
    }
    return worst;
}

}  // namespace svg_test
