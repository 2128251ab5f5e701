"""Proves the harness against Wine itself: exit codes, windows, the Windows Installer, the
registry, the log parser and the marker DLL. Needs uidriver.exe and the test packages, not
setup.exe."""

import os
import unittest

import harness as h


class ProgramsAndWindows(unittest.TestCase):
    def test_full_exit_code_comes_back(self):
        self.assertEqual(h.run_program('cmd.exe', ['/c', 'exit', '3010'], timeout=60), 3010)
        self.assertEqual(h.run_program('cmd.exe', '/c "exit 70000"', timeout=60), 70000)

    def test_message_box_is_read_and_answered(self):
        title = 'Harness Прове テスト'
        text = 'First line\nSecond\tline \\ è'
        box = h.start_program(h.winpath(h.UIDRIVER_EXE),
                              ['msgbox', '--title', title, '--text', text, '--type', '3'],
                              timeout=60)
        win = h.wait_window(title, cls='#32770', timeout=30)
        self.assertEqual(win.title, title)
        self.assertEqual(win.message, text)
        self.assertEqual(win.buttons(), ['Yes', 'No', 'Cancel'])
        self.assertEqual([c.id for c in win.children if c.cls == 'Button'], [6, 7, 2])
        self.assertTrue(all(c.enabled and c.visible for c in win.children))
        h.click(title, button='&No')
        self.assertEqual(box.wait(), 7)
        h.gone(title, timeout=10)

        box = h.start_program(h.winpath(h.UIDRIVER_EXE),
                              ['msgbox', '--title', title, '--text', 'x', '--type', '1'], timeout=60)
        h.click(title, id=2, cls='#32770')
        self.assertEqual(box.wait(), 2)

    def test_time_outs_end_in_errors_not_hangs(self):
        title = 'Harness never answered'
        box = h.start_program(h.winpath(h.UIDRIVER_EXE), ['msgbox', '--title', title, '--text', 'x'],
                              timeout=3)
        h.wait_window(title, timeout=30)
        with self.assertRaises(h.HarnessError):
            box.wait()
        h.gone(title, timeout=10)
        with self.assertRaises(h.HarnessError):
            h.wait_window('No such window', timeout=0.5)
        with self.assertRaises(h.HarnessError):
            h.window_texts('No such window')


class WindowsInstaller(unittest.TestCase):
    def test_install_minor_upgrade_and_removal(self):
        v1, v2 = h.PACKAGES['product_v1'], h.PACKAGES['product_v2']
        h.ensure_absent(v1.product_code)
        self.assertEqual(h.product_state(v1.product_code), h.INSTALLSTATE_UNKNOWN)
        self.assertIsNone(h.installed_version('product_v1'))

        self.assertEqual(h.msiexec(['/i', h.winpath(v1.path), '/qn']), 0)
        self.assertEqual(h.product_state(v1.product_code), h.INSTALLSTATE_DEFAULT)
        self.assertEqual(h.product_info(v1.product_code, 'VersionString'), '2.0.0')
        self.assertEqual(h.installed_version('product_v1'), '2.0.0')
        with open(h.installed_file('product_v1')) as f:
            self.assertEqual(f.read(), 'product_v1 2.0.0\n')

        # Same product, newer package, no REINSTALL: the engine refuses (1638).
        self.assertEqual(h.msiexec(['/i', h.winpath(v2.path), '/qn']), 1638)
        self.assertEqual(h.msiexec(['/i', h.winpath(v2.path), '/qn', 'REINSTALL=ALL',
                                    'REINSTALLMODE=vomus']), 0)
        self.assertEqual(h.product_info(v2.product_code, 'VersionString'), '2.1.0')
        self.assertEqual(h.installed_version('product_v2'), '2.1.0')
        with open(h.installed_file('product_v2')) as f:
            self.assertEqual(f.read(), 'product_v2 2.1.0\n')

        self.assertEqual(h.uninstall(v2.product_code), 0)
        self.assertEqual(h.product_state(v2.product_code), h.INSTALLSTATE_UNKNOWN)
        self.assertIsNone(h.product_info(v2.product_code, 'VersionString'))
        self.assertIsNone(h.installed_version('product_v2'))
        self.assertFalse(os.path.exists(h.installed_file('product_v2')))
        self.assertEqual(h.uninstall(v2.product_code), 1605)

    def test_x64_package_lands_in_the_64_bit_places(self):
        pkg = h.PACKAGES['product_x64']
        h.ensure_absent(pkg.product_code)
        self.assertEqual(h.msiexec(['/i', h.winpath(pkg.path), '/qn']), 0)
        try:
            self.assertEqual(h.installed_version('product_x64'), '1.0.0')
            self.assertIsNone(h.reg_query(pkg.reg_key, 'Version', view=32))
            self.assertTrue(os.path.exists(h.installed_file('product_x64')))
        finally:
            h.ensure_absent(pkg.product_code)


