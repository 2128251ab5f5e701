"""The launcher's own cost: `setup.exe /i /quiet` against `msiexec /i package /qn` on the same
package in the same warm Wine prefix, uninstalling between runs; and the size of the shipped
32-bit program. Prints numbers; asserts nothing."""

import os
import statistics
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', 'tests', 'e2e'))
import harness as h  # noqa: E402

RUNS = int(os.environ.get('BENCH_RUNS', '15'))


def timed(start):
    began = time.monotonic()
    code = start()
    return code, time.monotonic() - began


def main():
    product = h.PACKAGES['product_v2']
    dist = h.Distribution('bench')
    package = dist.add_package('product_v2', 'Sample Product.msi')
    dist.write_ini({'MsiPath': 'Sample Product.msi', 'AdminNeed': 0})
    setup_times, msiexec_times = [], []
    # One warm-up of each, not counted.
    for counted in [False] + [True] * RUNS:
        h.ensure_absent(product.product_code)
        code, setup_time = timed(lambda: h.run_program(h.winpath(dist.exe), ['/i', '/quiet']))
        assert code == 0, 'setup.exe answered %d' % code
        h.ensure_absent(product.product_code)
        code, msiexec_time = timed(lambda: h.msiexec(['/i', h.winpath(package), '/qn']))
        assert code == 0, 'msiexec answered %d' % code
        if counted:
            setup_times.append(setup_time)
            msiexec_times.append(msiexec_time)
    h.ensure_absent(product.product_code)

    setup_median = statistics.median(setup_times)
    msiexec_median = statistics.median(msiexec_times)
    print('runs: %d (after one warm-up each)' % RUNS)
    print('setup.exe /i /quiet     median %.3f s  (%s)' % (
        setup_median, ' '.join('%.3f' % t for t in setup_times)))
    print('msiexec /i package /qn  median %.3f s  (%s)' % (
        msiexec_median, ' '.join('%.3f' % t for t in msiexec_times)))
    print('overhead ratio setup/msiexec: %.3f' % (setup_median / msiexec_median))
    size = os.path.getsize(h.SETUP_EXE)
    print('size of %s: %d bytes (%.1f KB)' % (os.path.normpath(h.SETUP_EXE), size, size / 1024))


if __name__ == '__main__':
    main()
