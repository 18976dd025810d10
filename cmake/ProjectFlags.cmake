# One INTERFACE target carries the flags every target of ours is built with.
add_library(rtcp_flags INTERFACE)
target_compile_features(rtcp_flags INTERFACE cxx_std_20)
target_compile_options(rtcp_flags INTERFACE
    -Wall -Wextra -pedantic -Wold-style-cast -Wnon-virtual-dtor -Woverloaded-virtual
    $<$<BOOL:${RTCP_WERROR}>:-Werror>)
target_compile_definitions(rtcp_flags INTERFACE
    QT_NO_CAST_FROM_ASCII
    QT_NO_CAST_TO_ASCII
    QT_NO_NARROWING_CONVERSIONS_IN_CONNECT
    QT_USE_QSTRINGBUILDER
    QT_DISABLE_DEPRECATED_BEFORE=0x060400)
target_include_directories(rtcp_flags INTERFACE ${PROJECT_SOURCE_DIR})

# rtcp_add_library(name [WIDGETS] SOURCES ... LIBS ...)
function(rtcp_add_library name)
    cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
    add_library(${name} STATIC ${ARG_SOURCES})
    target_link_libraries(${name} PUBLIC rtcp_flags ${ARG_LIBS})
endfunction()

# ASan and UBSan on everything of ours, tools and tests included. UB stops the program rather
# than printing and going on, so a test cannot pass over it. The fuzzers run under both too, and
# everything they reach is instrumented for libFuzzer's coverage.
set(RTCP_SANITIZER_FLAGS -fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
if(RTCP_SANITIZE OR RTCP_FUZZ)
    target_compile_options(rtcp_flags INTERFACE ${RTCP_SANITIZER_FLAGS})
    target_link_options(rtcp_flags INTERFACE ${RTCP_SANITIZER_FLAGS})
endif()
if(RTCP_FUZZ)
    if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
        message(FATAL_ERROR "RTCP_FUZZ needs clang++ (-DCMAKE_CXX_COMPILER=clang++): libFuzzer is clang's")
    endif()
    target_compile_options(rtcp_flags INTERFACE -fsanitize=fuzzer-no-link)
endif()

# The sanitizers' settings for every test: each finding fails the test, in the test itself and in
# every program it starts (they inherit the environment). Only leaks inside Qt and the system's
# libraries are suppressed, each with its reason in the file.
set(RTCP_SANITIZER_ENV "")
if(RTCP_SANITIZE)
    set(RTCP_SANITIZER_ENV
        "ASAN_OPTIONS=detect_leaks=1:strict_init_order=1:check_initialization_order=1:detect_stack_use_after_return=1"
        "LSAN_OPTIONS=suppressions=${PROJECT_SOURCE_DIR}/tools/sanitize/lsan.supp:print_suppressions=0"
        "UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1")
endif()
