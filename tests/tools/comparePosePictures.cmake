# Redraws the pose pictures and the icons into OUT with DRAW_POSES and fails unless each equals
# the one in ASSETS.
file(REMOVE_RECURSE ${OUT})
file(MAKE_DIRECTORY ${OUT})
execute_process(COMMAND ${DRAW_POSES} ${OUT} RESULT_VARIABLE status OUTPUT_QUIET)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "drawPoses failed: ${status}")
endif()
foreach(picture leftEngarde.bmp leftLunge.bmp leftParry.bmp rightEngarde.bmp rightLunge.bmp
                rightParry.bmp lamevo-32.png lamevo-48.png lamevo-64.png lamevo-128.png
                lamevo-256.png)
  execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files ${OUT}/${picture} ${ASSETS}/${picture}
                  RESULT_VARIABLE differs)
  if(NOT differs EQUAL 0)
    message(FATAL_ERROR "${picture} differs from what drawPoses draws; run drawPoses assets/")
  endif()
endforeach()
