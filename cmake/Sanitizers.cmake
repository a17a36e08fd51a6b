# SANITIZERS="address;undefined" instruments every target of the build.
if(SANITIZERS)
    list(JOIN SANITIZERS "," _sanitizers)
    add_compile_options(-fsanitize=${_sanitizers} -fno-omit-frame-pointer -fno-sanitize-recover=all)
    add_link_options(-fsanitize=${_sanitizers})
endif()
