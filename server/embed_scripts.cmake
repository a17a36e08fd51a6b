# Embeds the registry scripts (text resources) into a C++ source at build time.
#   -DSOURCE_DIR=<dir of the scripts>  -DOUTPUT=<file.cpp>
#   -DSCRIPTS=<id>=<file>,<id>=<file>,...   (commas: one COMMAND argument)
string(REPLACE "," ";" _scripts "${SCRIPTS}")
set(_rows "")
foreach(_entry IN LISTS _scripts)
    string(REGEX MATCH "^([0-9]+)=(.+)$" _match "${_entry}")
    if(NOT _match)
        message(FATAL_ERROR "bad script entry '${_entry}'")
    endif()
    set(_id ${CMAKE_MATCH_1})
    set(_file ${CMAKE_MATCH_2})
    file(READ ${SOURCE_DIR}/${_file} _text)
    string(FIND "${_text}" ")tarnrgs\"" _clash)
    if(NOT _clash EQUAL -1)
        message(FATAL_ERROR "${_file} contains the raw-string delimiter")
    endif()
    string(APPEND _rows "    {${_id}, \"${_file}\", R\"tarnrgs(${_text})tarnrgs\"},\n")
endforeach()
file(WRITE ${OUTPUT}.tmp
"// Generated at build time from the registry scripts in server/; do not edit.
#include \"server/detail/registry_scripts.hpp\"

namespace server::detail {
namespace {
constexpr RegistryScript kScripts[] = {
${_rows}};
}  // namespace

std::span<const RegistryScript> registry_scripts() noexcept { return kScripts; }

}  // namespace server::detail
")
# Only a changed text touches the output, so an unchanged script does not rebuild the module.
file(COPY_FILE ${OUTPUT}.tmp ${OUTPUT} ONLY_IF_DIFFERENT)
file(REMOVE ${OUTPUT}.tmp)
