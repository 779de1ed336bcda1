" PL/0 editing: // comments for gc and friends, % jumping between begin and end (matchit).
if exists('b:did_ftplugin')
  finish
endif
let b:did_ftplugin = 1

setlocal commentstring=//\ %s
setlocal comments=://
let b:match_ignorecase = 1
let b:match_words = '\<begin\>:\<end\>'
let b:undo_ftplugin = 'setlocal commentstring< comments< | unlet! b:match_words b:match_ignorecase'
