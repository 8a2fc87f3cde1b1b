#!/usr/bin/python3
"""Writes the assembly of the executable's late-loaded libraries.

Some libraries the program links pull in a hundred libraries each (OpenCV's
image codecs and video capture: GDAL, GStreamer, gphoto; FFmpeg's codecs and
formats) and cost a large part of the start-up in the dynamic loader and in
their constructors, though the program needs them only once it opens, saves
or records something. The executable does not link them; for every function
of theirs the program's archives call, it gets an entry here of the same
name that jumps through a table. The first call of any entry of a library
loads the library (dlopen by its soname) and fills the entry with the real
address (dlsym); later calls jump straight there. An entry is a tail jump
and the arguments' registers are kept across the loading, so any signature
passes through, and exceptions unwind through it as through the real one.

A class's type information (typeinfo and its name, _ZTI / _ZTS) is the one
kind of a late library's data the program may use: the undefined-behaviour
sanitizer's check of dynamic types names the static type's typeinfo. A
stand-in of our own takes its place, a typeinfo without bases of the same
name: the C++ runtime and the sanitizer compare typeinfos by their names, so
checks, catch clauses and dynamic casts to such a class work as with the
library's own (throwing an object of such a class would not: none is thrown).

usage: LoadLate.py OUTPUT.S --archives A.a... --late L.so...
Fails when the program uses any other data symbol of a late library (a table
cannot stand in for data) or when an archive cannot be read."""
import argparse
import subprocess
import sys


def run(*args):
    return subprocess.run(args, check=True, capture_output=True, text=True).stdout


def archive_symbols(archives):
    undefined, defined = set(), set()
    for a in archives:
        for line in run("nm", "-P", "-g", a).splitlines():
            parts = line.split()
            if len(parts) < 2 or parts[0].endswith(":") or parts[0].endswith("]"):
                continue
            name, kind = parts[0], parts[1]
            (undefined if kind == "U" else defined).add(name)
    return undefined - defined


