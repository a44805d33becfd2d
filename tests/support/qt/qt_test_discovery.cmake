# Run after a Qt Test program is built: asks it for its registered classes and writes one
# CTest test per class (PREFIX + class name) into OUT. A program that lists none, or fails to
# list, fails the build.
cmake_minimum_required(VERSION 3.25)
execute_process(COMMAND ${EXE} --list-classes OUTPUT_VARIABLE listed RESULT_VARIABLE result
                ERROR_VARIABLE errors)
if(NOT result EQUAL 0)
    message(FATAL_ERROR "${EXE} --list-classes failed (${result}): ${errors}")
endif()
string(REPLACE "\n" ";" classes "${listed}")
list(FILTER classes EXCLUDE REGEX "^$")
if(NOT classes)
    message(FATAL_ERROR "${EXE} registers no test class")
endif()
string(REPLACE "|" ";" environment "${ENVIRONMENT}")
set(text "")
foreach(class ${classes})
    string(APPEND text
           "add_test([==[${PREFIX}${class}]==] [==[${EXE}]==] [==[${class}]==])\n"
           "set_tests_properties([==[${PREFIX}${class}]==] PROPERTIES "
           "ENVIRONMENT [==[${environment}]==] TIMEOUT 300 LABELS qt)\n")
endforeach()
file(WRITE ${OUT}.new "${text}")
file(RENAME ${OUT}.new ${OUT})
