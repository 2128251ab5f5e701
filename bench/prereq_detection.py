"""Prerequisite detection of 100 "PreReq%d" sections through the program's ini reader against
GetPrivateProfileStringA (bench/prereq_detection.cpp), in the bench's warm Wine prefix. Prints
what that program prints; asserts nothing."""

import os
import subprocess
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', 'tests', 'e2e'))
import harness as h  # noqa: E402

BENCH_EXE = os.environ.get('PREREQ_BENCH_EXE', os.path.join(h.BUILD_DIR, 'bench', 'prereq_bench.exe'))


def main():
    # BENCH_RUNS, when set, reaches the program through the environment.
    result = subprocess.run(h.WINE_COMMAND + [BENCH_EXE], env=h.session(), stdin=subprocess.DEVNULL,
                            stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, timeout=1800)
    sys.stdout.write(result.stdout.decode('utf-8', 'replace').replace('\r\n', '\n'))
    if result.returncode != 0:
        sys.exit('prereq_bench.exe answered %d' % result.returncode)


if __name__ == '__main__':
    main()
