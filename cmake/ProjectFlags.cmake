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
