# The manifest and version resource of one Windows program, written into its
# build folder, where its .rc script includes "version.rc".
set(PEGORA_VERSION_DOTTED "${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR}.0.0")
set(PEGORA_VERSION_COMMAS "${PROJECT_VERSION_MAJOR},${PROJECT_VERSION_MINOR},0,0")
# The manifest names the machine the program is built for (the 64-bit build
# exists for testing on machines that run 64-bit code only).
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  set(PEGORA_MANIFEST_ARCH "amd64")
else()
  set(PEGORA_MANIFEST_ARCH "x86")
endif()

function(pegora_windows_resources program description)
  set(PROGRAM ${program})
  set(DESCRIPTION ${description})
  configure_file(${PROJECT_SOURCE_DIR}/packaging/windows/app.manifest.in
                 ${CMAKE_CURRENT_BINARY_DIR}/${program}.manifest @ONLY)
  configure_file(${PROJECT_SOURCE_DIR}/packaging/windows/version.rc.in
                 ${CMAKE_CURRENT_BINARY_DIR}/version.rc @ONLY)
endfunction()
