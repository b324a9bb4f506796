# cmake -DSTAGE=<folder> -DSOURCE_DIR=<this folder> -DCLIENT_SOURCE_RESOURCES=<folder>
#       -DCLIENT_BUNDLE=<built bundle> -DAGENT=<file> -DBACKEND=<file> -DSETUP_TOOL=<file>
#       -DPKGBUILD=<tavoren-pkgbuild> -DVERSION=<version> -DOUTPUT=<package>
#       -P StagePayload.cmake
# Lays out what the driver package installs, with the modes it installs
# them with, and builds the package from it.
cmake_policy(SET CMP0009 NEW)
foreach(required STAGE SOURCE_DIR CLIENT_SOURCE_RESOURCES CLIENT_BUNDLE AGENT BACKEND SETUP_TOOL PKGBUILD VERSION OUTPUT)
  if(NOT DEFINED ${required})
    message(FATAL_ERROR "StagePayload.cmake needs -D${required}=...")
  endif()
endforeach()

set(payload "${STAGE}/payload")
set(scripts "${STAGE}/scripts")
file(REMOVE_RECURSE "${STAGE}")
file(MAKE_DIRECTORY "${payload}" "${scripts}")

set(dir_mode OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(exe_mode ${dir_mode})
set(data_mode OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)

# The client bundle, root's and writable by root alone: the client file
# holds the administrator's defaults, and each user's own values live in
# that user's home. The client file is the template, never the build tree's.
set(printers "${payload}/Library/Printers/CorvaneTavoren")
set(bundle "${printers}/Corvane Tavoren for Mac.app")
file(MAKE_DIRECTORY "${bundle}/Contents/MacOS" "${bundle}/Contents/Resources")
file(GLOB executables "${CLIENT_BUNDLE}/Contents/MacOS/*")
file(COPY ${executables} DESTINATION "${bundle}/Contents/MacOS" FILE_PERMISSIONS ${exe_mode})
file(GLOB translations "${CLIENT_BUNDLE}/Contents/Resources/*.qm")
file(COPY ${translations} DESTINATION "${bundle}/Contents/Resources" FILE_PERMISSIONS ${data_mode})
file(COPY "${CLIENT_SOURCE_RESOURCES}/TavorenClient.plist" DESTINATION "${bundle}/Contents/Resources"
     FILE_PERMISSIONS ${data_mode})
# The agent starts the client through ".../contents/MacOS/...".
file(CREATE_LINK Contents "${bundle}/contents" SYMBOLIC)

file(COPY "${AGENT}" DESTINATION "${printers}" FILE_PERMISSIONS ${exe_mode})
file(COPY "${SETUP_TOOL}" DESTINATION "${printers}" FILE_PERMISSIONS ${exe_mode})
file(COPY "${SOURCE_DIR}/Uninstall.sh" DESTINATION "${printers}" FILE_PERMISSIONS ${exe_mode})
# Both ways of installing make the print queue with it.
file(COPY "${SOURCE_DIR}/PrintQueue.sh" DESTINATION "${printers}" FILE_PERMISSIONS ${exe_mode})
# The administrator's defaults: postinstall makes the admin file from them,
# or adds their new keys to the one an administrator has set.
file(COPY "${SOURCE_DIR}/CorvaneTavorenAdmin.plist" DESTINATION "${printers}" FILE_PERMISSIONS ${data_mode})
file(RENAME "${printers}/CorvaneTavorenAdmin.plist" "${printers}/CorvaneTavorenAdmin.defaults.plist")
# Root-only, so the print scheduler runs the backend as root.
file(MAKE_DIRECTORY "${payload}/usr/lib/cups/backend")
file(COPY "${BACKEND}" DESTINATION "${payload}/usr/lib/cups/backend" FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE)
file(MAKE_DIRECTORY "${payload}/usr/share/ppd/corvanetavoren")
file(COPY "${SOURCE_DIR}/CorvaneTavoren.ppd" DESTINATION "${payload}/usr/share/ppd/corvanetavoren"
     FILE_PERMISSIONS ${data_mode})
file(MAKE_DIRECTORY "${payload}/etc/xdg/autostart")
file(COPY "${SOURCE_DIR}/CorvaneTavorenAgent.desktop" DESTINATION "${payload}/etc/xdg/autostart"
     FILE_PERMISSIONS ${data_mode})

file(COPY "${SOURCE_DIR}/scripts/preinstall" "${SOURCE_DIR}/scripts/postinstall" DESTINATION "${scripts}"
     FILE_PERMISSIONS ${exe_mode})

# Every folder 0755, whatever the umask made them.
file(GLOB_RECURSE folders LIST_DIRECTORIES true "${payload}/*")
foreach(entry IN LISTS folders)
  if(IS_DIRECTORY "${entry}" AND NOT IS_SYMLINK "${entry}")
    file(CHMOD "${entry}" PERMISSIONS ${dir_mode})
  endif()
endforeach()

execute_process(
  COMMAND "${PKGBUILD}" --root "${payload}" --scripts "${scripts}" --identifier com.Corvane.TavorenInstaller
          --version "${VERSION}" --install-location / "${OUTPUT}"
  RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "Building the driver package failed (${result})")
endif()
