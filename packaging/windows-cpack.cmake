# Read by CPack once for each generator.
if(CPACK_GENERATOR STREQUAL "ZIP")
  # The zip's top folder has no version, so a newer zip unpacked over the old one keeps freq.text's
  # path; the zip itself is named for its version.
  set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
  set(CPACK_PACKAGING_INSTALL_PREFIX "/Frekuensi")
elseif(CPACK_GENERATOR STREQUAL "NSIS64")
  set(CPACK_PACKAGE_FILE_NAME "${CPACK_FREKUENSI_SETUP_NAME}")
endif()
