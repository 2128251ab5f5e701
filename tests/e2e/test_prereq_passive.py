"""The unattended prerequisite flow around the installation of the sample product: missing
components run before the product (optional ones too), their failures are logged and the product
still installs, post-installation components run after a first installation only, and a
component's 3010 ends the run in the restart stage. Components are the component tool, which
records the command line it was started with; requisites.py says how the restart is kept away
from the shared Wine session.

Wine's engine writes its log over the start of the setup log, so each scenario shows the lines
before the product in a run with the Itanium package (refused before the engine writes) and then
installs for real from a distribution with the same records."""

import os

import harness as h
from requisites import (ENGINE_REFUSAL, ITANIUM, TOOL_PATH, RequisiteScenario, component, component_lines,
                        expand, guarded_env, installed_lines, not_installed, passive_lines, recorded, run)
from scenario import NO_TRANSFORM_LINES, SAMPLE, SAMPLE_TITLE, UPGRADE_QUESTION, install_version

PASSIVE = r'HKEY_CURRENT_USER\Software\SetupLauncherTest\Passive'
PASSIVE_KEY = r'HKCU\Software\SetupLauncherTest\Passive'
ABSENT_FILE = r'#Root#\absent.dll'
WITNESS = 'Session Witness %d' % os.getpid()


def file_missing(dist, name='absent.dll'):
    return ("IsValidFileVersion() failed. Can't get version of file '%s'. Error(2) 'File not found.'"
            % h.winpath(dist.path(name)))


def head(level=67):
    return ['UILevel is set to %d' % level, *NO_TRANSFORM_LINES]


