# Run by CPack on the staged files, after CPACK_STRIP_FILES has taken the symbols: also drops the
# sections a Debian package leaves out of its programs (the compilers' .comment and .note).
file(GLOB programs ${CPACK_TEMPORARY_INSTALL_DIRECTORY}/usr/bin/*)
foreach(program IN LISTS programs)
  execute_process(COMMAND ${CPACK_TAVRO_STRIP} --remove-section=.comment --remove-section=.note ${program}
                  RESULT_VARIABLE failed)
  if(failed)
    message(FATAL_ERROR "cannot strip ${program}")
  endif()
endforeach()
