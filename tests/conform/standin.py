#!/usr/bin/env python3
"""A Translator written in another language, as a student's might be: it runs this tool
chain's Translator (the first argument) and then gets one line wrong, writing "pop_Bx" where
the register operation is "pop Bx" (the one name with a blank)."""
import subprocess
import sys

translator, args = sys.argv[1], sys.argv[2:]
status = subprocess.run([translator] + args).returncode
if "-o" in args and args.index("-o") + 1 < len(args):
    name = args[args.index("-o") + 1]
    with open(name, encoding="latin-1") as file:
        text = file.read()
    with open(name, "w", encoding="latin-1") as file:
        file.write(text.replace("\tpop Bx\n", "\tpop_Bx\n"))
sys.exit(status)
