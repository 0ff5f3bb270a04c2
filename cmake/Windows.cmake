# The libraries of the Windows build, from the prefix scripts/windows_deps.sh
# fills: SDL2 (a DLL beside the game), zlib, libpng and libepoxy compiled
# with mingw-w64 from Debian's own sources. They stand in for the system's
# packages under the same names.
set(POROMEKO_WIN_DEPS "$ENV{HOME}/.cache/poromeko/win-deps" CACHE PATH
  "SDL2, zlib, libpng and libepoxy built for Windows (scripts/windows_deps.sh)")
set(deps ${POROMEKO_WIN_DEPS})
foreach(lib ${deps}/lib/libz.a ${deps}/lib/libpng16.a ${deps}/lib/libepoxy.a
    ${deps}/lib/libSDL2.dll.a ${deps}/bin/SDL2.dll)
  if(NOT EXISTS ${lib})
    message(FATAL_ERROR "${lib} is missing: run scripts/windows_deps.sh ${deps}")
  endif()
endforeach()

find_package(Threads REQUIRED)
add_library(ZLIB::ZLIB STATIC IMPORTED)
set_target_properties(ZLIB::ZLIB PROPERTIES IMPORTED_LOCATION ${deps}/lib/libz.a
  INTERFACE_INCLUDE_DIRECTORIES ${deps}/include)
add_library(PNG::PNG STATIC IMPORTED)
set_target_properties(PNG::PNG PROPERTIES IMPORTED_LOCATION ${deps}/lib/libpng16.a
  INTERFACE_INCLUDE_DIRECTORIES ${deps}/include INTERFACE_LINK_LIBRARIES ZLIB::ZLIB)
add_library(PkgConfig::SDL2 SHARED IMPORTED)
set_target_properties(PkgConfig::SDL2 PROPERTIES IMPORTED_LOCATION ${deps}/bin/SDL2.dll
  IMPORTED_IMPLIB ${deps}/lib/libSDL2.dll.a
  INTERFACE_INCLUDE_DIRECTORIES "${deps}/include/SDL2;${deps}/include")
add_library(PkgConfig::EPOXY STATIC IMPORTED)
set_target_properties(PkgConfig::EPOXY PROPERTIES IMPORTED_LOCATION ${deps}/lib/libepoxy.a
  INTERFACE_INCLUDE_DIRECTORIES ${deps}/include)

# The C and C++ runtimes and the thread library go into the program, so that
# it needs no DLL but SDL2's and Windows' own.
add_link_options(-static)
