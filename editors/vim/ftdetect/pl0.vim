" PL/0 sources end in .pl0.
autocmd BufRead,BufNewFile *.pl0 setfiletype pl0
