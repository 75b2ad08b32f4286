# tarn_add_test(NAME <target> SOURCES <files...> LIBS <libs...> [GUI] [LABELS <labels...>])
#
# Builds one GoogleTest executable and registers each of its test cases with CTest.
# GUI tests get a QApplication from the shared test main, the others a QCoreApplication; the
# main also sets the environment every test relies on (see tests/common/test_main.cpp). A test
# reaches the headers of the libraries it links and every header under tests/.
function(tarn_add_test)
    cmake_parse_arguments(T "GUI" "NAME" "SOURCES;LIBS;LABELS" ${ARGN})
    add_executable(${T_NAME} ${T_SOURCES})
    tarn_target_settings(${T_NAME})
    tarn_test_headers(${T_NAME})
    if(T_GUI)
        target_link_libraries(${T_NAME} PRIVATE tarn_test_main_gui)
    else()
        target_link_libraries(${T_NAME} PRIVATE tarn_test_main_core)
    endif()
    target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} GTest::gtest)
    set(labels unit)
    if(T_LABELS)
        set(labels ${T_LABELS})
    endif()
    gtest_discover_tests(${T_NAME}
        DISCOVERY_MODE PRE_TEST
        DISCOVERY_TIMEOUT 30
        PROPERTIES
            LABELS "${labels}"
            TIMEOUT 120)
endfunction()
