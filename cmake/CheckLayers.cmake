cmake_minimum_required(VERSION 3.25)
# Fails when a folder includes a header of a folder above it. Run by the build
# (target quillex_check_layers): cmake -DSOURCE_DIR=<repository> -P CheckLayers.cmake
#
# The layers, lowest first: what each folder may include besides itself.
set(MAY_content "")
set(MAY_config "")
set(MAY_device content config)
set(MAY_discovery content config device)
set(MAY_transfer content config device)
set(MAY_toolpath content)
set(MAY_document content config device discovery transfer toolpath)
set(MAY_history ${MAY_document} document)
set(MAY_operations ${MAY_history} history)
set(MAY_update content config)
# The faces: the window (app/ with its dialogs/) and the command line.
set(MAY_dialogs ${MAY_operations} operations update)
set(MAY_app ${MAY_dialogs} dialogs)
set(MAY_cli ${MAY_operations} operations update)
# The folder service: a face without a window, at the level of the command line.
set(MAY_dnc ${MAY_operations} operations update)
# The simulated devices share no code with the client.
set(MAY_devsim "")

set(problems "")
foreach(folder content config device discovery transfer toolpath document history operations update dialogs app cli dnc devsim)
  file(GLOB files "${SOURCE_DIR}/${folder}/*.h" "${SOURCE_DIR}/${folder}/*.cpp")
  foreach(file IN LISTS files)
    file(STRINGS "${file}" lines REGEX "^[ \t]*#[ \t]*include[ \t]*\"[A-Za-z_]+/")
    foreach(line IN LISTS lines)
      string(REGEX REPLACE "^[ \t]*#[ \t]*include[ \t]*\"([A-Za-z_]+)/.*$" "\\1" used "${line}")
      if(NOT used STREQUAL folder AND NOT used IN_LIST MAY_${folder})
        file(RELATIVE_PATH name "${SOURCE_DIR}" "${file}")
        list(APPEND problems "${name} includes ${used}/, which ${folder}/ may not use")
      endif()
    endforeach()
  endforeach()
endforeach()

if(problems)
  list(JOIN problems "\n  " text)
  message(FATAL_ERROR "Includes against the layers (HACKING.md):\n  ${text}")
endif()
