#!/usr/bin/env python3
"""The Windows programs as shipped, checked without running them (a machine
that runs 64-bit code only cannot): 32-bit, the right subsystem, no DLL beyond
Windows' own, manifest and version resources present.
Usage: windows_programs.py BUILD (the win32-release build folder)"""
import os
import re
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, '..', 'e2e'))
from desktop import Checks  # noqa: E402

PROGRAMS = (('client/win32/pegling.exe', 'Windows GUI'), ('server/win32/pegmast.exe', 'Windows GUI'),
            ('server/service/pegmastd.exe', 'Windows CUI'))
# What every Windows installation has in System32.
WINDOWS_DLLS = {'advapi32', 'comctl32', 'comdlg32', 'crypt32', 'gdi32', 'iphlpapi', 'kernel32', 'msvcrt', 'mswsock',
                'ole32', 'oleaut32', 'secur32', 'shell32', 'shlwapi', 'user32', 'userenv', 'uxtheme', 'wldap32',
                'ws2_32', 'wtsapi32'}
RT_VERSION, RT_MANIFEST = 0x10, 0x18


def describe(path):
    out = subprocess.run(['i686-w64-mingw32-objdump', '-p', path], capture_output=True, text=True).stdout
    machine = re.search(r'file format (\S+)', out)
    subsystem = re.search(r'^Subsystem\s+\S+\s+\((.*)\)', out, re.M)
    dlls = {name.lower()[:-4] for name in re.findall(r'DLL Name: (\S+)', out)}
    # The resource directory's first level names the resource types.
    types = {int(t, 16) for t in re.findall(r'^[0-9a-f]+   Entry: ID: 0x([0-9a-f]+)', out, re.M)}
    return (machine.group(1) if machine else None, subsystem.group(1) if subsystem else None, dlls, types)


def main():
    build = sys.argv[1]
    c = Checks('windows programs')
    for program, wanted in PROGRAMS:
        path = os.path.join(build, program)
        name = os.path.basename(program)
        c.check(os.path.isfile(path), '%s is built' % name)
        if not os.path.isfile(path):
            continue
        machine, subsystem, dlls, types = describe(path)
        c.check(machine == 'pei-i386', '%s is a 32-bit program (%s)' % (name, machine))
        c.check(subsystem == wanted, '%s has the subsystem %s (%s)' % (name, wanted, subsystem))
        c.check(dlls and dlls <= WINDOWS_DLLS, '%s needs only Windows\' own DLLs (%s)' % (name, sorted(dlls)))
        c.check({RT_VERSION, RT_MANIFEST} <= types, '%s has its manifest and version resources' % name)
    return c.finish()


if __name__ == '__main__':
    sys.exit(main())
