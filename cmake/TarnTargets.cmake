# How every target of the project is built.
#
# tarn_add_library(<target> <sources...>)
#   A static library of the current folder. Its headers (the *.h files of this folder, not of
#   its sub-folders) are reachable by their path from the source root ("net/wsocket.h") to the
#   library itself and to whatever links it, and to nothing else: a library that includes a
#   header of a library it does not link fails to compile. Link with target_link_libraries as
#   usual; PUBLIC links make the linked library's headers reachable to users too.
#
# tarn_target_settings(<target>)
#   Warnings (errors with TARN_WERROR), the sanitizers (TARN_SANITIZE) and the fuzzer's
#   instrumentation (TARN_FUZZ) for one target. Every
#   library, program, test and benchmark of the project goes through it.
#
# tarn_module_beside(<target> <module>)
#   Places the MODULE library <module> beside the program or test <target> in the build tree,
#   where the program looks for its modules first (support/module_loader.h): a link to the
#   module's file, so that a rebuilt module is found without relinking the program.
#
# tarn_test_headers(<target>)
#   Lets a test target include any header under tests/ by its path from the root
#   ("tests/common/test_ftp_server.h").

option(TARN_WERROR "Treat compiler warnings as errors" OFF)
option(TARN_SANITIZE "Build with AddressSanitizer and UndefinedBehaviorSanitizer" OFF)
option(TARN_FUZZ "Build only the libFuzzer targets of fuzz/ (clang), with ASan and UBSan" OFF)

function(tarn_target_settings target)
    target_compile_options(${target} PRIVATE -Wall -Wextra)
    if(TARN_WERROR)
        target_compile_options(${target} PRIVATE -Werror)
    endif()
    if(TARN_SANITIZE OR TARN_FUZZ)
        # -O1 -g1 (line tables) keep the reports exact and compile in less than half the time
        # of -O2 -g under the instrumentation.
        target_compile_options(${target} PRIVATE
            -fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined
            -O1 -g1)
        target_link_options(${target} PUBLIC -fsanitize=address,undefined)
    endif()
    if(TARN_FUZZ)
        # Coverage for the fuzzer's guidance in every library; fuzz/ links the fuzzer itself.
        target_compile_options(${target} PRIVATE -fsanitize=fuzzer-no-link)
    endif()
endfunction()

# The headers of the current folder, linked one by one into include/<target>/<folder>/ in the
# build tree: a folder that shares its path with another target's folder (net/ and net/ui/)
# still exposes only its own headers. The list is checked at every build, so a new header is
# reachable without a manual re-configure.
function(tarn_export_headers target)
    file(RELATIVE_PATH folder ${PROJECT_SOURCE_DIR} ${CMAKE_CURRENT_SOURCE_DIR})
    set(root ${PROJECT_BINARY_DIR}/include/${target})
    file(GLOB headers CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.h)
    file(REMOVE_RECURSE ${root})
    file(MAKE_DIRECTORY ${root}/${folder})
    foreach(header IN LISTS headers)
        get_filename_component(name ${header} NAME)
        file(CREATE_LINK ${header} ${root}/${folder}/${name} SYMBOLIC)
    endforeach()
    target_include_directories(${target} PUBLIC ${root})
endfunction()

function(tarn_add_library target)
    add_library(${target} STATIC ${ARGN})
    tarn_export_headers(${target})
    tarn_target_settings(${target})
endfunction()

function(tarn_module_beside target module)
    add_dependencies(${target} ${module})
    add_custom_command(TARGET ${target} POST_BUILD
        COMMAND ${CMAKE_COMMAND} -E create_symlink $<TARGET_FILE:${module}>
                $<TARGET_FILE_DIR:${target}>/$<TARGET_FILE_NAME:${module}>
        VERBATIM)
endfunction()

function(tarn_test_headers target)
    set(root ${PROJECT_BINARY_DIR}/include/tarn_tests)
    if(NOT EXISTS ${root}/tests)
        file(MAKE_DIRECTORY ${root})
        file(CREATE_LINK ${PROJECT_SOURCE_DIR}/tests ${root}/tests SYMBOLIC)
    endif()
    target_include_directories(${target} PRIVATE ${root})
endfunction()