class UnattendedPrerequisites(RequisiteScenario):
    keys = ((PASSIVE_KEY, None),)

    def test_two_missing_components_run_before_the_product_and_a_3010_restarts(self):
        alpha = component('--reg-dword', PASSIVE_KEY + r'\Alpha=1', '--print', '"#Temp#alpha"', '--exit', '0')
        beta = component('--copy', r'"#Root#\lib2000.dll"', r'"#Root#\beta.dll"', '--exit', '3010')
        records = [
            {'Name': 'Runtime Alpha', 'InstPath': TOOL_PATH, 'InstParams': alpha,
             'RegPath': PASSIVE + r'\Alpha', 'RegCond': 'DWORD=1'},
            # Optional and not pre-selected: unattended, it is installed all the same.
            {'Name': 'Engine Beta', 'InstPath': TOOL_PATH, 'InstParams': beta, 'Optional': 0,
             'FilePath': r'#Root#\beta.dll', 'FileVer': '2.0.0.0'},
            # Present: neither listed nor run.
            {'Name': 'Tool Gamma', 'InstPath': TOOL_PATH, 'InstParams': component('--print', 'gamma'),
             'FilePath': r'#Root#\lib2000.dll', 'FileVer': '1.0'},
        ]
        lines = self.distribution('passive-two-lines', fixture=ITANIUM, prereqs=records)
        lines.copy_file(h.VERSIONED_DLL_2000, 'lib2000.dll')
        proc = run(lines, '/i /passive')
        self.assertEqual(proc.exit_code, 3)
        # A component's 3010 does not restart a run whose product failed.
        self.assertNoRestart(proc)
        self.assertLines(self.the_log(), [
            *head(),
            r"CRegComparer.GetRegValue(0x80000001, 'Software\SetupLauncherTest\Passive', 'Alpha') failed. "
            r"Error(2) 'File not found.'",
            r"IsValidRegCond() failed. Invalid condition 'DWORD=1'. "
            r"RegPath='HKEY_CURRENT_USER\Software\SetupLauncherTest\Passive\Alpha'.",
            file_missing(lines, 'beta.dll'),
            *passive_lines(['Runtime Alpha', 'Engine Beta']),
            *component_lines(lines, 'Runtime Alpha', alpha),
            *component_lines(lines, 'Engine Beta', beta, 3010),
            *installed_lines(['Runtime Alpha', 'Engine Beta']),
            *ENGINE_REFUSAL,
        ])
        # The components got their command lines with the macros replaced.
        self.assertEqual(recorded(lines), [expand(lines, alpha), expand(lines, beta)])
        self.assertIn('"C:\\users\\', recorded(lines)[0])

        # Now for real, with both components missing again.
        h.reg_delete_key(PASSIVE_KEY)
        h.clear_logs()
        dist = self.distribution('passive-two', prereqs=records)
        dist.copy_file(h.VERSIONED_DLL_2000, 'lib2000.dll')
        # A window of the session opened before the run: a restart that reached Wine would close it.
        witness = h.start_program(h.winpath(h.LISTVIEW_WINDOW_EXE), [WITNESS, h.winpath(dist.path('witness.txt'))],
                                  timeout=300)
        self.addCleanup(witness.wait)
        self.addCleanup(h.close, WITNESS)
        h.wait_window(WITNESS)

        proc = run(dist, '/i /passive')
        self.assertRestartAsked(proc)
        self.assertEqual(h.product_state(SAMPLE.product_code), h.INSTALLSTATE_DEFAULT)
        self.assertEqual(self.lines_from(self.the_log(), 'Setup complete'), ['Setup complete', *self.RESTART_LINES])
        self.assertEqual(recorded(dist), [expand(dist, alpha), expand(dist, beta)])
        self.assertEqual(h.reg_query(PASSIVE_KEY, 'Alpha'), 1)
        self.assertEqual(h.file_version(dist.path('beta.dll')), '2.0.0.0')
        # The session lived on: the window is still there and still answers.
        self.assertEqual(h.wait_window(WITNESS, timeout=5).title, WITNESS)

    def test_failed_components_are_logged_and_the_product_still_installs(self):
        failing = component('--exit', '1602')
        absent = '"#InstPath#" /quiet'
        initiating = component('--exit', '1641')
        records = [
            {'Name': 'Failing Runtime', 'InstPath': TOOL_PATH, 'InstParams': failing, 'FilePath': ABSENT_FILE},
            {'Name': 'Absent Installer', 'InstPath': r'#Root#\absent_setup.exe', 'InstParams': absent,
             'FilePath': ABSENT_FILE},
            # 1641 is no success to the flow: not installed, and no restart.
            {'Name': 'Initiating Runtime', 'InstPath': TOOL_PATH, 'InstParams': initiating, 'FilePath': ABSENT_FILE},
            # A package with a download page that is not on the medium is never fetched unattended.
            {'Name': 'Download Only', 'Url': 'http://example.invalid/runtime',
             'InstPath': r'#Root#\runtime_setup.exe', 'FilePath': ABSENT_FILE},
            # No InstParams: the program is started by its path alone, in double quotes.
            {'Name': 'Working Runtime', 'InstPath': TOOL_PATH, 'FilePath': ABSENT_FILE},
        ]
        names = [r['Name'] for r in records]
        lines = self.distribution('passive-failing-lines', fixture=ITANIUM, prereqs=records)
        proc = run(lines, '/i /passive')
        self.assertEqual(proc.exit_code, 3)
        failing_command = expand(lines, failing)
        absent_command = '"%s" /quiet' % h.winpath(lines.path('absent_setup.exe'))
        self.assertLines(self.the_log(), [
            *head(),
            *[file_missing(lines)] * 5,
            *passive_lines(names),
            "Install the component 'Failing Runtime'.",
            'MsiInstall(%s) return code 1602' % failing_command,
            "MsiInstall('%s') failed. Error(1602) 'Installation aborted by user.'" % failing_command,
            "Setup was unable to install\n'%s'." % failing_command,
            "Install the component 'Absent Installer'.",
            'Function ::CreateProcess(%s) failed. Error=2.' % absent_command,
            'MsiInstall(%s) return code 2' % absent_command,
            "Setup was unable to find the file\n'%s'." % absent_command,
            *component_lines(lines, 'Initiating Runtime', initiating, 1641),
            not_installed('Initiating Runtime'),
            not_installed('Download Only'),
            "Install the component 'Working Runtime'.",
            'MsiInstall("%s") return code 0' % h.winpath(lines.path('component_tool.exe')),
            *installed_lines(['Working Runtime']),
            *ENGINE_REFUSAL,
        ])
        self.assertEqual(recorded(lines), [failing_command, expand(lines, initiating)])

        h.clear_logs()
        dist = self.distribution('passive-failing', prereqs=records)
        proc = run(dist, '/i /passive')
        self.assertEqual(proc.exit_code, 0)
        self.assertNoRestart(proc)
        self.assertEqual(h.product_state(SAMPLE.product_code), h.INSTALLSTATE_DEFAULT)
        self.assertEqual(self.lines_from(self.the_log(), 'Setup complete'), ['Setup complete'])
        self.assertEqual(recorded(dist), [expand(dist, failing), expand(dist, initiating)])

    def test_nothing_missing_writes_no_prerequisite_line_and_shows_no_window(self):
        h.reg_set(PASSIVE_KEY, 'Present', 'yes')
        prereqs = [
            {'Name': 'Registry Present', 'InstPath': TOOL_PATH, 'RegPath': PASSIVE + r'\Present',
             'RegCond': 'STRING=YES'},
            {'Name': 'File Present', 'InstPath': TOOL_PATH, 'FilePath': r'#System#\kernel32.dll', 'FileVer': '1.0'},
            {'Name': 'No Condition', 'InstPath': TOOL_PATH, 'InstParams': component('--exit', '1')},
            # A PATH test alone can only mark a component present.
            {'Name': 'Path Only', 'InstPath': TOOL_PATH, 'SkipIfFoundInPath': 'absent_tool.exe'},
        ]
        dist = self.distribution('nothing', fixture=ITANIUM, prereqs=prereqs)
        # At the full level the first window is the engine's refusal: no list came before it.
        setup = h.start_setup(dist, '/i', env=guarded_env())
        box = h.wait_window(SAMPLE_TITLE, cls='#32770', timeout=60)
        self.assertEqual(box.buttons(), ['OK'])
        self.assertTrue(box.message.startswith('An irrecoverable internal error occured.\r\n'), box.message)
        h.click(SAMPLE_TITLE, button='OK', cls='#32770')
        self.assertEqual(setup.wait(), 3)
        self.assertLines(self.the_log(), [*head(5), *ENGINE_REFUSAL])

        h.clear_logs()
        self.assertEqual(run(dist, '/i /passive').exit_code, 3)
        self.assertLines(self.the_log(), [*head(), *ENGINE_REFUSAL])
        self.assertEqual(recorded(dist), [])


