#!/usr/bin/env python3
"""The usual shortcut in a student's Interpreter or Translator: the code file read a line at a
time, split at blanks, each field converted with int(), stopping at the first line that does
not convert. It runs this tool chain's program (the first argument) on the instructions so
read, written out again in the Compiler's layout.
  splitting.py PROGRAM_PATH SWITCHES..."""
import os
import subprocess
import sys
import tempfile

program, args = sys.argv[1], sys.argv[2:]
at = args.index("-i") + 1
instructions = []
with open(args[at], encoding="latin-1") as file:
    for line in file.read().split("\n")[1:]:
        fields = line.split()
        try:
            instructions.append((int(fields[1]), int(fields[2]), int(fields[3])))
        except (IndexError, ValueError):
            break
with tempfile.NamedTemporaryFile("w", encoding="latin-1", suffix=".code", delete=False) as file:
    file.write("Address OpCode Level Operand ; Code\n")
    for address, (opcode, level, operand) in enumerate(instructions):
        file.write("%7d %6d %5d %7d ; %4s\n" % (address, opcode, level, operand, "X"))
    file.write("\n")
args[at] = file.name
status = subprocess.run([program] + args).returncode
os.unlink(file.name)
sys.exit(status)
