# Keeps the archive's statements inside src/store/: a file elsewhere that
# holds SQL text, includes sqlite3.h or uses QSqlQuery stops the build,
# named with its line. Files whose statements are still on their way into
# the store are listed in StoreBoundaryPending.txt beside this script (one
# path relative to src/ a line); the list only ever shrinks. Run as a script:
#   cmake -DSOURCE_DIR=<src> [-DPENDING=<file>] [-DSTAMP=<file>] -P CheckStoreBoundary.cmake

if(NOT SOURCE_DIR)
  message(FATAL_ERROR "CheckStoreBoundary: SOURCE_DIR not given")
endif()
get_filename_component(SOURCE_DIR "${SOURCE_DIR}" ABSOLUTE)
if(NOT DEFINED PENDING)
  set(PENDING "${CMAKE_CURRENT_LIST_DIR}/StoreBoundaryPending.txt")
endif()
set(_pending)
if(EXISTS "${PENDING}")
  file(STRINGS "${PENDING}" _pending REGEX "^[^#]")
endif()

# Looked for in each line, lower-cased: the database's own header and
# query class, and string literals that read as a statement or a piece of one.
set(_keywords "select|insert|update|delete|create|pragma|alter|drop|vacuum|attach|detach|explain|replace|begin|commit|rollback|savepoint|release")
set(_tables "wj|wjfz|wjnr|czygl|rz|lbsz|zdbh|zcbj|tj|xx|sqlite_master|wj_ss[a-z_]*|pragma_[a-z_]*")
set(_patterns
  "#[ \t]*include[ \t]*[<\"]sqlite3\\.h"
  "qsqlquery"
  "\"[ \t]*(${_keywords})[ \t]"
  "\"[^\"]*( where | from (${_tables})([ \"),]|$)| order by | glob \\?| like \\?| in \\(select )")

file(GLOB_RECURSE _files RELATIVE "${SOURCE_DIR}" "${SOURCE_DIR}/*.h" "${SOURCE_DIR}/*.cpp")
set(_wrong)
foreach(_file IN LISTS _files)
  if(_file MATCHES "^store/")
    continue()
  endif()
  list(FIND _pending "${_file}" _listed)
  if(NOT _listed EQUAL -1)
    continue()
  endif()
  # Read whole and split by hand: a ";" or a bracket in the code must not
  # split or join CMake's list items.
  file(READ "${SOURCE_DIR}/${_file}" _text)
  string(REPLACE ";" "<semicolon>" _text "${_text}")
  string(REPLACE "[" "<open>" _text "${_text}")
  string(REPLACE "]" "<close>" _text "${_text}")
  string(REPLACE "\\" "<backslash>" _text "${_text}")
  string(REPLACE "\n" ";" _lines "${_text}")
  set(_n 0)
  foreach(_line IN LISTS _lines)
    math(EXPR _n "${_n} + 1")
    if(_line MATCHES "^[ \t]*(//|\\*|/\\*)")
      continue()  # a comment may name a statement
    endif()
    string(TOLOWER "${_line}" _low)
    foreach(_p IN LISTS _patterns)
      if(_low MATCHES "${_p}")
        string(STRIP "${_line}" _shown)
        string(REPLACE "<semicolon>" "\;" _shown "${_shown}")
        string(REPLACE "<open>" "[" _shown "${_shown}")
        string(REPLACE "<close>" "]" _shown "${_shown}")
        string(REPLACE "<backslash>" "\\" _shown "${_shown}")
        list(APPEND _wrong "${_file}:${_n}: ${_shown}")
        break()
      endif()
    endforeach()
  endforeach()
endforeach()

if(_wrong)
  list(JOIN _wrong "\n  " _text)
  message(FATAL_ERROR "Statements outside src/store/:\n  ${_text}\n"
                      "SQL, sqlite3.h and QSqlQuery belong to the store; call a class of src/store/ instead.")
endif()
if(STAMP)
  file(TOUCH "${STAMP}")
endif()
