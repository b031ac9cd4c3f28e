# Run by CPack after it made the package: rewrites it with fixed entry times
# and order, so that a build of the same commit gives the same bytes.
foreach(package IN LISTS CPACK_PACKAGE_FILES)
  execute_process(COMMAND ${CPACK_KW_PYTHON} ${CPACK_KW_RELEASE_DIR}/fixed_zip.py ${package} ${CPACK_KW_SOURCE_DIR}
    RESULT_VARIABLE result)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "fixed_zip.py failed on ${package}")
  endif()
endforeach()
