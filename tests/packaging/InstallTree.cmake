# cmake -DBUILD=<build folder> -DPREFIX=<empty folder> -P InstallTree.cmake
#
# Installs the build into PREFIX and checks the tree: every file in place,
# the desktop entry and the metainfo accepted by their validators (when
# installed), and the installed renderer drawing a figure from the installed
# defaults with an empty home folder.
file(REMOVE_RECURSE "${PREFIX}")
execute_process(COMMAND ${CMAKE_COMMAND} --install "${BUILD}" --prefix "${PREFIX}"
  OUTPUT_QUIET RESULT_VARIABLE failed)
if(failed)
  message(FATAL_ERROR "cmake --install failed")
endif()

foreach(f
    bin/kavum bin/kavum-render
    share/kavum/Kavum_Nippon.mdt share/kavum/Kavum_Nippon_detail.mdt share/kavum/kavum.ini
    share/kavum/samples/mountains.grd share/kavum/samples/mountains-mesh.grd
    share/kavum/manual/index.html
    share/applications/org.kavum.Kavum.desktop
    share/metainfo/org.kavum.Kavum.metainfo.xml
    share/mime/packages/org.kavum.Kavum-mime.xml
    share/man/man1/kavum-render.1.gz share/man/man1/kavum.1.gz
    share/doc/kavum/copyright share/doc/kavum/changelog.gz
    share/icons/hicolor/16x16/apps/org.kavum.Kavum.png
    share/icons/hicolor/48x48/apps/org.kavum.Kavum.png
    share/icons/hicolor/256x256/apps/org.kavum.Kavum.png)
  if(NOT EXISTS "${PREFIX}/${f}")
    message(FATAL_ERROR "missing from the install tree: ${f}")
  endif()
endforeach()

# The installed defaults name the installed map and sample data.
file(READ "${PREFIX}/share/kavum/kavum.ini" ini)
string(REPLACE "\r" "" ini "${ini}")
foreach(line "\nMapFile=${PREFIX}/share/kavum/Kavum_Nippon.mdt\n" "\nGrdFile=${PREFIX}/share/kavum/samples/mountains.grd\n")
  string(FIND "${ini}" "${line}" at)
  if(at EQUAL -1)
    message(FATAL_ERROR "the installed settings lack ${line}")
  endif()
endforeach()

# The desktop entry: both names, the icon, the MIME types.
file(READ "${PREFIX}/share/applications/org.kavum.Kavum.desktop" entry)
foreach(key "\nName=Kavum\n" "\nName[ja]=" "\nIcon=org.kavum.Kavum\n" "application/x-kavum-grd;" "application/x-kavum-mdt;")
  string(FIND "${entry}" "${key}" at)
  if(at EQUAL -1)
    message(FATAL_ERROR "the desktop entry lacks ${key}")
  endif()
endforeach()

find_program(DESKTOP_FILE_VALIDATE desktop-file-validate)
if(DESKTOP_FILE_VALIDATE)
  execute_process(COMMAND ${DESKTOP_FILE_VALIDATE} "${PREFIX}/share/applications/org.kavum.Kavum.desktop"
    RESULT_VARIABLE failed OUTPUT_VARIABLE out ERROR_VARIABLE out)
  if(failed OR out MATCHES "error:")
    message(FATAL_ERROR "desktop-file-validate: ${out}")
  endif()
else()
  message(STATUS "desktop-file-validate not installed: entry not validated")
endif()
find_program(APPSTREAMCLI appstreamcli)
if(APPSTREAMCLI)
  execute_process(COMMAND ${APPSTREAMCLI} validate --no-net "${PREFIX}/share/metainfo/org.kavum.Kavum.metainfo.xml"
    RESULT_VARIABLE failed OUTPUT_VARIABLE out ERROR_VARIABLE out)
  if(failed)
    message(FATAL_ERROR "appstreamcli validate: ${out}")
  endif()
else()
  message(STATUS "appstreamcli not installed: metainfo not validated")
endif()

# The installed renderer finds its map and data from its prefix, with an
# empty home folder, and keeps its settings folder in ~/.config/kavum.
set(home "${PREFIX}/home")
file(MAKE_DIRECTORY "${home}")
execute_process(COMMAND ${CMAKE_COMMAND} -E env HOME=${home} --unset=XDG_CONFIG_HOME QT_QPA_PLATFORM=offscreen
    "${PREFIX}/bin/kavum-render" --layout 3 "${PREFIX}/figure.png"
  RESULT_VARIABLE failed OUTPUT_VARIABLE out ERROR_VARIABLE out)
if(failed OR NOT EXISTS "${PREFIX}/figure.png")
  message(FATAL_ERROR "the installed kavum-render failed: ${out}")
endif()
file(SIZE "${PREFIX}/figure.png" size)
if(size LESS 20000)
  message(FATAL_ERROR "the installed kavum-render drew an empty figure (${size} bytes)")
endif()
# The detailed map draws from the installed tree as well.
execute_process(COMMAND ${CMAKE_COMMAND} -E env HOME=${home} --unset=XDG_CONFIG_HOME QT_QPA_PLATFORM=offscreen
    "${PREFIX}/bin/kavum-render" --layout 3 --map "${PREFIX}/share/kavum/Kavum_Nippon_detail.mdt"
    "${PREFIX}/figure-detail.png"
  RESULT_VARIABLE failed OUTPUT_VARIABLE out ERROR_VARIABLE out)
if(failed OR NOT EXISTS "${PREFIX}/figure-detail.png")
  message(FATAL_ERROR "the installed kavum-render failed on the detailed map: ${out}")
endif()
if(NOT IS_DIRECTORY "${home}/.config/kavum")
  message(FATAL_ERROR "no settings folder ${home}/.config/kavum")
endif()
file(REMOVE_RECURSE "${PREFIX}")
