# Run by cpack on the staged tree of the Debian package, before it is packed
# (see cmake/DebPackage.cmake): the program moves to /usr/games (it finds its
# files in ../share/poromeko from there as from bin), and the copyright file,
# the changelog and the manual page are added, compressed as Debian does.
file(GLOB_RECURSE programs "${CPACK_TEMPORARY_INSTALL_DIRECTORY}/*/bin/poromeko")
if(NOT programs)
  message(FATAL_ERROR "no usr/bin/poromeko in ${CPACK_TEMPORARY_INSTALL_DIRECTORY}")
endif()
list(GET programs 0 program)
get_filename_component(bin "${program}" DIRECTORY)
get_filename_component(usr "${bin}" DIRECTORY)
file(MAKE_DIRECTORY "${usr}/games")
file(RENAME "${program}" "${usr}/games/poromeko")
file(REMOVE_RECURSE "${bin}")

set(doc "${usr}/share/doc/poromeko")
file(MAKE_DIRECTORY "${doc}" "${usr}/share/man/man6")
file(COPY_FILE "${CPACK_POROMEKO_DIST_DEBIAN}/copyright" "${doc}/copyright")
# gzip -n -9: no name or time stamp inside, so the package is reproducible.
foreach(pair "changelog;${doc}/changelog.gz" "poromeko.6;${usr}/share/man/man6/poromeko.6.gz")
  list(GET pair 0 from)
  list(GET pair 1 to)
  execute_process(COMMAND gzip -n -9 -c "${CPACK_POROMEKO_DIST_DEBIAN}/${from}"
    OUTPUT_FILE "${to}" RESULT_VARIABLE failed)
  if(failed)
    message(FATAL_ERROR "gzip could not compress ${from}")
  endif()
endforeach()
# Files readable by all, folders searchable, as the archive wants them.
file(GLOB_RECURSE staged LIST_DIRECTORIES true "${usr}/*")
foreach(f ${staged})
  if(IS_DIRECTORY "${f}" OR f STREQUAL "${usr}/games/poromeko")
    file(CHMOD "${f}" PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ
      GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
  else()
    file(CHMOD "${f}" PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
  endif()
endforeach()
