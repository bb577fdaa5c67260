# The library's sources without drawing, shared by the native build (model/CMakeLists.txt) and the
# WebAssembly build (web/CMakeLists.txt). draw.cpp, the only file that calls OpenGL, is apart.
# Every other .cpp of model/ belongs here: model/CMakeLists.txt stops the configure when one is
# missing, so that no build of the library lacks a part of it.
set(ZEL_MODEL_DIR ${CMAKE_CURRENT_LIST_DIR})
set(ZEL_CORE_SOURCE_NAMES
    bounds.cpp
    draw_mode.cpp
    format.cpp
    mesh.cpp
    model.cpp
    mtl_reader.cpp
    normals.cpp
    obj_load.cpp
    obj_ranges.cpp
    obj_reader.cpp
    obj_writer.cpp
    polygon.cpp
    ppm.cpp
    scanner.cpp
    status.cpp
    texcoords.cpp
    threads.cpp
    weld.cpp)
set(ZEL_DRAW_SOURCE_NAMES draw.cpp)
list(TRANSFORM ZEL_CORE_SOURCE_NAMES PREPEND ${ZEL_MODEL_DIR}/ OUTPUT_VARIABLE ZEL_CORE_SOURCES)

file(GLOB ZEL_FOUND_SOURCES RELATIVE ${ZEL_MODEL_DIR} CONFIGURE_DEPENDS ${ZEL_MODEL_DIR}/*.cpp)
foreach(source ${ZEL_FOUND_SOURCES})
  if(NOT source IN_LIST ZEL_CORE_SOURCE_NAMES AND NOT source IN_LIST ZEL_DRAW_SOURCE_NAMES)
    message(FATAL_ERROR "model/${source} is in neither list of model/sources.cmake: add it to "
                        "ZEL_CORE_SOURCE_NAMES (or to ZEL_DRAW_SOURCE_NAMES if it draws)")
  endif()
endforeach()
