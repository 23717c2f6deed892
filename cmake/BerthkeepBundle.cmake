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
