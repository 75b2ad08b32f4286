# Run at install time (by `cmake --install` and by CPack) for a text file that names installed
# paths: configures it for the prefix being installed to, which may differ from the configured
# one (`--prefix`, or /usr in the Debian package), compresses it when asked and installs it.
#
# Set by the install rule (see tarn_install_text in TarnInstall.cmake):
#   TEXT_SOURCE        the template; @TARN_INSTALL_BINDIR@, @TARN_INSTALL_UNITDIR@,
#                      @TARN_INSTALL_MODULEDIR@, @TARN_DOC_DIR@ and @PROJECT_VERSION@ are
#                      replaced
#   TEXT_DESTINATION   the folder to install to, relative to the prefix or absolute
#   TEXT_GZIP          ON: install NAME.gz, compressed as Debian wants (gzip -9n: no name or
#                      time stamp inside, so the package is reproducible)
#   TEXT_WORK          a folder in the build tree for the configured copies
#   TARN_BINDIR, TARN_DATADIR, TARN_UNITDIR, TARN_MODULEDIR   the folders as configured,
#                      relative or absolute

foreach(folder BINDIR DATADIR UNITDIR MODULEDIR)
    cmake_path(ABSOLUTE_PATH TARN_${folder} BASE_DIRECTORY "${CMAKE_INSTALL_PREFIX}" NORMALIZE
               OUTPUT_VARIABLE TARN_INSTALL_${folder})
endforeach()
set(TARN_DOC_DIR "${TARN_INSTALL_DATADIR}/doc/tarn")

# One work folder per prefix, so that installs to two prefixes never share a file.
string(MD5 prefixKey "${CMAKE_INSTALL_PREFIX}")
cmake_path(GET TEXT_SOURCE STEM LAST_ONLY name)
set(configured "${TEXT_WORK}/${prefixKey}/${name}")
configure_file("${TEXT_SOURCE}" "${configured}" @ONLY)
if(TEXT_GZIP)
    execute_process(COMMAND gzip -9nc "${configured}" OUTPUT_FILE "${configured}.gz"
                    COMMAND_ERROR_IS_FATAL ANY)
    set(configured "${configured}.gz")
endif()
cmake_path(ABSOLUTE_PATH TEXT_DESTINATION BASE_DIRECTORY "${CMAKE_INSTALL_PREFIX}")
file(INSTALL "${configured}" DESTINATION "${TEXT_DESTINATION}")
