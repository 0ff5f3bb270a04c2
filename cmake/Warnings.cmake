# Every target of ours builds with the same strict warnings; a warning is an error.
function(poromeko_warnings target)
  target_compile_options(${target} PRIVATE
    -Wall -Wextra -Wpedantic -Werror
    -Wshadow -Wnon-virtual-dtor -Wcast-align -Woverloaded-virtual
    -Wimplicit-fallthrough -Wno-missing-field-initializers)
  if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
    # GCC 12 at -O2 reports restrict and nonnull violations inside libstdc++'s
    # own string and vector copies (false positives after inlining).
    target_compile_options(${target} PRIVATE -Wno-restrict -Wno-nonnull)
  endif()
endfunction()
