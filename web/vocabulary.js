// Generated from common/vocabulary.h, common/stack.h, translator/register_operations.h,
// interpreter/machine.h and explorer/recording.h by web/vocabulary.cmake: do not edit.
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
// The register operations: [the first field of the line the Translator writes, its name].
export const registerOperations = [
  ['push_Ax', 'push_Ax'],
  ['pop_Ax', 'pop_Ax'],
  ['pop Bx', 'pop_Bx'],
  ['sub_Ax,Bx', 'sub_Ax_Bx'],
  ['add_Ax,Bx', 'add_Ax_Bx'],
  ['imul_Ax,Bx', 'imul_Ax_Bx'],
  ['idiv_Ax,Bx', 'idiv_Ax_Bx'],
  ['mod_Ax,Bx', 'mod_Ax_Bx'],
  ['odd_Ax', 'odd_Ax'],
  ['eq_Ax,Bx', 'eq_Ax_Bx'],
  ['lt_Ax,Bx', 'lt_Ax_Bx'],
  ['le_Ax,Bx', 'le_Ax_Bx'],
  ['ne_Ax,Bx', 'ne_Ax_Bx'],
  ['gt_Ax,Bx', 'gt_Ax_Bx'],
  ['ge_Ax,Bx', 'ge_Ax_Bx'],
  ['mov_Ax,Bx', 'mov_Ax_Bx'],
  ['mov_Tx,Ax', 'mov_Tx_Ax'],
  ['mov_Bx,Tx', 'mov_Bx_Tx'],
  ['mov_Bx,Imm', 'mov_Bx_Imm'],
  ['jmp', 'jmp'],
  ['jz', 'jz'],
  ['mov_PC,Ax', 'mov_PC_Ax'],
  ['mov_Ax,PC', 'mov_Ax_PC'],
  ['mov_Ax,SP', 'mov_Ax_SP'],
  ['mov_SP,Ax', 'mov_SP_Ax'],
  ['mov_Ax,BP', 'mov_Ax_BP'],
  ['mov_BP,Ax', 'mov_BP_Ax'],
  ['dec_Ax', 'dec_Ax'],
  ['inc_Ax', 'inc_Ax'],
  ['mov_Ax,[Ax]', 'mov_Ax_at_Ax'],
  ['mov_[Ax],Bx', 'mov_at_Ax_Bx'],
  ['write_Ax', 'write_Ax'],
  ['putc_Ax', 'putc_Ax'],
  ['read_Ax', 'read_Ax'],
  ['getc_Ax', 'getc_Ax'],
];
// A frame's link cells: each is the cell base - n.
export const frameLinks = {
  staticLink: 0,
  dynamicLink: 1,
  returnAddress: 2,
};
// What DIV and MOD deliver for a divisor of 0.
export const divisionByZero = -2147483648;
// A recording keeps at most this many steps (pl0 explore --max-steps) and bytes of output.
export const maxSteps = 1000000;
export const maxOutput = 1048576;
