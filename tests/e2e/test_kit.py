"""The publisher's kit: the release zip of the build under test unpacked, its template page
previewed, its sample branded with that page and an icon and version strings of the test's own,
checked, signed by the guide's commands with a throw-away authority's certificate, verified,
previewed and installed from; and the branding tool's refusals, which write nothing, and its
warnings, which stop nothing."""

import concurrent.futures
import os
import re
import shutil
import subprocess
import zipfile

import harness as h
from harness import Case

ARCH = 'x86' if h.ARCH == 'i686' else 'x64'
BRAND = os.path.join(h.REPO, 'out', ARCH, 'setupbrand.exe')
KIT_PRODUCT = '{6A1F3B52-8C4D-4E7A-9B21-3D5E7F90A1C4}'
RUNTIME_KEY = r'HKCU\Software\Setup Launcher Sample'
TITLE = 'Acme Tools 7'
SAMPLE_TITLE = 'Sample Product 1.0 Setup'
PAGE = ('<!DOCTYPE html><html><head><meta charset="utf-8"><title>%s</title><style>#quit { position: absolute; '
        'left: 250px; top: 150px; }</style></head><body style="margin: 0"><img src="img/back.png">'
        '<img id="quit" src="quit.png" href="cancel"></body></html>' % TITLE)
# Lines 2, 3 and 5 hold what the engine ignores; its one link installs.
IGNORED = PAGE.replace('</style>', '\n#quit { columns: 2 }\na + b { color: red }\n</style>').replace(
    '<img id', '\n<video></video><img id').replace('"cancel"', '"INSTALL"')
ICON = os.path.join(h.REPO, 'src', 'resources', 'setup.ico')


def page_folder(name, page=PAGE, images=(('img/back.png', '320x200', '#246'), ('quit.png', '60x30', '#c33'))):
    """A folder holding start.html (UTF-8 text, or bytes as given) and the images drawn for it
    (a colour of None: a file of text under the image's name)."""
    folder = h.Distribution(name).path('page')
    for image, size, colour in images:
        path = os.path.join(folder, image)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        if colour:
            subprocess.run(['convert', '-size', size, 'xc:' + colour, path], check=True)
        else:
            with open(path, 'w') as f:
                f.write('not an image')
    with open(os.path.join(folder, 'start.html'), 'wb') as f:
        f.write(page if isinstance(page, bytes) else page.encode('utf-8'))
    return folder


def brand(*args):
    return h.wine([BRAND, *[h.winpath(a) if os.path.isabs(a) else a for a in args]])


def throwaway_authority(folder):
    """A certificate authority and a code-signing certificate it issued, as a PKCS#12 file."""
    def openssl(*args):
        subprocess.run(['openssl', *args], cwd=folder, check=True, capture_output=True)
    openssl('req', '-x509', '-newkey', 'rsa:2048', '-nodes', '-keyout', 'ca.key', '-out', 'ca.pem', '-days', '2',
            '-subj', '/CN=Throw-away Test Authority')
    openssl('req', '-newkey', 'rsa:2048', '-nodes', '-keyout', 'sign.key', '-out', 'sign.csr', '-subj', '/CN=Acme Corp')
    with open(os.path.join(folder, 'ext.cnf'), 'w') as f:
        f.write('keyUsage=digitalSignature\nextendedKeyUsage=codeSigning\n')
    openssl('x509', '-req', '-in', 'sign.csr', '-CA', 'ca.pem', '-CAkey', 'ca.key', '-CAcreateserial', '-days', '2',
            '-extfile', 'ext.cnf', '-out', 'sign.pem')
    openssl('pkcs12', '-export', '-inkey', 'sign.key', '-in', 'sign.pem', '-certfile', 'ca.pem', '-out', 'sign.pfx',
            '-passout', 'pass:kit-test')
    return os.path.join(folder, 'sign.pfx'), os.path.join(folder, 'ca.pem')


def verify(program, authority):
    return subprocess.run(['osslsigncode', 'verify', '-CAfile', authority, '-in', program], capture_output=True, text=True)


