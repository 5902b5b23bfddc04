# cmake -DTOOL=<scene_build> -DSOURCE=<scene text> -DNAME=<shown name>
#       -DPICTURES=<list file> -P check_pictures.cmake
# Stops the build when a view of the scene names a background picture that
# no source of the game makes (the list holds their lower-case names).
cmake_minimum_required(VERSION 3.25)
execute_process(COMMAND ${TOOL} --pictures ${SOURCE} RESULT_VARIABLE result OUTPUT_VARIABLE listed)
if(NOT result EQUAL 0)
  # The tool has printed "<file>:<line>: <reason>".
  message(FATAL_ERROR "${NAME}: the scene's text is refused")
endif()
file(READ ${PICTURES} made)
string(REPLACE "\n" ";" listed "${listed}")
set(missing "")
foreach(picture ${listed})
  string(TOLOWER "${picture}" lower)
  if(NOT lower IN_LIST made)
    list(APPEND missing "${picture}")
  endif()
endforeach()
if(missing)
  string(JOIN ", " missing ${missing})
  message(FATAL_ERROR "${NAME}: no source makes the view picture(s) ${missing} "
                      "(add e.g. shared/<name>.tga.picture)")
endif()
