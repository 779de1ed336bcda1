// What a run-time fault probably is. The machine knows only the cell it could not reach; the
// instruction that reached for it tells a student's two usual faults apart: an indexed load or
// store (LDT, STT) went outside its array, and any other push below cell 0 found the stack full,
// most often by a recursion without end.
import { stackCells } from '../vocabulary.js';

export function faultHint(message, opcodeName) {
  const cell = /stack cell (-?\d+) out of range/.exec(message);
  if (!cell) return '';
  if (opcodeName === 'LDT' || opcodeName === 'STT') {
    return 'Probably an index outside its array (an array a[n] has the cells a[0] to a[n]).';
  }
  if (Number(cell[1]) < 0) {
    return `Probably a recursion too deep: the ${stackCells} stack cells are full (each call takes at least 3).`;
  }
  return '';
}
