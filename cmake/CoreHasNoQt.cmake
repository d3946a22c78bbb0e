# Fails when any file under core/ includes a Qt header: the document core
# must build and be tested with the standard library alone.
# Usable at configure time (include) and as a script (cmake -P, with CORE_DIR).
if(NOT CORE_DIR)
  set(CORE_DIR ${CMAKE_CURRENT_LIST_DIR}/../core)
endif()
file(GLOB_RECURSE kanvo_core_files ${CORE_DIR}/*.h ${CORE_DIR}/*.hpp ${CORE_DIR}/*.cpp)
foreach(file IN LISTS kanvo_core_files)
  file(STRINGS ${file} qt_includes REGEX "^[ \t]*#[ \t]*include[ \t]*[<\"](Q[A-Za-z]|qt|Qt)")
  if(qt_includes)
    message(FATAL_ERROR "core/ must not include Qt headers: ${file}: ${qt_includes}")
  endif()
endforeach()
