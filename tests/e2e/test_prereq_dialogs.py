"""The prerequisite dialogs of a full-level installation (/i), driven like a user: the list of
missing components with its optional boxes, the confirmation that runs the chosen ones, the
question about components still missing, a failing component, cancellation, and the download
page with its link and "Recheck".

Every component is the component tool: it records its command line and writes the registry
value whose condition makes its record count as present."""

import os
import re
import time

import harness as h
from scenario import INSTALLATION_ERROR, SAMPLE, SAMPLE_TITLE, Scenario, sample_distribution

KEY = r'HKCU\Software\SetupLauncherTest\PrereqDialogs'
COND_KEY = r'HKEY_CURRENT_USER\Software\SetupLauncherTest\PrereqDialogs'
TOOL = 'component_tool.exe'
DOWNLOAD_CAPTION = 'Component Download'

HEADING = 'Sample Product requires the following components to be installed:'
STEPS_HEADING = 'Sample Product setup requires the following steps to be executed:'
INSTALL, CONTINUE, CANCEL, RECHECK = '&Install', 'Co&ntinue', '&Cancel', '&Recheck'
EMPTY_BOX, TICKED_BOX, NO_BOX = 0, 1, 2
CANCELLED_LINE = 'Installetion of prerequisites canceled by user.'


def missing_question(*names):
    return ('Not installed component(s):\n' + ''.join(" - '%s'\n" % n for n in names) +
            '\nDo you want to continue product installation?')


def download_instructions(name):
    return ("Installation package for component '%s'  is missing. To install it manually:\n\n"
            "- Follow link below to download package;\n- Install '%s';\n"
            "- Press 'Recheck' button to continue installation." % (name, name))


def download_instructions_choose(name, file):
    return ("Installation package for component '%s' is missing. To install it manually:\n\n"
            "- Follow link below to download package;\n- Press the button Download;\n"
            "- Choose the file '%s';\n- Install '%s';\n"
            "- Press 'Recheck' button to continue installation." % (name, file, name))


def window(title):
    """The first dialog with the caption, or None when there is none."""
    try:
        return h.window_texts(title, cls='#32770')
    except h.HarnessError:
        return None


def component(name, value, exit_code=0, writes=True, **keys):
    """A record run as the component tool: it records its command line in ran.txt, sets the
    DWORD `value` to 1 unless `writes` is false, and ends with `exit_code`; the record counts
    as present once the value is 1."""
    params = '#InstPath# --record #Root#\\ran.txt'
    if writes:
        params += ' --reg-dword %s\\%s=1' % (KEY, value)
    if exit_code:
        params += ' --exit %d' % exit_code
    record = {'Name': name, 'InstPath': '#Root#\\' + TOOL, 'InstParams': params,
              'RegPath': '%s\\%s' % (COND_KEY, value), 'RegCond': 'DWORD=1'}
    record.update(keys)
    return record


