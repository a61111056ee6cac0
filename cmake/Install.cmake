# How Tavro installs as a desktop application, and its Debian package:
#   bin/tavro
#   lib/tavro/egl/libEGL_tavro_none.so, tavro_egl_none.json    (the EGL vendor without GL)
#   share/applications/tavro.desktop
#   share/icons/hicolor/{16x16,32x32,48x48}/apps/tavro.png   (cut from the program's icon file)
#   share/tavro/url.txt, 界面_03.gif, 界面_06.gif              (samples for a working folder)
#   share/tavro/screenshots/signed-in.png                     (made by scripts/demo.sh --screenshot)
#   share/metainfo/cn.tavro.tavro.metainfo.xml                (AppStream)
#   share/man/man1/tavro.1.gz
#   share/doc/tavro/copyright, changelog.gz                   (machine-readable; Debian native)
#   share/lintian/overrides/tavro
# The program itself is installed by app/CMakeLists.txt.

# The release: version and date of the changelog's latest entry, which must be this version.
function(tavro_release_date changelog out)
  file(STRINGS ${changelog} top LIMIT_COUNT 1)
  file(STRINGS ${changelog} trailer REGEX "^ -- " LIMIT_COUNT 1)
  if(NOT top MATCHES "^tavro \\(${PROJECT_VERSION}\\) ")
    message(FATAL_ERROR "${changelog}: the latest entry is \"${top}\"; it must be that of version ${PROJECT_VERSION}")
  endif()
  set(months Jan Feb Mar Apr May Jun Jul Aug Sep Oct Nov Dec)
  if(NOT trailer MATCHES ", ([0-9]?[0-9]) ([A-Z][a-z][a-z]) ([0-9][0-9][0-9][0-9]) ")
    message(FATAL_ERROR "${changelog}: no date in \"${trailer}\"")
  endif()
  set(year ${CMAKE_MATCH_3})
  list(FIND months ${CMAKE_MATCH_2} month)
  if(month LESS 0)
    message(FATAL_ERROR "${changelog}: no month \"${CMAKE_MATCH_2}\" in \"${trailer}\"")
  endif()
  math(EXPR month "${month} + 1")
  math(EXPR day "${CMAKE_MATCH_1} + 0")
  foreach(part month day)
    if(${part} LESS 10)
      set(${part} 0${${part}})
    endif()
  endforeach()
  set(${out} ${year}-${month}-${day} PARENT_SCOPE)
endfunction()
tavro_release_date(${PROJECT_SOURCE_DIR}/packaging/debian/changelog TAVRO_RELEASE_DATE)

set(TAVRO_ICON_SIZES 16 32 48)
set(TAVRO_ICON_SOURCE ${PROJECT_SOURCE_DIR}/app/form/images/tavro.ico)
set(TAVRO_ICON_DIR ${CMAKE_BINARY_DIR}/icons)
set(TAVRO_ICON_FILES)
foreach(size IN LISTS TAVRO_ICON_SIZES)
  set(png ${TAVRO_ICON_DIR}/${size}x${size}/tavro.png)
  # A sanitized build runs the tool too; GdkPixbuf's loader modules stay loaded until exit.
  add_custom_command(
    OUTPUT ${png}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${TAVRO_ICON_DIR}/${size}x${size}
    COMMAND ${CMAKE_COMMAND} -E env ASAN_OPTIONS=detect_leaks=0
            $<TARGET_FILE:tavro-ico-to-png> ${TAVRO_ICON_SOURCE} ${size} ${png}
    DEPENDS tavro-ico-to-png ${TAVRO_ICON_SOURCE}
    COMMENT "Cutting the ${size}x${size} icon from tavro.ico"
    VERBATIM)
  list(APPEND TAVRO_ICON_FILES ${png})
  install(FILES ${png} DESTINATION share/icons/hicolor/${size}x${size}/apps)
endforeach()
add_custom_target(tavro_icons ALL DEPENDS ${TAVRO_ICON_FILES})

configure_file(${PROJECT_SOURCE_DIR}/packaging/tavro.desktop.in ${CMAKE_BINARY_DIR}/packaging/tavro.desktop @ONLY)
install(FILES ${CMAKE_BINARY_DIR}/packaging/tavro.desktop DESTINATION share/applications)

