# Warnings as errors for every target of ours; third-party headers come in as SYSTEM includes.
function(sendwell_set_warnings target)
    target_compile_options(${target} PRIVATE -Wall -Wextra -Werror -Wpedantic -Wno-unused-parameter)
    # GCC 12 at -O3 reports std::string concatenation as overlapping memcpy (GCC bug 105329),
    # a false positive fixed in GCC 13; without this the release build fails on sound code.
    if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND CMAKE_CXX_COMPILER_VERSION VERSION_LESS 13)
        target_compile_options(${target} PRIVATE -Wno-restrict)
    endif()
endfunction()