class PrereqDialogs(Scenario):
    def setUp(self):
        super().setUp()
        h.reg_delete_key(KEY)
        self.setups = []

    def tearDown(self):
        for setup in self.setups:
            self.stop(setup)
        h.reg_delete_key(KEY)
        super().tearDown()

    def start(self, dist):
        """Starts the setup with /i; a scenario that fails half-way leaves no window behind."""
        setup = h.start_setup(dist, '/i', timeout=180)
        self.setups.append(setup)
        return setup

    def stop(self, setup):
        # The answers that end a run the soonest, for whatever is still open.
        answers = [(INSTALLATION_ERROR, 'OK'), (DOWNLOAD_CAPTION, 'Cancel'), (SAMPLE_TITLE, 'No'),
                   (SAMPLE_TITLE, 'Cancel')]
        deadline = time.time() + 60
        while setup.running() and time.time() < deadline:
            for title, button in answers:
                try:
                    h.click(title, button=button, cls='#32770', timeout=0)
                except h.HarnessError:
                    pass
        setup.wait()

    def distribution(self, name, prereqs=None):
        """The sample product with the component tool beside it, and the records when given."""
        dist = sample_distribution(name)
        dist.add_component_tool(TOOL)
        if prereqs:
            self.write_prereqs(dist, prereqs)
        return dist

    def write_prereqs(self, dist, prereqs):
        dist.write_ini({'MsiPath': 'Sample Product.msi'}, prereqs=prereqs)

    def command(self, dist, value, exit_code=0, writes=True):
        """The command line the program gives the component of `component(..., value, ...)`."""
        root = h.winpath(dist.dir)
        text = '%s\\%s --record %s\\ran.txt' % (root, TOOL, root)
        if writes:
            text += ' --reg-dword %s\\%s=1' % (KEY, value)
        if exit_code:
            text += ' --exit %d' % exit_code
        return text

    def ran(self, dist):
        """The command lines the components were started with, in order."""
        path = dist.path('ran.txt')
        if not os.path.exists(path):
            return []
        with open(path, encoding='utf-8') as f:
            return f.read().splitlines()

    def present(self, value):
        return h.reg_query(KEY, value) == 1

    def list_dialog(self):
        """The list dialog once it is up (the question boxes share its caption but come later)."""
        dialog = h.wait_window(SAMPLE_TITLE, cls='#32770', timeout=60)
        self.assertIsNotNone(dialog.child(h.LIST_ID), 'not the list dialog: %s' % dialog)
        return dialog

    def shows(self, images, button):
        """The rows' pictures and the confirmation button's text are these."""
        self.assertEqual(h.list_rows(SAMPLE_TITLE).images, images)
        self.assertEqual(h.window_texts(SAMPLE_TITLE).child(1).text, button)

    def question(self):
        """The yes/no box over the list dialog, with the dialog's caption: its text."""
        box = h.poll('the question', lambda: (lambda w: w if w and w.message is not None else None)(
            window(SAMPLE_TITLE)), timeout=60)
        self.assertEqual(box.buttons(), ['Yes', 'No'])
        return box.message

    def error_box(self):
        box = h.wait_window(INSTALLATION_ERROR, cls='#32770', timeout=60)
        self.assertEqual(box.buttons(), ['OK'])
        return box.message

    def assertInOrder(self, lines, expected):
        """`expected` (texts, or patterns a whole line matches) appear in `lines` in this order;
        other lines may come between."""
        at = 0
        for line in expected:
            found = [i for i in range(at, len(lines)) if (
                line.fullmatch(lines[i]) if isinstance(line, re.Pattern) else line == lines[i])]
            if not found:
                self.fail('%r missing after line %d of\n%s' % (line, at, '\n'.join(lines)))
            at = found[0] + 1

    def assertProductInstalled(self, installed):
        self.assertEqual(h.product_state(SAMPLE.product_code),
                         h.INSTALLSTATE_DEFAULT if installed else h.INSTALLSTATE_UNKNOWN)


