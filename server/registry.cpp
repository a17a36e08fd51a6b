#include "server/registry.hpp"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <sstream>

namespace server {

namespace {

constexpr std::string_view kHeader = "TARNDistil registry 1";

char ascii_lower(char c) noexcept {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

/// Orders names ignoring ASCII case, as registry names compare.
struct NoCaseLess {
    using is_transparent = void;
    bool operator()(std::string_view a, std::string_view b) const noexcept {
        const std::size_t n = std::min(a.size(), b.size());
        for (std::size_t i = 0; i < n; ++i) {
            const char x = ascii_lower(a[i]), y = ascii_lower(b[i]);
            if (x != y) { return static_cast<unsigned char>(x) < static_cast<unsigned char>(y); }
        }
        return a.size() < b.size();
    }
};

struct RootName {
    std::string_view name;
    std::string_view short_name;
};
constexpr std::array<RootName, 4> kRoots{{
    {"HKEY_CLASSES_ROOT", "HKCR"},
    {"HKEY_CURRENT_USER", "HKCU"},
    {"HKEY_LOCAL_MACHINE", "HKLM"},
    {"HKEY_USERS", "HKU"},
}};

bool same(std::string_view a, std::string_view b) noexcept {
    return !NoCaseLess{}(a, b) && !NoCaseLess{}(b, a);
}

/// A key or value name that can be stored: not empty for keys, no backslash in keys, no
/// control characters (they would break the file's line structure).
void check_name(std::string_view name, bool key) {
    if (key && name.empty()) { throw RegistryError("empty key name"); }
    for (const char c : name) {
        if ((key && c == '\\') || static_cast<unsigned char>(c) < 0x20 || c == 0x7f) {
            throw RegistryError("invalid character in " + std::string(key ? "key" : "value") +
                                " name '" + std::string(name) + "'");
        }
    }
}

/// The components of a path, the first one the root's long name.
std::vector<std::string> split_path(std::string_view path) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    while (true) {
        const std::size_t end = path.find('\\', start);
        parts.emplace_back(path.substr(start, end == std::string_view::npos ? end : end - start));
        if (end == std::string_view::npos) { break; }
        start = end + 1;
    }
    bool root_found = false;
    for (const RootName& r : kRoots) {
        if (same(parts.front(), r.name) || same(parts.front(), r.short_name)) {
            parts.front() = std::string(r.name);
            root_found = true;
            break;
        }
    }
    if (!root_found) {
        throw RegistryError("registry path '" + std::string(path) +
                            "' does not start with a root key");
    }
    for (std::size_t i = 1; i < parts.size(); ++i) { check_name(parts[i], true); }
    return parts;
}

std::string quote(std::string_view text) {
    std::string out = "\"";
    for (const char c : text) {
        switch (c) {
            case '\\':
                out += "\\\\";
                break;
            case '"':
                out += "\\\"";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\t':
                out += "\\t";
                break;
            default:
                if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) {
                    static constexpr char kHex[] = "0123456789abcdef";
                    const auto u = static_cast<unsigned char>(c);
                    out += "\\x";
                    out += kHex[u >> 4];
                    out += kHex[u & 0xf];
                } else {
                    out += c;
                }
        }
    }
    out += '"';
    return out;
}

int hex_value(char c) noexcept {
    if (c >= '0' && c <= '9') { return c - '0'; }
    if (c >= 'a' && c <= 'f') { return c - 'a' + 10; }
    if (c >= 'A' && c <= 'F') { return c - 'A' + 10; }
    return -1;
}

}  // namespace

struct Registry::Key {
    std::string name;
    std::map<std::string, std::string, NoCaseLess> values;
    std::map<std::string, std::unique_ptr<Key>, NoCaseLess> subkeys;

    Key* child(std::string_view n) const {
        const auto it = subkeys.find(n);
        return it == subkeys.end() ? nullptr : it->second.get();
    }
    Key& child_or_new(const std::string& n) {
        auto it = subkeys.find(n);
        if (it == subkeys.end()) {
            auto key = std::make_unique<Key>();
            key->name = n;
            it = subkeys.emplace(n, std::move(key)).first;
        }
        return *it->second;
    }
    std::unique_ptr<Key> clone() const {
        auto copy = std::make_unique<Key>();
        copy->name = name;
        copy->values = values;
        for (const auto& [n, k] : subkeys) { copy->subkeys.emplace(n, k->clone()); }
        return copy;
    }
    /// Depth-first, sorted: each key's own section, then its subkeys.
    template <class Visit>
    void walk(const std::string& path, Visit& visit) const {
        for (const auto& [n, k] : subkeys) {
            const std::string p = path.empty() ? k->name : path + "\\" + k->name;
            visit(p, *k);
            k->walk(p, visit);
        }
    }
};

