# The Win32 layer's reader of version resources in executable files.
if(TARGET platform_win32)
  tarvel_fuzz(version
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/version_fuzz.cpp
    LIBS platform_win32)
endif()
