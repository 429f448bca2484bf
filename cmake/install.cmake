# What `cmake --install` (and `make install PREFIX=...`) puts in place: the programs, the
# public headers, both libraries, the CMake package stemloop::, a pkg-config file and the
# man pages. Every file is placed relative to the prefix, so the tree may be moved.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

set(STEMLOOP_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/stemloop)

install(TARGETS stemloop stemloop_shared EXPORT stemloopTargets
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR})
install(DIRECTORY ${PROJECT_SOURCE_DIR}/lib/include/stemloop
  DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}
  FILES_MATCHING PATTERN "*.h" PATTERN "*.hpp")
install(FILES ${PROJECT_BINARY_DIR}/include/stemloop/version.h
  DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/stemloop)

install(TARGETS stemloop_cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
foreach(tool stemloop_fold_tool stemloop_eval_tool)
  if(TARGET ${tool})
    install(TARGETS ${tool} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  endif()
endforeach()
file(GLOB STEMLOOP_MAN_PAGES ${PROJECT_SOURCE_DIR}/man/*.1)
install(FILES ${STEMLOOP_MAN_PAGES} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

# find_package(stemloop): the targets stemloop::stemloop (shared) and stemloop::static.
install(EXPORT stemloopTargets NAMESPACE stemloop:: DESTINATION ${STEMLOOP_CMAKE_DIR})
configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/stemloopConfig.cmake.in
  ${PROJECT_BINARY_DIR}/stemloopConfig.cmake INSTALL_DESTINATION ${STEMLOOP_CMAKE_DIR})
# Releases 0.x promise a stable interface only within one minor version.
write_basic_package_version_file(${PROJECT_BINARY_DIR}/stemloopConfigVersion.cmake
  COMPATIBILITY SameMinorVersion)
install(FILES ${PROJECT_BINARY_DIR}/stemloopConfig.cmake
  ${PROJECT_BINARY_DIR}/stemloopConfigVersion.cmake DESTINATION ${STEMLOOP_CMAKE_DIR})

# pkg-config finds the prefix from where the .pc file lies.
set(STEMLOOP_PC_DIR ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
file(RELATIVE_PATH STEMLOOP_PC_TO_PREFIX /prefix/${STEMLOOP_PC_DIR} /prefix)
configure_file(${PROJECT_SOURCE_DIR}/cmake/stemloop.pc.in ${PROJECT_BINARY_DIR}/stemloop.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/stemloop.pc DESTINATION ${STEMLOOP_PC_DIR})

# The Python module and its type stub, in the site directory the interpreter reads under
# the prefix, which is known only when installing (cmake --install --prefix).
if(TARGET stemloop_python)
  install(CODE "
    set(site \"${STEMLOOP_PYTHON_INSTALL_DIR}\")
    if(NOT site)
      execute_process(COMMAND \"${Python3_EXECUTABLE}\" \"${PROJECT_SOURCE_DIR}/python/site_dir.py\"
        \"\${CMAKE_INSTALL_PREFIX}\" OUTPUT_VARIABLE site OUTPUT_STRIP_TRAILING_WHITESPACE
        RESULT_VARIABLE status)
      if(NOT status EQUAL 0)
        message(FATAL_ERROR \"cannot tell the Python site directory under \${CMAKE_INSTALL_PREFIX}\")
      endif()
    endif()
    if(NOT IS_ABSOLUTE \"\${site}\")
      set(site \"\${CMAKE_INSTALL_PREFIX}/\${site}\")
    endif()
    file(INSTALL DESTINATION \"\${site}\" TYPE MODULE FILES \"$<TARGET_FILE:stemloop_python>\")
    file(INSTALL DESTINATION \"\${site}\" TYPE FILE
      FILES \"${PROJECT_SOURCE_DIR}/python/stemloop.pyi\")")
endif()

if(STEMLOOP_TESTS)
  add_test(NAME installed_tree COMMAND bash ${PROJECT_SOURCE_DIR}/tests/installed/installed_tree.sh
    ${PROJECT_SOURCE_DIR} ${PROJECT_BINARY_DIR} ${CMAKE_COMMAND} ${CMAKE_C_COMPILER}
    $<$<TARGET_EXISTS:stemloop_python>:${Python3_EXECUTABLE}>)
endif()
