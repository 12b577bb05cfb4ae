# The Windows release: one zip holding the programs, the README and the licence (when
# the repository has one).  cmake --build --preset windows-release --target package
install(TARGETS vuq vuq-legacy vuqctl RUNTIME DESTINATION .)
install(FILES ${PROJECT_SOURCE_DIR}/README.md DESTINATION .)
foreach(LICENCE LICENSE LICENSE.md LICENSE.txt COPYING)
  if(EXISTS ${PROJECT_SOURCE_DIR}/${LICENCE})
    install(FILES ${PROJECT_SOURCE_DIR}/${LICENCE} DESTINATION .)
  endif()
endforeach()

set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME vuq)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_FILE_NAME vuq-${PROJECT_VERSION}-windows-x86_64)
set(CPACK_STRIP_FILES ON)
include(CPack)
