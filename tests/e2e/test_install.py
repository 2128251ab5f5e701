"""First installation, maintenance of the same version and a package the engine refuses, with
the real setup.exe against Wine's msi.dll."""

import os

import harness as h
from scenario import INTERNAL_ERROR, LOG_NAME, NO_TRANSFORM_LINES, SAMPLE, Scenario, sample_distribution


class FirstInstallation(Scenario):
    def test_quiet_install_then_same_version_again(self):
        dist = sample_distribution('first')
        run = h.run_setup(dist, '/i /quiet A=1 B="x y"')
        self.assertEqual(run.exit_code, 0)
        self.assertEqual(h.product_state(SAMPLE.product_code), h.INSTALLSTATE_DEFAULT)
        self.assertEqual(h.installed_version('product_v2'), '2.1.0')

        log = self.the_log()
        self.assertRegex(os.path.basename(log.path), LOG_NAME)
        # The engine's own log follows, with the properties it was handed.
        engine = log.engine_lines
        self.assertIn('Property(S): A = 1', engine)
        self.assertIn('Property(S): B = x y', engine)
        self.assertIn('Property(S): UILevel = 2', engine)
        self.assertEqual(log.stripped()[-1], 'Setup complete')

        # Same version again: a maintenance run with the same properties and no question.
        h.clear_logs()
        run = h.run_setup(dist, '/i /quiet A=2')
        self.assertEqual(run.exit_code, 0)
        log = self.the_log()
        self.assertIn('Property(S): A = 2', log.engine_lines)
        self.assertNotIn('Property(S): REINSTALL = ALL', log.engine_lines)
        self.assertEqual(log.stripped()[-1], 'Setup complete')
        self.assertEqual(h.installed_version('product_v2'), '2.1.0')

    def test_properties_from_ini_when_the_command_line_has_none(self):
        dist = sample_distribution('msiprop', MsiProp='FROM_INI=yes')
        self.assertEqual(h.run_setup(dist, '/i /passive').exit_code, 0)
        log = self.the_log()
        self.assertIn('Property(S): FROM_INI = yes', log.engine_lines)
        self.assertIn('Property(S): UILevel = 3', log.engine_lines)

    def test_both_builds_start_and_log_each_step_up_to_the_engine_refusal(self):
        # Wine's engine refuses an Itanium package before it touches the log, so the whole log
        # of the run is the program's own. A crash at start-up fails the run in the harness.
        for program in (h.SETUP_EXE, h.X64_SETUP_EXE):
            with self.subTest(program=program):
                h.clear_logs()
                dist = sample_distribution('itanium', fixture='product_v2_ia64.msi', setup_exe=program)
                run = h.run_setup(dist, '/i /quiet A=1 B="x y"')
                self.assertEqual(run.exit_code, 3)
                self.assertEqual(h.product_state(SAMPLE.product_code), h.INSTALLSTATE_UNKNOWN)
                log = self.the_log()
                self.assertIntactLog(log)
                lines = log.stripped()
                self.assertEqual(lines[:10], [
                    'UILevel is set to 2',
                    *NO_TRANSFORM_LINES,
                    'Calling MsiInstallProduct with command line: \'A=1 B="x y"\'',
                    '', '',
                    'MsiInstallProduct returned 1633',
                    INTERNAL_ERROR,
                ], log.dump())
                self.assertRegex(lines[10], r"^Install\(\) failed\. Error\(1633\) '.+'$")
                # No address to mail the log to: the failure report ends with its log line.
                self.assertEqual(lines[11:], ["Can't read email address from ini file."], log.dump())
                # The separator before the engine's log is written without a time stamp.
                self.assertEqual(log.setup_lines[6:8], ['', ''])

    def test_full_level_failure_shows_the_log_file(self):
        dist = sample_distribution('itanium-full', fixture='product_v2_ia64.msi')
        self.assertFailureBox(dist, INTERNAL_ERROR)
        self.assertEqual(self.the_log().stripped()[0], 'UILevel is set to 5')


if __name__ == '__main__':
    import unittest
    unittest.main()
