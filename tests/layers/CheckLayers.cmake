# cmake -DCOMPILER=c++ -DSOURCE=<source tree> -DPROBES=<probes.cmake> -DWORK=<folder>
#       -P CheckLayers.cmake
# Preprocesses an include of each probe's header with the include folders of
# the probe's target, and checks that the header is found or not, as listed.
include(${PROBES})
set(failures 0)
while(probes)
  list(POP_FRONT probes target header found)
  # A header that is not there at all would be "not found" for no good reason.
  if(NOT EXISTS ${SOURCE}/${header} AND NOT EXISTS ${SOURCE}/engine/include/${header})
    message(SEND_ERROR "${header} is not in the source tree; the probe of ${target} needs another header")
    math(EXPR failures "${failures} + 1")
    continue()
  endif()
  set(probe ${WORK}/probe-${target}.cpp)
  file(WRITE ${probe} "#include \"${header}\"\n")
  set(flags "")
  foreach(folder IN LISTS includes_${target})
    list(APPEND flags -I${folder})
  endforeach()
  execute_process(COMMAND ${COMPILER} -std=c++20 -E -o /dev/null ${flags} ${probe}
                  RESULT_VARIABLE status ERROR_VARIABLE errors)
  string(FIND "${errors}" "${header}: No such file" missing)
  if(found AND NOT status EQUAL 0)
    message(SEND_ERROR "${target} cannot include ${header}:\n${errors}")
    math(EXPR failures "${failures} + 1")
  elseif(NOT found AND missing EQUAL -1)
    message(SEND_ERROR "${target} reaches up to ${header}, which it must not see")
    math(EXPR failures "${failures} + 1")
  endif()
endwhile()
if(failures)
  message(FATAL_ERROR "${failures} layer probes failed")
endif()
