# Writes the manual page of qm-build from its --help text, so that the page
# and the program say the same (tools/BuildOptions.cpp holds the text).
#   cmake -DTOOL=qm-build -DVERSION=x.y.z -DDOCS=share/doc/... -DOUT=qm-build.1 -P ManPage.cmake
execute_process(COMMAND ${TOOL} --help OUTPUT_VARIABLE help RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "${TOOL} --help failed: ${status}")
endif()
# roff: a backslash is written \e; a line that starts with a dot or an
# apostrophe would be a request.
string(REPLACE "\\" "\\e" help "${help}")
string(REGEX REPLACE "(^|\n)([.'])" "\\1\\\\&\\2" help "${help}")
file(WRITE ${OUT} ".TH QM-BUILD 1 \"\" \"qm-build ${VERSION}\" \"Quillimark\"
.SH NAME
qm-build \\- makes, lists, verifies and unpacks Quillimark self-extracting installers
.SH DESCRIPTION
.nf
${help}.fi
.SH SEE ALSO
The installer file format: ${DOCS}/format.md
")
