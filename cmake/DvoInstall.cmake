# Install layout and the Debian package.
#
# Everything that runs lives in one program folder, lib/dvo/, and finds its neighbours through
# the RPATH $ORIGIN; bin/ holds links to the two programs. The program opens its guide from its
# own folder, so the PDF goes there too.
include(GNUInstallDirs)

# Not the multiarch libdir: that is for libraries other packages link against.
set(DVO_PROGRAM_DIR lib/dvo)

# Every deliverable library and program.
set(dvo_shipped_libraries DVOSUB Tamsin Vantor debug Brindle Rundel)
set(dvo_shipped_programs DVO dvoscan)

foreach(target IN LISTS dvo_shipped_libraries dvo_shipped_programs)
    set_target_properties(${target} PROPERTIES INSTALL_RPATH "$ORIGIN")
    install(TARGETS ${target}
            RUNTIME DESTINATION ${DVO_PROGRAM_DIR} COMPONENT runtime
            LIBRARY DESTINATION ${DVO_PROGRAM_DIR} COMPONENT runtime)
endforeach()

# Public headers, one folder per library: include/Tamsin/Tamsin.h, include/DVOSUB/DVOSUB.h.
foreach(lib IN LISTS dvo_shipped_libraries)
    if(lib STREQUAL "DVOSUB")
        set(header ${PROJECT_SOURCE_DIR}/engine/DVOSUB.h)
    else()
        set(header ${PROJECT_SOURCE_DIR}/DLLs/${lib}/${lib}.h)
    endif()
    install(FILES ${header} DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/${lib} COMPONENT runtime)
endforeach()

# bin/DVO and bin/dvoscan: relative links, so the tree can be moved or unpacked anywhere.
foreach(program IN LISTS dvo_shipped_programs)
    install(CODE "
        set(link \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/${program}\")
        file(MAKE_DIRECTORY \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}\")
        file(CREATE_LINK \"../${DVO_PROGRAM_DIR}/${program}\" \"\${link}\" SYMBOLIC)
        list(APPEND CMAKE_INSTALL_MANIFEST_FILES \"\${link}\")
        message(STATUS \"Installing: \${link}\")" COMPONENT runtime)
endforeach()

if(DEFINED DVO_GUIDE_PDF)
    install(FILES ${DVO_GUIDE_PDF} DESTINATION ${DVO_PROGRAM_DIR} COMPONENT runtime)
endif()
install(FILES ${PROJECT_SOURCE_DIR}/share/dvo.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications COMPONENT runtime)
install(FILES ${PROJECT_SOURCE_DIR}/share/dvo.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps COMPONENT runtime)

# Man pages are shipped compressed, as Debian wants them; -n keeps the bytes reproducible.
set(dvo_man_page ${CMAKE_BINARY_DIR}/share/man/dvoscan.1.gz)
add_custom_command(OUTPUT ${dvo_man_page}
                   COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/share/man
                   COMMAND gzip -9n -c ${PROJECT_SOURCE_DIR}/share/dvoscan.1 > ${dvo_man_page}
                   DEPENDS ${PROJECT_SOURCE_DIR}/share/dvoscan.1 VERBATIM)
add_custom_target(dvo_man_page ALL DEPENDS ${dvo_man_page})
install(FILES ${dvo_man_page} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT runtime)

# ---- the Debian package: `make package` -----------------------------------------------------
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME dvo)
set(CPACK_PACKAGE_VENDOR "Lumetra")
set(CPACK_PACKAGE_CONTACT "DVO maintainers <dvo@lumetra.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "disk usage of the folders under one folder")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "DVO measures how much disk space the folders under one chosen folder take up.\n\
It scans with a fast multi-threaded engine, then shows a folder tree beside a\n\
grid of each folder's entries with their share of the size, their size and\n\
modified time, and deletes (to the trash), copies, moves or opens marked\n\
entries. Sizes are apparent sizes with hard links counted once. The package\n\
also carries dvoscan, the same engine on the command line, and the shared\n\
libraries of the system with their headers.")
# The version the program shows in its caption and version window.
set(CPACK_PACKAGE_VERSION 1.0.1)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Our own libraries in the program folder are part of this package, not dependencies.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${CMAKE_BINARY_DIR}/lib)
# The program speaks Japanese and draws with the Noto CJK face; opening and printing use the
# desktop's tools when they are there.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "fonts-noto-cjk")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "xdg-utils, cups-client, qt6-translations-l10n")
set(CPACK_OUTPUT_FILE_PREFIX ${CMAKE_BINARY_DIR}/package)
include(CPack)
