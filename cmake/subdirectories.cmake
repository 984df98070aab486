# vx_add_child_directories(<dir>): adds every direct child folder of <dir>
# that has a CMakeLists.txt, so new folders join the build without edits here.
function(vx_add_child_directories dir)
  file(GLOB children LIST_DIRECTORIES true ${dir}/*)
  list(SORT children)
  foreach(child IN LISTS children)
    if(IS_DIRECTORY ${child} AND EXISTS ${child}/CMakeLists.txt)
      add_subdirectory(${child})
    endif()
  endforeach()
endfunction()

# vx_add_optional_directory(<dir>): the folder's own list if it has one,
# otherwise its children's.
function(vx_add_optional_directory dir)
  if(EXISTS ${dir}/CMakeLists.txt)
    add_subdirectory(${dir})
  elseif(IS_DIRECTORY ${dir})
    vx_add_child_directories(${dir})
  endif()
endfunction()
