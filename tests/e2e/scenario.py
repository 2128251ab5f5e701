"""What the end-to-end scenarios share: distributions of the sample product, the program's
English texts as users see them, and log assertions."""

import os
import re
import unittest

import harness as h

SAMPLE = h.PACKAGES['product_v2']
SAMPLE_TITLE = 'Sample Product (2.1.0) Setup'
SAMPLE_LOG = 'Sample Product Setup (*).log'
LOG_NAME = re.compile(r'^Sample Product Setup \(\d{4}\.\d\d\.\d\d \d\d\.\d\d\)\.log$')

USAGE_CAPTION = 'Usage Info'
USAGE_TEXT = (
    "Usage:\n   setup.exe /option [optional parameter]\n\nInstall Options\n   /i\tPerform an install.\n"
    "   /a <full path to administrative install>\n\tPerform an administrative install.\n\n"
    "Display Options\n   /quiet\n\tQuiet mode, no user interaction\n   /passive\n"
    "\tUnattended mode - progress bar only\n\nSetting Public Properties\n   PROPERTY=PropertyValue\n\n"
    "Example: setup.exe /i /passive ABC=DEF")
INSTALLATION_ERROR = 'Installation Error'
INTERNAL_ERROR = 'An irrecoverable internal error occured.'
NEWER_INSTALLED = (
    'Newer version of this product is already installed. Installation of this version cannot '
    'continue. To configure or remove the existing version of this product, use Add/Remove '
    'Programs on the Control Panel.')
UPGRADE_QUESTION = 'Older version of this product is already installed. Do you want to upgrade it?'
UPDATE_DISABLED = (
    'Older version of this product is already installed. Minor update is disabled in this '
    'version. Please use Add/Remove Programs to deinstall currect version.')
# What an English (United States) user's run logs when no transform lies beside the program.
NO_TRANSFORM_LINES = [
    'User LangId is 1033',
    'Language transform for LangId 1033 not found, trying primary language',
    'Primary LangId is 1033',
    'Primary LangId transform not found',
]


def cant_read_package(path):
    return "Can't read installation property from file:\n'%s'." % path


def bad_operation_type(value):
    return "The setup was authored with an incorrect operation type '%s' and cannot continue." % value


def ini_not_found(path):
    return "Can't find ini file:\r\n'%s'" % path


def log_file_text(path):
    return "\r\nLog file:\r\n'%s'" % path


def windows_log_path(pattern=SAMPLE_LOG):
    """The run's log as the program names it: C:\\users\\<user>\\Temp\\<name>."""
    path = h.find_log(pattern)
    return 'C:\\users\\%s\\Temp\\%s' % (os.path.basename(os.path.dirname(os.path.dirname(path))),
                                         os.path.basename(path))


def install_version(fixture):
    """Installs a version of the sample product directly through the engine."""
    result = h.msiexec(['/i', h.winpath(h.PACKAGES[fixture].path), '/qn'])
    assert result == 0, 'msiexec answered %d' % result


def sample_distribution(name, fixture='product_v2', package_name='Sample Product.msi',
                        exe_name='setup.exe', setup_exe=None, **main):
    """setup.exe with the sample product and an ini that names it."""
    dist = h.Distribution(name, exe_name=exe_name, setup_exe=setup_exe)
    dist.add_package(fixture, package_name)
    keys = {'MsiPath': package_name}
    keys.update(main)
    dist.write_ini(keys)
    return dist


class Scenario(unittest.TestCase):
    """A test case whose runs start from no sample product and no setup logs."""

    products = (SAMPLE.product_code,)

    def setUp(self):
        h.ensure_absent(*self.products)
        h.clear_logs()

    def tearDown(self):
        h.ensure_absent(*self.products)

    def the_log(self, pattern=SAMPLE_LOG):
        """The scenario's log. Runs within one minute share a file; runs that straddle a minute
        write two, read here as one, oldest first."""
        paths = h.find_logs(pattern)
        self.assertIn(len(paths), (1, 2), 'logs: %s' % os.listdir(h.temp_dir()))
        files = [h.read_log(path) for path in paths]
        log = h.Log(paths[-1], files[0].raw, [entry for f in files for entry in f.entries])
        log.files = files
        return log

    def assertFailureBox(self, dist, message, args='/i'):
        """At the full level the failure is shown with the log file's path; OK ends with 3."""
        setup = h.start_setup(dist, args)
        box = h.wait_window(SAMPLE_TITLE, cls='#32770', timeout=60)
        self.assertEqual(box.message, message + '\r\n' + log_file_text(windows_log_path()))
        self.assertEqual(box.buttons(), ['OK'])
        h.click(SAMPLE_TITLE, button='OK', cls='#32770')
        self.assertEqual(setup.wait(), 3)

    def assertOwnLines(self, log, expected):
        """The program's own lines, without time stamps, are exactly these."""
        self.assertEqual(log.stripped(), expected, log.dump())

    def assertIntactLog(self, log):
        """Begins with the byte-order mark and every own line carries the time stamp."""
        for part in getattr(log, 'files', [log]):
            self.assertTrue(part.has_bom, part.dump())
        for line in log.setup_lines:
            if line:
                self.assertRegex(line, h.STAMP_RE)
