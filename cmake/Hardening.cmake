# Debian's hardening for the release build, the one that is packaged: checked buffer functions where the
# optimiser can see sizes, and stack protection; for every build, relocations resolved and made
# read-only at start-up.
add_compile_options("$<$<CONFIG:Release>:-U_FORTIFY_SOURCE;-D_FORTIFY_SOURCE=2;-fstack-protector-strong>")
add_link_options(LINKER:-z,relro LINKER:-z,now)
