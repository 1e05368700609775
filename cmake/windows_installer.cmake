# setup.exe: the logic, the Win32 platform and the resource set, linked statically
# so that it needs nothing beyond what every Windows has.
enable_language(C RC)

set(DICTIONARY "${CMAKE_SOURCE_DIR}/resources/payload" CACHE PATH
    "Folder with the dictionary's files and its manifest.txt")

# A Python named by the caller is taken as it is: CMake's search and checks of one run the
# interpreter over and over, and cost more than the rest of the configuration.
if(NOT Python3_EXECUTABLE)
  find_package(Python3 REQUIRED COMPONENTS Interpreter)
endif()

# The resource set comes from the manifest and the settings, made by the custom target
# below before every build; a manifest or a setting the installer could not carry stops
# the build there, naming the line or the setting. The settings come from the build's
# environment (SETUP_VENDOR_SITE, SETUP_COMPANY_NAME), which carries any text exactly;
# the generator holds their defaults.
set(GENERATED "${CMAKE_BINARY_DIR}/generated")
# The manifest goes in without its comments and indentation: every byte counts.
file(READ resources/setup.manifest MANIFEST)
string(REGEX REPLACE "<!--[^>]*-->" "" MANIFEST "${MANIFEST}")
string(REGEX REPLACE ">[ \n]+<" "><" MANIFEST "${MANIFEST}")
string(REGEX REPLACE "[ \n]+" " " MANIFEST "${MANIFEST}")
# Written only when its content changes, so that an unchanged build redoes nothing.
file(CONFIGURE OUTPUT "${GENERATED}/setup.min.manifest" CONTENT "${MANIFEST}" @ONLY)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
             "${CMAKE_SOURCE_DIR}/resources/setup.manifest")

set(SIZE_FLAGS -Os -fno-exceptions -fno-rtti -fno-asynchronous-unwind-tables
               -fno-unwind-tables -ffunction-sections -fdata-sections -flto)

add_executable(setup WIN32
  ${LOGIC_SOURCES}
  src/platform/win32_libraries.cpp
  src/platform/win32_platform.cpp
  src/win32_main.cpp
  "${GENERATED}/build_constants.cpp"
  resources/setup.rc
  "${GENERATED}/payload.rc")
target_include_directories(setup PRIVATE src)
# The resource scripts find the generated pieces and the icon through these.
target_include_directories(setup PRIVATE "$<$<COMPILE_LANGUAGE:RC>:${GENERATED}>"
                                         "$<$<COMPILE_LANGUAGE:RC>:${CMAKE_SOURCE_DIR}/resources>")
target_compile_options(setup PRIVATE $<$<COMPILE_LANGUAGE:CXX>:${WARNINGS} ${SIZE_FLAGS}>)
target_compile_definitions(setup PRIVATE WIN32_LEAN_AND_MEAN NOMINMAX)
# Before every build the script runs again and rewrites only what changed, the digest
# of the resource object's inputs among them: rebuilds follow content, never times.
add_custom_target(payload_resources
  COMMAND "${Python3_EXECUTABLE}" "${CMAKE_SOURCE_DIR}/resources/payload_resources.py"
          "${DICTIONARY}" "${GENERATED}"
  BYPRODUCTS "${GENERATED}/inputs.digest" "${GENERATED}/build_constants.cpp"
             "${GENERATED}/settings.rh" "${GENERATED}/payload.rc"
  COMMENT "Resource set from ${DICTIONARY}"
  VERBATIM)
add_dependencies(setup payload_resources)
set_source_files_properties("${GENERATED}/payload.rc" PROPERTIES OBJECT_DEPENDS
                            "${GENERATED}/inputs.digest")
set_source_files_properties(resources/setup.rc PROPERTIES OBJECT_DEPENDS
                            "${CMAKE_SOURCE_DIR}/resources/mainicon.ico;${GENERATED}/setup.min.manifest;${GENERATED}/settings.rh")
