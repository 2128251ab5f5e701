"""The start screen's cost: from starting setup.exe without arguments to its start page shown and
painted, against the same program's usage box (a bad first option, which shows before anything
is read) in the same run, at 96 and at 192 DPI; bench/start_screen.cpp times both inside Wine.
The same again for a copy branded with the largest page of the corpus (tests/pages/corpus), as
a publisher's designer might write it. Asserts nothing."""

import glob
import os
import re
import shutil
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', 'tests', 'e2e'))
import harness as h  # noqa: E402


def distribution(name):
    dist = h.Distribution(name)
    dist.add(h.package('product_v2').path, 'Sample Product.msi')
    dist.add(h.ENGINE, 'htmlayout.dll')
    dist.write_ini({'MsiPath': 'Sample Product.msi'})
    return dist


def branded_with_largest_page():
    """A distribution whose setup.exe, branded by setupbrand, shows the corpus's largest page; and
    the page's title."""
    corpus = os.path.join(h.REPO, 'tests', 'pages', 'corpus')
    page = max(glob.glob(os.path.join(corpus, '*.html')), key=os.path.getsize)
    dist = distribution('bench-start-page')
    os.makedirs(dist.path('page'))
    for image in glob.glob(os.path.join(corpus, '*.png')):
        shutil.copy(image, dist.path('page'))
    shutil.copy(page, dist.path('page', 'start.html'))
    h.wine([os.path.join(h.BUILD, 'setupbrand.exe'), '--page', h.winpath(dist.path('page')), h.winpath(h.SETUP_EXE),
            h.winpath(dist.exe)], check=True)
    with open(page, encoding='utf-8') as f:
        title = re.search(r'<title>(.*?)</title>', f.read()).group(1)
    print('the corpus page: %s (%d bytes), "%s"' % (os.path.basename(page), os.path.getsize(page), title))
    return dist, title


def main():
    corpus, title = branded_with_largest_page()
    runs = [('the shipped page', distribution('bench-start'), []), ('the corpus page', corpus, [title])]
    try:
        for dpi in (96, 192):
            h.set_dpi(dpi)
            for name, dist, args in runs:
                print('at %d DPI, %s:' % (dpi, name))
                done = h.wine([os.path.join(h.BUILD, 'bench', 'start_screen_bench.exe'), h.winpath(dist.exe), *args],
                              timeout=1800)
                sys.stdout.write(done.stdout.replace('\r\n', '\n'))
                if done.returncode:
                    sys.exit('start_screen_bench.exe answered %d: %s' % (done.returncode, done.stderr))
    finally:
        h.set_dpi(96)


if __name__ == '__main__':
    main()
