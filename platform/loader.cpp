#include "platform/loader.hpp"

#include <dlfcn.h>

#include <bit>
#include <filesystem>
#include <string>
#include <system_error>

namespace platform {
namespace {

thread_local std::string t_last_error;

void remember_dl_error() {
    const char* e = dlerror();
    t_last_error = e ? e : "unknown loader failure";
}

char lower_ascii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool ends_with_dll(std::string_view name) {
    if (name.size() < 4) { return false; }
    const std::string_view ext = name.substr(name.size() - 4);
    return ext[0] == '.' && lower_ascii(ext[1]) == 'd' && lower_ascii(ext[2]) == 'l' &&
           lower_ascii(ext[3]) == 'l';
}

bool has_directory(std::string_view name) {
    return name.find_first_of("/\\") != std::string_view::npos;
}

// Any object of this runtime will do to ask the loader where the runtime lives.
const char kAnchor = 0;

// Directory of the object (shared library or executable) that holds this runtime.
std::filesystem::path own_object_directory() {
    Dl_info info{};
    if (dladdr(&kAnchor, &info) == 0 || !info.dli_fname || !*info.dli_fname) { return {}; }
    std::error_code ec;
    auto p = std::filesystem::weakly_canonical(std::filesystem::path(info.dli_fname), ec);
    return ec ? std::filesystem::path(info.dli_fname).parent_path() : p.parent_path();
}

std::filesystem::path executable_directory() {
    std::error_code ec;
    auto p = std::filesystem::read_symlink("/proc/self/exe", ec);
    return ec ? std::filesystem::path() : p.parent_path();
}

void* open_handle(const std::string& path, int flags) {
    dlerror();
    void* h = dlopen(path.c_str(), flags);
    if (!h) { remember_dl_error(); }
    return h;
}

}  // namespace

std::string library_file_name(std::string_view windows_name) {
    std::string name(windows_name);
    for (char& c : name) {
        if (c == '\\') { c = '/'; }
    }
    const auto slash = name.find_last_of('/');
    const std::string dir = slash == std::string::npos ? std::string() : name.substr(0, slash + 1);
    std::string file = slash == std::string::npos ? name : name.substr(slash + 1);
    std::string stem;
    if (ends_with_dll(file)) {
        stem = file.substr(0, file.size() - 4);
    } else if (file.find('.') == std::string::npos) {
        stem = file;
    } else if (file.back() == '.') {
        // A trailing dot means "no extension" to the Windows loader.
        stem = file.substr(0, file.size() - 1);
    } else {
        return dir + file;  // already a native name such as "libm.so.6"
    }
    for (char& c : stem) { c = lower_ascii(c); }
    return dir + "lib" + stem + ".so";
}

std::vector<std::string> library_search_paths(std::string_view windows_name) {
    const std::string file = library_file_name(windows_name);
    if (file.empty()) { return {}; }
    if (has_directory(windows_name)) { return {file}; }
    std::vector<std::string> paths;
    const auto add = [&](const std::filesystem::path& dir) {
        if (dir.empty()) { return; }
        std::string p = (dir / file).lexically_normal().string();
        for (const auto& q : paths) {
            if (q == p) { return; }
        }
        paths.push_back(std::move(p));
    };
    add(own_object_directory());
    const auto exe_dir = executable_directory();
    if (!exe_dir.empty()) { add(exe_dir.parent_path() / "lib"); }
    paths.push_back(file);
    return paths;
}

HMODULE LoadLibraryA(const char* lpLibFileName) noexcept {
    t_last_error.clear();
    if (!lpLibFileName || !*lpLibFileName) {
        t_last_error = "no library name";
        return nullptr;
    }
    try {
        for (const std::string& path : library_search_paths(lpLibFileName)) {
            // Absolute candidates that do not exist are skipped quietly; the loader's message
            // for the last candidate is the one worth keeping.
            if (path.find('/') != std::string::npos && !std::filesystem::exists(path)) { continue; }
            if (void* h = open_handle(path, RTLD_NOW | RTLD_LOCAL)) {
                t_last_error.clear();
                return static_cast<HMODULE>(h);
            }
        }
    } catch (...) { t_last_error = "out of memory while searching for a library"; }
    return nullptr;
}

FARPROC GetProcAddress(HMODULE hModule, const char* lpProcName) noexcept {
    if (!hModule || !lpProcName) { return nullptr; }
    dlerror();
    void* sym = dlsym(hModule, lpProcName);
    if (!sym) {
        remember_dl_error();
        return nullptr;
    }
    return std::bit_cast<FARPROC>(sym);
}

HMODULE GetModuleHandleA(const char* lpModuleName) noexcept {
    try {
        std::vector<std::string> candidates;
        if (lpModuleName) { candidates = library_search_paths(lpModuleName); }
        const auto probe = [](const char* path) -> HMODULE {
            void* h = dlopen(path, RTLD_NOW | RTLD_NOLOAD);
            if (!h) { return nullptr; }
            // RTLD_NOLOAD still counts a reference; give it back so that the handle stays valid
            // exactly as long as the loads that made it.
            dlclose(h);
            return static_cast<HMODULE>(h);
        };
        if (!lpModuleName) { return probe(nullptr); }
        for (const std::string& path : candidates) {
            if (HMODULE h = probe(path.c_str())) { return h; }
        }
    } catch (...) {}
    return nullptr;
}

BOOL FreeLibrary(HMODULE hLibModule) noexcept {
    if (!hLibModule) { return 0; }
    dlerror();
    if (dlclose(hLibModule) != 0) {
        remember_dl_error();
        return 0;
    }
    return 1;
}

std::string loader_last_error() { return t_last_error; }

}  // namespace platform
