// Generated from common/vocabulary.h and common/stack.h by web/vocabulary.cmake: do not edit.
// The keywords, found by their spelling in any case.
export const keywords = [
  'begin',
  'end',
  'if',
  'then',
  'while',
  'do',
  'call',
  'const',
  'var',
  'procedure',
  'write',
  'putc',
  'read',
  'getc',
  'else',
  'odd',
  'mod',
  'int',
];
// The machine's stack: cells 0 .. topCell.
export const stackCells = 101;
export const topCell = 100;
