# Copies content/ beside the executable. Data/Ranking.txt holds the player's
# scores once the game has run: it is created from the shipped file only when
# it does not exist yet, and never replaced.
foreach(dir XFile Texture Sound Data)
  if(EXISTS "${SRC}/${dir}")
    file(GLOB_RECURSE files RELATIVE "${SRC}" "${SRC}/${dir}/*")
    foreach(f ${files})
      if(f STREQUAL "Data/Ranking.txt" AND EXISTS "${DST}/${f}")
        continue()
      endif()
      get_filename_component(d "${DST}/${f}" DIRECTORY)
      file(MAKE_DIRECTORY "${d}")
      file(COPY_FILE "${SRC}/${f}" "${DST}/${f}" ONLY_IF_DIFFERENT)
    endforeach()
  endif()
endforeach()
