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
# The hardening Debian builds its packages with: checked string and memory calls where the size
# is known (only where the optimiser runs, which they need), a stack guard, and relocations made
# read-only before the program starts.
set(rtcp_optimised $<NOT:$<CONFIG:Debug>>)
target_compile_options(rtcp_flags INTERFACE -fstack-protector-strong)
target_compile_definitions(rtcp_flags INTERFACE $<${rtcp_optimised}:_FORTIFY_SOURCE=2>)
target_link_options(rtcp_flags INTERFACE -Wl,-z,relro -Wl,-z,now)
# Stack probes, so a large frame on the stack cannot jump over the guard page into the heap, and
# control-flow protection (CET) where the processor has it; where the compiler knows them.
include(CheckCXXCompilerFlag)
foreach(flag -fstack-clash-protection -fcf-protection)
    string(MAKE_C_IDENTIFIER "RTCP_HAS${flag}" known)
    check_cxx_compiler_flag(${flag} ${known})
    if(${known})
        target_compile_options(rtcp_flags INTERFACE $<${rtcp_optimised}:${flag}>)
    endif()
endforeach()

# rtcp_add_library(name SOURCES ... LIBS ...)
function(rtcp_add_library name)
    cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
    add_library(${name} STATIC ${ARG_SOURCES})
    target_link_libraries(${name} PUBLIC rtcp_flags ${ARG_LIBS})
    set_property(GLOBAL APPEND PROPERTY RTCP_LIBRARIES ${name})
endfunction()

# Only the dialog libraries ("..._ui") and app may reach Qt Widgets, directly or through another
# library: logic that needs widgets to link cannot be tested or reused without a screen.
function(rtcp_check_widgets_layering)
    get_property(libraries GLOBAL PROPERTY RTCP_LIBRARIES)
    foreach(library IN LISTS libraries)
        if(library MATCHES "_ui$" OR library STREQUAL "app")
            continue()
        endif()
        set(seen "")
        set(pending ${library})
        while(pending)
            list(POP_FRONT pending current)
            if(current IN_LIST seen)
                continue()
            endif()
            list(APPEND seen ${current})
            if(current STREQUAL "Qt6::Widgets")
                message(FATAL_ERROR "Library '${library}' links Qt6::Widgets; only *_ui libraries and app may")
            endif()
            if(TARGET ${current} AND NOT current MATCHES "^Qt6::")
                get_target_property(links ${current} INTERFACE_LINK_LIBRARIES)
                if(links)
                    list(APPEND pending ${links})
                endif()
            endif()
        endwhile()
    endforeach()
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