std::filesystem::path Registry::default_location() {
    const auto env = [](const char* name) -> std::string {
        const char* v = std::getenv(name);
        return v ? std::string(v) : std::string();
    };
    if (const std::string file = env(kLocationVariable); !file.empty()) { return file; }
    if (const std::string config = env("XDG_CONFIG_HOME");
        !config.empty() && std::filesystem::path(config).is_absolute()) {
        return std::filesystem::path(config) / "tarndistil" / "registry";
    }
    if (const std::string home = env("HOME");
        !home.empty() && std::filesystem::path(home).is_absolute()) {
        return std::filesystem::path(home) / ".config" / "tarndistil" / "registry";
    }
    throw RegistryError(
        "no registry file: set TARNDISTIL_REGISTRY (or XDG_CONFIG_HOME or HOME) to name one");
}

Registry::Registry() : top_(std::make_unique<Key>()) {
    for (const RootName& r : kRoots) { top_->child_or_new(std::string(r.name)); }
}
Registry::Registry(const Registry& other) : top_(other.top_->clone()) {}
Registry& Registry::operator=(const Registry& other) {
    if (this != &other) { top_ = other.top_->clone(); }
    return *this;
}
Registry::Registry(Registry&&) noexcept = default;
Registry& Registry::operator=(Registry&&) noexcept = default;
Registry::~Registry() = default;

Registry Registry::load(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        std::error_code ec;
        if (!std::filesystem::exists(file, ec) && !ec) { return Registry(); }
        throw RegistryError(file.string() + ": cannot be read");
    }
    std::ostringstream text;
    text << in.rdbuf();
    if (in.bad()) { throw RegistryError(file.string() + ": cannot be read"); }
    return parse(text.str(), file.string());
}

Registry Registry::parse(std::string_view text, std::string_view source) {
    Registry registry;
    // A file created empty (and never written by a registration) holds no keys.
    if (text.empty()) { return registry; }
    std::string current;  // the path of the section being read
    std::size_t line_number = 0;
    bool header_seen = false;
    const auto fail = [&](std::string_view message) {
        throw RegistryError(std::string(source) + ":" + std::to_string(line_number) + ": " +
                            std::string(message));
    };
    // Reads a quoted text starting at line[pos] (the quote); pos ends after the closing quote.
    const auto read_quoted = [&](std::string_view line, std::size_t& pos) {
        if (pos >= line.size() || line[pos] != '"') { fail("expected a quoted text"); }
        std::string out;
        for (++pos; pos < line.size(); ++pos) {
            const char c = line[pos];
            if (c == '"') {
                ++pos;
                return out;
            }
            if (c != '\\') {
                out += c;
                continue;
            }
            if (++pos >= line.size()) { break; }
            switch (line[pos]) {
                case '\\':
                    out += '\\';
                    break;
                case '"':
                    out += '"';
                    break;
                case 'n':
                    out += '\n';
                    break;
                case 'r':
                    out += '\r';
                    break;
                case 't':
                    out += '\t';
                    break;
                case 'x': {
                    const int hi = pos + 1 < line.size() ? hex_value(line[pos + 1]) : -1;
                    const int lo = pos + 2 < line.size() ? hex_value(line[pos + 2]) : -1;
                    if (hi < 0 || lo < 0) { fail("bad \\x escape"); }
                    out += static_cast<char>(hi * 16 + lo);
                    pos += 2;
                    break;
                }
                default:
                    fail(std::string("unknown escape \\") + line[pos]);
            }
        }
        fail("unterminated quoted text");
        return out;
    };

    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string_view::npos) { end = text.size(); }
        std::string_view line = text.substr(start, end - start);
        start = end + 1;
        ++line_number;
        if (!line.empty() && line.back() == '\r') { line.remove_suffix(1); }
        if (!header_seen) {
            if (line != kHeader) {
                fail("not a registry file (expected '" + std::string(kHeader) + "')");
            }
            header_seen = true;
            continue;
        }
        if (line.empty() || line.front() == ';') { continue; }
        try {
            if (line.front() == '[') {
                if (line.back() != ']' || line.size() < 3) { fail("bad key line"); }
                current = std::string(line.substr(1, line.size() - 2));
                registry.create_key(current);
                continue;
            }
            if (current.empty()) { fail("a value before the first key"); }
            std::size_t pos = 0;
            std::string name;
            if (line.front() == '@') {
                pos = 1;
            } else {
                name = read_quoted(line, pos);
                if (name.empty()) { fail("empty value name (the default value is written @)"); }
            }
            if (pos >= line.size() || line[pos] != '=') { fail("expected '='"); }
            ++pos;
            const std::string data = read_quoted(line, pos);
            if (pos != line.size()) { fail("text after the value"); }
            if (registry.value(current, name)) { fail("value given twice"); }
            registry.set_value(current, name, data);
        } catch (const RegistryError& e) {
            const std::string what = e.what();
            if (what.rfind(std::string(source) + ":", 0) == 0) { throw; }
            fail(what);
        }
    }
    return registry;
}

