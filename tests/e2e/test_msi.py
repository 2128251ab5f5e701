"""Windows Installer products: first installation, maintenance, upgrade and refusals against the
installed sample product through Wine's msi.dll, a package whose installation is cancelled, and
patches. For patches the engine is the msi.dll double, which records what the program hands it
and answers what Windows would (Wine's engine cannot report a missing target, apply to an
administrative image or crash on demand)."""

import os

import harness as h
from harness import INTERNAL_ERROR, NO_ADDRESS, NO_TRANSFORM, SAMPLE_TITLE, Box, Case

UPGRADE_QUESTION = 'Older version of this product is already installed. Do you want to upgrade it?'
NEWER = ('Newer version of this product is already installed. Installation of this version cannot continue. '
         'To configure or remove the existing version of this product, use Add/Remove Programs on the Control Panel.')
UPDATE_DISABLED = ('Older version of this product is already installed. Minor update is disabled in this version. '
                   'Please use Add/Remove Programs to deinstall currect version.')
LOG_FILE = "\r\n\r\nLog file:\r\n'{log}'"
PATCH_TITLE = 'Sample Product Update'
PATCH_QUESTION = "Do you want to apply patch '2.0.0' to 'Sample Product'?"
TARGET_MISSING = (
    'The installer cannot install the upgrade patch because the program being upgraded may be missing or the '
    'upgrade patch updates a different version of the program. Verify that the program to be upgraded exists on '
    'your computer and that you have the correct upgrade patch.')
MSI_DOUBLE = os.path.join(h.FIXTURES, 'msi_double', 'msi.dll')


def version(expected, fixture='product_v2'):
    def check(test, dist, log):
        test.assertEqual(h.reg_query(h.package(fixture).reg_key, 'Version'), expected)
    return check


class Products(h.Scenario):
    products = (h.SAMPLE_CODE, '{DCB285D7-BC42-46BC-9045-B9981ADB8028}')

    def test_installation_upgrade_and_refusals(self):
        for case in [
            # The properties reach the engine, and the same version again is maintenance with no question.
            Case('first', '/i /quiet A=1 B="x y"', engine=['Property(S): A = 1', 'Property(S): B = x y',
                                                            'Property(S): UILevel = 2'],
                 tail=['Setup complete'], then=version('2.1.0')),
            Case('same version', '/i /quiet A=2', installed='product_v2', engine=['Property(S): A = 2'],
                 tail=['Setup complete'],
                 then=lambda t, d, log: t.assertNotIn('Property(S): REINSTALL = ALL', log.engine)),
            # Older installed: below the full level an upgrade without the properties, asking nothing.
            Case('quiet upgrade', '/i /quiet A=1', installed='product_v1', tail=['Setup complete'],
                 engine=['Property(S): REINSTALL = ALL', 'Property(S): REINSTALLMODE = vomus'], then=version('2.1.0')),
            Case('upgrade lines', '/i /passive', installed='product_v1', package='product_v2_ia64',
                 ini={'DefaultReinstallmode': 'REINSTALL=ALL REINSTALLMODE=amus'}, exit=3,
                 lines=['UILevel is set to 67', *NO_TRANSFORM, UPGRADE_QUESTION, 'Auto-upgrading in passive mode',
                        "Calling MsiInstallProduct with command line: 'REINSTALL=ALL REINSTALLMODE=amus'", '', '',
                        'MsiInstallProduct returned 1638', NEWER, h.failed(1638), NO_ADDRESS]),
            Case('upgrade declined', '/i', installed='product_v1',
                 boxes=[Box(SAMPLE_TITLE, UPGRADE_QUESTION, 'No', ['Yes', 'No'])],
                 lines=['UILevel is set to 5', *NO_TRANSFORM, UPGRADE_QUESTION], then=version('2.0.0')),
            Case('updates disabled', installed='product_v1', ini={'UpdateDisable': 1}, exit=3,
                 lines=['UILevel is set to 2', *NO_TRANSFORM, UPDATE_DISABLED,
                        "Install() failed. Error(7086) 'Unknown error 0x00001BAE'", NO_ADDRESS]),
            Case('updates disabled shown', '/i', installed='product_v1', ini={'UpdateDisable': 1}, exit=3,
                 boxes=[Box(SAMPLE_TITLE, UPDATE_DISABLED + LOG_FILE, buttons=['OK'])], then=version('2.0.0')),
            Case('newer installed', installed='product_v3', exit=3,
                 lines=['UILevel is set to 2', *NO_TRANSFORM, NEWER, h.failed(1638), NO_ADDRESS]),
            Case('newer installed shown', '/i', installed='product_v3', exit=3,
                 boxes=[Box(SAMPLE_TITLE, NEWER + LOG_FILE, buttons=['OK'])], then=version('2.2.0', 'product_v3')),
            # A failure at the full level names the log file.
            Case('refused package shown', '/i', package='product_v2_ia64', exit=3,
                 boxes=[Box(SAMPLE_TITLE, INTERNAL_ERROR + LOG_FILE, buttons=['OK'])]),
            # A cancelled installation changed nothing: 3, with neither a failure box nor a mail question.
            Case('cancelled', '/i', package='product_cancel', ini={'SendErrorLogTo': 'support@example.com'}, exit=3,
                 log='Cancelled Product Setup (*).log', tail=['Installation canceled'],
                 then=lambda t, d, log: t.assertEqual(h.product_state('{DCB285D7-BC42-46BC-9045-B9981ADB8028}'), -1)),
        ]:
            self.run_case(case)