def library_symbols(path):
    soname = None
    for line in run("readelf", "-d", "-W", path).splitlines():
        if "(SONAME)" in line:
            soname = line.split("[", 1)[1].split("]", 1)[0]
    functions, data = set(), set()
    for line in run("readelf", "--dyn-syms", "-W", path).splitlines():
        parts = line.split()
        if len(parts) < 8 or parts[6] == "UND" or parts[4] not in ("GLOBAL", "WEAK"):
            continue
        name = parts[7].split("@", 1)[0]
        if parts[3] in ("FUNC", "IFUNC"):
            functions.add(name)
        elif parts[3] in ("OBJECT", "TLS", "COMMON"):
            data.add(name)
    return soname or path, functions, data


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("output")
    ap.add_argument("--archives", nargs="+", required=True)
    ap.add_argument("--late", nargs="+", required=True)
    args = ap.parse_args()
    wanted = archive_symbols(args.archives)
    entries = []  # (symbol, library index)
    sonames = []
    taken = set()
    typeinfos = set()  # mangled class names whose typeinfo (or its name) gets a stand-in
    for path in args.late:
        soname, functions, data = library_symbols(path)
        used_data = sorted(wanted & data)
        for name in used_data:
            if name.startswith(("_ZTI", "_ZTS")):
                typeinfos.add(name[4:])
        used_data = [name for name in used_data if not name.startswith(("_ZTI", "_ZTS"))]
        if used_data:
            sys.exit("LoadLate.py: the program uses data of %s, which cannot load late: %s" %
                     (soname, ", ".join(used_data)))
        index = len(sonames)
        sonames.append(soname)
        for name in sorted((wanted & functions) - taken):
            entries.append((name, index))
            taken.add(name)

    out = []
    w = out.append
    w("/* Written by cmake/LoadLate.py: the late-loaded libraries' entries. */")
    w("    .section .note.GNU-stack,\"\",@progbits")
    w("    .section .rodata")
    for i, soname in enumerate(sonames):
        w("sevrin_late_soname_%d: .asciz \"%s\"" % (i, soname))
    for i, (name, lib) in enumerate(entries):
        w("sevrin_late_name_%d: .asciz \"%s\"" % (i, name))
    for i, cls in enumerate(sorted(typeinfos)):
        w("    .globl _ZTS%s" % cls)
        w("    .hidden _ZTS%s" % cls)
        w("_ZTS%s: .asciz \"%s\"" % (cls, cls))
    # Tables of addresses: relocated at start, read-only after it.
    w("    .section .data.rel.ro,\"aw\"")
    w("    .p2align 3")
    w("    .globl sevrin_late_sonames")
    w("    .hidden sevrin_late_sonames")
    w("sevrin_late_sonames:")
    for i in range(len(sonames)):
        w("    .quad sevrin_late_soname_%d" % i)
    w("    .globl sevrin_late_names")
    w("    .hidden sevrin_late_names")
    w("sevrin_late_names:")
    for i in range(len(entries)):
        w("    .quad sevrin_late_name_%d" % i)
    for cls in sorted(typeinfos):
        w("    .globl _ZTI%s" % cls)
        w("    .hidden _ZTI%s" % cls)
        w("    .p2align 3")
        w("_ZTI%s:" % cls)
        w("    .quad _ZTVN10__cxxabiv117__class_type_infoE+16")
        w("    .quad _ZTS%s" % cls)
    w("    .globl sevrin_late_libraries")
    w("    .hidden sevrin_late_libraries")
    w("sevrin_late_libraries:")
    for _, lib in entries:
        w("    .long %d" % lib)
    w("    .globl sevrin_late_count")
    w("    .hidden sevrin_late_count")
    w("sevrin_late_count: .long %d" % len(entries))
    w("    .globl sevrin_late_library_count")
    w("    .hidden sevrin_late_library_count")
    w("sevrin_late_library_count: .long %d" % len(sonames))
    # The jump table: each entry starts at its own loading stub.
    w("    .data")
    w("    .p2align 3")
    w("    .globl sevrin_late_table")
    w("    .hidden sevrin_late_table")
    w("sevrin_late_table:")
    for i in range(len(entries)):
        w("    .quad sevrin_late_stub_%d" % i)
    w("    .text")
    for i, (name, _) in enumerate(entries):
        w("    .globl %s" % name)
        w("    .hidden %s" % name)
        w("    .type %s, @function" % name)
        w("    .p2align 4")
        w("%s:" % name)
        w("    jmp *sevrin_late_table+%d(%%rip)" % (8 * i))
        w("sevrin_late_stub_%d:" % i)
        w("    movl $%d, %%r11d" % i)
        w("    jmp sevrin_late_enter")
    # Saves every argument register, resolves entry r11, restores them and
    # jumps to the real function with the caller's return address in place.
    w("    .p2align 4")
    w("sevrin_late_enter:")
    w("    pushq %rbp")
    w("    movq %rsp, %rbp")
    w("    andq $-16, %rsp")
    w("    subq $192, %rsp")
    for k in range(8):
        w("    movdqa %%xmm%d, %d(%%rsp)" % (k, 16 * k))
    for k, reg in enumerate(("rdi", "rsi", "rdx", "rcx", "r8", "r9", "rax", "r10")):
        w("    movq %%%s, %d(%%rsp)" % (reg, 128 + 8 * k))
    w("    movl %r11d, %edi")
    w("    call sevrin_late_resolve")
    w("    movq %rax, %r11")
    for k in range(8):
        w("    movdqa %d(%%rsp), %%xmm%d" % (16 * k, k))
    for k, reg in enumerate(("rdi", "rsi", "rdx", "rcx", "r8", "r9", "rax", "r10")):
        w("    movq %d(%%rsp), %%%s" % (128 + 8 * k, reg))
    w("    movq %rbp, %rsp")
    w("    popq %rbp")
    w("    jmp *%r11")
    text = "\n".join(out) + "\n"
    try:
        if open(args.output).read() == text:
            return 0
    except OSError:
        pass
    open(args.output, "w").write(text)
    return 0


if __name__ == "__main__":
    sys.exit(main())