class ChoosingComponents(PrereqDialogs):
    def test_boxes_follow_mouse_and_blank_and_only_ticked_ones_run(self):
        dist = self.distribution('prereq-choose', [
            component('Engine Beta', 'Beta', Optional=1),     # optional, pre-selected
            component('Tool Gamma', 'Gamma', Optional=0),     # optional, not pre-selected
        ])
        setup = self.start(dist)
        dialog = self.list_dialog()
        h.screenshot('prereq-list-dialog')
        self.assertEqual(dialog.title, SAMPLE_TITLE)
        self.assertEqual(dialog.child(1001).text, HEADING)
        self.assertEqual((dialog.child(1).text, dialog.child(2).text), (INSTALL, CANCEL))
        self.assertFalse(dialog.child(10013).visible)      # no checking tool, no notes
        view = h.list_rows(SAMPLE_TITLE)
        self.assertEqual(view.texts, ['Engine Beta', 'Tool Gamma'])
        self.assertEqual(view.images, [TICKED_BOX, EMPTY_BOX])

        # The mouse toggles a box, on its picture or its label, and the button says whether
        # anything will be installed.
        h.click_row(SAMPLE_TITLE, row=0)
        self.shows([EMPTY_BOX, EMPTY_BOX], CONTINUE)
        h.click_row(SAMPLE_TITLE, row=1, at='label')
        self.shows([EMPTY_BOX, TICKED_BOX], INSTALL)
        h.click_row(SAMPLE_TITLE, row=1)
        self.shows([EMPTY_BOX, EMPTY_BOX], CONTINUE)
        # A blank typed into the list toggles the row at the selection mark, but leaves the
        # button as it was; other characters do nothing.
        h.type_in_row(SAMPLE_TITLE, row=0)
        self.shows([TICKED_BOX, EMPTY_BOX], CONTINUE)
        h.type_in_row(SAMPLE_TITLE, row=1, char='x')
        self.shows([TICKED_BOX, EMPTY_BOX], CONTINUE)
        self.assertEqual(h.list_rows(SAMPLE_TITLE).mark, 1)
        self.assertEqual(self.ran(dist), [])

        # Confirming runs the ticked component only; nothing is missing afterwards, so no
        # question is asked and the product follows.
        h.click(SAMPLE_TITLE, id=1, cls='#32770')
        self.assertEqual(setup.wait(), 0)
        self.assertEqual(self.ran(dist), [self.command(dist, 'Beta')])
        self.assertTrue(self.present('Beta'))
        self.assertIsNone(h.reg_query(KEY, 'Gamma'))
        self.assertProductInstalled(True)
        # (The engine's log overwrites the lines before it under Wine: the prerequisites' lines
        # are read before the product's installation in the scenarios below.)
        self.assertEqual(self.the_log().stripped()[-1], 'Setup complete')

    def test_mandatory_rows_stay_and_cancel_ends_the_setup(self):
        dist = self.distribution('prereq-cancel', [
            component('Runtime Alpha', 'Alpha'),               # no Optional: mandatory
            component('Tool Gamma', 'Gamma', Optional=0),
        ])
        setup = self.start(dist)
        self.list_dialog()
        view = h.list_rows(SAMPLE_TITLE)
        self.assertEqual(view.texts, ['Runtime Alpha', 'Tool Gamma'])
        self.shows([NO_BOX, EMPTY_BOX], INSTALL)
        # A row without a box does not change, by mouse or by keyboard.
        h.click_row(SAMPLE_TITLE, row=0, at='label')
        h.type_in_row(SAMPLE_TITLE, row=0)
        self.shows([NO_BOX, EMPTY_BOX], INSTALL)
        # With a mandatory row something is always installed: the button keeps "&Install".
        h.click_row(SAMPLE_TITLE, row=1)
        self.shows([NO_BOX, TICKED_BOX], INSTALL)
        h.click_row(SAMPLE_TITLE, row=1)
        self.shows([NO_BOX, EMPTY_BOX], INSTALL)

        h.click(SAMPLE_TITLE, id=2, cls='#32770')
        self.assertEqual(setup.wait(), 3)
        self.assertEqual(self.ran(dist), [])
        self.assertIsNone(h.reg_query(KEY, 'Alpha'))
        self.assertProductInstalled(False)
        lines = self.the_log().stripped()
        self.assertIn(CANCELLED_LINE, lines)
        self.assertNotIn('Try install prerequisites:', lines)
        self.assertFalse(any(l.startswith('Calling MsiInstallProduct') for l in lines), lines)


class RemovalSteps(PrereqDialogs):
    def test_steps_are_named_and_the_button_always_continues(self):
        # The helper's condition says present: an entry that removes something is listed anyway.
        h.reg_set(KEY, 'Helper', 1, kind='REG_DWORD')
        dist = self.distribution('prereq-steps', [
            component('Old Helper', 'Helper', writes=False, IsUninstall=1, Optional=1),
            component('Runtime Alpha', 'Alpha', Optional=0),
        ])
        setup = self.start(dist)
        dialog = self.list_dialog()
        self.assertEqual(dialog.child(1001).text, STEPS_HEADING)
        self.assertEqual(h.list_rows(SAMPLE_TITLE).texts, ['Uninstall Old Helper', 'Install Runtime Alpha'])
        self.shows([TICKED_BOX, EMPTY_BOX], CONTINUE)
        h.click_row(SAMPLE_TITLE, row=1)
        self.shows([TICKED_BOX, TICKED_BOX], CONTINUE)
        h.click_row(SAMPLE_TITLE, row=0)
        self.shows([EMPTY_BOX, TICKED_BOX], CONTINUE)
        h.click_row(SAMPLE_TITLE, row=0, at='label')
        self.shows([TICKED_BOX, TICKED_BOX], CONTINUE)

        # Both steps run in list order; the removal entry is never reported as missing.
        h.click(SAMPLE_TITLE, id=1, cls='#32770')
        self.assertEqual(setup.wait(), 0)
        self.assertEqual(self.ran(dist), [self.command(dist, 'Helper', writes=False),
                                          self.command(dist, 'Alpha')])
        self.assertProductInstalled(True)
        self.assertEqual(self.the_log().stripped()[-1], 'Setup complete')