class RegistryAndFiles(unittest.TestCase):
    KEY = r'HKCU\Software\SetupLauncherTest\Harness'

    def test_registry_round_trip(self):
        h.reg_delete_key(self.KEY)
        self.assertIsNone(h.reg_query(self.KEY, 'Text'))
        h.reg_set(self.KEY, 'Text', 'Zürich 2.5')
        h.reg_set(self.KEY, 'Number', 3010, kind='REG_DWORD')
        self.assertEqual(h.reg_query(self.KEY, 'Text'), 'Zürich 2.5')
        self.assertEqual(h.reg_query(self.KEY, 'Number'), 3010)
        h.reg_delete_key(self.KEY)
        self.assertIsNone(h.reg_query(self.KEY, 'Number'))

    def test_distribution_layout(self):
        dist = h.Distribution('smoke', exe_name='MySetup.exe', setup_exe=h.UIDRIVER_EXE)
        other = h.Distribution('smoke', setup_exe=h.UIDRIVER_EXE)
        self.assertNotEqual(dist.dir, other.dir)
        ini = dist.write_ini({'MsiPath': 'product_v2.msi', 'Name': 'Café'},
                             sections={'PreReq1': {'Name': 'X'}})
        self.assertEqual(os.path.basename(ini), 'MySetup.ini')
        with open(ini, 'rb') as f:
            self.assertEqual(f.read(),
                             b'[Main]\r\nMsiPath=product_v2.msi\r\nName=Caf\xe9\r\n\r\n'
                             b'[PreReq1]\r\nName=X\r\n')
        self.assertTrue(os.path.isfile(dist.add_package('product_v2')))
        self.assertTrue(os.path.isfile(dist.add_package('product_v1', as_name='other.msi')))
        # The copied program runs in its folder: a relative path lands there.
        code = h.run_program(h.winpath(dist.exe), ['run', '--exit-file', 'inner.txt', '--',
                                                   'cmd.exe', '/c', 'exit 1641'],
                             cwd=dist.dir, timeout=60)
        self.assertEqual(code, 0)
        with open(dist.path('inner.txt')) as f:
            self.assertEqual(f.read(), '1641')


class LogParsing(unittest.TestCase):
    def test_program_and_engine_runs_are_told_apart(self):
        setup = ('Setup.exe [2024.01.02 03:04:05]: Started\r\nЯпония 日本\r\n').encode('utf-16-le')
        engine = b'=== Logging started ===\nAction ended: INSTALL. Return value 1.\n'
        tail = 'Setup.exe [2024.01.02 03:04:06]: Done\r\n'.encode('utf-16-le')
        log = h.parse_log(b'\xff\xfe' + setup + engine + tail)
        self.assertTrue(log.has_bom)
        self.assertEqual(log.setup_lines, ['Setup.exe [2024.01.02 03:04:05]: Started',
                                           'Япония 日本', 'Setup.exe [2024.01.02 03:04:06]: Done'])
        self.assertEqual(log.engine_lines, ['=== Logging started ===',
                                            'Action ended: INSTALL. Return value 1.'])
        self.assertEqual(log.stripped(), ['Started', 'Япония 日本', 'Done'])
        self.assertEqual(h.strip_stamp('Setup.exe [2024.1.2 03:04:05]: x'),
                         'Setup.exe [2024.1.2 03:04:05]: x')

    def test_logs_are_found_and_cleared_in_temp(self):
        user = h.wine(['cmd.exe', '/c', 'echo %USERNAME% %TEMP%']).stdout.strip()
        name, _, temp = user.partition(' ')
        self.assertEqual(temp, 'C:\\users\\%s\\Temp' % name)
        self.assertEqual(h.temp_dir(), h.drive_c('users', name, 'Temp'))
        self.assertTrue(os.path.isdir(h.temp_dir()))
        h.clear_logs('HarnessSmoke*.log')
        path = os.path.join(h.temp_dir(), 'HarnessSmoke 1.log')
        with open(path, 'wb') as f:
            f.write(b'\xff\xfe' + 'a\r\nb\r\n'.encode('utf-16-le'))
        self.assertEqual(h.find_log('HarnessSmoke*.log'), path)
        self.assertEqual(h.read_log(path).lines, ['a', 'b'])
        h.clear_logs('HarnessSmoke*.log')
        self.assertEqual(h.find_logs('HarnessSmoke*.log'), [])


class MarkerDll(unittest.TestCase):
    def test_marker_catches_a_planted_library_and_only_that(self):
        dist = h.Distribution('marker', exe_name='probe.exe', setup_exe=h.UIDRIVER_EXE)
        dist.plant_marker('mapi32.dll', 'msi.dll')
        marks = dist.path('marks.txt')
        env = h.wine_env({'MARKER_FILE': h.winpath(marks)}, dll_overrides='mapi32,msi=n,b')
        # A plain LoadLibraryW takes the planted copy: the marker must say so.
        self.assertEqual(h.run_program(h.winpath(dist.exe), ['loadlib', 'mapi32.dll'],
                                       env=env, timeout=60), 0)
        with open(marks, 'rb') as f:
            self.assertEqual(f.read().decode().lower().split(),
                             [h.winpath(dist.path('mapi32.dll')).lower()])
        # LoadLibraryExW(LOAD_LIBRARY_SEARCH_SYSTEM32) does not: no new mark.
        os.unlink(marks)
        self.assertEqual(h.run_program(h.winpath(dist.exe),
                                       ['product-state', h.SAMPLE_CODE], env=env, timeout=60), 0)
        self.assertFalse(os.path.exists(marks))


if __name__ == '__main__':
    unittest.main()
