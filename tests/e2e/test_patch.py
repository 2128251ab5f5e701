"""The patch installer: a real .msp (written by msi_author) that Wine's msi.dll applies to the
installed sample product 2.0.0, making it 2.0.1. Where Wine's engine cannot give the answer
Windows gives (1642 for a missing target, an administrative image, a cancel), the msi.dll test
double stands in and records what the program hands MsiApplyPatchW."""

import harness as h
from scenario import (INTERNAL_ERROR, NO_TRANSFORM_LINES, SAMPLE, Scenario, bad_operation_type,
                      log_file_text, windows_log_path)

PATCH_CODE = '{3E7A1C59-0B2D-4F6E-8A1C-5D9B7E3F2A40}'
TITLE = 'Sample Product Update'
QUESTION = "Do you want to apply patch '2.0.0' to 'Sample Product'?"
MAIL_CAPTION = 'Sample Product (2.0.0)'
TARGET_MISSING = (
    'The installer cannot install the upgrade patch because the program being upgraded may be '
    'missing or the upgrade patch updates a different version of the program. Verify that the '
    'program to be upgraded exists on your computer and that you have the correct upgrade patch.')


def patch_distribution(name, **main):
    """setup.exe with update.msp, the patch that makes the sample product 2.0.0 a 2.0.1, and an
    ini that names it as a patch of "Sample Product" 2.0.0."""
    dist = h.Distribution(name)
    h.make_patch(dist.path('update.msp'), 'product_v1', PATCH_CODE, {'ProductVersion': '2.0.1'},
                 rows=['Registry:VersionValue:Value=2.0.1'])
    keys = {'MsiPatch': 1, 'MsiPath': 'update.msp', 'Name': 'Sample Product', 'VersionTarget': '2.0.0',
            'AdminNeed': 0}
    keys.update(main)
    dist.write_ini(keys)
    return dist


class PatchOfTheInstalledProduct(Scenario):
    def setUp(self):
        super().setUp()
        self.assertEqual(h.msiexec(['/i', h.winpath(h.PACKAGES['product_v1'].path), '/qn']), 0)

    def test_no_at_the_full_level_applies_nothing_and_quiet_applies_without_asking(self):
        dist = patch_distribution('patch-real')
        setup = h.start_setup(dist, '/i')
        box = h.wait_window(TITLE, cls='#32770', timeout=60)
        self.assertEqual(box.message, QUESTION)
        self.assertEqual(box.buttons(), ['Yes', 'No'])
        h.click(TITLE, button='No', cls='#32770')
        self.assertEqual(setup.wait(), 0)
        self.assertEqual(h.installed_version('product_v1'), '2.0.0')
        self.assertEqual(h.patches(SAMPLE.product_code), [])
        self.assertOwnLines(self.the_log(), ['UILevel is set to 5', *NO_TRANSFORM_LINES, QUESTION])

        h.clear_logs()
        self.assertEqual(h.run_setup(dist, '/i /quiet').exit_code, 0)
        self.assertEqual(h.installed_version('product_v1'), '2.0.1')
        self.assertEqual(h.product_info(SAMPLE.product_code, 'VersionString'), '2.0.1')
        self.assertEqual(h.patches(SAMPLE.product_code), [PATCH_CODE])
        log = self.the_log()
        # The patch itself runs with the engine's basic interface, not the run's level (2).
        self.assertIn('Property(S): UILevel = 3', log.engine_lines, log.dump())
        self.assertEqual(log.stripped()[-1], 'Setup complete')


class PatchRefusals(Scenario):
    def test_install_is_no_operation_type_of_a_patch(self):
        dist = patch_distribution('patch-type', MsiType='Install')
        setup = h.start_setup(dist, '/i')
        box = h.wait_window(TITLE, cls='#32770', timeout=60)
        self.assertEqual(box.message, bad_operation_type('Install'))
        h.click(TITLE, button='OK', cls='#32770')
        self.assertEqual(setup.wait(), 3)

    def test_a_patch_of_a_product_that_is_not_installed_fails_and_offers_the_mail(self):
        # Wine's engine answers 1605 here (Windows: 1642, below with the double).
        dist = patch_distribution('patch-absent', SendErrorLogTo='support@example.com')
        setup = h.start_setup(dist, '/i /quiet')
        box = h.wait_window(MAIL_CAPTION, cls='#32770', timeout=60)
        self.assertIn("to 'support@example.com'?", box.message)
        h.click(MAIL_CAPTION, button='No', cls='#32770')
        self.assertEqual(setup.wait(), 3)
        lines = self.the_log().stripped()
        self.assertIn(INTERNAL_ERROR, lines)
        self.assertRegex(lines[-1], r"^Install\(\) failed\. Error\(1605\) '.+'$")


