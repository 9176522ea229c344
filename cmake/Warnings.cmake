# Warnings are set per target so that third-party code is not affected.
function(vip_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Wshadow -Wconversion
                                           -Wno-sign-conversion -Wnon-virtual-dtor -Wold-style-cast
                                           -Woverloaded-virtual -Wnull-dereference)
  if(VIPIMPORT_WERROR)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
endfunction()
