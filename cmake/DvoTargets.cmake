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

# dvo_add_library(<Name> SOURCES ... [ATTACH ...] [LIBS ...] [LINK_OPTIONS ...] [PREFIX <p>])
# One shipped library: the sources compile once into <p>_objects, which goes into lib<Name>.so
# (only what <Name>.map lists is exported; ATTACH sources, such as load hooks, belong to the
# shared library alone) and into <p>_internal, a static copy for white-box tests and benchmarks.
# <p> is the lower-case name unless PREFIX gives another.
function(dvo_add_library name)
    cmake_parse_arguments(ARG "" "PREFIX" "SOURCES;ATTACH;LIBS;LINK_OPTIONS" ${ARGN})
    if(ARG_UNPARSED_ARGUMENTS)
        message(FATAL_ERROR "dvo_add_library(${name}): unknown arguments ${ARG_UNPARSED_ARGUMENTS}")
    endif()
    if(NOT ARG_SOURCES)
        message(FATAL_ERROR "dvo_add_library(${name}): no sources in ${CMAKE_CURRENT_SOURCE_DIR}")
    endif()
    set(map ${CMAKE_CURRENT_SOURCE_DIR}/${name}.map)
    if(NOT EXISTS ${map})
        message(FATAL_ERROR "dvo_add_library(${name}): ${map} is missing; without it every "
                            "symbol would be exported")
    endif()
    string(TOLOWER ${name} prefix)
    if(ARG_PREFIX)
        set(prefix ${ARG_PREFIX})
    endif()

    add_library(${prefix}_objects OBJECT ${ARG_SOURCES})
    target_include_directories(${prefix}_objects PUBLIC ${PROJECT_SOURCE_DIR})
    target_link_libraries(${prefix}_objects PUBLIC ${ARG_LIBS})

    add_library(${name} SHARED $<TARGET_OBJECTS:${prefix}_objects> ${ARG_ATTACH})
    target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR})
    target_link_libraries(${name} PRIVATE ${ARG_LIBS})
    target_link_options(${name} PRIVATE -Wl,--version-script=${map} ${ARG_LINK_OPTIONS})
    set_target_properties(${name} PROPERTIES LINK_DEPENDS ${map})

    add_library(${prefix}_internal STATIC $<TARGET_OBJECTS:${prefix}_objects>)
    target_link_libraries(${prefix}_internal PUBLIC ${ARG_LIBS})
endfunction()
