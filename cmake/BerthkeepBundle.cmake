# Writes the app bundle's Info.plist into the build tree's bundle folder.
# Empty values read as absent: without an update feed and key the updater stays
# off, without a feedback address feedback goes to mail.
set(BERTHKEEP_BUNDLE_IDENTIFIER "app.berthkeep.Berthkeep" CACHE STRING
  "Bundle identifier (must match kProductionBundleIdentifier for a shipped build)")
set(BERTHKEEP_SHORT_VERSION "${PROJECT_VERSION}" CACHE STRING "CFBundleShortVersionString")
set(BERTHKEEP_BUILD_NUMBER "1" CACHE STRING "CFBundleVersion")
set(BERTHKEEP_FEEDBACK_URL "" CACHE STRING "HTTPS feedback page (BerthkeepFeedbackURL)")
set(BERTHKEEP_UPDATE_FEED_URL "" CACHE STRING "Update feed address (SUFeedURL)")
set(BERTHKEEP_UPDATE_PUBLIC_KEY "" CACHE STRING "Update signing public key (SUPublicEDKey)")

configure_file(
  "${PROJECT_SOURCE_DIR}/apps/mac/Resources/Info.plist.in"
  "${BERTHKEEP_BUNDLE_DIR}/Info.plist"
  @ONLY)

# The resource bundle inside the app bundle: the menu-bar glyph at 1x and 2x.
set(BERTHKEEP_RESOURCE_BUNDLE_DIR "${BERTHKEEP_BUNDLE_DIR}/Resources/Berthkeep_Berthkeep.bundle")
set(berthkeep_resource_outputs "")
foreach(name IN ITEMS menubar-icon@1x.png menubar-icon@2x.png)
  add_custom_command(
    OUTPUT "${BERTHKEEP_RESOURCE_BUNDLE_DIR}/${name}"
    COMMAND ${CMAKE_COMMAND} -E copy_if_different
            "${PROJECT_SOURCE_DIR}/apps/mac/Resources/MenubarIcons/${name}"
            "${BERTHKEEP_RESOURCE_BUNDLE_DIR}/${name}"
    DEPENDS "${PROJECT_SOURCE_DIR}/apps/mac/Resources/MenubarIcons/${name}"
    VERBATIM)
  list(APPEND berthkeep_resource_outputs "${BERTHKEEP_RESOURCE_BUNDLE_DIR}/${name}")
endforeach()
add_custom_target(berthkeep_resources ALL DEPENDS ${berthkeep_resource_outputs})
