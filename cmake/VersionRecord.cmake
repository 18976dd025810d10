# Embeds a version record into an executable so that the program (and an updater) can read the
# version back from the file itself, the way a Windows version resource works.
#
# rtcp_embed_version_record(<target> FILE_VERSION a.b.c.d PRODUCT_VERSION a.b.c.d
#                           [FLAGS n] [STRINGS key=value ...])
function(rtcp_embed_version_record target)
    cmake_parse_arguments(ARG "" "FILE_VERSION;PRODUCT_VERSION;FLAGS" "STRINGS" ${ARGN})
    if(NOT ARG_FLAGS)
        set(ARG_FLAGS 0)
    endif()
    set(out ${CMAKE_CURRENT_BINARY_DIR}/${target}_versionrecord.cpp)
    add_custom_command(OUTPUT ${out}
        COMMAND versionrecordgen ${out} ${ARG_FILE_VERSION} ${ARG_PRODUCT_VERSION} ${ARG_FLAGS} ${ARG_STRINGS}
        DEPENDS versionrecordgen
        COMMENT "Version record ${ARG_FILE_VERSION} for ${target}"
        VERBATIM)
    target_sources(${target} PRIVATE ${out})
endfunction()
