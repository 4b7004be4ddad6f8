# Redraws the pose pictures into OUT with DRAW_POSES and fails unless each equals the one in ASSETS.
file(REMOVE_RECURSE ${OUT})
file(MAKE_DIRECTORY ${OUT})
execute_process(COMMAND ${DRAW_POSES} ${OUT} RESULT_VARIABLE status OUTPUT_QUIET)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "drawPoses failed: ${status}")
endif()
foreach(pose leftEngarde leftLunge leftParry rightEngarde rightLunge rightParry)
  execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files ${OUT}/${pose}.bmp ${ASSETS}/${pose}.bmp
                  RESULT_VARIABLE differs)
  if(NOT differs EQUAL 0)
    message(FATAL_ERROR "${pose}.bmp differs from what drawPoses draws; run drawPoses assets/")
  endif()
endforeach()
