# Man pages tessaline.1 and kadrimo.1, made at build time by help2man from each
# program's --help and --version, so that they always say what the programs say, and
# installed compressed (tessaline.1.gz) as Debian keeps its manuals.
option(TL_MAN_PAGES "Generate the man pages with help2man" ON)
if(NOT TL_MAN_PAGES)
  return()
endif()

find_program(HELP2MAN help2man)
find_program(GZIP gzip REQUIRED)
if(NOT HELP2MAN)
  message(FATAL_ERROR "help2man makes the man pages: install it (scripts/setup-deps does), "
                      "or configure with -DTL_MAN_PAGES=OFF to build without them")
endif()

set(TL_MAN_DIR ${CMAKE_BINARY_DIR}/man)
file(MAKE_DIRECTORY ${TL_MAN_DIR})

# tl_man_page(PROGRAM "summary for the NAME section")
function(tl_man_page program summary)
  set(page ${TL_MAN_DIR}/${program}.1)
  # A sanitizer build's leak check would fail the program's --help run at exit. gzip's
  # -n leaves the time out, so that the same page compresses to the same bytes.
  add_custom_command(
    OUTPUT ${page}.gz
    COMMAND ${CMAKE_COMMAND} -E env ASAN_OPTIONS=detect_leaks=0 TL_MAN_PROGRAM=$<TARGET_FILE:${program}>
            ${HELP2MAN} --no-info --section=1 --name=${summary} --output=${page}
            ${CMAKE_SOURCE_DIR}/cmake/helpForManPage.sh
    COMMAND ${GZIP} -9nf ${page}
    DEPENDS ${program} ${CMAKE_SOURCE_DIR}/cmake/helpForManPage.sh
    COMMENT "Generating the man page ${program}.1"
    VERBATIM)
  add_custom_target(${program}-man ALL DEPENDS ${page}.gz)
  install(FILES ${page}.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endfunction()

tl_man_page(tessaline "merge a burst of photographs into one high-dynamic-range image without ghosts")
tl_man_page(kadrimo "cut a window of frames out of a video into numbered image files")