class ComponentsStillMissing(PrereqDialogs):
    def test_failure_box_notes_and_the_question_answered_no_then_yes(self):
        checker = '#Root#\\%s --print "First line\\\\nSecond line" --exit 3' % TOOL
        dist = self.distribution('prereq-missing', [
            component('Broken Runtime', 'Broken', exit_code=1603, writes=False),
            # Its checking tool keeps saying "missing", with notes, whatever its installer did.
            component('Stavora Viewer', 'Stavora', writes=False, RegPath='', RegCond='',
                      RunExeCond=checker),
            # A download page does not matter while the package is at hand.
            component('Runtime Alpha', 'Alpha', Url='http://download.invalid/alpha'),
        ])
        broken = self.command(dist, 'Broken', exit_code=1603, writes=False)
        stavora = self.command(dist, 'Stavora', writes=False)
        alpha = self.command(dist, 'Alpha')

        setup = self.start(dist)
        dialog = self.list_dialog()
        self.assertEqual(h.list_rows(SAMPLE_TITLE).texts, ['Broken Runtime', 'Stavora Viewer', 'Runtime Alpha'])
        notes = dialog.child(10013)
        self.assertTrue(notes.visible)
        self.assertEqual(notes.text, 'First line\r\nSecond line')

        h.click(SAMPLE_TITLE, id=1, cls='#32770')
        # The failure is shown while the list waits, its buttons disabled, the component named.
        self.assertEqual(self.error_box(), "Setup was unable to install\n'%s'." % broken)
        dialog = h.window_texts(SAMPLE_TITLE, cls='#32770')
        self.assertEqual(dialog.child(10013).text, 'Installing Broken Runtime.\r\nPlease wait...')
        self.assertEqual((dialog.child(1).enabled, dialog.child(2).enabled), (False, False))
        self.assertEqual(self.ran(dist), [broken])
        h.click(INSTALLATION_ERROR, button='OK', cls='#32770')

        # The others still run; the two that are still missing are named, in list order.
        self.assertEqual(self.question(), missing_question('Broken Runtime', 'Stavora Viewer'))
        self.assertEqual(self.ran(dist), [broken, stavora, alpha])
        h.click(SAMPLE_TITLE, button='No', cls='#32770')
        self.assertEqual(setup.wait(), 3)
        self.assertProductInstalled(False)
        self.assertTrue(self.present('Alpha'))
        # The runner's error text has no line end of its own: the next line runs on after it.
        failed_then_next = re.compile(re.escape("Setup was unable to install\n'%s'." % broken) +
                                      h.STAMP_RE.pattern[1:] +
                                      re.escape("Install the component 'Stavora Viewer'."))
        lines = self.the_log().stripped()
        self.assertInOrder(lines, [
            'Try install prerequisites:', " 'Broken Runtime'", " 'Stavora Viewer'", " 'Runtime Alpha'",
            "Install the component 'Broken Runtime'.",
            "MsiInstall(%s) return code 1603" % broken,
            failed_then_next,
            "Install the component 'Runtime Alpha'.",
            'Installed prerequisites:', " 'Stavora Viewer'", " 'Runtime Alpha'"])
        self.assertFalse(any(l.startswith('Calling MsiInstallProduct') for l in lines), lines)

        # Again: the component that was installed is no longer listed; Yes goes on with the
        # product although two are missing.
        h.clear_logs()
        setup = self.start(dist)
        self.list_dialog()
        self.assertEqual(h.list_rows(SAMPLE_TITLE).texts, ['Broken Runtime', 'Stavora Viewer'])
        h.click(SAMPLE_TITLE, id=1, cls='#32770')
        self.assertEqual(self.error_box(), "Setup was unable to install\n'%s'." % broken)
        h.click(INSTALLATION_ERROR, button='OK', cls='#32770')
        self.assertEqual(self.question(), missing_question('Broken Runtime', 'Stavora Viewer'))
        # What the run has logged so far; the product's installation has not begun.
        self.assertInOrder(self.the_log().stripped(), [
            'Try install prerequisites:', " 'Broken Runtime'", " 'Stavora Viewer'",
            failed_then_next,
            'Installed prerequisites:', " 'Stavora Viewer'"])
        h.click(SAMPLE_TITLE, button='Yes', cls='#32770')
        self.assertEqual(setup.wait(), 0)
        self.assertProductInstalled(True)
        self.assertEqual(self.ran(dist), [broken, stavora, alpha, broken, stavora])
        self.assertEqual(self.the_log().stripped()[-1], 'Setup complete')


