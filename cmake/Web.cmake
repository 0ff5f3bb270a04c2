# The libraries of the browser build, from the prefix scripts/web_deps.sh
# fills: SDL2, zlib and libpng compiled for the browser from Debian's own
# sources. They stand in for the system's packages under the same names.
set(POROMEKO_WEB_DEPS "$ENV{HOME}/.cache/poromeko/web-deps" CACHE PATH
  "SDL2, zlib and libpng built for the browser (scripts/web_deps.sh)")
set(deps ${POROMEKO_WEB_DEPS})
file(GLOB web_png_lib ${deps}/lib/libpng16.a ${deps}/lib/libpng.a)
foreach(lib ${deps}/lib/libz.a ${deps}/lib/libSDL2.a)
  if(NOT EXISTS ${lib})
    message(FATAL_ERROR "${lib} is missing: run scripts/web_deps.sh ${deps}")
  endif()
endforeach()
if(NOT web_png_lib)
  message(FATAL_ERROR "libpng is missing in ${deps}/lib: run scripts/web_deps.sh ${deps}")
endif()
list(GET web_png_lib 0 web_png_lib)

add_library(Threads::Threads INTERFACE IMPORTED)
add_library(ZLIB::ZLIB STATIC IMPORTED)
set_target_properties(ZLIB::ZLIB PROPERTIES IMPORTED_LOCATION ${deps}/lib/libz.a
  INTERFACE_INCLUDE_DIRECTORIES ${deps}/include)
add_library(PNG::PNG STATIC IMPORTED)
set_target_properties(PNG::PNG PROPERTIES IMPORTED_LOCATION ${web_png_lib}
  INTERFACE_INCLUDE_DIRECTORIES ${deps}/include INTERFACE_LINK_LIBRARIES ZLIB::ZLIB)
# emcc puts its own SDL 1.2 headers on the path: ours come first.
add_library(PkgConfig::SDL2 STATIC IMPORTED)
set_target_properties(PkgConfig::SDL2 PROPERTIES IMPORTED_LOCATION ${deps}/lib/libSDL2.a
  INTERFACE_INCLUDE_DIRECTORIES "${deps}/include/SDL2;${deps}/include")
# WebGL 2 comes with emscripten; there is no epoxy to load it.
add_library(PkgConfig::EPOXY INTERFACE IMPORTED)

# C++ exceptions carry a model that cannot be loaded to the error box.
add_compile_options(-fexceptions)
add_link_options(-fexceptions)
