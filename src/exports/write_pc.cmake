# Writes cwpipes.pc for the prefix being installed to; run by `cmake --install`. The caller sets
# CWPIPES_PC_TEMPLATE, CWPIPES_PC_OUTPUT, CWPIPES_LIBDIR, CWPIPES_INCLUDEDIR (each relative to
# the prefix, or absolute) and CWPIPES_VERSION.
set(CWPIPES_PC_PREFIX "${CMAKE_INSTALL_PREFIX}")
foreach(dir LIBDIR INCLUDEDIR)
  if(IS_ABSOLUTE "${CWPIPES_${dir}}")
    set(CWPIPES_PC_${dir} "${CWPIPES_${dir}}")
  else()
    set(CWPIPES_PC_${dir} "\${prefix}/${CWPIPES_${dir}}")
  endif()
endforeach()
configure_file("${CWPIPES_PC_TEMPLATE}" "${CWPIPES_PC_OUTPUT}" @ONLY)
