# Shared build rules: warnings, test folders and deliverables.

# Our own code compiles warning-free; warnings are errors.
function(pelidor_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wshadow -Wnon-virtual-dtor -Werror)
endfunction()

# Sources of a folder tree, picked up as files are added.
function(pelidor_glob out)
  file(GLOB_RECURSE files CONFIGURE_DEPENDS ${ARGN})
  set(${out} ${files} PARENT_SCOPE)
endfunction()

# One test program per folder: every .cpp in DIR, the platform's test main
# (a fresh emulated machine for each test) and the given libraries.
function(pelidor_test_dir name dir)
  file(GLOB files CONFIGURE_DEPENDS ${dir}/*.cpp)
  if(NOT files)
    return()
  endif()
  add_executable(${name} ${files})
  pelidor_warnings(${name})
  target_link_libraries(${name} PRIVATE ${ARGN} platform_test_main GTest::gmock GTest::gtest Threads::Threads)
  add_test(NAME ${name} COMMAND ${name})
  set_tests_properties(${name} PROPERTIES TIMEOUT 900)
endfunction()

# A deliverable shared object under its Windows file name, exporting only EXPORTS.
# The module entry glue is linked after the module's own objects (as a link
# item, which follows every object on the command line) so that DllMain runs
# after the module's static constructors and before its destructors.
function(pelidor_deliverable target file_name)
  cmake_parse_arguments(D "" "" "EXPORTS;SOURCES;LIBS" ${ARGN})
  add_library(${target} SHARED ${D_SOURCES})
  set_target_properties(${target} PROPERTIES
    OUTPUT_NAME ${file_name} PREFIX "" SUFFIX ""
    CXX_VISIBILITY_PRESET hidden VISIBILITY_INLINES_HIDDEN ON)
  pelidor_warnings(${target})
  target_compile_options(${target} PRIVATE $<$<CXX_COMPILER_ID:GNU>:-fno-gnu-unique>)
  set(script ${CMAKE_CURRENT_BINARY_DIR}/${target}.map)
  list(JOIN D_EXPORTS "; " names)
  file(WRITE ${script} "{ global: ${names}; local: *; };\n")
  target_link_options(${target} PRIVATE "LINKER:--version-script=${script}" "LINKER:--exclude-libs,ALL")
  if(NOT PELIDOR_SANITIZE AND NOT PELIDOR_FUZZ)
    target_link_options(${target} PRIVATE "LINKER:--no-undefined")
  endif()
  set_property(TARGET ${target} APPEND PROPERTY LINK_DEPENDS ${script})
  target_link_libraries(${target} PRIVATE $<TARGET_OBJECTS:platform_module_entry> ${D_LIBS} platform Threads::Threads)
  add_dependencies(${target} platform_module_entry)
endfunction()

# Compiles a module's resource description (rescomp) into a source of TARGET.
function(pelidor_resources target description)
  get_filename_component(name ${description} NAME_WE)
  set(out ${CMAKE_CURRENT_BINARY_DIR}/${target}_${name}_resources.cpp)
  add_custom_command(OUTPUT ${out}
    COMMAND rescomp ${description} ${out}
    DEPENDS rescomp ${description}
    COMMENT "Compiling resources ${description}")
  target_sources(${target} PRIVATE ${out})
endfunction()
