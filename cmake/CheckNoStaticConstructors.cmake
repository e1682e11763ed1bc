# Fails when any object in ARCHIVE carries a static-constructor section.
execute_process(COMMAND ${OBJDUMP} -h ${ARCHIVE}
  OUTPUT_VARIABLE sections RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "objdump failed on ${ARCHIVE}")
endif()
if(sections MATCHES "[ \t](\\.ctors|\\.init_array)[^ \t\n]*")
  message(FATAL_ERROR "${ARCHIVE} has static constructors (${CMAKE_MATCH_1}); kernel code must not")
endif()