class PublishersKit(h.Scenario):
    products = (KIT_PRODUCT,)
    keys = ((RUNTIME_KEY, 32),)

    def test_brand_check_sign_and_install_the_sample(self):
        h.privileged([os.path.join(h.REPO, 'scripts', 'package'), ARCH], check=True, capture_output=True)
        release = os.path.join(h.REPO, 'out', 'release')
        archive = next(os.path.join(release, n) for n in os.listdir(release) if n.endswith('.zip') and
                       ('-x64' in n) == (ARCH == 'x64'))
        unpacked = h.Distribution('kit').dir
        zipfile.ZipFile(archive).extractall(unpacked)
        kit = os.path.join(unpacked, os.path.basename(archive)[:-4])
        sample = os.path.join(kit, 'sample')
        self.assertEqual(subprocess.run(['sha256sum', '--quiet', '-c', 'SHA256SUMS'], cwd=kit).returncode, 0)

        guide = open(os.path.join(kit, 'GUIDE.txt'), encoding='utf-8').read()
        supported = re.search(r'^// Supported.*?^//$', open(os.path.join(h.REPO, 'htmlayout', 'htmlayout.h')).read(), re.M | re.S)
        for line in supported.group(0).splitlines()[:-2]:
            self.assertIn(line[2:].strip(), guide)

        # The template page previews and brands without a warning, at the same size.
        preview = concurrent.futures.ThreadPoolExecutor(1).submit(brand, '--preview', os.path.join(sample, 'page'))
        shown = h.wait_window(SAMPLE_TITLE, cls=None)
        h.mouse(SAMPLE_TITLE, (60, 355))
        h.shot('template-preview')
        h.mouse(SAMPLE_TITLE, (410, 355), press='click')
        done = preview.result()
        self.assertEqual((done.returncode, done.stderr), (0, ''))
        self.assertIn('the page is 500 x 400 pixels at 96 DPI (500 x 400 CSS pixels)', done.stdout)
        self.assertIn('link "cancel": the setup would end with exit code 2', done.stdout)
        original = os.path.join(kit, 'setup.exe')
        done = brand('--page', os.path.join(sample, 'page'), '--icon', ICON, '--product-name', 'Acme Tools',
                     '--company', 'Acme Corp', '--product-version', '7.1.0.0', '--file-version', '7.1.0.9', '--description',
                     'Acme Setup', '--copyright', '(C) 2026 Acme Corp', original, os.path.join(sample, 'setup.exe'))
        self.assertEqual((done.returncode, done.stderr), (0, ''))
        fields = dict(line.split(': ', 1) for line in brand('--show', os.path.join(sample, 'setup.exe')).stdout.splitlines())
        self.assertEqual(fields, dict(fields, CompanyName='Acme Corp', FileDescription='Acme Setup', FileVersion='7.1.0.9',
                                      LegalCopyright='(C) 2026 Acme Corp', OriginalFilename='setup.exe',
                                      ProductName='Acme Tools', ProductVersion='7.1.0.0'))
        check = h.wine([os.path.join(kit, 'distcheck.exe'), '--json', h.winpath(sample)])
        self.assertEqual(check.returncode, 0, check.stdout)

        # Signed by the guide's own lines (no time stamp: no server), verified against the authority.
        pfx, authority = throwaway_authority(h.Distribution('authority').dir)
        with open(os.path.join(kit, 'GUIDE.txt')) as f:
            signing = '\n'.join(re.findall(r'^ +((?:osslsigncode sign|mv) .*)$', f.read(), re.M))
        signing = re.sub(r' -ts \S+', '', signing).replace('MyDist', 'sample').replace('my.pfx', pfx)
        subprocess.run(['bash', '-ec', signing], cwd=kit, input='kit-test', text=True, check=True, capture_output=True)
        verified = verify(os.path.join(sample, 'setup.exe'), authority)
        self.assertIn('Signature verification: ok', verified.stdout, verified.stdout + verified.stderr)

        # The branded start screen in an empty folder, at the preview's size; an installation with the signed program.
        preview = h.Distribution('preview', program=os.path.join(sample, 'setup.exe'))
        preview.add(os.path.join(sample, 'htmlayout.dll'))
        screen = h.Process(preview.exe, '', preview.dir)
        self.assertEqual(h.wait_window(SAMPLE_TITLE, cls=None).client[2:], shown.client[2:])
        h.mouse(SAMPLE_TITLE, (410, 355), press='click')
        self.assertEqual(screen.wait(), 2)
        self.assertEqual(h.run_program(os.path.join(sample, 'setup.exe'), '/i /quiet', cwd=sample), 0)
        self.assertEqual(h.product_state(KIT_PRODUCT), 5)
        self.assertEqual(h.reg_query(RUNTIME_KEY + r'\Runtime', 'Version'), '1.0')

        # A signed input gives an unsigned copy, and the tool says so.
        again = os.path.join(kit, 'rebranded.exe')
        done = brand('--product-name', 'Acme Tools 8', os.path.join(sample, 'setup.exe'), again)
        self.assertIn('was signed; %s is not' % h.winpath(again), done.stdout)
        self.assertNotEqual(verify(again, authority).returncode, 0)

    def test_a_page_wider_than_the_screen_keeps_the_window_on_it(self):
        """Wider than the session's 1280-pixel screen, as branding allows: cut to the work area, caption on it."""
        dist = h.Distribution('wide page')
        wide = page_folder('wide page', images=[('img/back.png', '1340x300', '#246'), ('quit.png', '60x30', '#c33')])
        self.assertEqual(brand('--page', wide, h.SETUP_EXE, dist.exe).returncode, 0)
        dist.add(h.ENGINE, 'htmlayout.dll')
        screen = h.Process(dist.exe, '', dist.dir)
        left, top, width, _ = h.wait_window(TITLE, cls=None).client
        h.close(TITLE)
        self.assertEqual((screen.wait(), left >= 0, top > 0, left + width <= 1280), (2, True, True, True), (left, top))

    def test_refusals_write_nothing_and_warnings_do_not_stop(self):
        program = h.Distribution('refusals').exe
        before = open(program, 'rb').read()
        branded, running = (os.path.join(os.path.dirname(program), name) for name in ('branded.exe', 'running.exe'))
        shutil.copyfile(program, running)
        for name, args, output, code, lines in [
            ('page not UTF-8', ['--page', page_folder('latin', PAGE.replace(TITLE, 'Acmé').encode('cp1252'))], branded, 2,
             ['is not UTF-8 text']),
            ('URL without a file', ['--page', page_folder('no file', images=[('quit.png', '60x30', 'red')])], branded, 2,
             ['the page names img/back.png, but']),
            ('no image', ['--page', page_folder('no image', images=[('img/back.png', '', None), ('quit.png', '', None)])],
             branded, 2, ['no image the system']),
            ('page too large', ['--page', page_folder('large', PAGE + ' ' * (32 << 20))], branded, 2,
             ['larger than the 33554432']),
            ('page wider than a common screen', ['--page', page_folder('wide', images=[
                ('img/back.png', '1400x200', '#246'), ('quit.png', '60x30', '#c33')])], branded, 2, ['x 728 work area']),
            ('not an icon', ['--icon', program], branded, 2, ['is no icon file']),
            ('version of three parts', ['--product-version', '7.1.0'], branded, 2, ['is not X.Y.Z.W']),
            ('output is input', ['--product-name', 'x'], program, 2, ['another file than INPUT']),
            ('output is a running program', ['--product-name', 'x'], running, 2, ['running.exe cannot be replaced']),
            ('no install link', ['--page', page_folder('no install')], branded, 0,
             ['start.html: warning: no link with href "install"']),
            ('ignored things, no cancel link', ['--page', page_folder('ignored', IGNORED)], branded, 0,
             ["start.html(2): warning: 'columns: 2' is not a property", "start.html(3): warning: selector 'a + b' is not",
              'start.html(5): warning: <video>: media are not drawn', 'start.html: warning: no link with href "cancel"']),
        ]:
            with self.subTest(name):
                holder = h.Process(running, '/i') if output == running else None   # runs while it shows
                if holder:                                                           # its box: no ini
                    h.wait_window('', holding=0xFFFF)
                done = brand(*args, program, output)
                if holder:
                    h.click('', 'OK')
                    self.assertEqual(holder.wait(), 3)
                self.assertEqual(done.returncode, code, done.stdout + done.stderr)
                self.assertEqual(len(done.stderr.splitlines()), len(lines), done.stderr)
                for line, expected in zip(done.stderr.splitlines(), lines):
                    self.assertIn(expected, line)
                    self.assertEqual(line.endswith('nothing written'), code == 2, line)
                self.assertEqual((os.path.exists(branded), os.path.exists(output + '.branding')), (code == 0, False))
                if code == 0:
                    os.remove(branded)
                self.assertEqual((open(program, 'rb').read(), open(running, 'rb').read()), (before, before))
