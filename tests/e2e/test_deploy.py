"""Network deployment: the wizard reached from the start screen's Deployment button and walked as
an administrator would, against real folders: read-only files and folders count as on Windows (the
programs run as an ordinary user); a full disk and a DVD are real mounts, made as root."""

import configparser
import os
import re
import shutil
import subprocess
import types
import unittest

import harness as h

PRODUCT = 'Sample Product'
SHEET = 'Deployment ' + PRODUCT
NEXT, BACK, FINISH, CANCEL = 12324, 12323, 12325, 2
ENTER, ESC = 0x0D, 0x1B
WELCOME, LICENCE, ACCEPT, FOLDER, COMMON, UPLOAD, READY, PROGRESS, COMPLETE = (
    10015, 10032, 10031, 10019, 10025, 10042, 10029, 10033, 10038)
DEST = os.path.join(h.RUNS, 'deployed Дист 安装')     # outside the code page: the copy's ini is written there
DVD = os.path.join(h.RUNS, 'dvd')
LICENCE_RTF = r'{\rtf1\ansi Terms of the sample licence.\par}'
CONTENT = ['HELP/index.txt', 'HELP/Sub/page.txt', 'Docs/readme.txt', 'Docs/Ru/readme.txt', 'Extras/tool.txt',
           'Redist/setup.ini']
EXCLUSIONS = {'DeploymentExcludeFolders': {'Folder3': r'#Root#\help', 'Folder5': '#Root#\\Extras\\',
                                           'Folder7': 'Redist'},
              'DeploymentExcludeFiles': {'File0': r'#Root#\Docs\readme.txt', 'File99': r'#Root#\Extras\tool.txt'}}
CANCEL_QUESTION = 'Do you really want to cancel the deployment of\n%s?' % PRODUCT
COMPLETED, CANCELLED = 'Completed %s Deployment Wizard' % PRODUCT, 'Deployment %s canceled' % PRODUCT
START = ['UILevel is set to 5', "Start deployment '%s'." % PRODUCT]
UNITS = ('Bytes', 'KB', 'MB', 'GB', 'TB')


def privileged(*command) -> subprocess.CompletedProcess:
    """A mount or its undoing: the case is skipped where the suite runs without root."""
    if not h.ROOT:
        raise unittest.SkipTest('%s needs root' % command[0])
    return h.privileged(command, **h.QUIET)


def small_disk(point: str, size: str):
    """A folder that is a disk of that size, the programs' own."""
    os.makedirs(point)
    privileged('mount', '-t', 'tmpfs', '-o', 'size=%s,uid=%d,gid=%d' % (size, os.getuid(), os.getgid()), 'tmpfs',
               point).check_returncode()


def size_text(v: int) -> str:
    x, unit = float(v), 0
    while v >= 1024 and unit < 4:
        x, v, unit = v / 1024, v >> 10, unit + 1
    return '%.2f %s' % (x, UNITS[unit])


def distribution(name, sections=None, licence='License.rtf', content=CONTENT, big=0, encoding='cp1252',
                 main=None) -> h.Distribution:
    dist = h.Distribution(name)
    dist.add(h.package('product_v2').path, 'Sample Product.msi')
    dist.add(h.ENGINE, 'htmlayout.dll')
    if licence:
        dist.add_file(licence, LICENCE_RTF)
    for path in content:
        os.makedirs(os.path.dirname(dist.path(path)), exist_ok=True)
        dist.add_file(path, 'content of ' + path)
    os.makedirs(dist.path('Empty'))
    if big:
        dist.add_file('big.bin', b'\0' * big)
    dist.write_ini(dict({'MsiPath': 'Sample Product.msi', 'ShowStartDialog': 1}, **(main or {})), sections, encoding)
    return dist


