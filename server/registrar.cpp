#include "server/registrar.hpp"

#include <optional>
#include <vector>

namespace server {

namespace {

enum class TokenKind { word, text, open, close, equals, end };

struct Token {
    TokenKind kind = TokenKind::end;
    std::string value;  // word or text, variables replaced
    int line = 0;
};

bool is_blank(char c) noexcept { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

bool same_word(std::string_view a, std::string_view b) noexcept {
    if (a.size() != b.size()) { return false; }
    for (std::size_t i = 0; i < a.size(); ++i) {
        const auto lower = [](char c) {
            return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
        };
        if (lower(a[i]) != lower(b[i])) { return false; }
    }
    return true;
}

class Lexer {
public:
    Lexer(std::string_view script,
          std::string_view name,
          std::span<const ReplacementVariable> variables)
        : script_(script), name_(name), variables_(variables) {}

    std::vector<Token> tokens() {
        std::vector<Token> out;
        while (true) {
            while (pos_ < script_.size() && is_blank(script_[pos_])) {
                if (script_[pos_] == '\n') { ++line_; }
                ++pos_;
            }
            if (pos_ >= script_.size()) { break; }
            const char c = script_[pos_];
            if (c == '=') {
                out.push_back({TokenKind::equals, "=", line_});
                ++pos_;
            } else if (c == '\'') {
                out.push_back({TokenKind::text, replace(quoted()), line_});
            } else {
                const std::size_t start = pos_;
                while (pos_ < script_.size() && !is_blank(script_[pos_]) && script_[pos_] != '=' &&
                       script_[pos_] != '\'') {
                    ++pos_;
                }
                const std::string_view word = script_.substr(start, pos_ - start);
                if (word == "{") {
                    out.push_back({TokenKind::open, "{", line_});
                } else if (word == "}") {
                    out.push_back({TokenKind::close, "}", line_});
                } else {
                    out.push_back({TokenKind::word, replace(word), line_});
                }
            }
        }
        out.push_back({TokenKind::end, "", line_});
        return out;
    }

    [[noreturn]] void fail(int line, std::string_view message) const {
        throw ScriptError(std::string(name_) + ":" + std::to_string(line) + ": " +
                          std::string(message));
    }

private:
    std::string quoted() {
        const int first_line = line_;
        std::string out;
        for (++pos_; pos_ < script_.size(); ++pos_) {
            const char c = script_[pos_];
            if (c == '\'') {
                if (pos_ + 1 < script_.size() && script_[pos_ + 1] == '\'') {
                    out += '\'';
                    ++pos_;
                    continue;
                }
                ++pos_;
                return out;
            }
            if (c == '\n') { ++line_; }
            out += c;
        }
        fail(first_line, "unterminated quoted text");
    }

    std::string replace(std::string_view text) const {
        std::string out;
        for (std::size_t i = 0; i < text.size(); ++i) {
            if (text[i] != '%') {
                out += text[i];
                continue;
            }
            const std::size_t end = text.find('%', i + 1);
            if (end == std::string_view::npos) { fail(line_, "unterminated replacement variable"); }
            const std::string_view name = text.substr(i + 1, end - i - 1);
            if (name.empty()) {
                out += '%';
            } else {
                bool found = false;
                for (const ReplacementVariable& v : variables_) {
                    if (v.name == name) {
                        out += v.value;
                        found = true;
                        break;
                    }
                }
                if (!found) {
                    fail(line_, "unknown replacement variable %" + std::string(name) + "%");
                }
            }
            i = end;
        }
        return out;
    }

    std::string_view script_;
    std::string_view name_;
    std::span<const ReplacementVariable> variables_;
    std::size_t pos_ = 0;
    int line_ = 1;
};

enum class Removal { normal, no_remove, force_remove };

struct Statement {
    bool is_value = false;  // `val name = s 'text'`
    Removal removal = Removal::normal;
    std::string name;
    std::optional<std::string> data;
    std::vector<Statement> children;
};

struct RootBlock {
    std::string root;
    std::vector<Statement> statements;
};

class Parser {
public:
    Parser(const Lexer& lexer, std::vector<Token> tokens)
        : lexer_(lexer), tokens_(std::move(tokens)) {}

    std::vector<RootBlock> script() {
        std::vector<RootBlock> roots;
        while (peek().kind != TokenKind::end) {
            const Token& root = take(TokenKind::word, "a root key");
            expect(TokenKind::open, "'{' after the root key");
            roots.push_back({root.value, block()});
        }
        return roots;
    }

private:
    const Token& peek() const { return tokens_[pos_]; }
    const Token& take() { return tokens_[pos_ < tokens_.size() - 1 ? pos_++ : pos_]; }
    const Token& take(TokenKind kind, std::string_view what) {
        if (peek().kind != kind) { lexer_.fail(peek().line, "expected " + std::string(what)); }
        return take();
    }
    void expect(TokenKind kind, std::string_view what) { take(kind, what); }
    bool at_word(std::string_view keyword) const {
        return peek().kind == TokenKind::word && same_word(peek().value, keyword);
    }

    std::string name(std::string_view what) {
        if (peek().kind != TokenKind::word && peek().kind != TokenKind::text) {
            lexer_.fail(peek().line, "expected " + std::string(what));
        }
        const Token& t = take();
        if (t.value.empty()) { lexer_.fail(t.line, "empty name"); }
        for (const char c : t.value) {
            if (c == '\\' || static_cast<unsigned char>(c) < 0x20 || c == 0x7f) {
                lexer_.fail(t.line, "invalid character in name '" + t.value + "'");
            }
        }
        return t.value;
    }

    std::string string_value() {
        expect(TokenKind::equals, "'='");
        const Token& type = take(TokenKind::word, "a value type");
        if (!same_word(type.value, "s")) {
            lexer_.fail(type.line, "value type '" + type.value + "' is not supported (only s)");
        }
        return take(TokenKind::text, "a quoted value").value;
    }

    /// Statements up to and with the closing brace.
    std::vector<Statement> block() {
        std::vector<Statement> statements;
        while (peek().kind != TokenKind::close) {
            if (peek().kind == TokenKind::end) { lexer_.fail(peek().line, "missing '}'"); }
            Statement s;
            if (at_word("val")) {
                take();
                s.is_value = true;
                s.name = name("a value name");
                s.data = string_value();
                statements.push_back(std::move(s));
                continue;
            }
            if (at_word("NoRemove")) {
                take();
                s.removal = Removal::no_remove;
            } else if (at_word("ForceRemove")) {
                take();
                s.removal = Removal::force_remove;
            }
            s.name = name("a key name");
            if (peek().kind == TokenKind::equals) { s.data = string_value(); }
            if (peek().kind == TokenKind::open) {
                take();
                s.children = block();
            }
            statements.push_back(std::move(s));
        }
        take();
        return statements;
    }

    const Lexer& lexer_;
    std::vector<Token> tokens_;
    std::size_t pos_ = 0;
};

void register_keys(Registry& registry,
                   const std::string& path,
                   const std::vector<Statement>& block) {
    for (const Statement& s : block) {
        if (s.is_value) {
            registry.set_value(path, s.name, *s.data);
            continue;
        }
        const std::string key = path + "\\" + s.name;
        if (s.removal == Removal::force_remove) { registry.delete_tree(key); }
        registry.create_key(key);
        if (s.data) { registry.set_value(key, "", *s.data); }
        register_keys(registry, key, s.children);
    }
}

void unregister_keys(Registry& registry,
                     const std::string& path,
                     const std::vector<Statement>& block) {
    for (const Statement& s : block) {
        if (s.is_value) {
            registry.delete_value(path, s.name);
            continue;
        }
        const std::string key = path + "\\" + s.name;
        if (!registry.key_exists(key)) { continue; }
        if (s.removal == Removal::force_remove) {
            registry.delete_tree(key);
            continue;
        }
        unregister_keys(registry, key, s.children);
        if (s.removal == Removal::no_remove) { continue; }
        if (s.data) { registry.delete_value(key, ""); }
        if (registry.key_is_empty(key)) { registry.delete_tree(key); }
    }
}

}  // namespace

void run_registry_script(Registry& registry,
                         std::string_view script,
                         std::string_view script_name,
                         std::span<const ReplacementVariable> variables,
                         RegistrarAction action) {
    Lexer lexer(script, script_name, variables);
    std::vector<Token> tokens = lexer.tokens();
    Parser parser(lexer, std::move(tokens));
    const std::vector<RootBlock> roots = parser.script();
    for (const RootBlock& root : roots) {
        // The root must be one the registry knows; it reports the unknown name.
        std::string path;
        try {
            registry.key_exists(root.root);
            path = root.root;
        } catch (const RegistryError&) {
            throw ScriptError(std::string(script_name) + ": unknown root key '" + root.root + "'");
        }
        try {
            if (action == RegistrarAction::register_keys) {
                register_keys(registry, path, root.statements);
            } else {
                unregister_keys(registry, path, root.statements);
            }
        } catch (const RegistryError& e) {
            throw ScriptError(std::string(script_name) + ": " + e.what());
        }
    }
}

}  // namespace server
