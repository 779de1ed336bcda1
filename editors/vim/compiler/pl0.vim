" :make for PL/0: `pl0 build` into a folder of Vim's own temporary directory (the token, code,
" symbol table and opcode files are not left beside the source), and the Compiler's
" "Error N on line L: ..." and the Tokeniser's "Line L: ..." as quickfix entries on the current
" file (neither message names a file). g:pl0_command names pl0 when it is not on PATH.
if exists('current_compiler')
  finish
endif
let current_compiler = 'pl0'
if exists(':CompilerSet') != 2
  command -nargs=* CompilerSet setlocal <args>
endif

let s:makeprg = get(g:, 'pl0_command', 'pl0') . ' build %:S -o ' . shellescape(tempname())
execute 'CompilerSet makeprg=' . escape(s:makeprg, ' \|"')
" The source line pl0 shows under a message ("   4 |   while ...") is left out; any other line
" (the shell's "pl0: not found", a file pl0 cannot write) is kept as text, so that a :make that
" failed never shows the empty list of one that passed.
CompilerSet errorformat=%trror\ %n\ on\ line\ %l:\ %m,
      \%ELine\ %l:\ %m,
      \%+EUnexpected\ end\ of\ source\ file,
      \%-G%\\s%#%\\d%\\+\ \|%.%#,
      \%+G%.%#