def tree(folder) -> set:
    """Files below the folder, and folders that hold none, as relative paths with '/'."""
    found = set()
    for top, dirs, files in os.walk(folder):
        rel = os.path.relpath(top, folder).replace(os.sep, '/')
        found.update((f if rel == '.' else rel + '/' + f) for f in files)
        if not files and not dirs and rel != '.':
            found.add(rel + '/')
    return found


def win(folder, rel='') -> str:
    return h.winpath(os.path.join(folder, rel)) if rel else h.winpath(folder)


class Wizard:
    """One run of setup.exe without arguments, its start screen answered with Deployment."""

    def __init__(self, dist: h.Distribution):
        self.process = h.Process(dist.exe, '', dist.dir)
        h.on_start_screen('alt+d')(None, dist)      # the keyboard road to the wizard

    def page(self, control: int, timeout: float = 60) -> h.Window:
        """The sheet once the page holding that control is the one shown."""
        return h.poll('page of control %d' % control,
                      lambda: (lambda w: w if (w.child(control) or {}).get('visible') else None)(h.wait_window(SHEET)),
                      timeout)

    def press(self, button: int, then: int = None) -> h.Window:
        h.click(SHEET, id=button)
        return self.page(then) if then else None

    def enabled(self, control: int) -> bool:
        return h.wait_window(SHEET).child(control)['enabled']

    def to_destination(self):
        self.page(WELCOME)
        self.press(NEXT, ACCEPT)
        h.click(SHEET, id=ACCEPT)
        h.poll('Next enabled', lambda: self.enabled(NEXT))
        self.press(NEXT, FOLDER)

    def destination(self, text: str, then=COMMON):
        h.set_text(SHEET, FOLDER, text)
        return self.press(NEXT, then)

    def box(self, title: str, text: str, button: str = 'OK', buttons=('OK',)):
        # A box may share the sheet's caption; a loaded machine may show it before its text.
        box = h.poll('the box ' + title, lambda: (lambda w: w if w.message else None)(h.wait_window(title, holding=0xFFFF)))
        assert (box.message, box.buttons) == (text, list(buttons)), (box.message, box.buttons)
        h.click(title, button)

    def finish(self, header: str) -> h.Log:
        sheet = self.page(COMPLETE, 120)
        assert sheet.child(COMPLETE)['text'] == header, sheet.child(COMPLETE)
        assert not sheet.child(CANCEL)['enabled']
        h.poll('Finish focused', lambda: h.wait_window(SHEET).child(FINISH)['focused'])
        h.key(SHEET, ENTER)
        assert self.process.wait() == 0, self.process.output
        return h.the_log('Sample Product Deployment (*).log')


def burn(dist: h.Distribution) -> types.SimpleNamespace:
    """The distribution as an installation DVD: an ISO 9660 image made as DVDs are made (Rock
    Ridge and Joliet, every file read-only), mounted by the kernel where it knows the format and
    through FUSE elsewhere (open to the user the programs run as), and given to Wine as the CD-ROM drive D:."""
    image = os.path.join(h.RUNS, 'dvd.iso')
    subprocess.run(['genisoimage', '-quiet', '-J', '-r', '-V', 'SAMPLE', '-o', image, dist.dir], check=True)
    os.makedirs(DVD)
    if privileged('mount', '-t', 'iso9660', '-o', 'loop,ro', image, DVD).returncode:
        privileged('fuseiso', image, DVD, '-o', 'allow_other').check_returncode()
    os.symlink(DVD, os.path.join(h.PREFIX, 'dosdevices', 'd:'))
    h.reg_set(r'HKLM\Software\Wine\Drives', 'd:', 'cdrom')
    return types.SimpleNamespace(dir=DVD, exe='D:\\setup.exe')


