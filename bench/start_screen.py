"""The start screen's cost: from starting setup.exe without arguments to its start page shown and
painted, against the same program's usage box (a bad first option, which shows before anything
is read) in the same run, at 96 and at 192 DPI; bench/start_screen.cpp times both inside Wine.
Asserts nothing."""

import os
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', 'tests', 'e2e'))
import harness as h  # noqa: E402


def main():
    dist = h.Distribution('bench-start')
    dist.add(h.package('product_v2').path, 'Sample Product.msi')
    dist.add(h.ENGINE, 'htmlayout.dll')
    dist.write_ini({'MsiPath': 'Sample Product.msi'})
    try:
        for dpi in (96, 192):
            h.set_dpi(dpi)
            print('at %d DPI:' % dpi)
            done = h.wine([os.path.join(h.BUILD, 'bench', 'start_screen_bench.exe'), h.winpath(dist.exe)],
                          timeout=1800)
            sys.stdout.write(done.stdout.replace('\r\n', '\n'))
            if done.returncode:
                sys.exit('start_screen_bench.exe answered %d: %s' % (done.returncode, done.stderr))
    finally:
        h.set_dpi(96)


if __name__ == '__main__':
    main()
