# The installer window's resources. Including this file lays them into the
# installer bundle's resource folder (target tavoren_installer_resources):
#  - the images, drawn as SVG and rendered by tavoren-svg2png at twice their
#    display size (the alert also serves as a 128-pixel product icon);
#  - the "Installer" strings table, Installer_<lang>.qm, read at run time.
# tavoren_add_installer_resources(TARGET) then compiles the images into TARGET
# under ":/images/<name>.png" and the licence texts under
# ":/License/License.html" and ":/License/License_fr.html".
include_guard(GLOBAL)

block()
set(resources_dir "${TAVOREN_INSTALLER_BUNDLE_DIR}/Contents/Resources")
set(images_source "${CMAKE_CURRENT_LIST_DIR}/images")

# name:rendered width:rendered height, in pixels
set(images
  "Drag_arrow:192:96"
  "Alert:256:256"
  "Success:128:128"
  "DestinationIcon:256:256"
  "question_icon:48:48"
  "TavorenDriver:256:256"
  "InstallerBackground:1200:600")

set(pngs "")
foreach(image IN LISTS images)
  string(REPLACE ":" ";" fields "${image}")
  list(GET fields 0 name)
  list(GET fields 1 width)
  list(GET fields 2 height)
  set(png "${resources_dir}/${name}.png")
  set(svg "${images_source}/${name}.svg")
  add_custom_command(OUTPUT "${png}"
    COMMAND "${CMAKE_COMMAND}" -E make_directory "${resources_dir}"
    COMMAND tavoren-svg2png "${svg}" "${png}" ${width} ${height}
    DEPENDS tavoren-svg2png "${svg}"
    COMMENT "Rendering ${name}.png"
    VERBATIM)
  list(APPEND pngs "${png}")
endforeach()

add_custom_target(tavoren_installer_resources ALL DEPENDS ${pngs})

set(ts
  "${CMAKE_CURRENT_LIST_DIR}/translations/Installer_en.ts"
  "${CMAKE_CURRENT_LIST_DIR}/translations/Installer_fr.ts")
set_source_files_properties(${ts} PROPERTIES OUTPUT_LOCATION "${resources_dir}")
qt_add_lrelease(tavoren_installer_resources TS_FILES ${ts} OPTIONS -idbased -silent)

# Directory variables do not reach a caller in another folder; properties do.
set_property(GLOBAL PROPERTY TAVOREN_INSTALLER_RESOURCES_DIR "${resources_dir}")
set_property(GLOBAL PROPERTY TAVOREN_INSTALLER_PNGS "${pngs}")
set_property(GLOBAL PROPERTY TAVOREN_INSTALLER_LICENCES
  "${CMAKE_CURRENT_LIST_DIR}/License.html" "${CMAKE_CURRENT_LIST_DIR}/License_fr.html")
endblock()

function(tavoren_add_installer_resources target)
  get_property(resources_dir GLOBAL PROPERTY TAVOREN_INSTALLER_RESOURCES_DIR)
  get_property(pngs GLOBAL PROPERTY TAVOREN_INSTALLER_PNGS)
  get_property(licences GLOBAL PROPERTY TAVOREN_INSTALLER_LICENCES)
  list(GET licences 0 licence)
  get_filename_component(licence_dir "${licence}" DIRECTORY)
  set_source_files_properties(${pngs} PROPERTIES GENERATED TRUE)
  qt_add_resources(${target} tavoren_installer_images
    PREFIX /images BASE "${resources_dir}" FILES ${pngs})
  qt_add_resources(${target} tavoren_installer_licence
    PREFIX /License BASE "${licence_dir}" FILES ${licences})
  add_dependencies(${target} tavoren_installer_resources)
endfunction()
