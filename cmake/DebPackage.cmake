# The Debian package, made from the Release build (CPACK_POROMEKO_* reach
# cmake/DebStage.cmake, as only CPACK_ variables reach cpack):
#   cpack --config build/CPackConfig.cmake   (from the source folder; ./test does)
# writes build/poromeko_VERSION_amd64.deb. It holds what `cmake --install`
# puts under /usr, laid out as Debian's policy for games asks: the program
# in /usr/games, its files in /usr/share/poromeko, with the copyright file,
# the changelog and the manual page Debian packages carry
# (cmake/DebStage.cmake arranges the staged tree before it is packed).
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME poromeko)
set(CPACK_PACKAGE_VERSION ${POROMEKO_VERSION})
set(CPACK_PACKAGE_VENDOR "Poromeko")
set(CPACK_PACKAGE_CONTACT "Poromeko maintainers <maintainers@users.noreply.c-seed-2cf788b9.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "small 3D action game about a creature eating insects")
# Lines of the control file's extended description stay under 80 columns.
string(CONCAT CPACK_PACKAGE_DESCRIPTION
  "You steer a hungry little creature over a tiny round planet and eat the\n"
  "insects that live there: flies, caterpillars, butterflies and beetles.\n"
  "Every meal makes it grow and lets it eat bigger insects; quick meals chain\n"
  "into combos. A run lasts three minutes and ends on a result screen and a\n"
  "three-place ranking.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION games)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# OpenGL itself comes through libepoxy at run time: Mesa's drivers.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "libgl1-mesa-dri")
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://poromeko.example/")
set(CPACK_PACKAGE_FILE_NAME "poromeko_${POROMEKO_VERSION}_amd64")
set(CPACK_OUTPUT_FILE_PREFIX ${CMAKE_BINARY_DIR})
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR})
set(CPACK_PRE_BUILD_SCRIPTS ${PROJECT_SOURCE_DIR}/cmake/DebStage.cmake)
set(CPACK_POROMEKO_DIST_DEBIAN ${PROJECT_SOURCE_DIR}/dist/debian)
set(CPACK_INSTALL_CMAKE_PROJECTS "${CMAKE_BINARY_DIR};poromeko;ALL;/")
include(CPack)
