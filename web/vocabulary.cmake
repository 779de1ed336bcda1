# Writes web/vocabulary.js from the C++ tables the pages must agree with: the keywords (the
# symbols from "begin" to "int" of common/vocabulary.h) and the stack's size (common/stack.h).
#   cmake -DOUTPUT=web/vocabulary.js -P web/vocabulary.cmake    (writes it)
#   cmake -DCHECK=web/vocabulary.js -P web/vocabulary.cmake     (fails when it is out of date)
get_filename_component(root ${CMAKE_CURRENT_LIST_DIR}/.. ABSOLUTE)
file(READ ${root}/common/vocabulary.h vocabulary)
string(REGEX MATCH "#define PL0_SYMBOLS\\(X\\)(.*)#define PL0_OPCODES" symbols "${vocabulary}")
string(REGEX MATCHALL "X\\(([a-z]+)\\)" names "${symbols}")
set(keywords "")
set(inside FALSE)
foreach(entry IN LISTS names)
  string(REGEX REPLACE "X\\(([a-z]+)\\)" "\\1" name "${entry}")
  if(name STREQUAL "begin")
    set(inside TRUE)
  endif()
  if(inside)
    string(APPEND keywords "  '${name}',\n")
  endif()
  if(name STREQUAL "int")
    set(inside FALSE)
  endif()
endforeach()
file(READ ${root}/common/stack.h stack)
string(REGEX MATCH "stack_cells = ([0-9]+)" found "${stack}")
set(cells ${CMAKE_MATCH_1})
math(EXPR top "${cells} - 1")

set(text "// Generated from common/vocabulary.h and common/stack.h by web/vocabulary.cmake: do not edit.
// The keywords, found by their spelling in any case.
export const keywords = [
${keywords}];
// The machine's stack: cells 0 .. topCell.
export const stackCells = ${cells};
export const topCell = ${top};
")
if(DEFINED OUTPUT)
  file(WRITE ${OUTPUT} "${text}")
elseif(DEFINED CHECK)
  file(READ ${CHECK} committed)
  if(NOT committed STREQUAL text)
    message(FATAL_ERROR "${CHECK} is out of date: cmake -DOUTPUT=${CHECK} -P web/vocabulary.cmake")
  endif()
else()
  message(FATAL_ERROR "give -DOUTPUT=FILE or -DCHECK=FILE")
endif()
