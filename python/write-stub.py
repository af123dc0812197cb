"""Writes the type stubs of the compiled module from their template: one member of ErrorKind a
kind the module binds, which reads them from the library's enum, so that no list of the kinds
is kept by hand. write-stub.py BUILT TEMPLATE STUB, where BUILT holds the built package."""

import importlib
import sys

built, template, stub = sys.argv[1:]
sys.path.insert(0, built)  # before this folder, which holds the package without its module
kinds = importlib.import_module("veltrane._veltrane").ErrorKind
with open(template, encoding="utf-8") as source:
    text = source.read()
members = "".join(f"    {name}: ClassVar[ErrorKind]\n" for name in kinds.__members__)
with open(stub, "w", encoding="utf-8") as target:
    target.write(text.replace("@ERROR_KINDS@\n", members))
