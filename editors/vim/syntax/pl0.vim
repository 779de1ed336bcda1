" PL/0 as the Tokeniser reads it: keywords in any case, four comment forms, strings in either
" quote, numbers, and the shorthands ! (write), ? (read) and % (mod).
if exists('b:current_syntax')
  finish
endif

syntax case ignore
syntax keyword pl0Keyword begin end if then else while do call const var int procedure
syntax keyword pl0Keyword write putc read getc odd mod
syntax match pl0Number '\<\d\+\>'
syntax match pl0Operator ':=\|[!?%]'
syntax region pl0String start=+'+ end=+'+ oneline
syntax region pl0String start=+"+ end=+"+ oneline
" "(*)" opens a comment without closing it: the closing pair is looked for after the opening.
syntax region pl0Comment start='(\*' end='\*)' contains=@Spell
syntax region pl0Comment start='/\*' end='\*/' contains=@Spell
syntax region pl0Comment start='{' end='}' contains=@Spell
syntax match pl0Comment '//.*$' contains=@Spell

highlight default link pl0Keyword Keyword
highlight default link pl0Number Number
highlight default link pl0Operator Operator
highlight default link pl0String String
highlight default link pl0Comment Comment

let b:current_syntax = 'pl0'
