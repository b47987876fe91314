# velloran_warnings(target): the project's warning set, errors when VELLORAN_WERROR is on.
function(velloran_warnings target)
    target_compile_options(${target} PRIVATE -Wall -Wextra -Wno-missing-field-initializers
        $<$<CXX_COMPILER_ID:GNU>:-Wshadow=local>)
    if(VELLORAN_WERROR)
        target_compile_options(${target} PRIVATE -Werror)
    endif()
endfunction()
