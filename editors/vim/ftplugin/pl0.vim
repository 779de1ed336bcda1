" PL/0 editing: // comments for gc and friends, % jumping between begin and end (matchit), and
" :make through pl0 (compiler/pl0.vim), whose errors name no file and no column: they are put on
" this buffer, at the symbol pl0 records for them.
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
" pl0's messages name a line but no file and no column: an entry with a line is put on the file
" :make was run on, and the error's own place is asked of pl0 (`explore --json` records the bytes
" of the symbol a message is about, and runs nothing after an error). A source that ended too
" soon is marked there, after its last symbol.
function! s:OnThisBuffer() abort
  if &filetype !=# 'pl0'
    return
  endif
  let entries = getqflist()
  let place = s:ErrorPlace(filter(copy(entries), 'v:val.bufnr == 0 && v:val.type ==# "E"'))
  for entry in entries
    if entry.bufnr == 0 && entry.type ==# 'E' && !empty(place)
      let [entry.lnum, entry.col] = place
    endif
    if entry.bufnr == 0 && entry.lnum > 0
      let entry.bufnr = bufnr('%')
      let entry.valid = 1
    endif
  endfor
  call setqflist(entries, 'r')
endfunction

" [line, column] of the error pl0 reports on this buffer's file, or [] when it cannot say.
function! s:ErrorPlace(errors) abort
  if empty(a:errors) || &modified
    return []
  endif
  let json = tempname()
  call system(get(g:, 'pl0_command', 'pl0') . ' explore ' . shellescape(expand('%')) . ' --json -o '
        \ . shellescape(json))
  try
    let error = json_decode(join(readfile(json), "\n")).error
  catch
    return []
  finally
    call delete(json)
  endtry
  if type(error) != v:t_dict
    return []
  endif
  let line = byte2line(error.from + 1)
  if line < 0  " the end of the file: just after its last character
    return [line('$'), strlen(getline('$')) + 1]
  endif
  return [line, error.from + 2 - line2byte(line)]
endfunction
