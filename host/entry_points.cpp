// The PropServe entry points: opening and closing the problem, component and option-set
// queries, named parameters. Each takes the host state's lock for the whole call and lets no
// exception out.
#include <exception>
#include <mutex>

#include "host/detail/entry_impl.hpp"
#include "host/detail/fields.hpp"
#include "host/host_state.hpp"
#include "host/pure_component.hpp"

namespace host::entry {

namespace {

using detail::field_text;
using detail::set_field;

constexpr std::int64_t code(HostCode c) { return static_cast<std::int64_t>(c); }
constexpr std::int64_t code(FlashCode c) { return static_cast<std::int64_t>(c); }

/// The component at a 1-based index of the open problem, or null.
const PureComponent* component_at(const HostState& st, const std::int64_t* index) {
    if (index == nullptr || !st.is_open()) { return nullptr; }
    const auto& comps = st.problem()->definition().components;
    if (*index < 1 || *index > static_cast<std::int64_t>(comps.size())) { return nullptr; }
    return &comps[static_cast<std::size_t>(*index - 1)];
}

const OptionSet* option_set_at(const HostState& st, const std::int64_t* index) {
    if (index == nullptr || !st.is_open()) { return nullptr; }
    const auto& sets = st.problem()->definition().option_sets;
    if (*index < 1 || *index > static_cast<std::int64_t>(sets.size())) { return nullptr; }
    return &sets[static_cast<std::size_t>(*index - 1)];
}

bool valid_level(std::int64_t level) { return level >= 0 && level <= 8; }

}  // namespace

void callsetjmp(const char* run_id,
                const char* pdf_file,
                const char* work_dir,
                std::int64_t* status,
                std::int64_t run_id_len,
                std::int64_t pdf_file_len,
                std::int64_t work_dir_len) noexcept {
    std::int64_t result = kOpenTerminalErrors;
    try {
        HostState& st = HostState::instance();
        const std::lock_guard lock(st.mutex());
        result = st.open(field_text(run_id, run_id_len), field_text(pdf_file, pdf_file_len),
                         field_text(work_dir, work_dir_len));
    } catch (...) {
        result = kOpenTerminalErrors;  // out of memory while reading or reporting
    }
    if (status != nullptr) { *status = result; }
}

void closepdf() noexcept {
    try {
        HostState& st = HostState::instance();
        const std::lock_guard lock(st.mutex());
        st.close();
    } catch (...) {
        // Closing cannot fail in a way a caller could act on.
    }
}

void compqry(const std::int64_t* mode,
             const std::int64_t* index,
             std::int64_t* count,
             char* id,
             char* name,
             std::int64_t* origin,
             double* molar_mass,
             double* normal_boiling_point,
             char* formula,
             std::int64_t* error,
             std::int64_t id_len,
             std::int64_t name_len,
             std::int64_t formula_len) noexcept {
    std::int64_t err = code(HostCode::bad_argument);
    set_field(id, id_len, "");
    set_field(name, name_len, "");
    set_field(formula, formula_len, "");
    if (origin != nullptr) { *origin = 0; }
    if (molar_mass != nullptr) { *molar_mass = 0.0; }
    if (normal_boiling_point != nullptr) { *normal_boiling_point = 0.0; }
    try {
        HostState& st = HostState::instance();
        const std::lock_guard lock(st.mutex());
        const std::int64_t ncomp =
            st.is_open() ? static_cast<std::int64_t>(st.problem()->component_count()) : 0;
        if (count != nullptr) { *count = ncomp; }
        if (mode == nullptr || count == nullptr || (*mode != 0 && *mode != 1)) {
            err = code(HostCode::bad_argument);
        } else if (!st.is_open()) {
            err = code(HostCode::no_problem);
        } else if (*mode == 0) {
            err = 0;
        } else if (const PureComponent* c = component_at(st, index); c == nullptr) {
            err = code(HostCode::unknown_component);
        } else if (origin == nullptr || molar_mass == nullptr || normal_boiling_point == nullptr) {
            err = code(HostCode::bad_argument);
        } else {
            const std::size_t i = static_cast<std::size_t>(*index - 1);
            set_field(id, id_len, c->id);
            set_field(name, name_len, c->name);
            set_field(formula, formula_len, c->formula);
            *origin = st.problem()->definition().from_databank[i] ? 1 : 2;
            *molar_mass = c->molar_mass;
            *normal_boiling_point = c->normal_boiling_point;
            err = 0;
        }
    } catch (...) { err = code(FlashCode::internal_error); }
    if (error != nullptr) { *error = err; }
}

void lsopst(std::int64_t* count,
            char* name,
            const std::int64_t* mode,
            const std::int64_t* index,
            std::int64_t name_len) noexcept {
    set_field(name, name_len, "");
    try {
        HostState& st = HostState::instance();
        const std::lock_guard lock(st.mutex());
        if (count != nullptr) {
            *count = st.is_open() ? static_cast<std::int64_t>(st.problem()->option_set_count()) : 0;
        }
        if (mode != nullptr && *mode == 1) {
            if (const OptionSet* s = option_set_at(st, index)) {
                set_field(name, name_len, s->name);
            }
        }
    } catch (...) {
        if (count != nullptr) { *count = 0; }
    }
}

void glbops(std::int64_t* index, char* name) noexcept {
    set_field(name, 8, "");
    try {
        HostState& st = HostState::instance();
        const std::lock_guard lock(st.mutex());
        std::int64_t k = 0;
        if (st.is_open()) {
            k = static_cast<std::int64_t>(st.global_option_set()) + 1;
            set_field(name, 8, st.problem()->definition().option_sets[st.global_option_set()].name);
        }
        if (index != nullptr) { *index = k; }
    } catch (...) {
        if (index != nullptr) { *index = 0; }
    }
}

void fiopst(const char* name, std::int64_t* index) noexcept {
    if (index == nullptr) { return; }
    *index = 0;
    try {
        HostState& st = HostState::instance();
        const std::lock_guard lock(st.mutex());
        const std::string_view wanted = field_text(name, 8);
        if (st.is_open() && !wanted.empty()) {
            if (const auto k = st.problem()->find_option_set(wanted)) {
                *index = static_cast<std::int64_t>(*k) + 1;
            }
        }
    } catch (...) { *index = 0; }
}

void ppgidx(const char* id,
            std::int64_t* index,
            std::int64_t* error,
            std::int64_t id_len) noexcept {
    std::int64_t found = 0, err = code(HostCode::unknown_component);
    try {
        HostState& st = HostState::instance();
        const std::lock_guard lock(st.mutex());
        if (!st.is_open()) {
            err = code(HostCode::no_problem);
        } else if (const auto i = st.problem()->find_component(field_text(id, id_len))) {
            found = static_cast<std::int64_t>(*i) + 1;
            err = 0;
        }
    } catch (...) { err = code(FlashCode::internal_error); }
    if (index != nullptr) { *index = found; }
    if (error != nullptr) { *error = err; }
}

// ---- named parameters ---------------------------------------------------------------------

namespace {

enum class Kind { real, integer, text };

/// Every named parameter with its type and whether it can be set: the one table of names.
struct Parameter {
    std::string_view name;
    Kind kind;
    bool settable;
};
constexpr Parameter kParameters[] = {
    {"FLASHTOL", Kind::real, true},      {"MW", Kind::real, false},
    {"TB", Kind::real, false},           {"TC", Kind::real, false},
    {"PC", Kind::real, false},           {"OMEGA", Kind::real, false},
    {"TMIN", Kind::real, false},         {"TMAX", Kind::real, false},
    {"FLASHMAXIT", Kind::integer, true}, {"GLOBOPS", Kind::integer, true},
    {"HISTLVL", Kind::integer, true},    {"TERMLVL", Kind::integer, true},
    {"NCOMP", Kind::integer, false},     {"NOPSET", Kind::integer, false},
    {"PDFOPEN", Kind::integer, false},   {"MIXCACHE", Kind::integer, false},
    {"MIXBUILT", Kind::integer, false},  {"ERRMSG", Kind::text, false},
    {"RUNID", Kind::text, false},        {"PDFFILE", Kind::text, false},
    {"WORKDIR", Kind::text, false},      {"TITLE", Kind::text, false},
    {"GLOBOPS", Kind::text, true},       {"OPSNAME", Kind::text, false},
    {"OPSMETH", Kind::text, false},      {"COMPID", Kind::text, false},
    {"COMPNAME", Kind::text, false},     {"FORMULA", Kind::text, false},
    {"CAS", Kind::text, false},
};

const Parameter* find_parameter(std::string_view name, Kind kind) {
    const std::string wanted = detail::upper(name);
    for (const Parameter& p : kParameters) {
        if (p.kind == kind && p.name == wanted) { return &p; }
    }
    return nullptr;
}

/// Real-valued component constants, by name.
double component_constant(const PureComponent& c, std::string_view name) {
    if (name == "MW") { return c.molar_mass; }
    if (name == "TB") { return c.normal_boiling_point; }
    if (name == "TC") { return c.critical_temperature; }
    if (name == "PC") { return c.critical_pressure; }
    if (name == "OMEGA") { return c.acentric_factor; }
    if (name == "TMIN") { return c.vapour_pressure.T_min; }
    return c.vapour_pressure.T_max;  // TMAX
}

}  // namespace

void get_real_param(const char* name,
                    const std::int64_t* index,
                    double* value,
                    std::int64_t* error,
                    std::int64_t name_len) noexcept {
    std::int64_t err = code(HostCode::bad_argument);
    try {
        HostState& st = HostState::instance();
        const std::lock_guard lock(st.mutex());
        const Parameter* p = find_parameter(field_text(name, name_len), Kind::real);
        if (p == nullptr) {
            err = code(HostCode::unknown_parameter);
        } else if (value == nullptr) {
            err = code(HostCode::bad_argument);
        } else if (p->name == "FLASHTOL") {
            *value = st.settings().tolerance;
            err = 0;
        } else if (!st.is_open()) {
            err = code(HostCode::no_problem);
        } else if (const PureComponent* c = component_at(st, index); c == nullptr) {
            err = code(HostCode::unknown_component);
        } else {
            *value = component_constant(*c, p->name);
            err = 0;
        }
    } catch (...) { err = code(FlashCode::internal_error); }
    if (error != nullptr) { *error = err; }
}

void set_real_param(const char* name,
                    const std::int64_t* /*index*/,
                    const double* value,
                    std::int64_t* error,
                    std::int64_t name_len) noexcept {
    std::int64_t err = code(HostCode::bad_argument);
    try {
        HostState& st = HostState::instance();
        const std::lock_guard lock(st.mutex());
        const Parameter* p = find_parameter(field_text(name, name_len), Kind::real);
        if (p == nullptr) {
            err = code(HostCode::unknown_parameter);
        } else if (!p->settable) {
            err = code(HostCode::read_only_parameter);
        } else if (value == nullptr) {
            err = code(HostCode::bad_argument);
        } else if (!st.is_open()) {
            err = code(HostCode::no_problem);
        } else if (!(*value > 0.0 && *value <= 0.1)) {  // FLASHTOL; refuses NaN too
            err = code(HostCode::bad_parameter_value);
        } else {
            st.settings().tolerance = *value;
            err = 0;
        }
    } catch (...) { err = code(FlashCode::internal_error); }
    if (error != nullptr) { *error = err; }
}

void get_int_param(const char* name,
                   const std::int64_t* /*index*/,
                   std::int64_t* value,
                   std::int64_t* error,
                   std::int64_t name_len) noexcept {
    std::int64_t err = code(HostCode::bad_argument);
    try {
        HostState& st = HostState::instance();
        const std::lock_guard lock(st.mutex());
        const Parameter* p = find_parameter(field_text(name, name_len), Kind::integer);
        if (p == nullptr) {
            err = code(HostCode::unknown_parameter);
        } else if (value == nullptr) {
            err = code(HostCode::bad_argument);
        } else {
            const LoadedProblem* problem = st.problem();
            const std::string_view n = p->name;
            std::int64_t v = 0;
            if (n == "FLASHMAXIT") {
                v = st.settings().max_iterations;
            } else if (n == "GLOBOPS") {
                v = problem != nullptr ? static_cast<std::int64_t>(st.global_option_set()) + 1 : 0;
            } else if (n == "HISTLVL") {
                v = st.settings().history_level;
            } else if (n == "TERMLVL") {
                v = st.settings().terminal_level;
            } else if (n == "NCOMP") {
                v = problem != nullptr ? static_cast<std::int64_t>(problem->component_count()) : 0;
            } else if (n == "NOPSET") {
                v = problem != nullptr ? static_cast<std::int64_t>(problem->option_set_count()) : 0;
            } else if (n == "PDFOPEN") {
                v = problem != nullptr ? 1 : 0;
            } else if (n == "MIXCACHE") {
                v = static_cast<std::int64_t>(st.cache().size());
            } else {  // MIXBUILT
                v = static_cast<std::int64_t>(st.cache().builds());
            }
            *value = v;
            err = 0;
        }
    } catch (...) { err = code(FlashCode::internal_error); }
    if (error != nullptr) { *error = err; }
}

void set_int_param(const char* name,
                   const std::int64_t* /*index*/,
                   const std::int64_t* value,
                   std::int64_t* error,
                   std::int64_t name_len) noexcept {
    std::int64_t err = code(HostCode::bad_argument);
    try {
        HostState& st = HostState::instance();
        const std::lock_guard lock(st.mutex());
        const Parameter* p = find_parameter(field_text(name, name_len), Kind::integer);
        if (p == nullptr) {
            err = code(HostCode::unknown_parameter);
        } else if (!p->settable) {
            err = code(HostCode::read_only_parameter);
        } else if (value == nullptr) {
            err = code(HostCode::bad_argument);
        } else if (!st.is_open()) {
            err = code(HostCode::no_problem);
        } else if (p->name == "FLASHMAXIT") {
            err = (*value >= 1 && *value <= 100000) ? 0 : code(HostCode::bad_parameter_value);
            if (err == 0) { st.settings().max_iterations = *value; }
        } else if (p->name == "GLOBOPS") {
            const auto count = static_cast<std::int64_t>(st.problem()->option_set_count());
            err = (*value >= 1 && *value <= count) ? 0 : code(HostCode::unknown_option_set);
            if (err == 0) { st.set_global_option_set(static_cast<std::size_t>(*value - 1)); }
        } else {  // HISTLVL, TERMLVL
            err = valid_level(*value) ? 0 : code(HostCode::bad_parameter_value);
            if (err == 0) {
                (p->name == "HISTLVL" ? st.settings().history_level
                                      : st.settings().terminal_level) = *value;
            }
        }
    } catch (...) { err = code(FlashCode::internal_error); }
    if (error != nullptr) { *error = err; }
}

void get_char_param(const char* name,
                    const std::int64_t* index,
                    char* value,
                    std::int64_t* text_len,
                    std::int64_t* error,
                    std::int64_t name_len,
                    std::int64_t value_len) noexcept {
    std::int64_t err = code(HostCode::bad_argument);
    set_field(value, value_len, "");
    if (text_len != nullptr) { *text_len = 0; }
    try {
        HostState& st = HostState::instance();
        const std::lock_guard lock(st.mutex());
        const Parameter* p = find_parameter(field_text(name, name_len), Kind::text);
        const std::string_view n = p != nullptr ? p->name : std::string_view();
        std::string text;
        if (p == nullptr) {
            err = code(HostCode::unknown_parameter);
        } else if (value == nullptr) {
            err = code(HostCode::bad_argument);
        } else if (n == "ERRMSG") {
            text = st.last_error();
            err = 0;
        } else if (!st.is_open()) {
            err = code(HostCode::no_problem);
        } else if (n == "RUNID" || n == "PDFFILE" || n == "WORKDIR" || n == "TITLE" ||
                   n == "GLOBOPS") {
            const ProblemDefinition& d = st.problem()->definition();
            text = n == "RUNID"     ? st.run_id()
                   : n == "PDFFILE" ? st.file()
                   : n == "WORKDIR" ? st.work_dir()
                   : n == "TITLE"   ? d.title
                                    : d.option_sets[st.global_option_set()].name;
            err = 0;
        } else if (n == "OPSNAME" || n == "OPSMETH") {
            if (const OptionSet* s = option_set_at(st, index)) {
                text = n == "OPSNAME" ? s->name : std::string(method_name(s->method));
                err = 0;
            } else {
                err = code(HostCode::unknown_option_set);
            }
        } else if (const PureComponent* c = component_at(st, index)) {
            text = n == "COMPID"     ? c->id
                   : n == "COMPNAME" ? c->name
                   : n == "FORMULA"  ? c->formula
                                     : c->cas;
            err = 0;
        } else {
            err = code(HostCode::unknown_component);
        }
        if (err == 0) {
            if (text_len != nullptr) { *text_len = static_cast<std::int64_t>(text.size()); }
            if (!set_field(value, value_len, text)) { err = code(HostCode::text_truncated); }
        }
    } catch (...) { err = code(FlashCode::internal_error); }
    if (error != nullptr) { *error = err; }
}

void set_char_param(const char* name,
                    const std::int64_t* /*index*/,
                    const char* value,
                    std::int64_t* error,
                    std::int64_t name_len,
                    std::int64_t value_len) noexcept {
    std::int64_t err = code(HostCode::bad_argument);
    try {
        HostState& st = HostState::instance();
        const std::lock_guard lock(st.mutex());
        const Parameter* p = find_parameter(field_text(name, name_len), Kind::text);
        if (p == nullptr) {
            err = code(HostCode::unknown_parameter);
        } else if (!p->settable) {
            err = code(HostCode::read_only_parameter);
        } else if (value == nullptr) {
            err = code(HostCode::bad_argument);
        } else if (!st.is_open()) {
            err = code(HostCode::no_problem);
        } else if (const auto k = st.problem()->find_option_set(field_text(value, value_len))) {
            st.set_global_option_set(*k);  // GLOBOPS, the only text that can be set
            err = 0;
        } else {
            err = code(HostCode::unknown_option_set);
        }
    } catch (...) { err = code(FlashCode::internal_error); }
    if (error != nullptr) { *error = err; }
}

}  // namespace host::entry
