#pragma once
/// One use of the engine by the command line: a root object with its property package,
/// distillation map and azeotrope search, a work directory for the host's files, the problem (a
/// file, or one written from databank ids and a method) opened through the root object, and the
/// message boxes the package shows, kept to explain a failure.
#include <filesystem>
#include <string>
#include <vector>

#include "engine/interfaces.hpp"
#include "platform/automation.hpp"

namespace cli {

/// Where the problem comes from.
struct ProblemSource {
    std::string file;             ///< a problem-definition file; empty: build one
    std::string components;       ///< "ID,ID,...": databank ids (without a file), or a selection
    std::string method;           ///< IDEAL, WILSON, NRTL, UNIQUAC or UNIFAC (without a file)
    std::string work_dir;         ///< the host's history and report files go here; empty: a
                                  ///< private directory, removed at the end
    bool whole_databank = false;  ///< with no file and no ids: every databank component
};

/// One component of the open problem.
struct Component {
    long index = 0;  ///< host index (1-based)
    std::string id, name;
    double molar_mass = 0.0;  ///< [kg/kmol]
};

class Session {
public:
    /// Opens the problem; throws InputError (bad ids or method) or OpenError.
    explicit Session(const ProblemSource& source);
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;
    ~Session();

    properties::IPropertyPackage* package() const noexcept { return package_.get(); }
    /// The root object's distillation map and azeotrope search.
    engine::IDistillationMap* map() const noexcept { return map_.get(); }
    engine::IAzeotropeSearch* search() const noexcept { return search_.get(); }
    /// What was opened, for headings: the file name, "databank components" or "the databank".
    const std::string& description() const noexcept { return description_; }
    /// Every component of the problem, in host order.
    const std::vector<Component>& components() const noexcept { return components_; }
    /// The components selected with --components (all of them when none were named).
    std::vector<Component> selected() const;
    /// The option-set names of the problem.
    std::vector<std::string> option_sets() const;
    /// The option set the problem was built with (databank problems), else "".
    const std::string& built_option_set() const noexcept { return built_option_set_; }

private:
    void open(const std::string& file);

    /// The work directory, removed at the end when it was made here. A member of its own so
    /// that a constructor that fails half-way still removes it.
    struct WorkDirectory {
        std::filesystem::path path;
        bool remove = false;
        WorkDirectory() = default;
        WorkDirectory(const WorkDirectory&) = delete;
        WorkDirectory& operator=(const WorkDirectory&) = delete;
        ~WorkDirectory();
    };
    /// Collects the message boxes while the session lives, and puts the previous sink back.
    struct MessageBoxes {
        std::vector<std::string> texts;
        platform::MessageSink previous;
        MessageBoxes();
        MessageBoxes(const MessageBoxes&) = delete;
        MessageBoxes& operator=(const MessageBoxes&) = delete;
        ~MessageBoxes();
    };

    WorkDirectory work_dir_;
    MessageBoxes boxes_;
    std::string description_;
    std::string built_option_set_;
    bool built_ = false;
    std::vector<std::string> selection_;
    std::vector<Component> components_;
    // Released before the above, the root object last.
    platform::CComPtr<engine::IDistil> root_;
    platform::CComPtr<properties::IPropertyPackage> package_;
    platform::CComPtr<engine::IDistillationMap> map_;
    platform::CComPtr<engine::IAzeotropeSearch> search_;
};

/// The problem could not be opened; the message says why in one line.
class OpenError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

/// The ids of the shipped databank, in databank order.
const std::vector<std::string>& databank_ids();

}  // namespace cli
