# Writes the manual page of qm-build from its --help text, so that the page
# and the program say the same (tools/BuildOptions.cpp holds the text).
#   cmake -DTOOL=qm-build -DVERSION=x.y.z -DSTUB=../share/quillimark/quillimark-stub.exe
#         -DDOCS=../share/doc/quillimark -DOUT=qm-build.1 -P ManPage.cmake
# STUB, DOCS: the installed stub and documents' folder relative to the
# folder of qm-build, which is all the page can know: the prefix is chosen
# at installation ("cmake --install --prefix"), after the page is made, and
# the installation may move.
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
.SH FILES
Relative to the folder that holds qm-build:
.TP
.I ${STUB}
the stub packed when --stub is not given
.TP
.I ${DOCS}/format.md
the installer file format
.TP
.I ${DOCS}/LICENSE
the licence
.TP
.I ${DOCS}/THIRD-PARTY-NOTICES.txt
the notices of the third-party code in the stub and in qm-build
")
