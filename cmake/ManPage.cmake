# cmake -DPROGRAM=exe -DNAME=name -DSUMMARY=text -DSEEALSO="a;b" -DOUTPUT=file.1 -P ManPage.cmake
# A program's manual page, made from its own --help and --version so that the two never say
# different things. The help's first paragraph (its usage lines) is the synopsis, the rest the
# description, kept as the program prints it.

foreach(var PROGRAM NAME SUMMARY OUTPUT)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "ManPage.cmake: ${var} is not set")
  endif()
endforeach()

# The windowed programs answer before they open any window; no display is needed.
set(ENV{QT_QPA_PLATFORM} offscreen)
foreach(option help version)
  execute_process(COMMAND ${PROGRAM} --${option} RESULT_VARIABLE rc OUTPUT_VARIABLE ${option}
                  ERROR_VARIABLE err)
  if(NOT rc EQUAL 0 OR "${${option}}" STREQUAL "")
    message(FATAL_ERROR "${NAME} --${option} gave exit ${rc} and no text: ${err}")
  endif()
endforeach()
string(STRIP "${version}" version)

# roff: a backslash is \e, a line may not begin with a dot or an apostrophe, "-" is a minus.
function(roff_escape in out)
  string(REPLACE "\\" "\\e" text "${in}")
  string(REPLACE "-" "\\-" text "${text}")
  string(REGEX REPLACE "(^|\n)([.'])" "\\1\\\\&\\2" text "${text}")
  set(${out} "${text}" PARENT_SCOPE)
endfunction()

string(FIND "${help}" "\n\n" split)
if(split LESS 0)
  message(FATAL_ERROR "${NAME} --help has no usage paragraph followed by a blank line")
endif()
string(SUBSTRING "${help}" 0 ${split} synopsis)
math(EXPR rest "${split} + 2")
string(SUBSTRING "${help}" ${rest} -1 description)
string(REGEX REPLACE "(^|\n)usage: *" "\\1" synopsis "${synopsis}")
string(REGEX REPLACE "(^|\n) +" "\\1" synopsis "${synopsis}")
string(STRIP "${description}" description)
roff_escape("${synopsis}" synopsis)
roff_escape("${description}" description)
roff_escape("${SUMMARY}" summary)
roff_escape("${NAME}" name)
string(TOUPPER "${name}" title)

set(see "")
foreach(other IN LISTS SEEALSO)
  if(NOT other STREQUAL NAME)
    list(APPEND see "\\fB${other}\\fR(1)")
  endif()
endforeach()
list(JOIN see ", " see)
string(REPLACE "-" "\\-" see "${see}")

file(WRITE ${OUTPUT} "'\\\" -*- coding: utf-8 -*-
.\\\" Made from `${NAME} --help` by the build: change the program's help text, not this file.
.TH ${title} 1 \"\" \"${version}\" \"Velm gateway\"
.nh
.ad l
.SH NAME
${name} \\- ${summary}
.SH SYNOPSIS
.nf
${synopsis}
.fi
.SH DESCRIPTION
.nf
${description}
.fi
.SH SEE ALSO
${see}
")
