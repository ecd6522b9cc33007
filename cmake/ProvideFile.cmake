# Copies SOURCE to DESTINATION unless a file is there already (a user's file is never replaced).
#   cmake -DSOURCE=... -DDESTINATION=... -P ProvideFile.cmake
if(NOT EXISTS "${DESTINATION}")
  get_filename_component(folder "${DESTINATION}" DIRECTORY)
  file(MAKE_DIRECTORY "${folder}")
  file(COPY_FILE "${SOURCE}" "${DESTINATION}")
endif()