install(FILES
          ${PROJECT_SOURCE_DIR}/packaging/samples/url.txt
          ${PROJECT_SOURCE_DIR}/packaging/samples/界面_03.gif
          ${PROJECT_SOURCE_DIR}/packaging/samples/界面_06.gif
        DESTINATION share/tavro)
install(FILES ${PROJECT_SOURCE_DIR}/packaging/screenshots/signed-in.png DESTINATION share/tavro/screenshots)

string(REPLACE "&" "&amp;" TAVRO_DISPLAY_NAME_XML "${TAVRO_DISPLAY_NAME}")
string(REPLACE "<" "&lt;" TAVRO_DISPLAY_NAME_XML "${TAVRO_DISPLAY_NAME_XML}")
string(REPLACE ">" "&gt;" TAVRO_DISPLAY_NAME_XML "${TAVRO_DISPLAY_NAME_XML}")
configure_file(${PROJECT_SOURCE_DIR}/packaging/cn.tavro.tavro.metainfo.xml.in
               ${CMAKE_BINARY_DIR}/packaging/cn.tavro.tavro.metainfo.xml @ONLY)
install(FILES ${CMAKE_BINARY_DIR}/packaging/cn.tavro.tavro.metainfo.xml DESTINATION share/metainfo)

# The manual page and the changelog, compressed as Debian wants them: at most, without name or
# time stamp, so that the same sources give the same package.
find_program(GZIP gzip REQUIRED)
configure_file(${PROJECT_SOURCE_DIR}/packaging/tavro.1.in ${CMAKE_BINARY_DIR}/packaging/gz/tavro.1 @ONLY)
configure_file(${PROJECT_SOURCE_DIR}/packaging/debian/changelog ${CMAKE_BINARY_DIR}/packaging/gz/changelog COPYONLY)
set(TAVRO_GZIPPED)
foreach(name tavro.1 changelog)
  set(plain ${CMAKE_BINARY_DIR}/packaging/gz/${name})
  add_custom_command(
    OUTPUT ${plain}.gz
    COMMAND ${GZIP} -9 -n -k -f ${plain}
    DEPENDS ${plain}
    COMMENT "Compressing ${name}"
    VERBATIM)
  list(APPEND TAVRO_GZIPPED ${plain}.gz)
endforeach()
add_custom_target(tavro_gzipped_docs ALL DEPENDS ${TAVRO_GZIPPED})
install(FILES ${CMAKE_BINARY_DIR}/packaging/gz/tavro.1.gz DESTINATION share/man/man1)
install(FILES ${CMAKE_BINARY_DIR}/packaging/gz/changelog.gz ${PROJECT_SOURCE_DIR}/packaging/debian/copyright
        DESTINATION share/doc/tavro)
install(FILES ${PROJECT_SOURCE_DIR}/packaging/debian/lintian-overrides
        DESTINATION share/lintian/overrides RENAME tavro)

# cpack -G DEB in a release build: tavro_1.0.0.0_amd64.deb
set(CPACK_PACKAGE_NAME tavro)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Tavro")
set(CPACK_PACKAGE_CONTACT "Tavro developers <dev@tavro.cn>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Desktop frame for a web customer-service agent console")
set(CPACK_GENERATOR DEB)
set(CPACK_STRIP_FILES ON)
set(CPACK_TAVRO_STRIP ${CMAKE_STRIP})
set(CPACK_PRE_BUILD_SCRIPTS ${CMAKE_CURRENT_LIST_DIR}/PackageStrip.cmake)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS fonts-wqy-microhei)
# The summary line comes from CPACK_PACKAGE_DESCRIPTION_SUMMARY; this is the text below it.
# Lines of at most 79 columns: the package tools indent each by one.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "${TAVRO_DISPLAY_NAME} shows the agent console of a web customer-service
(kefu) site in one small skinned window. It reads the site address from
url.txt, mirrors the page title into the window caption and logs the agent
out when it is closed. The menu entry runs it in ~/.config/tavro (see
tavro(1)); samples of url.txt and of the two pictures of the signed-in layout
are in /usr/share/tavro.")
include(CPack)
