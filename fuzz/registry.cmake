# The registry's reader of exported-registry text files (the hives under the
# platform root), through the Win32 layer's own calls.
if(TARGET platform_win32)
  tarvel_fuzz(registry
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/registry_fuzz.cpp
    LIBS platform_win32)
endif()
