#include "engine/core/prog_ids.hpp"

#include <mutex>
#include <vector>

#include "engine/core/class_ids.hpp"

namespace engine::core {
namespace {

struct Registration {
    platform::CLSID clsid;
    std::string prog_id;
    std::string version_independent;
};

struct ProgIdTable {
    std::mutex mutex;
    std::vector<Registration> entries;
    ProgIdTable() {
        for (const ClassIdentity& c : kEngineClasses) {
            entries.push_back(
                {c.clsid, std::string(c.prog_id), std::string(c.version_independent_prog_id)});
        }
    }
};

ProgIdTable& table() {
    static ProgIdTable t;  // built on first use: safe from any static initialiser
    return t;
}

}  // namespace

void register_prog_id(const platform::CLSID& clsid,
                      std::string prog_id,
                      std::string version_independent_prog_id) {
    auto& t = table();
    std::lock_guard lock(t.mutex);
    for (auto& e : t.entries) {
        if (e.clsid == clsid) {
            e.prog_id = std::move(prog_id);
            e.version_independent = std::move(version_independent_prog_id);
            return;
        }
    }
    t.entries.push_back({clsid, std::move(prog_id), std::move(version_independent_prog_id)});
}

void unregister_prog_id(const platform::CLSID& clsid) {
    auto& t = table();
    std::lock_guard lock(t.mutex);
    std::erase_if(t.entries, [&](const Registration& e) { return e.clsid == clsid; });
}

std::optional<std::string> prog_id_from_clsid(const platform::CLSID& clsid) {
    auto& t = table();
    std::lock_guard lock(t.mutex);
    for (const auto& e : t.entries) {
        if (e.clsid == clsid) { return e.prog_id; }
    }
    return std::nullopt;
}

std::optional<platform::CLSID> clsid_from_prog_id(std::string_view prog_id) {
    auto& t = table();
    std::lock_guard lock(t.mutex);
    for (const auto& e : t.entries) {
        if (e.prog_id == prog_id ||
            (!e.version_independent.empty() && e.version_independent == prog_id)) {
            return e.clsid;
        }
    }
    return std::nullopt;
}

}  // namespace engine::core
