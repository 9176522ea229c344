# One library per subsystem, with its files listed explicitly.
#
#   vip_library(<target> <folder under src>
#               PUBLIC_HEADERS <headers other subsystems may include>
#               PRIVATE_HEADERS <headers for the library's own sources>
#               SOURCES <.cpp files>)
#
# Every target gets include roots of its own in the build tree: "public"
# holds links to its public headers only (what dependents see), "private"
# links its whole folder (for its own sources, and for white-box tests and
# fuzz targets through vip_use_private_headers). So `#include "store/Query.h"`
# works where vip_store is linked, and a file of vip_sheet cannot reach
# "store/..." or a backend's internal header at all.
function(vip_library target folder)
  cmake_parse_arguments(PARSE_ARGV 2 arg "" "" "PUBLIC_HEADERS;PRIVATE_HEADERS;SOURCES")
  set(dir ${CMAKE_CURRENT_SOURCE_DIR}/${folder})
  set(root ${CMAKE_BINARY_DIR}/include-roots/${target})
  file(REMOVE_RECURSE ${root})
  foreach(header IN LISTS arg_PUBLIC_HEADERS)
    get_filename_component(sub ${header} DIRECTORY)
    file(MAKE_DIRECTORY ${root}/public/${folder}/${sub})
    file(CREATE_LINK ${dir}/${header} ${root}/public/${folder}/${header} SYMBOLIC)
  endforeach()
  file(MAKE_DIRECTORY ${root}/private)
  file(CREATE_LINK ${dir} ${root}/private/${folder} SYMBOLIC)
  vip_check_listed(${target} ${dir} ${arg_PUBLIC_HEADERS} ${arg_PRIVATE_HEADERS} ${arg_SOURCES})

  set(files ${arg_SOURCES} ${arg_PUBLIC_HEADERS} ${arg_PRIVATE_HEADERS})
  list(TRANSFORM files PREPEND ${dir}/)
  add_library(${target} STATIC ${files})
  target_include_directories(${target} PRIVATE ${root}/private PUBLIC ${root}/public)
  set_target_properties(${target} PROPERTIES VIP_PRIVATE_ROOT ${root}/private)
  vip_warnings(${target})
endfunction()

# A white-box test or fuzz target may include the internal headers of these
# libraries too.
function(vip_use_private_headers target)
  foreach(library IN LISTS ARGN)
    target_include_directories(${target} PRIVATE
                               $<TARGET_PROPERTY:${library},VIP_PRIVATE_ROOT>)
  endforeach()
endfunction()

# Every source and header under `dir` must be listed: a file left out of the
# lists would silently not be built (or not be visible), so it is an error.
function(vip_check_listed target dir)
  file(GLOB_RECURSE present RELATIVE ${dir} ${dir}/*.cpp ${dir}/*.h)
  set(listed ${ARGN})
  foreach(file IN LISTS present)
    if(NOT file IN_LIST listed)
      message(FATAL_ERROR "${target}: ${dir}/${file} is not listed in its CMakeLists.txt")
    endif()
  endforeach()
endfunction()
