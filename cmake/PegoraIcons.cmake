# Each icon is drawn once, by make_icon.py: .ico files for the Windows
# programs, PNG images for Linux desktops and for the Qt programs themselves.
find_package(Python3 REQUIRED COMPONENTS Interpreter)
set(PEGORA_ICON_TOOL ${CMAKE_CURRENT_LIST_DIR}/make_icon.py)

# pegora_icon(drawing output size...): one image file, made at build time.
function(pegora_icon drawing output)
  get_filename_component(folder ${output} DIRECTORY)
  add_custom_command(OUTPUT ${output}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${folder}
    COMMAND Python3::Interpreter ${PEGORA_ICON_TOOL} ${drawing} ${output} ${ARGN}
    DEPENDS ${PEGORA_ICON_TOOL})
endfunction()

# pegora_qt_icons(target drawing): the drawing at 16, 32 and 48 pixels, built
# into the target as the resources :/icons/<drawing>-<size>.png.
function(pegora_qt_icons target drawing)
  set(files)
  foreach(size 16 32 48)
    set(png ${CMAKE_CURRENT_BINARY_DIR}/icons/${drawing}-${size}.png)
    pegora_icon(${drawing} ${png} ${size})
    list(APPEND files ${png})
  endforeach()
  qt_add_resources(${target} ${drawing}_icons PREFIX / BASE ${CMAKE_CURRENT_BINARY_DIR} FILES ${files})
endfunction()
