# Warnings as errors for every target of ours; third-party headers come in as SYSTEM includes.
function(sendwell_set_warnings target)
    target_compile_options(${target} PRIVATE -Wall -Wextra -Werror -Wpedantic -Wno-unused-parameter)
endfunction()
