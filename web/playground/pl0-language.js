// PL/0 for CodeMirror: keywords in any case, the four comment forms, strings, numbers and the
// shorthands ! ? %.
import { StreamLanguage } from '@codemirror/language';
import { keywords as keywordList } from '../vocabulary.js';

const keywords = new Set(keywordList);

// The closing mark of each block comment form.
const closers = { '(*': '*)', '/*': '*/', '{': '}' };

export const pl0Language = StreamLanguage.define({
  name: 'pl0',
  startState: () => ({ comment: null }),
  token(stream, state) {
    if (state.comment) {
      const close = state.comment;
      // "(*)" does not close: the opening star cannot be the first half of the closing pair.
      while (!stream.eol()) {
        if (stream.match(close)) {
          state.comment = null;
          break;
        }
        stream.next();
      }
      return 'comment';
    }
    if (stream.eatSpace()) return null;
    if (stream.match('//')) {
      stream.skipToEnd();
      return 'comment';
    }
    for (const open of Object.keys(closers)) {
      if (stream.match(open)) {
        state.comment = closers[open];
        return 'comment';
      }
    }
    const quote = stream.peek();
    if (quote === "'" || quote === '"') {
      stream.next();
      while (!stream.eol() && stream.next() !== quote);
      return 'string';
    }
    if (stream.match(/^[0-9]+/)) return 'number';
    if (stream.match(/^[A-Za-z][A-Za-z0-9]*/)) {
      return keywords.has(stream.current().toLowerCase()) ? 'keyword' : 'variableName';
    }
    if (stream.match(/^[!?%]/)) return 'keyword';
    if (stream.match(/^(:=|<=|>=|<>|[-+*\/=#<>])/)) return 'operator';
    stream.next();
    return 'punctuation';
  },
  languageData: { commentTokens: { line: '//', block: { open: '(*', close: '*)' } } },
});
