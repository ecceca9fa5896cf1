# A VERSIONINFO resource for a Windows program: file and product version from
# src/engine/version.h (PROJECT_VERSION, four parts), the product, the
# copyright (TARNIX_COPYRIGHT, read from the same header) and a description.
function(tarnix_version_resource target description)
  set(TARNIX_RC_NAME ${target})
  set(TARNIX_RC_DESCRIPTION "${description}")
  set(rc ${CMAKE_CURRENT_BINARY_DIR}/${target}-version.rc)
  configure_file(${PROJECT_SOURCE_DIR}/resources/version.rc.in ${rc} @ONLY)
  target_sources(${target} PRIVATE ${rc})
endfunction()
