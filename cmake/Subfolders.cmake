# quorvane_add_subfolders() — adds every folder below the current source folder that has a
# CMakeLists.txt of its own, so a new tool, test area or asset folder needs no edit here.
function(quorvane_add_subfolders)
  file(GLOB children CONFIGURE_DEPENDS LIST_DIRECTORIES true "${CMAKE_CURRENT_SOURCE_DIR}/*")
  foreach(dir IN LISTS children)
    if(IS_DIRECTORY "${dir}" AND EXISTS "${dir}/CMakeLists.txt")
      add_subdirectory("${dir}")
    endif()
  endforeach()
endfunction()
