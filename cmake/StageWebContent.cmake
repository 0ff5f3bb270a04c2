# Stages the content for the browser's download: content/ copied to DST,
# then every WAVE file over a megabyte (the two pieces of music, 14 MB of
# the 22) packed as IMA ADPCM by ADPCM_TOOL (poromeko-adpcm), a quarter of
# the size. The game decodes it when it loads the sound.
#   cmake -DSRC=content -DDST=stage -DADPCM_TOOL=path -P StageWebContent.cmake
file(REMOVE_RECURSE "${DST}")
# The program's link packs the staged files: it depends on this stamp.
file(TOUCH "${DST}.stamp")
foreach(dir XFile Texture Sound Data)
  file(COPY "${SRC}/${dir}" DESTINATION "${DST}")
endforeach()
if(NOT ADPCM_TOOL OR NOT EXISTS "${ADPCM_TOOL}")
  message(WARNING "no poromeko-adpcm (ADPCM_TOOL): the music goes into the download unpacked")
  return()
endif()
file(GLOB waves "${DST}/Sound/*.wav")
foreach(wave ${waves})
  file(SIZE "${wave}" size)
  if(size GREATER 1048576)
    execute_process(COMMAND "${ADPCM_TOOL}" "${wave}" "${wave}.adpcm" RESULT_VARIABLE failed)
    if(failed)
      message(FATAL_ERROR "poromeko-adpcm could not pack ${wave}")
    endif()
    file(RENAME "${wave}.adpcm" "${wave}")
  endif()
endforeach()
