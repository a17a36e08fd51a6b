# Warnings for our own code; third-party headers come in as system includes and stay quiet.
add_library(project_warnings INTERFACE)
target_compile_options(project_warnings INTERFACE
    $<$<COMPILE_LANGUAGE:CXX>:-Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor -Wold-style-cast
        -Wimplicit-fallthrough -Wsuggest-override>
    $<$<COMPILE_LANGUAGE:C>:-Wall -Wextra -Wpedantic>)
# Helper so that every target of ours is built with warnings as errors.
function(distil_target target)
    target_link_libraries(${target} PRIVATE project_warnings)
    target_compile_features(${target} PUBLIC cxx_std_20)
    set_target_properties(${target} PROPERTIES COMPILE_WARNING_AS_ERROR ON)
endfunction()
