# cmake -DTEMPLATE=<kavum.ini> -DASSETS=<assets folder> -DOUTPUT=<file> [-DREPLACE=1] -P DefaultSettings.cmake
#
# Writes OUTPUT from TEMPLATE with the bundled map and sample data named by
# absolute path. Does nothing when OUTPUT exists, unless REPLACE is set (the
# installed defaults, which belong to the program, not to a user). The template is Shift-JIS
# text with CR LF line ends; it is copied byte for byte apart from the two
# replaced values (file(READ) drops the CRs, so they are put back).
if(EXISTS "${OUTPUT}" AND NOT REPLACE)
  return()
endif()

file(READ "${TEMPLATE}" text)
string(REPLACE "\r" "" text "${text}")
foreach(entry "MapFile=Kavum_Nippon.mdt" "GrdFile=samples/mountains.grd")
  string(REGEX REPLACE "^([^=]+)=(.*)$" "\\1=${ASSETS}/\\2" absolute "${entry}")
  string(FIND "${text}" "\n${entry}\n" at)
  if(at EQUAL -1)
    message(FATAL_ERROR "${TEMPLATE} has no line ${entry}")
  endif()
  string(REPLACE "\n${entry}\n" "\n${absolute}\n" text "${text}")
endforeach()

string(REPLACE "\n" "\r\n" text "${text}")
get_filename_component(folder "${OUTPUT}" DIRECTORY)
file(MAKE_DIRECTORY "${folder}")
file(WRITE "${OUTPUT}.tmp" "${text}")
file(RENAME "${OUTPUT}.tmp" "${OUTPUT}")
message(STATUS "Wrote default settings ${OUTPUT}")
