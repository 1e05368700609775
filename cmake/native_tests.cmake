# The logic and its unit tests, built for this machine against the fake platform,
# with the address and undefined-behaviour sanitizers watching every read and write.
enable_testing()
find_package(GTest REQUIRED)

option(WITH_SANITIZERS "Build the unit tests with ASan and UBSan" ON)
set(SANITIZE "")
if(WITH_SANITIZERS)
  set(SANITIZE -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
endif()

add_library(installer_logic STATIC ${LOGIC_SOURCES})
target_include_directories(installer_logic PUBLIC src)
target_compile_options(installer_logic PRIVATE ${WARNINGS} ${SANITIZE})
target_link_options(installer_logic PUBLIC ${SANITIZE})

# Every seam operation has its fault ways: the build holds the fake's list to platform.h.
if(NOT Python3_EXECUTABLE)  # as the installer's build takes it
  find_package(Python3 REQUIRED COMPONENTS Interpreter)
endif()
add_custom_command(
  OUTPUT "${CMAKE_BINARY_DIR}/fault_ways.checked"
  COMMAND "${Python3_EXECUTABLE}" "${CMAKE_SOURCE_DIR}/tests/support/check_fault_ways.py"
          "${CMAKE_SOURCE_DIR}/src/platform/platform.h"
          "${CMAKE_SOURCE_DIR}/tests/support/fault_ways.h" "${CMAKE_BINARY_DIR}/fault_ways.checked"
  DEPENDS src/platform/platform.h tests/support/fault_ways.h tests/support/check_fault_ways.py
  COMMENT "Fault ways of every seam operation"
  VERBATIM)
add_custom_target(fault_ways_checked DEPENDS "${CMAKE_BINARY_DIR}/fault_ways.checked")

# The fake platform and the payload builder, shared by the unit tests and the sweep.
# The build constants the logic reads go into each program itself.
add_library(test_support STATIC
  tests/support/fake_platform.cpp
  tests/support/payload_builder.cpp
  tests/support/runs.cpp
  tests/support/oracle.cpp)
target_include_directories(test_support PUBLIC tests)
target_compile_options(test_support PRIVATE -Wall -Wextra -Werror ${SANITIZE})
target_link_libraries(test_support PUBLIC installer_logic)
add_dependencies(test_support fault_ways_checked)

add_executable(unit_tests
  tests/support/build_constants.cpp
  tests/unit/text_test.cpp
  tests/unit/crc32_test.cpp
  tests/unit/verify_payload_test.cpp
  tests/unit/install_entry_test.cpp
  tests/unit/host_folder_test.cpp
  tests/unit/platform_maps_test.cpp
  tests/unit/extract_payload_test.cpp
  tests/unit/run_installer_test.cpp
  tests/unit/locate_host_folder_test.cpp
  tests/unit/host_version_test.cpp)
target_compile_options(unit_tests PRIVATE -Wall -Wextra -Werror ${SANITIZE})
target_link_libraries(unit_tests PRIVATE test_support GTest::gtest GTest::gtest_main)

# One process for all of them: started once per test under the sanitizers, they spent
# more time starting than testing.
add_test(NAME unit_tests COMMAND unit_tests)

# The sweeps: every platform call failed in turn, and a power cut after every call,
# for this build's payload (make sweep runs a 255-file payload and the mutants too).
add_executable(sweep tests/sweep/sweep.cpp tests/support/build_constants.cpp)
target_compile_options(sweep PRIVATE -Wall -Wextra -Werror ${SANITIZE})
target_link_libraries(sweep PRIVATE test_support)
add_test(NAME sweep COMMAND sweep)

# The extraction's fuzzer: clang's libFuzzer over the logic and the fake platform.
option(WITH_FUZZER "Build the libFuzzer target (needs clang)" OFF)
if(WITH_FUZZER)
  add_executable(payload_fuzzer
    ${LOGIC_SOURCES}
    tests/fuzz/payload_fuzzer.cpp
    tests/support/fake_platform.cpp
    tests/support/build_constants.cpp
    tests/support/payload_builder.cpp)
  target_include_directories(payload_fuzzer PRIVATE src tests)
  set(FUZZ_FLAGS -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=all -g -O1)
  target_compile_options(payload_fuzzer PRIVATE ${FUZZ_FLAGS} -Wall -Wextra -Werror)
  target_link_options(payload_fuzzer PRIVATE ${FUZZ_FLAGS})
endif()
