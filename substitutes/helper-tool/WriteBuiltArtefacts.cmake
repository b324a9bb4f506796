# cmake -DPACKAGE=<driver package> -DINSTALLER=<package installer>
#       -DTEMPLATE=<BuiltArtefacts.cpp.in> -DOUTPUT=<file> -P WriteBuiltArtefacts.cmake
# Fixes the digests of what the build made into the helper's source; the file
# is rewritten only when they change, so the helper is rebuilt only then.
file(SHA256 "${PACKAGE}" PACKAGE_SHA256)
file(SIZE "${PACKAGE}" PACKAGE_SIZE)
file(SHA256 "${INSTALLER}" INSTALLER_SHA256)
configure_file("${TEMPLATE}" "${OUTPUT}" @ONLY)
