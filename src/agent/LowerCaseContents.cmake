# cmake -DBUNDLE_DIR=<bundle> -P LowerCaseContents.cmake
# Makes <bundle>/contents resolve to <bundle>/Contents. Where the file system
# ignores case the two are one folder already and nothing is made.
file(MAKE_DIRECTORY "${BUNDLE_DIR}/Contents")
if(NOT EXISTS "${BUNDLE_DIR}/contents" AND NOT IS_SYMLINK "${BUNDLE_DIR}/contents")
  file(CREATE_LINK Contents "${BUNDLE_DIR}/contents" SYMBOLIC)
endif()
