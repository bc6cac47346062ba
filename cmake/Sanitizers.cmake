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