# 4,096-byte file alignment lets Wine map the image, payload included, straight from
# the file instead of copying it into private memory; setup.ld keeps the sections few
# so that the alignment pads little. No time stamp: the same sources give the same
# bytes.
target_link_options(setup PRIVATE -flto -Os -static -s -Wl,--gc-sections -Wl,--file-alignment,4096
                    -Wl,--no-insert-timestamp -Wl,--tsaware)
if(CMAKE_SIZEOF_VOID_P EQUAL 4)
  # The shipped installer. A 64-bit build of the same sources (the end-to-end bench of
  # a machine that runs no 32-bit code) keeps the default sections and headers.
  # NO_SEH: nothing in the image registers an SEH frame (DWARF unwinding, no exceptions,
  # no write to fs:[0], which the build checks hold it to), and GNU ld can write no
  # SafeSEH table, so the image says it has no handlers and Windows takes none an
  # overwritten frame could name. Subsystem and OS version 6.0: it needs Vista anyway
  # (GetFileInformationByHandleEx); the subsystem option alone leaves the OS at 4.0.
  target_link_options(setup PRIVATE -Wl,-T,${CMAKE_SOURCE_DIR}/cmake/setup.ld -Wl,--no-seh
                      -Wl,--major-subsystem-version,6 -Wl,--minor-subsystem-version,0
                      -Wl,--major-os-version,6 -Wl,--minor-os-version,0)
  set_target_properties(setup PROPERTIES LINK_DEPENDS "${CMAKE_SOURCE_DIR}/cmake/setup.ld")
endif()
# It imports kernel32 and msvcrt only, which every process has from the system
# folder; user32 and comdlg32 are loaded from there at run time.
set_target_properties(setup PROPERTIES OUTPUT_NAME setup)

# The end-to-end tests' driver: a console program that reads and answers the
# installer's windows under Wine.
add_executable(e2e_driver scripts/wine/driver.c)
target_compile_options(e2e_driver PRIVATE -Wall -Wextra -Werror -Os)
target_link_options(e2e_driver PRIVATE -static -s)
target_link_libraries(e2e_driver PRIVATE gdi32)

# The old-Windows road of the DLL loading (no SetDefaultDllDirectories), taken on any
# system: the planting tests check where its preloads come from.
add_executable(e2e_preload_probe tests/e2e/preload_probe.cpp src/platform/win32_libraries.cpp
                                 src/common/text.cpp)
target_include_directories(e2e_preload_probe PRIVATE src)
target_compile_options(e2e_preload_probe PRIVATE ${WARNINGS} -Os)
target_compile_definitions(e2e_preload_probe PRIVATE WIN32_LEAN_AND_MEAN NOMINMAX)
target_link_options(e2e_preload_probe PRIVATE -static -s)

# Holds Wine's desktop up in the prefixes the tests reuse, and for the benchmark.
add_executable(e2e_desktop scripts/wine/desktop_holder.c)
target_compile_options(e2e_desktop PRIVATE -Wall -Wextra -Werror -Os)
target_link_options(e2e_desktop PRIVATE -static -s)

# The planting tests' marker DLL: it records every process that loads it.
add_library(e2e_marker SHARED tests/e2e/marker_dll.c)
target_compile_options(e2e_marker PRIVATE -Wall -Wextra -Werror -Os)
if(CMAKE_SIZEOF_VOID_P EQUAL 4)
  set(MARKER_ENTRY _MarkerMain@12)  # stdcall's decorated name
else()
  set(MARKER_ENTRY MarkerMain)
endif()
target_link_options(e2e_marker PRIVATE -s -nostartfiles -nostdlib -Wl,-e,${MARKER_ENTRY})
target_link_libraries(e2e_marker PRIVATE kernel32)
set_target_properties(e2e_marker PROPERTIES PREFIX "" OUTPUT_NAME e2e_marker)