class PatchAgainstTheEngineDouble(Scenario):
    """msi.dll is the double: nothing is installed, and the log holds only the program's lines."""

    def test_quiet_run_logs_its_steps_and_applies_with_the_basic_interface(self):
        dist = patch_distribution('patch-quiet')
        record = dist.path('msi-record.txt')
        with h.msi_double():
            self.assertEqual(h.run_setup(dist, '/i /quiet A=1', env=h.msi_env(record)).exit_code, 0)
        log_path = windows_log_path()
        self.assertEqual(h.read_msi_record(record), [
            'MsiSetInternalUI level=2 window=(null)',
            'MsiEnableLogW mode=0x1FDF path=%s attributes=1' % log_path,
            'MsiSetInternalUI level=3 window=(null)',
            'MsiApplyPatchW patch=%s package=(null) type=0 commandline=A=1'
            % h.winpath(dist.path('update.msp')),
        ])
        log = self.the_log()
        self.assertIntactLog(log)
        self.assertOwnLines(log, ['UILevel is set to 2', *NO_TRANSFORM_LINES, QUESTION,
                                  'Auto-upgrading in passive mode',
                                  "Calling MsiApplyPatch with command line: 'A=1'", '', '', 'Setup complete'])

    def test_administrative_image_gets_the_folder_and_install_type_1(self):
        dist = patch_distribution('patch-admin')
        record = dist.path('msi-record.txt')
        with h.msi_double():
            run = h.run_setup(dist, '/a "C:\\Admin Image"', env=h.msi_env(record))
        self.assertEqual(run.exit_code, 0)
        self.assertEqual(h.read_msi_record(record), [
            'MsiSetInternalUI level=67 window=(null)',
            'MsiEnableLogW mode=0x1FDF path=%s attributes=1' % windows_log_path(),
            'MsiSetInternalUI level=3 window=(null)',
            'MsiApplyPatchW patch=%s package=C:\\Admin Image type=1 commandline=' % h.winpath(dist.path('update.msp')),
        ])
        # An administrative image takes no language transform.
        self.assertEqual(self.the_log().stripped()[:3],
                         ['UILevel is set to 5', QUESTION, 'Auto-upgrading in passive mode'])

    def test_missing_target_shows_its_message_then_offers_the_mail(self):
        dist = patch_distribution('patch-1642', SendErrorLogTo='support@example.com')
        record = dist.path('msi-record.txt')
        with h.msi_double():
            setup = h.start_setup(dist, '/i', env=h.msi_env(record, 1642))
            h.wait_window(TITLE, cls='#32770', timeout=60)
            h.click(TITLE, button='Yes', cls='#32770')
            box = h.wait_window(TITLE, cls='#32770', timeout=60)
            self.assertEqual(box.message, TARGET_MISSING + '\r\n' + log_file_text(windows_log_path()))
            h.click(TITLE, button='OK', cls='#32770')
            h.wait_window(MAIL_CAPTION, cls='#32770', timeout=60)
            h.click(MAIL_CAPTION, button='No', cls='#32770')
            self.assertEqual(setup.wait(), 3)
        lines = self.the_log().stripped()
        # Answered at the full level: no line says the patch went on unasked.
        self.assertEqual(lines[:-1], ['UILevel is set to 5', *NO_TRANSFORM_LINES, QUESTION,
                                      "Calling MsiApplyPatch with command line: ''", '', '', TARGET_MISSING])
        self.assertRegex(lines[-1], r"^Install\(\) failed\. Error\(1642\) '.+'$")

    def test_a_patch_that_needs_a_restart_succeeds_without_the_restart_question(self):
        dist = patch_distribution('patch-3010')
        record = dist.path('msi-record.txt')
        with h.msi_double():
            setup = h.start_setup(dist, '/i', env=h.msi_env(record, 3010))
            h.wait_window(TITLE, cls='#32770', timeout=60)
            h.click(TITLE, button='Yes', cls='#32770')
            # A restart question would hold the run here.
            self.assertEqual(setup.wait(timeout=60), 0)
        lines = self.the_log().stripped()
        self.assertEqual(lines[-3:], ["Calling MsiApplyPatch with command line: ''", '', ''])

    def test_a_fault_inside_the_engine_fails_the_patch_and_not_the_program(self):
        dist = patch_distribution('patch-fault')
        with h.msi_double():
            run = h.run_setup(dist, '/i /quiet', env=h.msi_env(dist.path('msi-record.txt'), 'fault'))
        self.assertEqual(run.exit_code, 3)
        lines = self.the_log().stripped()
        self.assertEqual(lines[-7:-2], ["Calling MsiApplyPatch with command line: ''", '', '',
                                        'Hardware exception occur. Exception code 0xC0000005.', INTERNAL_ERROR])
        self.assertRegex(lines[-2], r"^Install\(\) failed\. Error\(1603\) '.+'$")

    def test_a_cancelled_patch_ends_with_3_and_asks_nothing(self):
        dist = patch_distribution('patch-1602', SendErrorLogTo='support@example.com')
        record = dist.path('msi-record.txt')
        with h.msi_double():
            # The mail question would be shown even at this level: the run would never end.
            run = h.run_setup(dist, '/i /quiet', env=h.msi_env(record, 1602), timeout=120)
        self.assertEqual(run.exit_code, 3)
        self.assertEqual(self.the_log().stripped()[-1], 'Installation canceled')


if __name__ == '__main__':
    import unittest
    unittest.main()
