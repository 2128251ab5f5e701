"""The checks before anything is installed: one setup per product, 32-bit Windows wanted, and
the minimum Windows version against what Wine reports (a per-program Wine setting)."""

import harness as h
from scenario import (INSTALLATION_ERROR, INTERNAL_ERROR, NO_TRANSFORM_LINES, SAMPLE, SAMPLE_TITLE,
                      UPGRADE_QUESTION, Scenario, install_version, log_file_text, sample_distribution,
                      windows_log_path)

ALREADY_RUNNING_LINE = "Installation or deployment of product 'Sample Product' already run."
PROCESSOR = 'This installation package is not supported by this processor type.'
SERVICE_PACK = 'Servi\u0441e Pack'


def too_old(windows):
    return "Can't  itstall product.\r\nProduct can installed on %s and above." % windows


class SingleInstance(Scenario):
    products = (SAMPLE.product_code, h.PLAIN_CODE)

    def test_second_setup_of_the_product_waits_for_none(self):
        install_version('product_v1')
        first = h.start_setup(sample_distribution('first'), '/i')
        # The first run holds its product's mutex while it asks about the upgrade.
        self.assertEqual(h.wait_window(SAMPLE_TITLE, cls='#32770', timeout=60).message, UPGRADE_QUESTION)

        second = sample_distribution('second')
        self.assertEqual(h.run_setup(second, '/i /quiet').exit_code, 3)
        self.assertIn(ALREADY_RUNNING_LINE, self.the_log().stripped())

        shown = h.start_setup(second, '/i')
        box = h.wait_window(INSTALLATION_ERROR, cls='#32770', timeout=60)
        self.assertEqual(box.message, "Installation 'Sample Product' already run.")
        self.assertEqual(box.buttons(), ['OK'])
        h.click(INSTALLATION_ERROR, button='OK', cls='#32770')
        self.assertEqual(shown.wait(), 3)

        # Another product's setup is not held up.
        other = h.Distribution('other')
        other.add_package('product_nolangneutral', 'plain.msi')
        other.write_ini({'MsiPath': 'plain.msi'})
        self.assertEqual(h.run_setup(other, '/i /quiet').exit_code, 0)
        self.assertEqual(h.product_state(h.PLAIN_CODE), h.INSTALLSTATE_DEFAULT)

        h.click(SAMPLE_TITLE, button='No', cls='#32770')
        self.assertEqual(first.wait(), 0)
        # Once the first run has ended, the product's setup runs again.
        self.assertEqual(h.run_setup(second, '/i /quiet').exit_code, 0)
        self.assertEqual(h.installed_version('product_v2'), '2.1.0')


class Processor(Scenario):
    def test_32bit_windows_wanted_on_64bit_wine(self):
        dist = sample_distribution('os32', Os32Need=1)
        self.assertEqual(h.run_setup(dist, '/i /passive').exit_code, 3)
        self.assertEqual(self.the_log().stripped(), ['UILevel is set to 67', PROCESSOR])

        setup = h.start_setup(dist, '/i')
        box = h.wait_window(SAMPLE_TITLE, cls='#32770', timeout=60)
        self.assertEqual(box.message, PROCESSOR)
        h.click(SAMPLE_TITLE, button='OK', cls='#32770')
        self.assertEqual(setup.wait(), 3)
        self.assertEqual(h.product_state(SAMPLE.product_code), h.INSTALLSTATE_UNKNOWN)

    def test_64bit_package_passes_on_64bit_windows(self):
        dist = h.Distribution('x64')
        dist.add_package('product_x64', 'x64.msi')
        dist.write_ini({'MsiPath': 'x64.msi', 'Os32Need': 0})
        try:
            self.assertEqual(h.run_setup(dist, '/i /quiet').exit_code, 0)
            self.assertEqual(h.product_state(h.X64_CODE), h.INSTALLSTATE_DEFAULT)
        finally:
            h.ensure_absent(h.X64_CODE)