class DownloadPage(PrereqDialogs):
    def test_link_recheck_and_cancel(self):
        opened = 'link-opened.txt'
        dist = self.distribution('prereq-download')
        # The first page's link is a local script, so that following it can be seen here.
        link = dist.add_file('open-link.cmd', '@echo opened> "%%~dp0%s"\r\n' % opened)
        self.write_prereqs(dist, [
            component('Remote Runtime', 'Remote', InstPath='#Root#\\downloads\\remote_setup.exe',
                      Url=h.winpath(link)),
            component('Chosen Runtime', 'Chosen', InstPath='#Root#\\downloads\\chosen_setup.exe',
                      Url='http://download.invalid/chosen', ChooseDownload='chosen_setup.exe'),
        ])

        setup = self.start(dist)
        self.list_dialog()
        h.click(SAMPLE_TITLE, id=1, cls='#32770')
        page = h.wait_window(DOWNLOAD_CAPTION, cls='#32770', timeout=60)
        self.assertEqual(page.child(1004).text, download_instructions('Remote Runtime'))
        self.assertEqual(page.child(1005).text, "'Remote Runtime' download page")
        self.assertEqual((page.child(1).text, page.child(2).text), (RECHECK, CANCEL))

        # The link opens its target through the shell.
        h.click_control(DOWNLOAD_CAPTION, id=1005, cls='#32770', at=(4, 4))
        h.poll('the link target', lambda: os.path.exists(dist.path(opened)))

        # "Recheck" while the component is missing checks again and stays.
        def checks():
            return sum("RegPath='%s\\Remote'." % COND_KEY in l for l in self.the_log().stripped())
        self.assertEqual(checks(), 1)
        h.click(DOWNLOAD_CAPTION, id=1, cls='#32770')
        h.poll('the second check', lambda: checks() == 2)
        self.assertEqual(h.window_texts(DOWNLOAD_CAPTION, cls='#32770').child(1005).text,
                         "'Remote Runtime' download page")
        # Once it is present, "Recheck" ends the page and the next missing package has its own.
        h.reg_set(KEY, 'Remote', 1, kind='REG_DWORD')
        h.click(DOWNLOAD_CAPTION, id=1, cls='#32770')
        page = h.poll('the second page', lambda: (lambda w: w if w and w.child(1005).text ==
                    "'Chosen Runtime' download page" else None)(window(DOWNLOAD_CAPTION)))
        self.assertEqual(page.child(1004).text,
                         download_instructions_choose('Chosen Runtime', 'chosen_setup.exe'))

        # Giving up there leaves it missing: logged, and named by the question.
        h.click(DOWNLOAD_CAPTION, id=2, cls='#32770')
        self.assertEqual(self.question(), missing_question('Chosen Runtime'))
        h.click(SAMPLE_TITLE, button='No', cls='#32770')
        self.assertEqual(setup.wait(), 3)
        self.assertEqual(self.ran(dist), [])      # a package that is not on the disk never runs
        self.assertProductInstalled(False)
        lines = self.the_log().stripped()
        self.assertInOrder(lines, ['Try install prerequisites:', " 'Remote Runtime'", " 'Chosen Runtime'",
                                   "Prerequisite 'Chosen Runtime' not installed."])
        self.assertNotIn("Prerequisite 'Remote Runtime' not installed.", lines)
        self.assertNotIn('Installed prerequisites:', lines)


if __name__ == '__main__':
    import unittest
    unittest.main()
