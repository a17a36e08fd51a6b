#pragma once
/// The registrar: runs registry scripts, the text resources in which an in-process server says
/// what its registration writes, against a Registry.
///
/// Script language:
///
///     HKCR                                  a root key (HKCR, HKCU, HKLM, HKU or a long name)
///     {
///         Name = s 'text'                   a key with its default value (created if missing)
///         {                                 its subkeys and values
///             val Setting = s 'text'        a named value of the enclosing key
///             Empty                         a key without a value
///         }
///         NoRemove Shared                   never removed by unregistration (its content is)
///         {
///             ForceRemove {guid} = s 'text' removed whole and written anew by registration,
///         }                                 removed whole by unregistration
///     }
///
/// Names are bare words (anything but blanks, '=' and quotes; '{' and '}' alone are blocks) or
/// texts in single quotes; a quote inside a text is written twice. Keywords (val, NoRemove,
/// ForceRemove, s) ignore case. Only string values (`s`) exist. Replacement variables %NAME% are
/// replaced in names and texts ("%%" is a percent sign); an unknown one is an error.
///
/// Registration creates every key, (re)writes every value and first deletes ForceRemove keys.
/// Unregistration removes exactly what registration wrote: ForceRemove keys whole; the values a
/// script names; then every key that is left empty, except NoRemove keys. A key someone else
/// added to stays, and so do its parents.
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>

#include "server/registry.hpp"

namespace server {

/// A script that cannot be read or run, with the script's name and line.
class ScriptError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct ReplacementVariable {
    std::string_view name;
    std::string value;
};

enum class RegistrarAction { register_keys, unregister_keys };

/// Parses the whole script (a syntax error changes nothing), then registers or unregisters it in
/// `registry`. `script_name` names the script in error messages.
void run_registry_script(Registry& registry,
                         std::string_view script,
                         std::string_view script_name,
                         std::span<const ReplacementVariable> variables,
                         RegistrarAction action);

}  // namespace server
