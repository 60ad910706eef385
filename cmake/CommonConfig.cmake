# One interface target carries the build settings every target shares, so no
# target can forget them.
add_library(vt_common INTERFACE)
target_compile_features(vt_common INTERFACE cxx_std_20)
set(CMAKE_CXX_EXTENSIONS OFF)

target_compile_options(vt_common INTERFACE
    $<$<CXX_COMPILER_ID:GNU,Clang>:-Wall -Wextra -Wpedantic -Wno-unused-parameter>
    $<$<CXX_COMPILER_ID:MSVC>:/W4 /utf-8>)

# Strings from 8-bit literals must be spelled out: every file we read may be in
# a legacy code page, so an accidental conversion is a bug waiting to happen.
target_compile_definitions(vt_common INTERFACE
    QT_NO_CAST_FROM_ASCII
    QT_NO_CAST_TO_ASCII
    QT_NO_CAST_FROM_BYTEARRAY
    QT_NO_URL_CAST_FROM_STRING
    QT_NO_NARROWING_CONVERSIONS_IN_CONNECT
    QT_NO_FOREACH)

if(VT_FUZZ)
    target_compile_options(vt_common INTERFACE
        -fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer)
    target_link_options(vt_common INTERFACE -fsanitize=address,undefined)
endif()

# The sanitizer build (scripts/test --sanitize): the whole program and its tests with
# AddressSanitizer and UndefinedBehaviorSanitizer; any finding fails the test. Lean
# on purpose (-O1, no debug info) to keep it within the CI's time.
option(VT_SANITIZE "Build with -fsanitize=address,undefined" OFF)
if(VT_SANITIZE AND NOT VT_FUZZ)
    target_compile_options(vt_common INTERFACE
        -fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer)
    target_link_options(vt_common INTERFACE -fsanitize=address,undefined)
    set(CMAKE_CXX_FLAGS_SANITIZE "-O1" CACHE STRING "Flags of the sanitizer build")
    set(CMAKE_EXE_LINKER_FLAGS_SANITIZE "" CACHE STRING "Link flags of the sanitizer build")
endif()

# The program reads files others made: bounds-checked library calls and a read-only
# relocation table make a fault in it harder to turn into an attack. Fortified calls
# need the optimiser, and the sanitizer build checks more than they do; the linking
# is the same in every build of the program, so the package check holds for each.
if(NOT VT_FUZZ AND CMAKE_CXX_COMPILER_ID MATCHES "GNU|Clang")
    target_link_options(vt_common INTERFACE -Wl,-z,relro -Wl,-z,now)
    if(NOT VT_SANITIZE)
        target_compile_options(vt_common INTERFACE
            $<$<CONFIG:Release,RelWithDebInfo,MinSizeRel>:-U_FORTIFY_SOURCE -D_FORTIFY_SOURCE=2>
            -fstack-protector-strong)
    endif()
endif()
