"""The launcher's own cost: `setup.exe /i /quiet` against `msiexec /i package /qn` on the same
package in the same warm Wine prefix, uninstalling between runs, for the build under test; and
the sizes of the shipped 32-bit program and engine. Prints numbers; asserts nothing."""

import os
import statistics
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', 'tests', 'e2e'))
import harness as h  # noqa: E402

RUNS = int(os.environ.get('BENCH_RUNS', '15'))


def timed(program, args):
    began = time.monotonic()
    code = h.run_program(program, args)
    assert code == 0, '%s answered %d' % (program, code)
    return time.monotonic() - began


def main():
    dist = h.Distribution('bench')
    package = dist.add(h.package('product_v2').path, 'Sample Product.msi')
    dist.write_ini({'MsiPath': 'Sample Product.msi', 'AdminNeed': 0})
    setup_times, msiexec_times = [], []
    for counted in [False] + [True] * RUNS:      # one warm-up of each, not counted
        h.ensure_absent(h.SAMPLE_CODE)
        setup_time = timed(dist.exe, '/i /quiet')
        h.ensure_absent(h.SAMPLE_CODE)
        msiexec_time = timed('msiexec.exe', '/i "%s" /qn' % h.winpath(package))
        if counted:
            setup_times.append(setup_time)
            msiexec_times.append(msiexec_time)
    h.ensure_absent(h.SAMPLE_CODE)
    setup, msiexec = statistics.median(setup_times), statistics.median(msiexec_times)
    print('runs: %d (after one warm-up each)' % RUNS)
    print('setup.exe /i /quiet     median %.3f s' % setup)
    print('msiexec /i package /qn  median %.3f s' % msiexec)
    print('overhead ratio setup/msiexec: %.3f' % (setup / msiexec))
    shipped = os.path.dirname(h.BUILDS['i686'])
    for name, goal in (('setup.exe', ' (goal: 262144, 256 KB, or less)'), ('htmlayout.dll', '')):
        path = os.path.join(shipped, name)
        print('size of %s: %d bytes%s' % (os.path.relpath(path, h.REPO), os.path.getsize(path), goal))


if __name__ == '__main__':
    main()
