# Qt Test programs: one executable of a folder's *_test.cpp files with the shared main, and one
# CTest test per test class the program registers (asked of the program after each build, so
# a class that is written is always run). A library that does not exist is an error.
set(VFX_QT_TEST_DISCOVERY ${CMAKE_CURRENT_LIST_DIR}/qt_test_discovery.cmake)
set(VFX_QT_TEST_SUPPORT ${CMAKE_CURRENT_LIST_DIR})

# vfx_qt_tests(target prefix LIBRARIES libs... [SOURCES more...] [ENVIRONMENT vars...])
function(vfx_qt_tests target prefix)
    cmake_parse_arguments(QT "" "" "LIBRARIES;SOURCES;ENVIRONMENT" ${ARGN})
    foreach(lib ${QT_LIBRARIES})
        if(NOT TARGET ${lib})
            message(FATAL_ERROR "${target}: the library target ${lib} does not exist")
        endif()
    endforeach()
    file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*_test.cpp)
    if(NOT sources)
        message(FATAL_ERROR "${target}: no *_test.cpp in ${CMAKE_CURRENT_SOURCE_DIR}")
    endif()
    add_executable(${target} ${sources} ${QT_SOURCES} ${VFX_QT_TEST_SUPPORT}/qt_test_main.cpp
                             ${VFX_QT_TEST_SUPPORT}/../test_support.cpp)
    set_target_properties(${target} PROPERTIES AUTOMOC ON)
    target_include_directories(${target} PRIVATE ${CMAKE_SOURCE_DIR}/tests ${CMAKE_SOURCE_DIR})
    target_compile_definitions(${target} PRIVATE VFX_TEST_DATA_DIR="${VFX_TEST_DATA_DIR}")
    target_link_libraries(${target} PRIVATE ${QT_LIBRARIES} Qt6::Test)

    set(classes_file ${CMAKE_CURRENT_BINARY_DIR}/${target}_classes.cmake)
    set(include_file ${CMAKE_CURRENT_BINARY_DIR}/${target}_include.cmake)
    # A list cannot pass through the command line whole: its separator is carried as "|".
    # The window tests keep their thumbnails in the build folder, never the user's cache.
    string(REPLACE ";" "|" environment
                   "QT_QPA_PLATFORM=offscreen;${VFX_TEST_ENV};${QT_ENVIRONMENT}")
    add_custom_command(TARGET ${target} POST_BUILD
                       COMMAND ${CMAKE_COMMAND} -D EXE=$<TARGET_FILE:${target}> -D PREFIX=${prefix}
                               -D ENVIRONMENT=${environment} -D OUT=${classes_file}
                               -P ${VFX_QT_TEST_DISCOVERY}
                       VERBATIM)
    # Until the program is built its one test fails, rather than no test being run.
    file(WRITE ${include_file}
         "if(EXISTS [==[${classes_file}]==])\n"
         "    include([==[${classes_file}]==])\n"
         "else()\n"
         "    add_test([==[${prefix}NOT_BUILT]==] [==[${target}_NOT_BUILT]==])\n"
         "endif()\n")
    set_property(DIRECTORY APPEND PROPERTY TEST_INCLUDE_FILES ${include_file})
endfunction()
