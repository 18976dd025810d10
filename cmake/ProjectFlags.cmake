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

# The links of a library and of all it links, of ours only: what its code may use.
function(rtcp_linked_closure library out)
    set(seen "")
    get_target_property(pending ${library} LINK_LIBRARIES)
    if(NOT pending)
        set(pending "")
    endif()
    while(pending)
        list(POP_FRONT pending current)
        string(REGEX REPLACE "^\\$<LINK_ONLY:(.*)>$" "\\1" current "${current}")
        if(current IN_LIST seen OR NOT TARGET ${current} OR current MATCHES "::")
            continue()
        endif()
        list(APPEND seen ${current})
        get_target_property(links ${current} INTERFACE_LINK_LIBRARIES)
        if(links)
            list(APPEND pending ${links})
        endif()
    endwhile()
    set(${out} ${seen} PARENT_SCOPE)
endfunction()

# A library includes a header of ours ("folder/name.h") only from itself or from a library it
# links, directly or through another. With one include root for all, an include past the links
# compiles anyway, and the layering it breaks shows only when someone links the library alone.
function(rtcp_check_include_layering)
    get_property(libraries GLOBAL PROPERTY RTCP_LIBRARIES)
    # Who owns each file of ours, and each folder (a folder may hold two libraries, as a logic
    # library and its widgets beside it).
    set(files "")
    foreach(library IN LISTS libraries)
        get_target_property(dir ${library} SOURCE_DIR)
        get_target_property(sources ${library} SOURCES)
        foreach(source IN LISTS sources)
            cmake_path(ABSOLUTE_PATH source BASE_DIRECTORY ${dir} OUTPUT_VARIABLE path)
            cmake_path(IS_PREFIX PROJECT_BINARY_DIR "${path}" NORMALIZE generated)
            if(generated OR NOT EXISTS "${path}")
                continue()
            endif()
            cmake_path(RELATIVE_PATH path BASE_DIRECTORY ${PROJECT_SOURCE_DIR} OUTPUT_VARIABLE relative)
            cmake_path(GET relative PARENT_PATH folder)
            set(file_owner_${relative} ${library})
            list(APPEND folder_owners_${folder} ${library})
            list(APPEND files_${library} ${relative})
        endforeach()
    endforeach()
    set(violations "")
    foreach(library IN LISTS libraries)
        rtcp_linked_closure(${library} allowed)
        list(APPEND allowed ${library})
        foreach(relative IN LISTS files_${library})
            file(STRINGS "${PROJECT_SOURCE_DIR}/${relative}" includes REGEX "^[ \t]*#[ \t]*include[ \t]*\"[^\"]+/[^\"]+\"")
            foreach(line IN LISTS includes)
                string(REGEX REPLACE "^[^\"]*\"([^\"]+)\".*$" "\\1" header "${line}")
                if(DEFINED file_owner_${header})
                    set(owners ${file_owner_${header}})
                else()
                    cmake_path(GET header PARENT_PATH folder)
                    set(owners ${folder_owners_${folder}})
                endif()
                if(NOT owners)
                    continue() # not one of our libraries' folders
                endif()
                set(reached FALSE)
                foreach(owner IN LISTS owners)
                    if(owner IN_LIST allowed)
                        set(reached TRUE)
                    endif()
                endforeach()
                if(NOT reached)
                    list(JOIN owners " or " owner_text)
                    list(APPEND violations "  ${relative} includes \"${header}\" of ${owner_text}, which ${library} does not link")
                endif()
            endforeach()
        endforeach()
    endforeach()
    if(violations)
        list(JOIN violations "\n" text)
        message(FATAL_ERROR "Includes past the links:\n${text}")
    endif()
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
