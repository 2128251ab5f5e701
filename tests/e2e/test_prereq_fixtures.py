"""Proves the machinery of the prerequisite scenarios without setup.exe: the UI driver's list-view
and click commands against the list-view fixture window, the versioned libraries, the component
package and the ini sections of the requisites."""

import os
import unittest

import harness as h

TITLE = 'List View Fixture %d' % os.getpid()


def read_record(path):
    if not os.path.exists(path):
        return []
    with open(path) as f:
        return f.read().splitlines()


class ListViewDriving(unittest.TestCase):
    def setUp(self):
        os.makedirs(h.RUNS_DIR, exist_ok=True)
        self.record = os.path.join(h.RUNS_DIR, 'listview-%d.txt' % os.getpid())
        if os.path.exists(self.record):
            os.unlink(self.record)
        self.window = h.start_program(h.winpath(h.LISTVIEW_WINDOW_EXE),
                                      [TITLE, h.winpath(self.record)], timeout=120)
        self.addCleanup(self.window.wait)
        self.addCleanup(h.close, TITLE)

    def events(self):
        return read_record(self.record)

    def test_rows_clicks_and_typing_reach_the_list_as_input(self):
        win = h.wait_window(TITLE, timeout=30)
        # The notes box: its line break survives, and shown and hidden boxes are told apart.
        notes, hidden = win.child(10013), win.child(10014)
        self.assertEqual((notes.cls, notes.text, notes.visible), ('Edit', 'First note\r\nSecond note', True))
        self.assertEqual((hidden.text, hidden.visible), ('Hidden note', False))

        view = h.list_rows(TITLE)
        self.assertEqual(view.texts, ['Runtime Alpha', 'Engine Beta', 'Tool Gamma'])
        self.assertEqual(view.images, [1, 0, 2])
        self.assertEqual(view.mark, -1)
        self.assertFalse(any(r.selected or r.focused for r in view.rows))

        # A click on the picture, then one on the label: each arrives as a press at that spot
        # (the message position agrees) on the row under it, and the list has handled it.
        x, y = h.click_row(TITLE, row=1)
        self.assertEqual(self.events(), ['CLICK %d %d 1 %d %d' % (x, y, x, y)])
        self.assertEqual(h.list_rows(TITLE).images, [1, 1, 2])
        lx, ly = h.click_row(TITLE, row=0, at='label')
        self.assertGreater(lx, x)
        self.assertEqual(self.events()[1:], ['CLICK %d %d 0 %d %d' % (lx, ly, lx, ly)])
        h.click_row(TITLE, row=2)
        self.assertEqual(self.events()[2].split()[3], '2')
        view = h.list_rows(TITLE)
        self.assertEqual(view.images, [0, 1, 2])
        self.assertFalse(any(r.selected for r in view.rows))   # the list never saw the presses

        # Typing: the row becomes focus, selection and mark before the character arrives.
        h.type_in_row(TITLE, row=1)
        self.assertEqual(self.events()[3:], ['CHAR 32 1'])
        view = h.list_rows(TITLE)
        self.assertEqual(view.mark, 1)
        self.assertEqual([(r.selected, r.focused) for r in view.rows],
                         [(False, False), (True, True), (False, False)])
        self.assertEqual(view.images, [0, 0, 2])
        h.type_in_row(TITLE, row=0, char='x')
        self.assertEqual(self.events()[4:], ['CHAR 120 0'])
        self.assertEqual(h.list_rows(TITLE).mark, 0)

        # The link takes a press and a release on itself, as a mouse gives them.
        lx, ly = h.click_control(TITLE, id=1005)
        h.poll('the link event', lambda: len(self.events()) >= 6, timeout=10)
        self.assertEqual(self.events()[5:], ['LINK %d %d' % (lx, ly)])

    def test_bad_targets_are_errors(self):
        h.wait_window(TITLE, timeout=30)
        with self.assertRaises(h.HarnessError):
            h.click_row(TITLE, row=3)
        with self.assertRaises(h.HarnessError):
            h.list_rows(TITLE, id=4242, timeout=0.5)
        with self.assertRaises(h.HarnessError):
            h.click_control(TITLE, id=10014, timeout=0.5)     # hidden
        self.assertEqual(self.events(), [])