class PostRequisites(RequisiteScenario):
    def test_run_in_order_after_a_first_installation_up_to_the_first_unnamed_section(self):
        pre = component('--print', 'pre-runtime')
        post_alpha = component('--print', 'post-alpha')
        post_failing = component('--print', 'post-failing', '--exit', '1603')
        post_restart = component('--print', 'post-restart', '--exit', '3010')
        dist = self.distribution('post', prereqs=[
            {'Name': 'Pre Runtime', 'InstPath': TOOL_PATH, 'InstParams': pre, 'FilePath': ABSENT_FILE},
        ], postreqs=[
            {'Name': 'Post Alpha', 'InstPath': TOOL_PATH, 'InstParams': post_alpha},
            {'Name': 'Post Plain', 'InstPath': TOOL_PATH},
            {'Name': 'Post Failing', 'InstPath': TOOL_PATH, 'InstParams': post_failing},
            # Conditions mean nothing after the product: a present file does not keep it from running.
            {'Name': 'Post Restart', 'InstPath': TOOL_PATH, 'InstParams': post_restart,
             'FilePath': r'#System#\kernel32.dll'},
            {'InstPath': TOOL_PATH, 'InstParams': component('--print', 'unnamed')},
            {'Name': 'Post Never', 'InstPath': TOOL_PATH, 'InstParams': component('--print', 'never')},
        ])
        failing_command = expand(dist, post_failing)

        proc = run(dist, '/i /passive')
        self.assertRestartAsked(proc)
        self.assertEqual(h.product_state(SAMPLE.product_code), h.INSTALLSTATE_DEFAULT)
        self.assertEqual(self.lines_from(self.the_log(), 'Setup complete'), [
            'Setup complete',
            *component_lines(dist, 'Post Alpha', post_alpha),
            "Install the component 'Post Plain'.",
            'MsiInstall("%s") return code 0' % h.winpath(dist.path('component_tool.exe')),
            # A failure after the product is only the runner's: no message, no further line.
            "Install the component 'Post Failing'.",
            'MsiInstall(%s) return code 1603' % failing_command,
            "MsiInstall('%s') failed. Error(1603) 'Installation failure.'" % failing_command,
            *component_lines(dist, 'Post Restart', post_restart, 3010),
            *self.RESTART_LINES,
        ])
        self.assertEqual(recorded(dist), [expand(dist, c) for c in (pre, post_alpha, post_failing, post_restart)])

        # The same version again is maintenance: neither the components before nor those after.
        h.clear_logs()
        proc = run(dist, '/i /passive')
        self.assertEqual(proc.exit_code, 0)
        self.assertNoRestart(proc)
        self.assertEqual(self.lines_from(self.the_log(), 'Setup complete'), ['Setup complete'])
        self.assertEqual(len(recorded(dist)), 4)

    def test_an_upgrade_runs_the_prerequisites_after_its_question_and_no_post_requisites(self):
        install_version('product_v1')
        pre = component('--print', 'pre-upgrade', '--exit', '3010')
        records = dict(prereqs=[
            {'Name': 'Pre Runtime', 'InstPath': TOOL_PATH, 'InstParams': pre, 'FilePath': ABSENT_FILE},
        ], postreqs=[
            {'Name': 'Post Alpha', 'InstPath': TOOL_PATH, 'InstParams': component('--print', 'post-alpha')},
        ])
        lines = self.distribution('upgrade-lines', fixture=ITANIUM, **records)
        self.assertEqual(run(lines, '/i /passive').exit_code, 3)
        self.assertLines(self.the_log(), [
            *head(),
            UPGRADE_QUESTION,
            'Auto-upgrading in passive mode',
            file_missing(lines),
            *passive_lines(['Pre Runtime']),
            *component_lines(lines, 'Pre Runtime', pre, 3010),
            *installed_lines(['Pre Runtime']),
            "Calling MsiInstallProduct with command line: 'REINSTALL=ALL REINSTALLMODE=vomus'",
            *ENGINE_REFUSAL[1:],
        ])

        h.clear_logs()
        dist = self.distribution('upgrade', **records)
        proc = run(dist, '/i /passive')
        # The restart a component of the upgrade asked for reaches the restart stage.
        self.assertRestartAsked(proc)
        self.assertEqual(h.installed_version('product_v2'), '2.1.0')
        self.assertEqual(self.lines_from(self.the_log(), 'Setup complete'), ['Setup complete', *self.RESTART_LINES])
        self.assertEqual(recorded(dist), [expand(dist, pre)])


if __name__ == '__main__':
    import unittest
    unittest.main()
