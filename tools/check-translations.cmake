# Counts the texts of a Qt translation file and fails when one is not done:
# marked unfinished, empty, or a Korean text left without its translation.
#
#   cmake -DTS=<file.ts> [-DLUPDATE=<lupdate> -DSOURCES=<tree> -DWORK=<dir>]
#         -P check-translations.cmake
#
# The build runs it before lrelease, so each build reports the figures. With
# LUPDATE, a copy of the file in WORK first takes in the texts of the
# sources, so a text marked in the code but missing from the file counts as
# unfinished too.

cmake_minimum_required(VERSION 3.25)
if(NOT DEFINED TS)
  message(FATAL_ERROR "check-translations: -DTS=<file.ts> is missing")
endif()
if(DEFINED LUPDATE)
  get_filename_component(name "${TS}" NAME)
  file(COPY_FILE "${TS}" "${WORK}/${name}")
  set(TS "${WORK}/${name}")
  execute_process(COMMAND "${LUPDATE}" -silent -I . -locations none -source-language ko -target-language en
                          app terminal automation resources -ts "${TS}"
                  WORKING_DIRECTORY "${SOURCES}" RESULT_VARIABLE status ERROR_VARIABLE errors)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "check-translations: lupdate failed (${status}): ${errors}")
  endif()
endif()
file(READ "${TS}" ts)

# UTF-8 lead bytes 0xEA-0xED: U+A000 to U+DFFF, where the Hangul syllables
# are; 0xE3 0x84-0x86: the Hangul compatibility letters.
string(ASCII 234 b_ea)
string(ASCII 237 b_ed)
string(ASCII 227 b_e3)
string(ASCII 132 b_84)
string(ASCII 134 b_86)
set(hangul "[${b_ea}-${b_ed}]|${b_e3}[${b_84}-${b_86}]")

string(REPLACE ";" "@SEMICOLON@" ts "${ts}")
string(REPLACE "</message>" ";" messages "${ts}")
set(translated 0)
set(unfinished 0)
set(problems "")
foreach(message IN LISTS messages)
  if(NOT message MATCHES "<source>([^<]*)</source>")
    continue()
  endif()
  set(source "${CMAKE_MATCH_1}")
  if(message MATCHES "<translation([^>]*)>([^<]*)</translation>")
    set(attributes "${CMAKE_MATCH_1}")
    set(text "${CMAKE_MATCH_2}")
  elseif(message MATCHES "<translation([^>]*)/>")
    set(attributes "${CMAKE_MATCH_1}")
    set(text "")
  else()
    set(attributes "")
    set(text "")
  endif()
  # Texts gone from the sources are not compiled in.
  if(attributes MATCHES "type=\"(vanished|obsolete)\"")
    continue()
  endif()
  if(attributes MATCHES "type=\"unfinished\"" OR text STREQUAL "" OR
     (source MATCHES "${hangul}" AND (text STREQUAL source OR text MATCHES "${hangul}")))
    math(EXPR unfinished "${unfinished} + 1")
    string(REPLACE "@SEMICOLON@" ";" source "${source}")
    string(APPEND problems "\n  ${source}")
  else()
    math(EXPR translated "${translated} + 1")
  endif()
endforeach()

get_filename_component(name "${TS}" NAME)
message(STATUS "${name}: ${translated} translated, ${unfinished} unfinished")
if(unfinished GREATER 0)
  message(FATAL_ERROR "${name}: texts without an English translation:${problems}")
endif()
