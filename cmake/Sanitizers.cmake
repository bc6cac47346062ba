# SENDWELL_SANITIZE selects sanitizers for every target: "address,undefined" or "thread".
set(SENDWELL_SANITIZE "" CACHE STRING "Sanitizers to build with (address,undefined | thread)")

if(SENDWELL_SANITIZE)
    set(_san_flags -fsanitize=${SENDWELL_SANITIZE} -fno-omit-frame-pointer -g)
    if(SENDWELL_SANITIZE MATCHES "undefined")
        list(APPEND _san_flags -fno-sanitize-recover=undefined)
    endif()
    add_compile_options(${_san_flags})
    add_link_options(-fsanitize=${SENDWELL_SANITIZE})
    message(STATUS "Sanitizers: ${SENDWELL_SANITIZE}")
endif()

# The fuzz build gives every target libFuzzer's coverage instrumentation; only the fuzz targets link
# the fuzzer's main (tests/fuzz).
if(SENDWELL_BUILD_FUZZ)
    if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
        message(FATAL_ERROR "SENDWELL_BUILD_FUZZ needs clang: -DCMAKE_CXX_COMPILER=clang++ (see scripts/fuzz.sh)")
    endif()
    add_compile_options(-fsanitize=fuzzer-no-link)
endif()
