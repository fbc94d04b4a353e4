# The package's build takes the hardening flags Debian builds its own packages with
# (dpkg-buildflags with hardening=+all: fortify, stack protector, format security, RELRO with
# BIND_NOW; PIE is the compiler's default): the program loads pages from the open web. Only
# where asked, by scripts/package: debug, test and benchmark builds keep their flags.
option(LEXHAUL_HARDENING "Build with the hardening flags of dpkg-buildflags" OFF)
if(LEXHAUL_HARDENING)
    find_program(DPKG_BUILDFLAGS dpkg-buildflags REQUIRED)
    foreach(kind CPPFLAGS CXXFLAGS LDFLAGS)
        # Optimisation and debug information stay the build type's.
        execute_process(
            COMMAND ${CMAKE_COMMAND} -E env DEB_BUILD_MAINT_OPTIONS=hardening=+all
                    "DEB_CXXFLAGS_MAINT_STRIP=-g -O2" ${DPKG_BUILDFLAGS} --get ${kind}
            WORKING_DIRECTORY ${PROJECT_SOURCE_DIR}
            OUTPUT_VARIABLE ${kind} OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
    endforeach()
    # Every object and the program, as Debian's builds pass them.
    string(APPEND CMAKE_CXX_FLAGS " ${CPPFLAGS} ${CXXFLAGS}")
    string(APPEND CMAKE_EXE_LINKER_FLAGS " ${LDFLAGS}")
endif()
