# cmake -DTOOL=<pack_demo> -DSTAGE=<staging folder> -DGAME=<game folder> -P pack.cmake
# Packs the staging folder into the game folder, first removing the volumes
# and updates of the last pack (a language that went would stay otherwise).
cmake_minimum_required(VERSION 3.25)
file(GLOB old ${GAME}/resource.*)
if(old)
  file(REMOVE ${old})
endif()
file(REMOVE_RECURSE ${GAME}/updates)
execute_process(COMMAND ${TOOL} ${STAGE} ${GAME} RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "pack_demo failed on ${STAGE}")
endif()
