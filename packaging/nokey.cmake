# Read by cpack. The Debian package's updates come through the package manager: a build that
# carries an update key would offer downloads that the package manager knows nothing of.
if(CPACK_RTCP_UPDATE_PUBLIC_KEY)
    message(FATAL_ERROR "The Debian package is built without RTCP_UPDATE_PUBLIC_KEY; configure with -DRTCP_UPDATE_PUBLIC_KEY=")
endif()
