# Keeps the folders of src/ a ladder:
#   platform <- store <- archive <- listing <- settings <- shell
# A file includes only its own folder and folders to its left; a ui/ folder
# may also include the ui/ of folders to its left; nothing outside ui/
# includes a ui/. Run as a script:
#   cmake -DSOURCE_DIR=<src> [-DSTAMP=<file>] -P CheckLayers.cmake
# It names every include that points the wrong way and fails.

set(KV_LADDER platform store archive listing settings shell)

if(NOT SOURCE_DIR)
  message(FATAL_ERROR "CheckLayers: SOURCE_DIR not given")
endif()
get_filename_component(SOURCE_DIR "${SOURCE_DIR}" ABSOLUTE)

file(GLOB_RECURSE _files RELATIVE "${SOURCE_DIR}"
     "${SOURCE_DIR}/*.h" "${SOURCE_DIR}/*.cpp")
set(_wrong)
foreach(_file IN LISTS _files)
  string(REPLACE "/" ";" _parts "${_file}")
  list(LENGTH _parts _depth)
  if(_depth LESS 2)
    continue()  # main.cpp sits above every folder
  endif()
  list(GET _parts 0 _folder)
  list(FIND KV_LADDER "${_folder}" _rank)
  if(_rank EQUAL -1)
    list(APPEND _wrong "${_file}: folder '${_folder}' has no place in the ladder")
    continue()
  endif()
  set(_in_ui FALSE)
  if(_depth GREATER 2)
    list(GET _parts 1 _second)
    if(_second STREQUAL "ui")
      set(_in_ui TRUE)
    endif()
  endif()

  file(STRINGS "${SOURCE_DIR}/${_file}" _lines REGEX "^[ \t]*#[ \t]*include[ \t]*\"")
  foreach(_line IN LISTS _lines)
    string(REGEX REPLACE "^[ \t]*#[ \t]*include[ \t]*\"([^\"]*)\".*$" "\\1" _inc "${_line}")
    string(REPLACE "/" ";" _iparts "${_inc}")
    list(LENGTH _iparts _idepth)
    if(_idepth LESS 2)
      continue()  # a file of the same folder, or a generated one (ui_*.h)
    endif()
    list(GET _iparts 0 _ifolder)
    list(FIND KV_LADDER "${_ifolder}" _irank)
    if(_irank EQUAL -1)
      continue()  # not one of ours
    endif()
    set(_inc_ui FALSE)
    if(_idepth GREATER 2)
      list(GET _iparts 1 _isecond)
      if(_isecond STREQUAL "ui")
        set(_inc_ui TRUE)
      endif()
    endif()
    if(_irank GREATER _rank)
      list(APPEND _wrong "${_file}: includes \"${_inc}\" (${_folder} may not reach up to ${_ifolder})")
    elseif(_inc_ui AND NOT _in_ui)
      list(APPEND _wrong "${_file}: includes \"${_inc}\" (logic outside ui/ may not include a window)")
    endif()
  endforeach()
endforeach()

if(_wrong)
  list(JOIN _wrong "\n  " _text)
  message(FATAL_ERROR "Includes that point the wrong way:\n  ${_text}\n"
                      "Folders form a ladder: ${KV_LADDER}; each includes only those to its left.")
endif()
if(STAMP)
  file(TOUCH "${STAMP}")
endif()
