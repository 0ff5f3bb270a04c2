# Every target of ours builds with the same strict warnings; a warning is an error.
function(poromeko_warnings target)
  target_compile_options(${target} PRIVATE
    -Wall -Wextra -Wpedantic -Werror
    -Wshadow -Wnon-virtual-dtor -Wcast-align -Woverloaded-virtual
    -Wimplicit-fallthrough -Wno-missing-field-initializers)
endfunction()
