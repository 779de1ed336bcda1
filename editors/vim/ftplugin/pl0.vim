" PL/0 editing: // comments for gc and friends, % jumping between begin and end (matchit), and
" :make through pl0 (compiler/pl0.vim), whose errors name no file: they are put on this buffer.
if exists('b:did_ftplugin')
  finish
endif
let b:did_ftplugin = 1

setlocal commentstring=//\ %s
setlocal comments=://
let b:match_ignorecase = 1
let b:match_words = '\<begin\>:\<end\>'
compiler pl0
let b:undo_ftplugin = 'setlocal commentstring< comments< makeprg< errorformat<'
      \ . ' | unlet! b:match_words b:match_ignorecase b:current_compiler'

augroup pl0_quickfix
  autocmd!
  autocmd QuickFixCmdPost make call s:OnThisBuffer()
augroup END

if exists('*s:OnThisBuffer')
  finish
endif
" An entry with a line but no file is the file :make was run on; a source that ended too soon
" (no final period, a comment or string left open) is marked on its last line.
function! s:OnThisBuffer() abort
  if &filetype !=# 'pl0'
    return
  endif
  let entries = getqflist()
  for entry in entries
    if entry.bufnr == 0 && entry.lnum == 0 && entry.text ==# 'Unexpected end of source file'
      let entry.lnum = line('$')
    endif
    if entry.bufnr == 0 && entry.lnum > 0
      let entry.bufnr = bufnr('%')
      let entry.valid = 1
    endif
  endfor
  call setqflist(entries, 'r')
endfunction
