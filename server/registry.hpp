#pragma once
/// A small file-backed registry of keys and string values, standing in for the system registry
/// where there is none: registration writes the classes of in-process servers here, and
/// activation (activation.hpp) finds them again.
///
/// Keys form a tree under four roots (HKEY_CLASSES_ROOT, HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE,
/// HKEY_USERS; the short forms HKCR, HKCU, HKLM and HKU are accepted in paths). A path names a
/// key with its components separated by backslashes: "HKEY_CLASSES_ROOT\CLSID\{...}". Key and
/// value names compare ignoring ASCII case and keep the case they were first written with. A key
/// holds an unnamed (default) value, named values and subkeys. Values are text (UTF-8).
///
/// The file (UTF-8 text):
///
///     TARNDistil registry 1
///     [HKEY_CLASSES_ROOT\TARNDistil.Distil]
///     @="Distil Class"
///     [HKEY_CLASSES_ROOT\CLSID\{7d25b338-...}\InprocServer32]
///     @="/opt/tarndistil/lib/libTARNDistil.so"
///     "ThreadingModel"="Apartment"
///
/// Every key below the roots has a section, empty keys included, in sorted order; `@` is the
/// default value; quoted texts escape backslash, quote and control characters (\\ \" \n \r \t
/// \xHH). Blank lines and lines starting with ';' are ignored. A file that does not follow this
/// layout is refused with its name and line, never half read.
#include <filesystem>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace server {

/// A registry file that cannot be read, parsed or written, or a path or name that cannot be
/// stored; the text names the file and line where there is one.
class RegistryError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

/// One value, for listings: the key's full path, the value's name ("" for the default) and text.
struct RegistryValue {
    std::string key;
    std::string name;
    std::string data;
    friend bool operator==(const RegistryValue&, const RegistryValue&) = default;
};

class Registry {
public:
    /// Environment variable naming the registry file.
    static constexpr const char* kLocationVariable = "TARNDISTIL_REGISTRY";
    /// The registry file of this process: $TARNDISTIL_REGISTRY, else
    /// $XDG_CONFIG_HOME/tarndistil/registry, else $HOME/.config/tarndistil/registry (relative
    /// values of the last two do not count, as the XDG rules say). RegistryError when none of
    /// them names one.
    static std::filesystem::path default_location();

    Registry();
    Registry(const Registry& other);
    Registry& operator=(const Registry& other);
    Registry(Registry&&) noexcept;
    Registry& operator=(Registry&&) noexcept;
    ~Registry();

    /// Reads a registry file; a file that does not exist is an empty registry.
    static Registry load(const std::filesystem::path& file);
    /// The registry from its text (`source` names it in error messages).
    static Registry parse(std::string_view text, std::string_view source);
    /// Writes the registry to a new file beside `file` and renames it over `file`, so that a
    /// reader never sees half a registry; creates the directory when it is missing.
    void save(const std::filesystem::path& file) const;
    /// The file's text.
    std::string text() const;

    bool key_exists(std::string_view path) const;
    /// Creates a key with any missing parents (nothing happens when it exists).
    void create_key(std::string_view path);
    /// Removes a key with everything below it; false when there was none. The roots stay.
    bool delete_tree(std::string_view path);
    /// True for a key without values and subkeys (also for one that does not exist).
    bool key_is_empty(std::string_view path) const;

    /// A value of a key; "" names the default value. Nothing when key or value is absent.
    std::optional<std::string> value(std::string_view path, std::string_view name = {}) const;
    /// Sets a value, creating the key when it is missing.
    void set_value(std::string_view path, std::string_view name, std::string_view data);
    /// Removes a value; false when there was none.
    bool delete_value(std::string_view path, std::string_view name = {});

    /// Every key below the roots, as full paths, in file order.
    std::vector<std::string> keys() const;
    /// Every value, in file order.
    std::vector<RegistryValue> values() const;

    friend bool operator==(const Registry& a, const Registry& b) { return a.text() == b.text(); }

private:
    struct Key;
    std::unique_ptr<Key> top_;
};

/// Holds an exclusive lock for changes to a registry file while it lives (a lock on the file's
/// directory, so that two registrations never interleave their reads and writes).
class RegistryLock {
public:
    explicit RegistryLock(const std::filesystem::path& file);
    RegistryLock(const RegistryLock&) = delete;
    RegistryLock& operator=(const RegistryLock&) = delete;
    ~RegistryLock();

private:
    int fd_ = -1;
};

}  // namespace server
