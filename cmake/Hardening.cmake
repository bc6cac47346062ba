# Debian's hardening for every target of ours: checked buffer functions where the optimiser can see sizes
# (not under the sanitizers, which check the same calls themselves), stack protection, and relocations
# resolved and made read-only at start-up.
if(NOT SENDWELL_SANITIZE)
    add_compile_options("$<$<CONFIG:Release,RelWithDebInfo>:-U_FORTIFY_SOURCE;-D_FORTIFY_SOURCE=2>")
endif()
add_compile_options(-fstack-protector-strong)
add_link_options(LINKER:-z,relro LINKER:-z,now)