class VersionedLibraries(unittest.TestCase):
    def test_versions_machines_and_loading(self):
        self.assertEqual(h.file_version(h.VERSIONED_DLL_1999), '1.9.9.9')
        self.assertEqual(h.file_version(h.VERSIONED_DLL_2000), '2.0.0.0')
        self.assertEqual(h.file_version(h.VERSIONED_DLL_X64), '2.0.0.0')
        self.assertIsNone(h.file_version(h.UNVERSIONED_DLL))
        self.assertEqual([h.pe_machine(p) for p in (h.VERSIONED_DLL_1999, h.VERSIONED_DLL_2000,
                                                    h.UNVERSIONED_DLL, h.VERSIONED_DLL_X64)],
                         [h.IMAGE_FILE_MACHINE_I386] * 3 + [h.IMAGE_FILE_MACHINE_AMD64])
        # A 32-bit process loads the i686 ones and not the x86_64 one (ERROR_BAD_EXE_FORMAT).
        for path in (h.VERSIONED_DLL_2000, h.UNVERSIONED_DLL):
            self.assertEqual(h.uidriver('loadlib', h.winpath(path)).returncode, 0, path)
        failed = h.uidriver('loadlib', h.winpath(h.VERSIONED_DLL_X64))
        self.assertEqual(failed.returncode, 1)
        self.assertIn('failed with 193', failed.stderr)


class ComponentPackage(unittest.TestCase):
    def test_quiet_install_and_removal(self):
        pkg = h.PACKAGES['prereq_component']
        h.ensure_absent(pkg.product_code)
        self.addCleanup(h.ensure_absent, pkg.product_code)
        # The command line a component record would carry.
        self.assertEqual(h.run_program('msiexec.exe', '/i "%s" /qn' % h.winpath(pkg.path), timeout=300), 0)
        self.assertEqual(h.product_state(pkg.product_code), h.INSTALLSTATE_DEFAULT)
        self.assertEqual(h.product_info(pkg.product_code, 'ProductName'), 'Prerequisite Component')
        self.assertEqual(h.installed_version('prereq_component'), '1.0.0')
        with open(h.installed_file('prereq_component')) as f:
            self.assertEqual(f.read(), 'prereq_component 1.0.0\n')
        # It is a product of its own: the sample product stays absent.
        self.assertEqual(h.product_state(h.SAMPLE_CODE), h.INSTALLSTATE_UNKNOWN)

        self.assertEqual(h.uninstall(pkg.product_code), 0)
        self.assertEqual(h.product_state(pkg.product_code), h.INSTALLSTATE_UNKNOWN)
        self.assertIsNone(h.installed_version('prereq_component'))
        self.assertFalse(os.path.exists(h.installed_file('prereq_component')))


class RequisiteSections(unittest.TestCase):
    def test_numbered_sections_follow_main(self):
        dist = h.Distribution('requisites', setup_exe=h.UIDRIVER_EXE)
        dist.write_ini({'MsiPath': 'p.msi'}, prereqs=[{'Name': 'A', 'Optional': 0}, None, {'Name': 'C'}],
                       postreqs={1: {'Name': 'Post'}}, sections={'Extra': {'K': 'v'}})
        with open(dist.ini_path, 'rb') as f:
            self.assertEqual(f.read(), b'[Main]\r\nMsiPath=p.msi\r\n\r\n[PreReq0]\r\nName=A\r\nOptional=0\r\n\r\n'
                                       b'[PreReq2]\r\nName=C\r\n\r\n[PostReq1]\r\nName=Post\r\n\r\n'
                                       b'[Extra]\r\nK=v\r\n')


if __name__ == '__main__':
    unittest.main()
