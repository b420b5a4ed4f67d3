# The OpenCV, JSON and standard headers take most of each batch's compile time; they are
# parsed once into one precompiled header per optimisation level that every target of that
# level reuses (the product's, and the tests' with GoogleTest).
# ringcalib_precompiled_headers(<name> <headers...>): the target that builds one.
function(ringcalib_precompiled_headers name)
  add_library(${name} OBJECT ${CMAKE_SOURCE_DIR}/cmake/precompiled_headers.cc)
  target_link_libraries(${name} PRIVATE ${OpenCV_LIBS} nlohmann_json::nlohmann_json)
  target_precompile_headers(${name} PRIVATE ${ARGN})
  set_target_properties(${name} PROPERTIES UNITY_BUILD OFF)
endfunction()

# ringcalib_reuse_precompiled_headers(<from> <directories...>): every library and executable
# those directories define reuses the precompiled header target <from>.
function(ringcalib_reuse_precompiled_headers from)
  foreach(directory IN LISTS ARGN)
    get_property(targets DIRECTORY ${directory} PROPERTY BUILDSYSTEM_TARGETS)
    foreach(target IN LISTS targets)
      get_target_property(type ${target} TYPE)
      if(NOT target STREQUAL from AND type MATCHES "^(STATIC_LIBRARY|EXECUTABLE)$")
        target_precompile_headers(${target} REUSE_FROM ${from})
      endif()
    endforeach()
  endforeach()
endfunction()
