# Makes a manual page from its template and the program's own --help text, so
# the synopsis and the options are always what the program itself says.
#
#   cmake -DPROGRAM=<program> -DTEMPLATE=<page.1.in> -DOUTPUT=<page.1>
#         -DVERSION=<x.y> -DDATE=<YYYY-MM-DD> -P make-manpage.cmake
#
# The template holds the written sections, @SYNOPSIS@ and @OPTIONS@ where the
# made ones go, and @VERSION@ and @DATE@. The --help layout read here is the
# one support/HelpFormat.h writes: a "usage:" line with indented
# continuations, then rows under a heading, each "  SYNOPSIS  text" with the
# text continued on lines indented further.

cmake_minimum_required(VERSION 3.25)

foreach(var PROGRAM TEMPLATE OUTPUT VERSION DATE)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "make-manpage: -D${var}=... is missing")
  endif()
endforeach()

execute_process(COMMAND "${PROGRAM}" --help
  RESULT_VARIABLE status OUTPUT_VARIABLE help ERROR_VARIABLE errors)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "make-manpage: '${PROGRAM} --help' failed (${status}): ${errors}")
endif()

# roff: a backslash is \e, a minus sign \-.
function(roff_escape text out)
  string(REPLACE "\\" "\\e" text "${text}")
  set(${out} "${text}" PARENT_SCOPE)
endfunction()

# Option names in bold, the words standing for values (FILE, COMn, PATH) in
# italics, minus signs as \-. With `keep_brackets_whole`, the spaces inside
# square brackets do not break.
function(roff_synopsis text keep_brackets_whole out)
  roff_escape("${text}" text)
  string(LENGTH "${text}" length)
  if(keep_brackets_whole AND length GREATER 0)
    set(joined "")
    set(depth 0)
    math(EXPR last "${length} - 1")
    foreach(i RANGE 0 ${last})
      string(SUBSTRING "${text}" ${i} 1 c)
      if(c STREQUAL "[")
        math(EXPR depth "${depth} + 1")
      elseif(c STREQUAL "]")
        math(EXPR depth "${depth} - 1")
      elseif(c STREQUAL " " AND depth GREATER 0)
        set(c "@NBSP@ ")
      endif()
      string(APPEND joined "${c}")
    endforeach()
    set(text "${joined}")
  endif()
  # A leading space stands in for the start of the text in both patterns.
  set(text " ${text}")
  string(REGEX REPLACE "([ [=])([A-Z][A-Za-z]*)" "\\1\\\\fI\\2\\\\fR" text "${text}")
  string(REGEX REPLACE "([ [|,])(--?[a-z][-a-z0-9]*)" "\\1\\\\fB\\2\\\\fR" text "${text}")
  string(SUBSTRING "${text}" 1 -1 text)
  string(REPLACE "-" "\\-" text "${text}")
  string(REPLACE "@NBSP@ " "\\ " text "${text}")
  set(${out} "${text}" PARENT_SCOPE)
endfunction()

function(roff_text text out)
  roff_escape("${text}" text)
  string(REPLACE "-" "\\-" text "${text}")
  if(text MATCHES "^[.']")
    set(text "\\&${text}")
  endif()
  set(${out} "${text}" PARENT_SCOPE)
endfunction()

# Lines as a list: first keep the characters that a CMake list treats
# specially out of the way.
string(REPLACE ";" "@SEMICOLON@" help "${help}")
string(REPLACE "[" "@OPEN@" help "${help}")
string(REPLACE "]" "@CLOSE@" help "${help}")
string(REPLACE "\n" ";" lines "${help}")

function(restore text out)
  string(REPLACE "@SEMICOLON@" ";" text "${text}")
  string(REPLACE "@OPEN@" "[" text "${text}")
  string(REPLACE "@CLOSE@" "]" text "${text}")
  set(${out} "${text}" PARENT_SCOPE)
endfunction()

set(state start)
set(usage "")
set(tags "")
set(count 0)
foreach(line IN LISTS lines)
  restore("${line}" line)
  if(state STREQUAL "start")
    if(NOT line MATCHES "^usage: ([^ ]+) ?(.*)$")
      message(FATAL_ERROR "make-manpage: '${PROGRAM} --help' does not start with 'usage: '")
    endif()
    set(program "${CMAKE_MATCH_1}")
    set(usage "${CMAKE_MATCH_2}")
    set(state usage)
  elseif(state STREQUAL "usage")
    if(line MATCHES "^ +(.*)$")
      string(APPEND usage " ${CMAKE_MATCH_1}")
    else()
      set(state text)
    endif()
  elseif(state STREQUAL "text")
    if(line MATCHES "^[A-Za-z][^ ]*:$")
      set(state rows)
    endif()
  elseif(line MATCHES "^  ([^ ].*)$")
    # A new row: the synopsis, then the text after a gap of two spaces.
    set(row "${CMAKE_MATCH_1}")
    math(EXPR count "${count} + 1")
    if(row MATCHES "^(.*[^ ])  +([^ ].*)$")
      set(tag_${count} "${CMAKE_MATCH_1}")
      set(text_${count} "${CMAKE_MATCH_2}")
    else()
      set(tag_${count} "${row}")
      set(text_${count} "")
    endif()
  elseif(line MATCHES "^   +([^ ].*)$" AND count GREATER 0)
    if(text_${count} STREQUAL "")
      set(text_${count} "${CMAKE_MATCH_1}")
    else()
      string(APPEND text_${count} " ${CMAKE_MATCH_1}")
    endif()
  endif()
endforeach()

if(count EQUAL 0)
  message(FATAL_ERROR "make-manpage: no options found in '${PROGRAM} --help'")
endif()

# Each usage item on a line of its own; .SY fills them with a hanging indent.
set(items "")
set(item "")
set(depth 0)
string(LENGTH "${usage}" length)
math(EXPR last "${length} - 1")
foreach(i RANGE 0 ${last})
  string(SUBSTRING "${usage}" ${i} 1 c)
  if(c STREQUAL "[")
    math(EXPR depth "${depth} + 1")
  elseif(c STREQUAL "]")
    math(EXPR depth "${depth} - 1")
  endif()
  if(c STREQUAL " " AND depth EQUAL 0)
    if(NOT item STREQUAL "")
      roff_synopsis("${item}" ON formatted)
      string(APPEND items "${formatted}\n")
    endif()
    set(item "")
  else()
    string(APPEND item "${c}")
  endif()
endforeach()
if(NOT item STREQUAL "")
  roff_synopsis("${item}" ON formatted)
  string(APPEND items "${formatted}\n")
endif()
string(REPLACE "-" "\\-" program_roff "${program}")
set(SYNOPSIS ".SH SYNOPSIS\n.SY ${program_roff}\n${items}.YS")

set(OPTIONS ".SH OPTIONS")
foreach(i RANGE 1 ${count})
  roff_synopsis("${tag_${i}}" OFF tag)
  roff_text("${text_${i}}" text)
  string(APPEND OPTIONS "\n.TP\n${tag}\n${text}")
endforeach()

configure_file("${TEMPLATE}" "${OUTPUT}" @ONLY)
