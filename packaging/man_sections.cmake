# Run as `cmake -DPAGE=... -P man_sections.cmake` on the page help2man made
# from --help: sets the EXAMPLES section's lines as they are (.nf), where
# help2man would fill them into one paragraph, and makes the exit statuses,
# which --help lists after the examples, a section of their own.
file(READ ${PAGE} text)
string(FIND "${text}" ".SH EXAMPLES\n.IP\n" at)
if(at EQUAL -1)
  message(FATAL_ERROR "${PAGE}: no EXAMPLES section as help2man lays it out")
endif()
string(SUBSTRING "${text}" 0 ${at} before)
string(SUBSTRING "${text}" ${at} -1 examples)
string(REPLACE ".SH EXAMPLES\n.IP\n" ".SH EXAMPLES\n.nf\n" examples "${examples}")
string(FIND "${examples}" "\n.S" end)
if(end EQUAL -1)
  string(APPEND examples ".fi\n")
else()
  string(SUBSTRING "${examples}" 0 ${end} lines)
  string(SUBSTRING "${examples}" ${end} -1 after)
  set(examples "${lines}\n.fi${after}")
endif()
string(REPLACE ".SS \"Exit status:\"" ".SH \"EXIT STATUS\"" examples "${examples}")
file(WRITE ${PAGE} "${before}${examples}")
