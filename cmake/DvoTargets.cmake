# Helpers shared by the module CMakeLists files.

# dvo_add_test(<name> SOURCES ... LIBS ... [QT])
# One GoogleTest executable registered with ctest; QT tests run on the offscreen platform.
function(dvo_add_test name)
    cmake_parse_arguments(ARG "QT" "" "SOURCES;LIBS" ${ARGN})
    add_executable(${name} ${ARG_SOURCES})
    target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gtest GTest::gmock GTest::gtest_main)
    set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
    # The environment goes through `env` as a launcher: a list in ENVIRONMENT does not survive
    # the discovery script whole.
    set(launcher /usr/bin/env "DVO_TEST_TMP=${CMAKE_BINARY_DIR}/test-tmp")
    if(ARG_QT)
        list(APPEND launcher "QT_QPA_PLATFORM=offscreen")
    endif()
    set_target_properties(${name} PROPERTIES CROSSCOMPILING_EMULATOR "${launcher}")
    gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60)
endfunction()
