# Installs the build into PREFIX, runs `confluxtool demo` from there and checks that it chose the
# installed sample project.
file(REMOVE_RECURSE ${PREFIX})
execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${PREFIX}
                RESULT_VARIABLE status OUTPUT_QUIET)
if(NOT status EQUAL 0)
    message(FATAL_ERROR "cmake --install failed with ${status}")
endif()
execute_process(COMMAND ${PREFIX}/bin/confluxtool demo RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)
file(REMOVE_RECURSE ${PREFIX})
if(NOT status EQUAL 0)
    message(FATAL_ERROR "confluxtool demo exited with ${status}:\n${out}\n${err}")
endif()
string(FIND "${out}" "== confluxtool info ${PREFIX}/share/confluxtool/examples/sample-datacentre.json" found)
if(found EQUAL -1)
    message(FATAL_ERROR "the demo did not run on the installed sample:\n${out}")
endif()
