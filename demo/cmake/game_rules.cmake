# tarvel_stage_game(<game sources> <staging folder> <work folder> <outputs variable>)
# Adds one build rule per game source: the file is made into the staging
# folder by the tool its last extension names (script_asm, anim_build,
# scene_build, sound_assets, video_build), or copied; ".inc" files are only
# read by the sources beside them. The variable receives the files (or, for
# sound descriptions, the stamps) the rules make. The tools are the targets
# of those names.
set(TARVEL_GAME_RULES_DIR ${CMAKE_CURRENT_LIST_DIR})

function(tarvel_stage_game game_src stage work out_var)
  set(stamps ${work}/stamps)
  file(RELATIVE_PATH shown ${CMAKE_SOURCE_DIR} ${game_src})
  if(shown MATCHES "^\\.\\.")
    set(shown ${game_src})
  endif()
  file(GLOB_RECURSE sources CONFIGURE_DEPENDS RELATIVE ${game_src} ${game_src}/*)
  list(SORT sources)
  # Names beginning with "." (".keep") are not game files.
  list(FILTER sources EXCLUDE REGEX "(^|/)\\.")

  # A source added, removed or renamed leaves its old output behind; the
  # staging folder is then made afresh so that nothing stale is packed.
  set(list_file ${work}/sources.list)
  set(old_list "")
  if(EXISTS ${list_file})
    file(READ ${list_file} old_list)
  endif()
  if(NOT old_list STREQUAL "${sources}")
    file(REMOVE_RECURSE ${stage} ${stamps})
    file(WRITE ${list_file} "${sources}")
  endif()
  file(MAKE_DIRECTORY ${stage}/shared ${stamps})

  set(picture_exts tga dds image bik)
  set(outputs "")
  set(made_pictures "")
  set(rules "")
  foreach(rel ${sources})
    string(REGEX MATCH "[^.]+$" ext "${rel}")
    if(ext STREQUAL "inc")
      continue()  # read by the sources beside it
    endif()
    # The archive is flat: every packed file sits straight in its volume's folder.
    if(NOT rel MATCHES "^(shared|updates|language/[0-9]+)/[^/]+$")
      message(FATAL_ERROR "${shown}/${rel}: a game file sits straight in shared/, language/<n>/ or updates/")
    endif()
    get_filename_component(folder "${rel}" DIRECTORY)
    # A tool's output is named without the extension that names the tool; any
    # other file keeps its name.
    set(out "${rel}")
    if(ext MATCHES "^(script|anim|scn|sounds|video|picture)$")
      string(REGEX REPLACE "\\.[^./]+$" "" out "${rel}")
    endif()
    list(APPEND rules "${rel}|${ext}|${out}|${folder}")
    get_filename_component(made "${out}" NAME)
    if(NOT ext STREQUAL "sounds" AND made MATCHES "^(.+)\\.([^.]+)$")
      string(TOLOWER "${CMAKE_MATCH_1}" name)
      string(TOLOWER "${CMAKE_MATCH_2}" made_ext)
      if(made_ext IN_LIST picture_exts)
        list(APPEND made_pictures "${name}")
      endif()
    endif()
  endforeach()
  set(pictures_file ${work}/pictures.list)
  # Written only when it changes, so the scenes are not made again for nothing.
  file(CONFIGURE OUTPUT ${pictures_file} CONTENT "${made_pictures}")
  set(check ${TARVEL_GAME_RULES_DIR}/check_pictures.cmake)

  # A motion names the actor text it animates, anywhere in the game: every
  # .anim depends on all of them.
  file(GLOB_RECURSE anims CONFIGURE_DEPENDS ${game_src}/*.anim)

  foreach(rule ${rules})
    string(REPLACE "|" ";" parts "${rule}")
    list(GET parts 0 rel)
    list(GET parts 1 ext)
    list(GET parts 2 out)
    list(GET parts 3 folder)
    set(src ${game_src}/${rel})
    file(GLOB incs CONFIGURE_DEPENDS ${game_src}/${folder}/*.inc)
    if(ext STREQUAL "script")
      add_custom_command(OUTPUT ${stage}/${out}
        COMMAND script_asm ${src} ${stage}/${out}
        DEPENDS ${src} script_asm
        COMMENT "Assembling ${shown}/${rel}" VERBATIM)
      list(APPEND outputs ${stage}/${out})
    elseif(ext STREQUAL "anim")
      add_custom_command(OUTPUT ${stage}/${out}
        COMMAND anim_build ${src} ${stage}/${out}
        DEPENDS ${src} ${incs} ${anims} anim_build
        COMMENT "Building ${shown}/${rel}" VERBATIM)
      list(APPEND outputs ${stage}/${out})
    elseif(ext STREQUAL "scn")
      # Every background picture a view names must be made by some source.
      add_custom_command(OUTPUT ${stage}/${out}
        COMMAND ${CMAKE_COMMAND} -DTOOL=$<TARGET_FILE:scene_build> -DSOURCE=${src} -DNAME=${shown}/${rel}
                -DPICTURES=${pictures_file} -P ${check}
        COMMAND scene_build ${src} ${stage}/${out}
        DEPENDS ${src} ${incs} ${pictures_file} ${check} scene_build
        COMMENT "Building ${shown}/${rel}" VERBATIM)
      list(APPEND outputs ${stage}/${out})
    elseif(ext STREQUAL "sounds")
      # The description names its files; a stamp stands for them.
      string(REPLACE "/" "_" stamp "${rel}")
      add_custom_command(OUTPUT ${stamps}/${stamp}
        COMMAND sound_assets ${src} ${stage}/${folder}
        COMMAND ${CMAKE_COMMAND} -E touch ${stamps}/${stamp}
        DEPENDS ${src} sound_assets
        COMMENT "Making the sounds of ${shown}/${rel}" VERBATIM)
      list(APPEND outputs ${stamps}/${stamp})
    elseif(ext STREQUAL "video")
      add_custom_command(OUTPUT ${stage}/${out}
        COMMAND video_build ${src} ${stage}/${out}
        DEPENDS ${src} video_build
        COMMENT "Making the video ${shown}/${rel}" VERBATIM)
      list(APPEND outputs ${stage}/${out})
    elseif(ext STREQUAL "picture")
      add_custom_command(OUTPUT ${stage}/${out}
        COMMAND video_build --picture ${src} ${stage}/${out}
        DEPENDS ${src} video_build
        COMMENT "Painting ${shown}/${rel}" VERBATIM)
      list(APPEND outputs ${stage}/${out})
    else()
      add_custom_command(OUTPUT ${stage}/${out}
        COMMAND ${CMAKE_COMMAND} -E copy ${src} ${stage}/${out}
        DEPENDS ${src}
        COMMENT "Copying ${shown}/${rel}" VERBATIM)
      list(APPEND outputs ${stage}/${out})
    endif()
  endforeach()
  set(${out_var} ${outputs} PARENT_SCOPE)
endfunction()