def patch(name, args='/i /quiet', result='0', exit=0, record=None, **keys):
    """A patch of "Sample Product" 2.0.0 applied by the msi.dll double, which answers `result`;
    `record` is what the double must have been handed ("{dist}": the folder, "{log}": the log)."""
    ini = {'MsiPatch': 1, 'MsiPath': 'update.msp', 'Name': 'Sample Product', 'VersionTarget': '2.0.0', 'AdminNeed': 0}
    ini.update(keys.pop('ini', {}))

    def recorded(test, dist, log):
        if record is not None:
            lines = open(dist.path('record.txt'), encoding='utf-8').read().splitlines() \
                if os.path.exists(dist.path('record.txt')) else []
            test.assertEqual(lines, [r.replace('{dist}', h.winpath(dist.dir)).replace(
                '{log}', h.windows_log_path(log.path)) for r in record])

    return Case(name, args, package=None, ini=ini, exit=exit, overrides='msi=n', then=recorded,
                prepare=lambda dist: dist.add_file('update.msp', 'a patch the double never reads'),
                env={'MSI_DOUBLE_RESULT': result, 'MSI_DOUBLE_RECORD': r'{dist}\record.txt'}, **keys)


def applied(level, command=''):
    return ['MsiSetInternalUI level=%d window=(null)' % level, 'MsiEnableLogW mode=0x1FDF path={log} attributes=1',
            'MsiSetInternalUI level=3 window=(null)',
            r'MsiApplyPatchW patch={dist}\update.msp package=(null) type=0 commandline=' + command]


class Patches(h.Scenario):
    def test_patches(self):
        calling = "Calling MsiApplyPatch with command line: '%s'"
        with h.system_double('msi.dll', MSI_DOUBLE):
            for case in [
                patch('declined', '/i', boxes=[Box(PATCH_TITLE, PATCH_QUESTION, 'No', ['Yes', 'No'])],
                      record=['MsiSetInternalUI level=5 window=(null)'],
                      lines=['UILevel is set to 5', *NO_TRANSFORM, PATCH_QUESTION]),
                # Below the full level the patch applies unasked, always with the engine's basic interface.
                patch('quiet', '/i /quiet A=1', record=applied(2, 'A=1'),
                      lines=['UILevel is set to 2', *NO_TRANSFORM, PATCH_QUESTION, 'Auto-upgrading in passive mode',
                             calling % 'A=1', '', '', 'Setup complete']),
                # An administrative image gets its folder, install type 1, and no transform.
                patch('administrative image', r'/a "C:\Admin Image"',
                      record=applied(67)[:3] + [r'MsiApplyPatchW patch={dist}\update.msp package=C:\Admin Image '
                                                'type=1 commandline='],
                      head=['UILevel is set to 5', PATCH_QUESTION, 'Auto-upgrading in passive mode']),
                # A missing target shows its message, then offers the mail.
                patch('target missing', '/i', '1642', exit=3, ini={'SendErrorLogTo': 'support@example.com'},
                      boxes=[Box(PATCH_TITLE, PATCH_QUESTION, 'Yes'), Box(PATCH_TITLE, TARGET_MISSING + LOG_FILE),
                             Box('Sample Product (2.0.0)', button='No')],
                      lines=['UILevel is set to 5', *NO_TRANSFORM, PATCH_QUESTION, calling % '', '', '',
                             TARGET_MISSING, h.failed(1642)]),
                # Wine's engine answers 1605 for a patch whose product is missing: reported like any failure.
                patch('product missing', result='1605', exit=3, tail=[INTERNAL_ERROR, h.failed(1605), NO_ADDRESS]),
                # A patch that needs a restart succeeds without the restart question.
                patch('restart', '/i', '3010', boxes=[Box(PATCH_TITLE, PATCH_QUESTION, 'Yes')],
                      tail=[calling % '', '', '']),
                patch('cancelled', result='1602', exit=3, ini={'SendErrorLogTo': 'support@example.com'},
                      tail=['Installation canceled']),
                # A crash inside the engine is caught on the program's 32-bit path and fails the patch.
                patch('engine fault', result='fault', exit=3,
                      tail=['Hardware exception occur. Exception code 0xC0000005.', INTERNAL_ERROR, h.failed(1603),
                            NO_ADDRESS]),
                # A patch's operation type is Minor or Major, in any case and with blanks.
                *[patch('type ' + t, ini={'MsiType': t}, tail=['Setup complete'])
                  for t in ('Minor', 'minor', 'MAJOR', ' Major ')],
                *[patch('bad type ' + t, '/i', ini={'MsiType': t}, exit=3,
                        boxes=[Box(PATCH_TITLE, "The setup was authored with an incorrect operation type '%s' and "
                                                "cannot continue." % t.strip())], record=[])
                  for t in ('Majors', 'InstallUpgrade')],
                # The question speaks the ini's language in its code page.
                patch('russian name', '/i', ini={'Name': 'Пример', 'ProductLangID': 1049}, encoding='cp1251',
                      log='Пример Setup (*).log',
                      boxes=[Box('Пример Update', "Do you want to apply patch '2.0.0' to 'Пример'?", 'No')]),
                patch('unknown language', ini={'ProductLangID': 77777}, tail=['Setup complete']),
                # A name that holds a path still names a file directly in the temporary folder.
                patch('name with separators', ini={'Name': r'..\..\..\..\windows\evil'}, tail=['Setup complete'],
                      log=r'.._.._.._.._windows_evil Setup (*).log'),
            ]:
                self.run_case(case)
