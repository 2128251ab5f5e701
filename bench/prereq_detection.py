"""Prerequisite detection of 100 "PreReq%d" sections through the program's ini reader against
GetPrivateProfileStringA and against the bare registry calls the conditions imply
(bench/prereq_detection.cpp), in a warm Wine session. Prints what that program prints; asserts
nothing."""

import os
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', 'tests', 'e2e'))
import harness as h  # noqa: E402

BENCH_EXE = os.environ.get('PREREQ_BENCH_EXE', os.path.join(h.BUILD, 'bench', 'prereq_bench.exe'))


def main():
    # BENCH_RUNS, when set, reaches the program through the session's environment.
    done = h.wine([BENCH_EXE], timeout=1800)
    sys.stdout.write(done.stdout.replace('\r\n', '\n'))
    if done.returncode != 0:
        sys.exit('prereq_bench.exe answered %d: %s' % (done.returncode, done.stderr))


if __name__ == '__main__':
    main()
