#!/usr/bin/env python3
"""Every symbol the native plug-in defines lies in its root namespace `kw`,
but the exports, the C entries the binding's assembly calls, and what the
compiler, the C++ library and nlohmann-json's templates add.

  check_symbols.py PLUGIN.so
"""
import re
import subprocess
import sys

ALLOWED = re.compile(
    r"^((typeinfo (name )?for |vtable for |[\w:<>, *&]+ )?(kw|nlohmann|__gnu_cxx)::|(void |.* )?std::|"
    r"typeinfo (name )?for (std::|SE_Exception)|"
    r"vtable for std::|"
    # the export table and the binding's C entries (trampolines.cpp)
    r"kwRegister$|kwLoadReport$|kwForward[12]$|ordinal_export$|kw_first_\d+$|kw_bind_on_first_call$|"
    # the compiler's and the linker's own
    r"CSWTCH\.|DW\.ref\.|_GLOBAL__sub_I_|completed\.\d|deregister_tm_clones$|register_tm_clones$|"
    r"frame_dummy$|__|_init$|_fini$|_end$|_edata$|_DYNAMIC$|_GLOBAL_OFFSET_TABLE_$)")


def main():
    out = subprocess.run(["nm", "-C", "--defined-only", sys.argv[1]], check=True, capture_output=True, text=True).stdout
    stray = sorted({line.split(" ", 2)[2] for line in out.splitlines() if line.count(" ") >= 2
                    and not ALLOWED.match(line.split(" ", 2)[2])})
    for name in stray:
        print("outside kw: %s" % name)
    print("plug-in symbols: %s" % ("%d outside kw" % len(stray) if stray else "all inside kw"))
    return 1 if stray else 0


if __name__ == "__main__":
    sys.exit(main())