std::string Registry::text() const {
    std::string out(kHeader);
    out += '\n';
    auto visit = [&](const std::string& path, const Key& key) {
        // The roots always exist; they are written only when they hold values.
        if (path.find('\\') == std::string::npos && key.values.empty()) { return; }
        out += '[' + path + "]\n";
        for (const auto& [name, data] : key.values) {
            out += (name.empty() ? std::string("@") : quote(name)) + '=' + quote(data) + '\n';
        }
    };
    top_->walk("", visit);
    return out;
}

void Registry::save(const std::filesystem::path& file) const {
    std::error_code ec;
    if (file.has_parent_path()) { std::filesystem::create_directories(file.parent_path(), ec); }
    const std::filesystem::path temporary = file.string() + ".new";
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        out << text();
        out.flush();
        if (!out) {
            std::filesystem::remove(temporary, ec);
            throw RegistryError(temporary.string() + ": cannot be written");
        }
    }
    std::filesystem::rename(temporary, file, ec);
    if (ec) {
        std::filesystem::remove(temporary, ec);
        throw RegistryError(file.string() + ": cannot be replaced");
    }
}

bool Registry::key_exists(std::string_view path) const {
    const Key* key = top_.get();
    for (const std::string& part : split_path(path)) {
        key = key->child(part);
        if (!key) { return false; }
    }
    return true;
}

void Registry::create_key(std::string_view path) {
    Key* key = top_.get();
    for (const std::string& part : split_path(path)) { key = &key->child_or_new(part); }
}

bool Registry::delete_tree(std::string_view path) {
    const std::vector<std::string> parts = split_path(path);
    if (parts.size() == 1) { throw RegistryError("a root key cannot be deleted"); }
    Key* parent = top_.get();
    for (std::size_t i = 0; i + 1 < parts.size(); ++i) {
        parent = parent->child(parts[i]);
        if (!parent) { return false; }
    }
    return parent->subkeys.erase(parts.back()) > 0;
}

bool Registry::key_is_empty(std::string_view path) const {
    const Key* key = top_.get();
    for (const std::string& part : split_path(path)) {
        key = key->child(part);
        if (!key) { return true; }
    }
    return key->values.empty() && key->subkeys.empty();
}

std::optional<std::string> Registry::value(std::string_view path, std::string_view name) const {
    const Key* key = top_.get();
    for (const std::string& part : split_path(path)) {
        key = key->child(part);
        if (!key) { return std::nullopt; }
    }
    const auto it = key->values.find(name);
    if (it == key->values.end()) { return std::nullopt; }
    return it->second;
}

void Registry::set_value(std::string_view path, std::string_view name, std::string_view data) {
    check_name(name, false);
    Key* key = top_.get();
    for (const std::string& part : split_path(path)) { key = &key->child_or_new(part); }
    const auto it = key->values.find(name);
    if (it != key->values.end()) {
        it->second = std::string(data);
    } else {
        key->values.emplace(std::string(name), std::string(data));
    }
}

bool Registry::delete_value(std::string_view path, std::string_view name) {
    Key* key = top_.get();
    for (const std::string& part : split_path(path)) {
        key = key->child(part);
        if (!key) { return false; }
    }
    const auto it = key->values.find(name);
    if (it == key->values.end()) { return false; }
    key->values.erase(it);
    return true;
}

std::vector<std::string> Registry::keys() const {
    std::vector<std::string> out;
    auto visit = [&](const std::string& path, const Key&) {
        if (path.find('\\') != std::string::npos) { out.push_back(path); }
    };
    top_->walk("", visit);
    return out;
}

std::vector<RegistryValue> Registry::values() const {
    std::vector<RegistryValue> out;
    auto visit = [&](const std::string& path, const Key& key) {
        for (const auto& [name, data] : key.values) { out.push_back({path, name, data}); }
    };
    top_->walk("", visit);
    return out;
}

RegistryLock::RegistryLock(const std::filesystem::path& file) {
    // The lock is taken on the file's directory, which exists as long as the registry can, so
    // that locking leaves no file of its own behind.
    const std::filesystem::path directory =
        file.has_parent_path() ? file.parent_path() : std::filesystem::path(".");
    std::error_code ec;
    std::filesystem::create_directories(directory, ec);
    fd_ = ::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd_ < 0) { throw RegistryError(directory.string() + ": " + std::strerror(errno)); }
    while (::flock(fd_, LOCK_EX) != 0) {
        if (errno != EINTR) {
            const int error = errno;
            ::close(fd_);
            fd_ = -1;
            throw RegistryError(directory.string() + ": " + std::strerror(error));
        }
    }
}

RegistryLock::~RegistryLock() {
    if (fd_ >= 0) {
        ::flock(fd_, LOCK_UN);
        ::close(fd_);
    }
}

}  // namespace server
