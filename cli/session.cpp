#include "cli/session.hpp"

#include <fmt/format.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "cli/databank_ids.hpp"
#include "cli/quantity.hpp"
#include "engine/module.hpp"

namespace cli {
namespace {

using platform::CComBSTR;
using platform::CComVariant;

std::string upper(std::string s) {
    for (char& c : s) {
        if (c >= 'a' && c <= 'z') { c = static_cast<char>(c - 'a' + 'A'); }
    }
    return s;
}

/// An id that can stand in a problem file as written: the host's id rules (1 to 8 characters,
/// no blanks or commas), and nothing that could end the TOML string it is written into.
void check_id(const std::string& id) {
    const bool ok = !id.empty() && id.size() <= 8 && std::all_of(id.begin(), id.end(), [](char c) {
        return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
               c == '_' || c == '-' || c == '+' || c == '.';
    });
    if (!ok) {
        throw InputError(fmt::format("component id '{}': 1 to 8 letters, digits or _-+.", id));
    }
}

std::string checked_method(const std::string& method) {
    const std::string m = upper(method);
    for (const char* known : {"IDEAL", "WILSON", "NRTL", "UNIQUAC", "UNIFAC"}) {
        if (m == known) { return m; }
    }
    throw InputError(
        fmt::format("method '{}': use IDEAL, WILSON, NRTL, UNIQUAC or UNIFAC", method));
}

std::vector<std::string> strings_of(const platform::VARIANT& v) {
    std::vector<std::string> out;
    if (v.vt != (platform::VT_ARRAY | platform::VT_BSTR)) { return out; }
    const std::size_t n = platform::safe_array_element_count(v.parray);
    for (std::size_t i = 0; i < n; ++i) {
        platform::BSTR text = nullptr;
        const platform::LONG index = static_cast<platform::LONG>(i);
        platform::SafeArrayGetElement(v.parray, &index, &text);
        out.push_back(platform::narrow(text));
        platform::SysFreeString(text);
    }
    return out;
}

/// The terminal error the host wrote into its report after refusing a file ("" if none).
std::string terminal_error(const std::filesystem::path& report) {
    std::ifstream in(report);
    std::string line;
    while (std::getline(in, line)) {
        if (line == "Terminal errors:" && std::getline(in, line)) {
            const auto first = line.find_first_not_of(' ');
            return first == std::string::npos ? std::string() : line.substr(first);
        }
    }
    return {};
}

}  // namespace

const std::vector<std::string>& databank_ids() {
    static const std::vector<std::string> ids(std::begin(kDatabankIds), std::end(kDatabankIds));
    return ids;
}

Session::Session(const ProblemSource& source) {
    if (!source.file.empty() && !source.method.empty()) {
        throw InputError(
            "--method builds a problem from the databank; with a problem file, "
            "choose one of its option sets with --option-set");
    }
    std::vector<std::string> ids;
    if (!source.components.empty()) {
        ids = split_list(source.components, "--components");
        for (const std::string& id : ids) { check_id(id); }
    }
    if (source.file.empty()) {
        if (ids.empty() && !source.whole_databank) {
            throw InputError("give a problem file, or --components ID,ID,... and --method");
        }
        if (ids.empty()) { ids = databank_ids(); }
    } else {
        selection_ = ids;
    }
    const std::string method =
        source.file.empty() ? checked_method(source.method.empty() ? "IDEAL" : source.method) : "";
    if (source.file.empty() && source.method.empty() && !source.whole_databank) {
        throw InputError("--components needs --method (IDEAL, WILSON, NRTL, UNIQUAC or UNIFAC)");
    }

    // The host writes a history and a report file for every problem it opens, into the
    // directory the property package takes from "TMP".
    if (source.work_dir.empty()) {
        std::string pattern = (std::filesystem::temp_directory_path() / "distil-XXXXXX").string();
        if (!::mkdtemp(pattern.data())) { throw OpenError("cannot create a work directory"); }
        work_dir_.path = pattern;
        work_dir_.remove = true;
    } else {
        work_dir_.path = source.work_dir;
        if (!std::filesystem::is_directory(work_dir_.path)) {
            throw InputError(fmt::format("--work-dir '{}': not a directory", source.work_dir));
        }
    }
    ::setenv("TMP", work_dir_.path.c_str(), 1);

    // The root object creates the property package, the map and the azeotrope search, and
    // publishes the package for the map's own lookups.
    if (platform::FAILED(engine::create_engine_object(engine::core::CLSID_Distil,
                                                      engine::IDistil::iid, root_.out_void())) ||
        platform::FAILED(root_->get_PropertyPackage(package_.out())) || !package_ ||
        platform::FAILED(root_->get_DistillationMap(map_.out())) ||
        platform::FAILED(root_->get_AzeotropeSearch(search_.out()))) {
        throw OpenError("cannot create the engine's objects");
    }
    // The host's own default tolerance: temperatures to about 1e-8 K.
    package_->put_FlashTol(1e-10);

    if (!source.file.empty()) {
        description_ = std::filesystem::path(source.file).filename().string();
        open(source.file);
    } else {
        std::ostringstream toml;
        toml << "title = \"distil command line\"\n\n";
        for (const std::string& id : ids) { toml << "[[component]]\nid = \"" << id << "\"\n\n"; }
        // Pairs the databank lacks are estimated from UNIFAC, the host's default, so that no
        // pair is silently left ideal.
        toml << "[[option_set]]\nname = \"" << method << "\"\nmethod = \"" << method << "\"\n";
        const std::filesystem::path file = work_dir_.path / "distil.toml";
        std::ofstream(file) << toml.str();
        built_option_set_ = method;
        description_ = source.components.empty() ? "the databank" : "databank components";
        built_ = true;
        open(file.string());
    }
}

void Session::open(const std::string& file) {
    if (!std::filesystem::exists(file)) {
        throw OpenError(fmt::format("cannot open '{}': no such file", file));
    }
    const CComBSTR name = CComBSTR::from_utf8(file);
    const platform::HRESULT hr = root_->InitFromSimpdfFile(name);
    if (platform::FAILED(hr)) {
        // The host's reason is in its report; the run id names it as the package made it.
        std::string run_id =
            platform::short_file_name(std::filesystem::path(file).filename().string());
        run_id = run_id.substr(0, run_id.find_last_of('.'));
        std::string reason = terminal_error(work_dir_.path / (run_id + ".rep"));
        if (built_) {
            // The file is ours, so its name and line mean nothing to the user: keep the message
            // ("file:line: 'key': message" -> "message") without the hint about editing it.
            if (const auto key_end = reason.find("': "); key_end != std::string::npos) {
                reason.erase(0, key_end + 3);
            }
            if (const auto hint = reason.find(" (define it"); hint != std::string::npos) {
                reason.erase(hint);
            }
            throw OpenError(fmt::format("--components: {}", reason));
        }
        if (reason.empty() && !boxes_.texts.empty()) { reason = boxes_.texts.back(); }
        if (reason.empty()) {
            reason = platform::take_error_info().value_or(platform::ErrorRecord{}).description;
        }
        throw OpenError(fmt::format("cannot open '{}': {}", file, reason));
    }
    CComVariant ids, names, masses;
    if (platform::FAILED(package_->GetComponentList(&ids, &names, &masses))) {
        throw OpenError(fmt::format("cannot list the components of '{}'", file));
    }
    const std::vector<std::string> id_list = strings_of(ids), name_list = strings_of(names);
    for (std::size_t i = 0; i < id_list.size(); ++i) {
        Component c;
        c.index = static_cast<long>(i + 1);
        c.id = id_list[i];
        c.name = i < name_list.size() ? name_list[i] : "";
        const platform::LONG at = static_cast<platform::LONG>(i);
        platform::SafeArrayGetElement(masses.parray, &at, &c.molar_mass);
        components_.push_back(c);
    }
}

Session::~Session() {
    if (root_) { root_->CloseSimpdfFile(); }
    search_.Release();
    map_.Release();
    package_.Release();
    root_.Release();
}

Session::WorkDirectory::~WorkDirectory() {
    if (remove) {
        std::error_code ec;
        std::filesystem::remove_all(path, ec);
    }
}

Session::MessageBoxes::MessageBoxes()
    : previous(platform::set_message_sink([this](std::string_view text,
                                                 std::string_view,
                                                 std::uint32_t) { texts.emplace_back(text); })) {}

Session::MessageBoxes::~MessageBoxes() { platform::set_message_sink(std::move(previous)); }

std::vector<Component> Session::selected() const {
    if (selection_.empty()) { return components_; }
    std::vector<Component> out;
    for (const std::string& id : selection_) {
        const auto it = std::find_if(components_.begin(), components_.end(),
                                     [&](const Component& c) { return upper(c.id) == upper(id); });
        if (it == components_.end()) {
            throw InputError(fmt::format("component '{}' is not in {}", id, description_));
        }
        if (std::find_if(out.begin(), out.end(),
                         [&](const Component& c) { return c.index == it->index; }) != out.end()) {
            throw InputError(fmt::format("component '{}' is named twice", id));
        }
        out.push_back(*it);
    }
    return out;
}

std::vector<std::string> Session::option_sets() const {
    CComVariant methods;
    package_->GetPropMethodList(&methods);
    return strings_of(methods);
}

}  // namespace cli
