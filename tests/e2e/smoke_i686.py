"""The shipped i686 setup.exe where the scenarios test the x86_64 build, the kernel running no
32-bit x86 code: binfmt_misc hands i386 programs to qemu-user for this run alone, about a minute a
process. The usage box (exit 3), and an unattended installation with its log. Run as a program
from the x86_64 tree, in a prefix of its own made while 32-bit programs can run; where no
emulator can be registered, one line says why and the test is skipped."""

import os
import shutil
import subprocess
import sys
import unittest

import harness as h
from harness import Case
from test_startup import USAGE

BINFMT = '/proc/sys/fs/binfmt_misc'
HANDLER = 'setup-launcher-i386'
EMULATOR = '/usr/bin/qemu-i386-static'
# The i386 ELF header of an executable, and which of its bits count.
MAGIC = r'\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00'
MASK = r'\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff'
SKIPPED = 77


def i386_runs() -> bool:
    try:
        return subprocess.run(['/usr/lib/wine/wine', '--version'], **h.QUIET, timeout=300).returncode == 0
    except OSError:     # "Exec format error": the kernel runs no i386 program
        return False


def register_emulator() -> str:
    """Registers the emulator for i386 programs; answers why it cannot, or ''."""
    if not os.path.exists(EMULATOR):
        return '%s is missing (Debian package qemu-user-static)' % EMULATOR
    if not os.path.exists(os.path.join(BINFMT, 'register')) and h.privileged(
            ['mount', '-t', 'binfmt_misc', 'binfmt_misc', BINFMT], **h.QUIET).returncode:
        return 'binfmt_misc cannot be mounted at %s' % BINFMT
    try:
        with h.as_starter(), open(os.path.join(BINFMT, 'register'), 'w') as register:
            register.write(':%s:M::%s:%s:%s:F' % (HANDLER, MAGIC, MASK, EMULATOR))
    except OSError as error:
        return 'binfmt_misc refuses an i386 handler: %s' % error.strerror
    return '' if i386_runs() else 'the 32-bit Wine does not start under %s' % EMULATOR



class ShippedProgram(h.Scenario):
    def test_usage_box_and_an_installation(self):
        program = h.BUILDS['i686']
        for case in [
            Case('usage', '/I', program=program, boxes=[USAGE], exit=3, log=None),
            Case('install', program=program, tail=['Setup complete'],
                 then=lambda t, d, l: (t.assertEqual(h.product_state(h.SAMPLE_CODE), 5),
                                       t.assertEqual(h.reg_query(h.package('product_v2').reg_key, 'Version'), '2.1.0'))),
        ]:
            self.run_case(case)


if __name__ == '__main__':
    emulated = not i386_runs()
    if emulated:
        reason = register_emulator()
        if reason:
            print('The shipped i686 program cannot be run here: ' + reason)
            sys.exit(SKIPPED)
        print('The shipped i686 program runs under %s, emulated.' % EMULATOR)
    try:
        if not os.path.exists(h.drive_c('windows', 'syswow64', 'kernel32.dll')):
            shutil.rmtree(h.PREFIX, ignore_errors=True)
        h.PATIENCE = max(h.PATIENCE, 4)
        passed = unittest.main(exit=False, verbosity=2).result.wasSuccessful()
    finally:
        if emulated:
            with h.as_starter(), open(os.path.join(BINFMT, HANDLER), 'w') as entry:
                entry.write('-1')
    sys.exit(0 if passed else 1)
