# Fuzz targets for the readers of untrusted files.
#
# dvo_add_fuzz_target(<name> SOURCES <harness.cpp>... LIBS <libs>... CORPUS <folder>)
# The harness defines LLVMFuzzerTestOneInput (and may define LLVMFuzzerInitialize). Every build
# gets <name>_replay, which ctest runs over the seed corpus (test fuzz.<name>.corpus), so the
# corpus keeps passing in the normal and sanitizer builds. The `fuzz` preset (clang, DVO_FUZZ)
# also builds the libFuzzer binary build-fuzz/fuzz/<name>; `make fuzz` runs each of them.

set(DVO_FUZZ_MANIFEST ${CMAKE_BINARY_DIR}/fuzz/targets.txt)
file(WRITE ${DVO_FUZZ_MANIFEST} "")
if(DVO_FUZZ)
    add_custom_target(fuzzers)
endif()

function(dvo_add_fuzz_target name)
    cmake_parse_arguments(ARG "" "CORPUS" "SOURCES;LIBS" ${ARGN})
    if(NOT ARG_CORPUS OR NOT ARG_SOURCES)
        message(FATAL_ERROR "dvo_add_fuzz_target(${name}): SOURCES and CORPUS are required")
    endif()
    get_filename_component(corpus ${ARG_CORPUS} ABSOLUTE BASE_DIR ${CMAKE_CURRENT_SOURCE_DIR})

    if(DVO_FUZZ)
        add_executable(${name} ${ARG_SOURCES})
        target_link_libraries(${name} PRIVATE ${ARG_LIBS})
        target_link_options(${name} PRIVATE -fsanitize=fuzzer)
        set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/fuzz)
        add_dependencies(fuzzers ${name})
        file(APPEND ${DVO_FUZZ_MANIFEST} "${name}\t${corpus}\n")
    endif()

    add_executable(${name}_replay ${ARG_SOURCES} ${PROJECT_SOURCE_DIR}/tests/fuzz/ReplayMain.cpp)
    target_link_libraries(${name}_replay PRIVATE ${ARG_LIBS})
    set_target_properties(${name}_replay PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
    add_test(NAME fuzz.${name}.corpus COMMAND ${name}_replay ${corpus})
    set_tests_properties(fuzz.${name}.corpus PROPERTIES
                         ENVIRONMENT "DVO_TEST_TMP=${CMAKE_BINARY_DIR}/test-tmp")
endfunction()
