# Writes web/vocabulary.js from the C++ tables the pages must agree with, so that no page
# restates them: the keywords (the symbols from "begin" to "int" of common/vocabulary.h), the
# stack's size (common/stack.h), the register operations and the order in which CAL pushes a
# frame's link cells (translator/register_operations.h), what a division by 0 delivers
# (interpreter/machine.h) and the recording's caps (explorer/recording.h).
#   cmake -DOUTPUT=web/vocabulary.js -P web/vocabulary.cmake    (writes it)
#   cmake -DCHECK=web/vocabulary.js -P web/vocabulary.cmake     (fails when it is out of date)
get_filename_component(root ${CMAKE_CURRENT_LIST_DIR}/.. ABSOLUTE)

# The first integer `name = ...` in `file`, with INT32_MIN and a shift written out.
function(constant file name variable)
  file(READ ${root}/${file} text)
  if(NOT text MATCHES "${name} = ([^;]+);")
    message(FATAL_ERROR "${file} no longer defines ${name}")
  endif()
  string(REPLACE "INT32_MIN" "(-2147483647 - 1)" value "${CMAKE_MATCH_1}")
  math(EXPR value "${value}")
  set(${variable} ${value} PARENT_SCOPE)
endfunction()

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
constant(common/stack.h stack_cells cells)
math(EXPR top "${cells} - 1")

# Each operation as X(name, "\tline\n") or X(name, "\tline\t%d\n"): the line's first field is
# what the opcode file shows, and what the page looks an operation up by.
file(READ ${root}/translator/register_operations.h operations_header)
string(REGEX MATCH "#define PL0_REGISTER_OPERATIONS\\(X\\)(.*)// clang-format on" operations_table
       "${operations_header}")
string(REGEX MATCHALL "X\\([A-Za-z_]+, \"[^\"]*\"\\)" entries "${operations_table}")
set(operations "")
foreach(entry IN LISTS entries)
  string(REGEX MATCH "X\\(([A-Za-z_]+), \"\\\\t([^\\\\\"]+)" found "${entry}")
  string(APPEND operations "  ['${CMAKE_MATCH_2}', '${CMAKE_MATCH_1}'],\n")
endforeach()
list(LENGTH entries operation_count)
if(operation_count LESS 30)
  message(FATAL_ERROR "translator/register_operations.h: found only ${operation_count} register operations")
endif()

# CAL's sequence: each push_Ax stores the register the operation before it put in Ax (the base
# walk's result being the static link), and the k-th push lands in cell base - k.
if(NOT operations_header MATCHES "case CAL:[^;]*return sequence\\(([^)]*)\\)")
  message(FATAL_ERROR "translator/register_operations.h: CAL's sequence not found")
endif()
string(REGEX REPLACE "[ \n]+" "" call "${CMAKE_MATCH_1}")
string(REPLACE "," ";" call "${call}")
set(links "")
set(pushed 0)
set(previous "")
foreach(operation IN LISTS call)
  if(operation STREQUAL "push_Ax")
    if(previous STREQUAL "base_walk")
      string(APPEND links "  staticLink: ${pushed},\n")
    elseif(previous STREQUAL "mov_Ax_BP")
      string(APPEND links "  dynamicLink: ${pushed},\n")
    elseif(previous STREQUAL "mov_Ax_PC")
      string(APPEND links "  returnAddress: ${pushed},\n")
    else()
      message(FATAL_ERROR "CAL pushes what ${previous} left in Ax: web/vocabulary.cmake does not know that link")
    endif()
    math(EXPR pushed "${pushed} + 1")
  endif()
  set(previous ${operation})
endforeach()

constant(interpreter/machine.h division_by_zero division_by_zero)
constant(explorer/recording.h default_max_steps max_steps)
constant(explorer/recording.h default_max_output max_output)

set(text "// Generated from common/vocabulary.h, common/stack.h, translator/register_operations.h,
// interpreter/machine.h and explorer/recording.h by web/vocabulary.cmake: do not edit.
// The keywords, found by their spelling in any case.
export const keywords = [
${keywords}];
// The machine's stack: cells 0 .. topCell.
export const stackCells = ${cells};
export const topCell = ${top};
// The register operations: [the first field of the line the Translator writes, its name].
export const registerOperations = [
${operations}];
// A frame's link cells: each is the cell base - n.
export const frameLinks = {
${links}};
// What DIV and MOD deliver for a divisor of 0.
export const divisionByZero = ${division_by_zero};
// A recording keeps at most this many steps (pl0 explore --max-steps) and bytes of output.
export const maxSteps = ${max_steps};
export const maxOutput = ${max_output};
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