class Deployment(h.Scenario):
    def tidy(self):
        super().tidy()
        for point in (os.path.join(DEST, 'small'), DEST, DVD):
            h.privileged(['umount', point], stderr=subprocess.DEVNULL)
        for link in ('m:', 'm::', 'd:'):
            if os.path.lexists(os.path.join(h.PREFIX, 'dosdevices', link)):
                os.unlink(os.path.join(h.PREFIX, 'dosdevices', link))
        h.wine(['reg', 'delete', r'HKLM\Software\Wine\Drives', '/v', 'd:', '/f'])
        subprocess.run(['chmod', '-R', 'u+w', DEST], stderr=subprocess.DEVNULL)
        shutil.rmtree(DEST, ignore_errors=True)
        shutil.rmtree(DVD, ignore_errors=True)

    def assertOwnLines(self, log: h.Log, expected: list, copied=None):
        """The log's own lines; `copied`, when given, is the set that the block of "copied"
        lines, in the walk's order, must name."""
        lines = log.own
        if copied is not None:
            block = [l for l in lines if l.startswith("File '") and l.endswith("' copied.")]
            self.assertEqual(sorted(block), sorted("File '%s' copied." % win(DEST, c) for c in copied), log.dump())
            first = lines.index(block[0]) if block else lines.index('Finish files copy.')
            lines = lines[:first] + ['<copied>'] + lines[first + len(block):]
        self.assertEqual(lines, expected, log.dump())

    def assertRolledBack(self, log, copied):
        """The lines from the copy on: what was copied, removed newest first. Answers the lines
        before the rollback."""
        lines = log.own[log.own.index('Start files copy:'):]
        copies = [re.fullmatch(r"File '(.*)' copied\.", l).group(1) for l in lines if l.endswith("' copied.")]
        self.assertEqual(sorted(copies), sorted(win(DEST, c.replace('/', '\\')) for c in copied), log.dump())
        start = lines.index('Start Rollback')
        self.assertEqual(lines[start + 1:start + 1 + len(copies)],
                         ["File '%s' removed." % c for c in reversed(copies)], log.dump())
        self.assertEqual(lines[-2:], ['Finish rollback', "Deployment '%s' canceled." % PRODUCT], log.dump())
        return lines[:start]

    def test_copies(self):
        kept = {'setup.exe', 'setup.ini', 'Sample Product.msi', 'htmlayout.dll', 'License.rtf',
                'Docs/Ru/readme.txt', 'Redist/setup.ini'}
        for name, typed, common, upload, written, encoding in [
            # Blanks around the folder go; the settings page and the log choice as chosen.
            ('choices', '  %s  ' % win(DEST), r'\\server\común', 0, (r'\\server\común', '0'), 'cp1252'),
            # From the installation DVD, whose setup ini was saved as Unicode: the copy is writable
            # and its ini takes the settings in UTF-16LE. A trailing backslash stays single; pages
            # left as they came: empty folder, choice 2.
            ('dvd', win(DEST) + '\\', None, None, ('', '2'), 'utf-16'),
            # A publisher's own licence file, no Settings or Log page: nobody chose an upload.
            ('neutral', win(DEST), None, None, ('', '0'), 'cp1252'),
        ]:
            with self.subTest(name):
                self.tidy()
                own = {'LicenseFile': 'Terms.rtf', 'DeploymentSettingsPage': '0',
                       'DeploymentLogPage': '0'} if name == 'neutral' else {}
                dist = distribution(name, EXCLUSIONS, own.get('LicenseFile', 'License.rtf'), encoding=encoding, main=own)
                medium = burn(dist) if encoding == 'utf-16' else dist
                root = 'D:' if encoding == 'utf-16' else win(dist.dir)
                if name == 'choices':   # a copy made by hand from the DVD before: read-only files to write over
                    os.makedirs(os.path.join(DEST, 'Docs', 'Ru'))
                    for old in ('setup.exe', 'Docs/Ru/readme.txt'):
                        shutil.copyfile(dist.path('setup.ini'), os.path.join(DEST, old))
                        os.chmod(os.path.join(DEST, old), 0o444)
                wizard = Wizard(medium)
                wizard.page(WELCOME)
                self.assertEqual(h.wait_window(SHEET).child(WELCOME)['text'],
                                 'Welcome to the %s Deployment Wizard' % PRODUCT)
                sheet = wizard.press(NEXT, ACCEPT)
                self.assertEqual(sheet.child(LICENCE)['text'].strip(), 'Terms of the sample licence.')
                self.assertFalse(wizard.enabled(NEXT))
                for ticked in (True, False, True):     # the box turns Next on and off
                    h.click(SHEET, id=ACCEPT)
                    h.poll('Next %s' % ticked, lambda: wizard.enabled(NEXT) == ticked)
                wizard.press(NEXT, FOLDER)
                wizard.destination(typed, READY if own else COMMON)
                if not own:
                    if common is not None:
                        h.set_text(SHEET, COMMON, common)
                    sheet = wizard.press(NEXT, UPLOAD)
                    self.assertEqual(sheet.child(UPLOAD)['text'], 'Upload with informing in the welcome window')
                    if upload is not None:
                        h.select(SHEET, UPLOAD, upload)
                    next_text = h.wait_window(SHEET).child(NEXT)['text']
                    wizard.press(NEXT, READY)
                self.assertEqual(h.wait_window(SHEET).child(NEXT)['text'], '&Deploy')
                if name == 'choices':
                    # Back to the folder and on again: a new check, but the scan is not repeated.
                    wizard.press(BACK, UPLOAD)
                    self.assertEqual(h.wait_window(SHEET).child(NEXT)['text'], next_text)
                    wizard.press(BACK, COMMON)
                    wizard.press(BACK, FOLDER)
                    wizard.press(NEXT, COMMON)
                    wizard.press(NEXT, UPLOAD)
                    wizard.press(NEXT, READY)
                wizard.press(NEXT, PROGRESS)
                h.poll('Cancel focused', lambda: h.wait_window(SHEET).child(CANCEL)['focused'])
                if name == 'choices':
                    # Esc is Cancel, answered No: the copy goes on with the file it was about to copy.
                    h.key(SHEET, ESC)
                    wizard.box(SHEET, CANCEL_QUESTION, 'No', ['Yes', 'No'])
                log = wizard.finish(COMPLETED)

                copied = kept - {'License.rtf'} | {'Terms.rtf'} if own else kept
                self.assertEqual(tree(DEST), copied)
                self.assertEqual([f for f in copied if not os.stat(os.path.join(DEST, f)).st_mode & 0o200], [])
                with open(os.path.join(DEST, 'setup.ini'), 'rb') as f:
                    self.assertEqual(f.read(2) == b'\xff\xfe', encoding == 'utf-16')
                copy, original = configparser.ConfigParser(interpolation=None), configparser.ConfigParser()
                copy.optionxform = str
                copy.read(os.path.join(DEST, 'setup.ini'), encoding=encoding)
                original.read(dist.path('setup.ini'), encoding=encoding)
                self.assertEqual(copy.sections(), ['Main', 'InstallProperties'])
                self.assertEqual(dict(copy['Main']), dict({'MsiPath': 'Sample Product.msi', 'ShowStartDialog': '0'}, **own))
                self.assertEqual(list(copy['InstallProperties'].items()), [
                    ('AFTER_DEPLOYMENT', '1'), ('COMMON_FOLDER', written[0]),
                    ('UPLOAD_CMDLOG_TO_BRIXWELL_SERVER', written[1])])
                self.assertIn('DeploymentExcludeFolders', original.sections())
                ini = win(DEST, 'setup.ini')
                writes = [("Main", "ShowStartDialog", "0"), ("InstallProperties", "AFTER_DEPLOYMENT", "1"),
                          ("InstallProperties", "COMMON_FOLDER", written[0]),
                          ("InstallProperties", "UPLOAD_CMDLOG_TO_BRIXWELL_SERVER", written[1])]
                self.assertOwnLines(log, [
                    *START,
                    "Folder '%s\\help' excluded from deployment." % root,
                    "Folder '%s\\Extras\\' excluded from deployment." % root,
                    "Folder 'Redist' excluded from deployment.",
                    "File '%s\\Docs\\readme.txt' excluded from deployment." % root,
                    "File '%s\\Extras\\tool.txt' excluded from deployment." % root,
                    'Start files copy:', '<copied>', 'Finish files copy.',
                    *["String write to file '%s'. Section='%s' Key='%s' Value='%s'." % (ini, *w) for w in writes],
                    "Deployment '%s' completed successfully." % PRODUCT],
                    {k.replace('/', '\\') for k in copied})

    def test_refusals(self):
        dist = distribution('refusals', content=[], big=2 << 20)
        read_only, small = os.path.join(DEST, 'ro'), os.path.join(DEST, 'small')
        os.makedirs(os.path.join(read_only, 'made'))
        for folder in (os.path.join(read_only, 'made'), read_only):
            os.chmod(folder, 0o555)
        small_disk(small, '1m')
        os.symlink(small, os.path.join(h.PREFIX, 'dosdevices', 'm:'))
        cluster = os.statvfs('/').f_frsize     # Z: is the root of the file system
        required = sum(s + cluster - s % cluster for s in
                       (os.path.getsize(os.path.join(top, f)) for top, _, fs in os.walk(dist.dir) for f in fs))
        free = os.statvfs(small).f_bavail * os.statvfs(small).f_frsize
        sizes = (size_text(free), size_text(required))
        wizard = Wizard(dist)
        wizard.to_destination()
        for typed, text in [*([] if h.ROOT_PASSES else [
            (win(read_only, r'new\sub'), "Cannot create folder '%s'.\n\nError(3) 'Path not found.'"
             % win(read_only, r'new\sub')),
            (win(read_only, 'made'), "The selected folder '%s\\' is not available for copying.\n\n"
                                     "Error(5) 'Access denied.'" % win(read_only, 'made'))]),
            ('M:\\deploy', 'There is not enough free disk space to deploy the product. You can delete some files or '
                           'select another drive.\n\nDisk: M:\\\nFree space: %s\nRequired space: %s' % sizes),
        ]:
            h.set_text(SHEET, FOLDER, typed)
            h.click(SHEET, id=NEXT)
            wizard.box(SHEET, text)
            wizard.page(FOLDER)
        # Free space equal to the estimate passes.
        privileged('mount', '-o', 'remount,size=%d' % required, small).check_returncode()
        h.click(SHEET, id=NEXT)
        wizard.page(COMMON)
        # Cancel asks; No keeps the page, and the close box asks the same question.
        h.click(SHEET, id=CANCEL)
        wizard.box(SHEET, CANCEL_QUESTION, 'No', ['Yes', 'No'])
        wizard.page(COMMON)
        h.close(SHEET)
        wizard.box(SHEET, CANCEL_QUESTION, 'Yes', ['Yes', 'No'])
        log = wizard.finish(CANCELLED)
        self.assertEqual(tree(DEST), {'ro/made/', 'small/deploy/'})
        self.assertOwnLines(log, [
            *START, *([] if h.ROOT_PASSES else [
                "Can't create folder for deployment '%s'. Error(3) 'Path not found.'" % win(read_only, r'new\sub'),
                "Can't copy file to folder for deployment '%s\\'. Error(5) 'Access denied.'" % win(read_only, 'made')]),
            "There is not enough free disk space to deployment. Disk: M:\\, available volume:'%s', "
            "required volume:'%s'" % sizes,
            "Deployment '%s' canceled by user." % PRODUCT, "Deployment '%s' canceled." % PRODUCT])

    def test_rollbacks(self):
        many = ['Docs/readme.txt', 'Extras/new.txt'] + ['Data/part%02d.txt' % n for n in range(16)]
        before = {'before.txt': 'kept', 'Extras/old.txt': 'kept', 'Docs/readme.txt': 'overwritten'}

        def ready(dist, prepare=None):
            for rel, text in before.items():
                os.makedirs(os.path.dirname(os.path.join(DEST, rel)), exist_ok=True)
                with open(os.path.join(DEST, rel), 'w') as f:
                    f.write(text)
            wizard = Wizard(dist)
            wizard.to_destination()
            wizard.destination(win(DEST))
            if prepare:
                prepare()
            wizard.press(NEXT, UPLOAD)
            wizard.press(NEXT, READY)
            wizard.press(NEXT, PROGRESS)
            return wizard


        with self.subTest('cancelled, then rolled back'):
            dist = distribution('cancel', content=many)
            wizard = ready(dist)
            h.click(SHEET, id=CANCEL)
            wizard.box(SHEET, CANCEL_QUESTION, 'No', ['Yes', 'No'])
            h.click(SHEET, id=CANCEL)
            wizard.box(SHEET, CANCEL_QUESTION, 'Yes', ['Yes', 'No'])
            log = wizard.finish(CANCELLED)
            copies = [l for l in log.own if l.endswith("' copied.")]
            self.assertTrue(0 < len(copies) < len(many) + 5, log.dump())
            copied = {re.fullmatch(r"File '%s\\(.*)' copied\." % re.escape(win(DEST)), l).group(1).replace('\\', '/')
                      for l in copies}
            head = self.assertRolledBack(log, copied)
            self.assertEqual(head[-1], "Deployment '%s' canceled by user." % PRODUCT)
            # What was there before stays, unless a copy went over it.
            self.assertEqual(tree(DEST), {'before.txt', 'Extras/old.txt', 'Docs/readme.txt'} - copied)

        self.tidy()
        # Where a file goes, a folder: it cannot be written, and all is rolled back (where the
        # settings go, a folder: see the deployment from a DVD).
        with self.subTest('a file cannot be copied'):
            before.clear()
            dist = distribution('a file cannot be copied', content=CONTENT)
            source, msi = win(dist.dir, 'Sample Product.msi'), win(DEST, 'Sample Product.msi')
            wizard = ready(dist, lambda: os.makedirs(os.path.join(DEST, 'Sample Product.msi')))
            wizard.box(SHEET, "Can't copy file:\nfrom '%s'\nto   '%s'\n\nError(5) 'Access denied.'" % (source, msi))
            log = wizard.finish(CANCELLED)
            self.assertEqual(tree(DEST), set())
            copied = {c for c in ('setup.exe', 'setup.ini', 'Sample Product.msi', 'htmlayout.dll', 'License.rtf',
                                  *CONTENT) if "File '%s' copied." % win(DEST, c) in log.own}
            head = self.assertRolledBack(log, copied)
            self.assertEqual(head[-1], "Can't copy file from '%s' to '%s'. Error(5) 'Access denied.'" % (source, msi))

        self.tidy()
        # Two links to its own folder (once an endless scan); a folder that cannot be listed fails the copy.
        with self.subTest('links and a folder that cannot be listed'):
            dist = distribution('hostile folders', content=CONTENT)
            for link in ('loop', 'Docs/loop'):
                os.symlink(dist.dir, dist.path(link))
            h.no_access(dist.path('Locked'))
            wizard = ready(dist)
            locked, target = win(dist.dir, 'Locked') + '\\', win(DEST, 'Locked') + '\\'
            wizard.box(SHEET, "Can't copy file:\nfrom '%s'\nto   '%s'\n\nError(5) 'Access denied.'" % (locked, target))
            log = wizard.finish(CANCELLED)
            self.assertEqual(tree(DEST), set())
            self.assertEqual(sorted(l for l in log.own if 'left out' in l), ["Folder '%s' left out of deployment: a link "
                             "or a loop." % win(dist.dir, link) for link in ('Docs\\loop', 'loop')])
            copied = {l[len("File '" + win(DEST)) + 1:-len("' copied.")] for l in log.own if l.endswith("' copied.")}
            self.assertRolledBack(log, copied)

        self.tidy()
        # The disk fills during a copy: the file it began goes with the rollback, and its folders.
        with self.subTest('disk full'):
            dist = distribution('disk full', content=['Docs/readme.txt'], big=1 << 20)
            small_disk(DEST, '4m')
            wizard = ready(dist, lambda: subprocess.run(['dd', 'if=/dev/zero', 'of=' + os.path.join(DEST, 'filler'),
                                                         'bs=64k'], **h.QUIET))
            box = h.poll('the box', lambda: (lambda w: w if w.message else None)(h.wait_window(SHEET, holding=0xFFFF)))
            target = re.fullmatch(r"Can't copy file:\nfrom '.*'\nto   '(.*)'\n\nError\(112\) .*", box.message, re.S)
            h.click(SHEET, 'OK')
            log = wizard.finish(CANCELLED)
            self.assertIn("File '%s' removed." % target.group(1), log.own)
            self.assertEqual(tree(DEST), {'filler'})

        self.tidy()
        # At 192 DPI, with a new server to take it: the watermark still fills its band to the bottom.
        self.addCleanup(h.set_dpi, 96)
        h.set_dpi(192)
        with self.subTest('no licence'):
            dist = distribution('no-licence', licence=False)
            wizard = Wizard(dist)
            wizard.page(WELCOME)
            h.click(SHEET, id=NEXT)
            path = dist.path('License.rtf')
            wizard.box(SHEET, "Cannot open license agreement file:\n'%s'.\n\nError(2) 'File not found.'" % win(path))
            sheet = wizard.page(COMPLETE)
            left, top, bottom = *sheet.client[:2], sheet.child(FINISH)['rect'][1] - 40
            lower = '[120x%d+%d+%d]' % ((bottom - top) // 3, left, bottom - (bottom - top) // 3)   # the band's lowest third
            self.assertGreater(float(subprocess.run(['convert', h.shot('watermark-192dpi') + lower, '-format', '%[fx:standard_deviation]', 'info:'], capture_output=True, text=True).stdout), 0.02, 'a flat band below the watermark')
            log = wizard.finish(CANCELLED)
            self.assertFalse(os.path.exists(DEST))
            self.assertOwnLines(log, [*START,
                                   "Can't open license agreement file '%s'. Error(2) 'File not found.'" % win(path),
                                   "Deployment '%s' canceled." % PRODUCT])

    def test_from_a_dvd(self):
        """A deployment from the installation DVD that fails after the copy removes every file it
        copied, each read-only on the medium."""
        ini, dist = win(DEST, 'setup.ini'), distribution('dvd', {'DeploymentExcludeFiles': {'File0': '#Root#\\setup.ini'}})
        wizard = Wizard(burn(dist))
        self.assertFalse(os.stat(os.path.join(DVD, 'setup.ini')).st_mode & 0o222, 'the medium is read-only')
        wizard.to_destination()
        wizard.destination(win(DEST))
        os.makedirs(os.path.join(DEST, 'setup.ini'))    # where the settings go, a folder
        wizard.press(NEXT, UPLOAD)
        wizard.press(NEXT, READY)
        wizard.press(NEXT, PROGRESS)
        wizard.box(h.INSTALLATION_ERROR, "Cannot write to file\n'%s'.\n\nError(5) 'Access denied.'" % ini)
        log = wizard.finish(CANCELLED)
        self.assertEqual(tree(DEST), set())
        self.assertIn("Can't write string to file '%s'. Section='Main' Key='ShowStartDialog' Value='0'. "
                      "Error(5) 'Access denied.'" % ini, log.own)
        self.assertEqual(log.own[-3:], ["Folder '%s\\' removed." % win(DEST), 'Finish rollback',
                                        "Deployment '%s' canceled." % PRODUCT])
        self.assertRolledBack(log, {'setup.exe', 'Sample Product.msi', 'htmlayout.dll', 'License.rtf', *CONTENT})
