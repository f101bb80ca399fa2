# Read by CPack once per generator: the Debian package holds the command-line
# tool, the zip the Windows plug-ins.
if(CPACK_GENERATOR STREQUAL "DEB")
  set(CPACK_COMPONENTS_ALL tool)
elseif(CPACK_GENERATOR STREQUAL "ZIP")
  set(CPACK_COMPONENTS_ALL plugins)
endif()
