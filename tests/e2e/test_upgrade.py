"""Upgrade decisions against an installed sample product: older (upgrade, question, updates
disabled) and newer (refused)."""

import harness as h
from scenario import (NEWER_INSTALLED, NO_TRANSFORM_LINES, SAMPLE, SAMPLE_TITLE, UPDATE_DISABLED,
                      UPGRADE_QUESTION, Scenario, install_version, sample_distribution)


class OlderVersionInstalled(Scenario):
    def setUp(self):
        super().setUp()
        install_version('product_v1')
        self.assertEqual(h.installed_version('product_v1'), '2.0.0')

    def test_quiet_upgrade_asks_nothing_and_reinstalls(self):
        dist = sample_distribution('upgrade-quiet')
        self.assertEqual(h.run_setup(dist, '/i /quiet A=1').exit_code, 0)
        self.assertEqual(h.installed_version('product_v2'), '2.1.0')
        self.assertEqual(h.product_info(SAMPLE.product_code, 'VersionString'), '2.1.0')
        log = self.the_log()
        # The properties and the transform are not handed to an upgrade.
        self.assertIn('Property(S): REINSTALL = ALL', log.engine_lines)
        self.assertIn('Property(S): REINSTALLMODE = vomus', log.engine_lines)
        self.assertNotIn('Property(S): A = 1', log.engine_lines)
        self.assertEqual(log.stripped()[-1], 'Setup complete')

    def test_upgrade_lines_before_the_engine(self):
        # The engine refuses this copy before it writes its log: the lines before it stay whole.
        dist = sample_distribution('upgrade-lines', fixture='product_v2_ia64.msi',
                                   DefaultReinstallmode='REINSTALL=ALL REINSTALLMODE=amus')
        self.assertEqual(h.run_setup(dist, '/i /passive').exit_code, 3)
        log = self.the_log()
        self.assertIntactLog(log)
        self.assertEqual(log.stripped()[:9], [
            'UILevel is set to 67',
            *NO_TRANSFORM_LINES,
            UPGRADE_QUESTION,
            'Auto-upgrading in passive mode',
            "Calling MsiInstallProduct with command line: 'REINSTALL=ALL REINSTALLMODE=amus'",
            '',
        ], log.dump())
        self.assertEqual(h.installed_version('product_v1'), '2.0.0')

    def test_full_level_question_answered_no_changes_nothing(self):
        dist = sample_distribution('upgrade-no')
        setup = h.start_setup(dist, '/i')
        box = h.wait_window(SAMPLE_TITLE, cls='#32770', timeout=60)
        self.assertEqual(box.message, UPGRADE_QUESTION)
        self.assertEqual(box.buttons(), ['Yes', 'No'])
        h.click(SAMPLE_TITLE, button='No', cls='#32770')
        self.assertEqual(setup.wait(), 0)
        self.assertEqual(h.installed_version('product_v1'), '2.0.0')
        log = self.the_log()
        self.assertIntactLog(log)
        self.assertOwnLines(log, ['UILevel is set to 5', *NO_TRANSFORM_LINES, UPGRADE_QUESTION])

    def test_updates_disabled_refuses_with_the_log_file(self):
        dist = sample_distribution('upgrade-disabled', UpdateDisable=1)
        self.assertEqual(h.run_setup(dist, '/i /quiet').exit_code, 3)
        log = self.the_log()
        self.assertIntactLog(log)
        lines = log.stripped()
        self.assertEqual(lines[:6], ['UILevel is set to 2', *NO_TRANSFORM_LINES, UPDATE_DISABLED])
        self.assertEqual(lines[6:], ["Install() failed. Error(7086) 'Unknown error 0x00001BAE'",
                                     "Can't read email address from ini file."], log.dump())

        h.clear_logs()
        self.assertFailureBox(dist, UPDATE_DISABLED)
        self.assertEqual(h.installed_version('product_v1'), '2.0.0')


class NewerVersionInstalled(Scenario):
    def setUp(self):
        super().setUp()
        install_version('product_v3')

    def test_refused_at_every_level(self):
        dist = sample_distribution('newer')
        self.assertEqual(h.run_setup(dist, '/i /quiet').exit_code, 3)
        log = self.the_log()
        self.assertIntactLog(log)
        self.assertEqual(log.stripped()[:6], ['UILevel is set to 2', *NO_TRANSFORM_LINES, NEWER_INSTALLED])
        self.assertRegex(log.stripped()[6], r"^Install\(\) failed\. Error\(1638\) '.+'$")

        h.clear_logs()
        self.assertFailureBox(dist, NEWER_INSTALLED)
        self.assertEqual(h.installed_version('product_v3'), '2.2.0')


if __name__ == '__main__':
    import unittest
    unittest.main()
