" PL/0 indenting in the layout of examples/: a block's declarations one level in from its
" `procedure` line and its `begin` back under it; a statement's `begin` under the `if` or
" `while` it belongs to; one level in after `begin`, `then`, `do` and `else`; `end` under the
" line of its `begin`. Only the lines before are read, so typing a line indents it at once.
if exists('b:did_indent')
  finish
endif
let b:did_indent = 1

setlocal indentexpr=GetPl0Indent(v:lnum)
setlocal indentkeys=0=~end,0=~begin,0=~else,o,O,!^F
setlocal nolisp nosmartindent
let b:undo_indent = 'setlocal indentexpr< indentkeys< lisp< smartindent<'

if exists('*GetPl0Indent')
  finish
endif

" A line's code without its strings and comments: what the rules below look at. A comment that
" began on an earlier line is left to the syntax (see s:IsComment).
function! s:Code(lnum) abort
  let text = getline(a:lnum)
  let text = substitute(text, '''[^'']*''\|"[^"]*"', '""', 'g')
  let text = substitute(text, '{[^}]*}\|(\*.\{-}\*)\|/\*.\{-}\*/', ' ', 'g')
  return substitute(text, '//.*$\|{.*$\|(\*.*$\|/\*.*$', '', '')
endfunction

function! s:IsComment(lnum, col) abort
  return synIDattr(synID(a:lnum, a:col, 0), 'name') =~# 'Comment\|String'
endfunction

" The nearest line above with code on it (blank lines and whole-line comments are passed over).
function! s:PreviousCode(lnum) abort
  let lnum = prevnonblank(a:lnum - 1)
  while lnum > 0 && (s:Code(lnum) =~# '^\s*$' || s:IsComment(lnum, indent(lnum) + 1))
    let lnum = prevnonblank(lnum - 1)
  endwhile
  return lnum
endfunction

" Where the block that a `begin` at `lnum` is the body of starts: the indent of the procedure
" line whose body has not yet begun, 0 for the main program, or -1 when an unclosed `begin`
" above makes this `begin` a statement. Read backwards: each `end` hides the words down to its
" `begin`, and each procedure body so closed belongs to the next `procedure` above it.
function! s:BlockIndent(lnum) abort
  let depth = 0
  let closed_bodies = 0
  let lnum = s:PreviousCode(a:lnum)
  while lnum > 0
    for word in reverse(split(tolower(s:Code(lnum)), '[^a-z0-9]\+'))
      if word ==# 'end'
        let depth += 1
      elseif word ==# 'begin'
        if depth == 0
          return -1
        endif
        let depth -= 1
        let closed_bodies += depth == 0
      elseif word ==# 'procedure' && depth == 0
        if closed_bodies == 0
          return indent(lnum)
        endif
        let closed_bodies -= 1
      endif
    endfor
    let lnum = s:PreviousCode(lnum)
  endwhile
  return 0
endfunction

function! GetPl0Indent(lnum) abort
  let line = getline(a:lnum)
  " The inside of a comment or string is the student's own layout.
  if s:IsComment(a:lnum, 1) && s:IsComment(a:lnum, max([1, indent(a:lnum)]))
    return -1
  endif
  let previous = s:PreviousCode(a:lnum)
  if previous == 0
    return 0
  endif
  let code = s:Code(previous)
  let here = indent(previous)
  let opens = code =~? '\<\(then\|do\|else\)\s*$'
  if line =~? '^\s*end\>'
    call cursor(a:lnum, 1)
    let begin = searchpair('\c\<begin\>', '', '\c\<end\>', 'bnW',
          \ 's:IsComment(line("."), col("."))')
    return begin > 0 ? indent(begin) : here - shiftwidth()
  endif
  if line =~? '^\s*begin\>'
    if opens
      return here
    endif
    let block = code =~? ';\s*$' ? s:BlockIndent(a:lnum) : -1
    if block >= 0
      return block
    endif
  endif
  if opens || code =~? '\<begin\s*$' || code =~? '^\s*procedure\>'
    return here + shiftwidth()
  endif
  " A one-statement body on a line of its own: the next line goes back to its `if` or `while`.
  let before = s:PreviousCode(previous)
  if before > 0 && s:Code(before) =~? '\<\(then\|do\|else\)\s*$' && code !~? '^\s*begin\>'
    return indent(before)
  endif
  return here
endfunction
