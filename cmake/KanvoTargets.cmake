# kanvo_warnings(<target>): the project's warning set, as errors when asked.
function(kanvo_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic)
  if(KANVO_WARNINGS_AS_ERRORS)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
endfunction()

# kanvo_view_library(<name> SOURCES <files...> LINKS <targets...>): one layer of
# the Qt view code, a static library that the layers above include by folder
# ("kit/KanvoColors.h"), built with the project's warnings.
function(kanvo_view_library name)
  cmake_parse_arguments(PARSE_ARGV 1 ARG "" "" "SOURCES;LINKS")
  add_library(${name} STATIC ${ARG_SOURCES})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR})
  target_link_libraries(${name} PUBLIC ${ARG_LINKS})
  kanvo_warnings(${name})
endfunction()