class WindowsVersion(Scenario):
    """Wine reports the Windows version set for the program's file name; each distribution's
    program gets a name of its own."""

    VERSIONS = {'winxp': 'setup-xp.exe', 'win7': 'setup-7.exe', 'win10': 'setup-10.exe'}

    @classmethod
    def setUpClass(cls):
        for version, exe in cls.VERSIONS.items():
            h.reg_set(r'HKCU\Software\Wine\AppDefaults\%s' % exe, 'Version', version)

    @classmethod
    def tearDownClass(cls):
        for exe in cls.VERSIONS.values():
            h.reg_delete_key(r'HKCU\Software\Wine\AppDefaults\%s' % exe)

    def passes(self, version, **main):
        """Whether the check lets the run reach the engine, which refuses the Itanium copy of
        the package quickly, after the language lines the check precedes."""
        h.clear_logs()
        dist = sample_distribution('version-' + version, fixture='product_v2_ia64.msi',
                                   exe_name=self.VERSIONS[version], **main)
        self.assertEqual(h.run_setup(dist, '/i /quiet').exit_code, 3)
        return 'MsiInstallProduct returned 1633' in self.the_log().stripped()

    def refusal(self, version, **main):
        """The box a full-level run shows; OK ends the run with 3."""
        h.clear_logs()
        dist = sample_distribution('version-' + version, exe_name=self.VERSIONS[version], **main)
        setup = h.start_setup(dist, '/i')
        box = h.wait_window(INSTALLATION_ERROR, cls='#32770', timeout=60)
        self.assertEqual(box.buttons(), ['OK'])
        h.click(INSTALLATION_ERROR, button='OK', cls='#32770')
        self.assertEqual(setup.wait(), 3)
        return box.message

    def test_windows_xp_with_its_service_pack(self):
        self.assertTrue(self.passes('winxp', MinWinVersion='5.1', MinWinServicePack='2'))
        self.assertTrue(self.passes('winxp', MinWinVersion=' 5 . 1 . 2600 ', MinWinServicePack='3.0'))
        self.assertEqual(self.refusal('winxp', MinWinVersion='5.1', MinWinServicePack='4'),
                         too_old("'Windows XP' (%s 4)" % SERVICE_PACK))
        self.assertEqual(self.refusal('winxp', MinWinVersion='6.1'), too_old("'Windows 7'"))
        self.assertEqual(self.the_log().stripped(), ['UILevel is set to 5'])

    def test_windows_7(self):
        self.assertTrue(self.passes('win7', MinWinVersion='6.1', MinWinServicePack='1'))
        self.assertTrue(self.passes('win7', MinWinVersion='5.1', MinWinServicePack='3'))
        self.assertFalse(self.passes('win7', MinWinVersion='6.1', MinWinServicePack='1.1'))
        self.assertEqual(self.refusal('win7', MinWinVersion='6.2'), too_old("'Windows 8'"))
        self.assertEqual(self.refusal('win7', MinWinVersion='10', MinWinMessage=r'Needs Windows 10.\nSorry.'),
                         'Needs Windows 10.\nSorry.')

    def test_windows_10_and_invalid_values(self):
        # The program's manifest names no supported systems, so Windows 10 (like 8.1) presents
        # itself to it as Windows 8.
        self.assertTrue(self.passes('win10', MinWinVersion='6.2'))
        self.assertFalse(self.passes('win10', MinWinVersion='6.3', MinWinServicePack='0'))
        self.assertEqual(self.refusal('win10', MinWinVersion='10.1'), too_old("'Windows 10'"))

        message = self.refusal('win10', MinWinVersion='6.x', MinWinServicePack='1')
        self.assertEqual(message, INTERNAL_ERROR + log_file_text(windows_log_path()))
        self.assertEqual(self.the_log().stripped(), [
            'UILevel is set to 5',
            "CheckWinVersion() failed. Invalid version '6.x' in variable 'MinWinVersion'.",
        ])
        self.assertFalse(self.passes('win10', MinWinVersion='6.2', MinWinServicePack='1.y'))
        self.assertEqual(self.the_log().stripped(), [
            'UILevel is set to 2',
            "CheckWinVersion() failed. Invalid version '1.y' in variable 'MinWinServicePack'.",
        ])


if __name__ == '__main__':
    import unittest
    unittest.main()
