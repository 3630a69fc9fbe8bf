# Folder = layer = library. Each layer library publishes an include folder of
# its own in the build tree, holding only a link to its source folder, and
# nothing publishes the source root. A file therefore sees the headers of its
# own layer and of the layers its library links, which all lie below it; an
# #include of a higher layer finds no file and fails to build.
function(cc_layer target folder)
  set(root ${CMAKE_BINARY_DIR}/layers/${target})
  set(link ${root}/${folder})
  get_filename_component(parent ${link} DIRECTORY)
  file(MAKE_DIRECTORY ${parent})
  if(NOT EXISTS ${link})
    file(CREATE_LINK ${CMAKE_SOURCE_DIR}/${folder} ${link} SYMBOLIC)
  endif()
  get_target_property(type ${target} TYPE)
  if(type STREQUAL "INTERFACE_LIBRARY")
    target_include_directories(${target} INTERFACE ${root})
  else()
    target_include_directories(${target} PUBLIC ${root})
  endif()
endfunction()
