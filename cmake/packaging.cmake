# Installation layout and the Debian package. The version is the project version, the one
# place it is set; --version and the About box show the same FENWIX_VERSION.

include(GNUInstallDirs)

set(FENWIX_DOC_DIR ${CMAKE_INSTALL_DATAROOTDIR}/doc/fenwix)

install(TARGETS fenwix-convert RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

# Manual pages go in compressed, as Debian keeps them; -n leaves the name and time out of the
# archive so that two builds give the same bytes.
find_program(GZIP_PROGRAM gzip REQUIRED)
set(man_pages)
foreach(page fenwix.1 fenwix-convert.1)
  set(source ${CMAKE_CURRENT_SOURCE_DIR}/docs/man/${page})
  set(packed ${CMAKE_CURRENT_BINARY_DIR}/man/${page}.gz)
  add_custom_command(OUTPUT ${packed}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_CURRENT_BINARY_DIR}/man
    COMMAND ${GZIP_PROGRAM} -9nc ${source} > ${packed}
    DEPENDS ${source} VERBATIM)
  list(APPEND man_pages ${packed})
endforeach()
add_custom_target(fenwix_man_pages ALL DEPENDS ${man_pages})
install(FILES ${man_pages} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

install(FILES README.md CHANGELOG.md docs/user-guide.md DESTINATION ${FENWIX_DOC_DIR})
install(FILES packaging/copyright DESTINATION ${FENWIX_DOC_DIR})
install(DIRECTORY docs/screenshots DESTINATION ${FENWIX_DOC_DIR})

if(TARGET fenwix)
  install(TARGETS fenwix RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  install(FILES src/gui/fenwix.desktop DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/applications)
  set(icon_dir ${CMAKE_INSTALL_DATAROOTDIR}/icons/hicolor)
  install(FILES src/gui/fenwix.svg DESTINATION ${icon_dir}/scalable/apps)

  # The bitmap sizes of the icon are drawn from the SVG at build time.
  find_program(RSVG_CONVERT rsvg-convert)
  if(RSVG_CONVERT)
    set(icons)
    foreach(size 16 22 24 32 48 64 128 256)
      set(png ${CMAKE_CURRENT_BINARY_DIR}/icons/${size}x${size}/fenwix.png)
      add_custom_command(OUTPUT ${png}
        COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_CURRENT_BINARY_DIR}/icons/${size}x${size}
        COMMAND ${RSVG_CONVERT} -w ${size} -h ${size} -o ${png}
                ${CMAKE_CURRENT_SOURCE_DIR}/src/gui/fenwix.svg
        DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/src/gui/fenwix.svg VERBATIM)
      list(APPEND icons ${png})
      install(FILES ${png} DESTINATION ${icon_dir}/${size}x${size}/apps)
    endforeach()
    add_custom_target(fenwix_icons ALL DEPENDS ${icons})
  else()
    message(WARNING "rsvg-convert (Debian package librsvg2-bin) not found: the icon is "
                    "installed as SVG only")
  endif()
endif()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME fenwix)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "The Fenwix developers")
set(CPACK_PACKAGE_CONTACT
    "Fenwix maintainers <maintainers@users.noreply.c-seed-73516554.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "convert Topcon XML field jobs into network adjustment input")
set(CPACK_PACKAGE_DESCRIPTION
    "Fenwix reads a job exported from a Topcon field data collector as XML, extracts the GPS
baselines and the total-station observations, can compute approximate coordinates for every
station from one seed station, offers to merge station names that denote the same ground
point, and writes the ASCII input file of a least-squares network adjustment program.
.
The package holds the dialog (fenwix) and its command-line twin (fenwix-convert).")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION science)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)
