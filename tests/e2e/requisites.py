"""What the prerequisite scenarios share: the component tool standing in for component installers
and checking tools, the record of the command lines it was started with, the log lines of the
unattended prerequisite flow, and runs of setup.exe that can never restart the shared Wine
session.

The restart: below the full user-interface level a run that needs a restart calls
ExitWindowsEx(EWX_REBOOT) unasked, and Wine answers that by starting
"wineboot.exe --end-session", which closes every window and program of the session that the
whole e2e run shares. Every run here therefore disables wineboot.exe for
setup.exe and everything it starts (WINEDLLOVERRIDES "wineboot.exe=d"): ExitWindowsEx then fails
to start it and says so on Wine's error channel, which the runs switch on, so a scenario can show
that the restart was asked for and that the session lived on."""

import os
import re

import harness as h
from scenario import NO_TRANSFORM_LINES, SAMPLE, Scenario

TOOL = 'component_tool.exe'
# InstPath of a component the tool stands in for.
TOOL_PATH = '#Root#\\' + TOOL
RECORD = 'calls.txt'

RESTART_QUESTION = ('You must restart your system for the configuration changes to take effect. '
                    'Do you want restart now?')
AUTO_REBOOT = 'Auto-reboot in passive mode'
# What Wine's ExitWindowsEx prints when it cannot start wineboot for a restart: no "--shutdown"
# (a restart) and no "--kill" (not forced).
REBOOT_REFUSED = re.compile(r'err:\w+:ExitWindowsEx Failed to run '
                            r'L"C:\\\\windows\\\\system32\\\\wineboot\.exe --end-session"')
ITANIUM = 'product_v2_ia64.msi'
# The end of a run whose package (ITANIUM) the engine refuses, with no address to mail the log to.
ENGINE_REFUSAL = [
    "Calling MsiInstallProduct with command line: ''", '', '',
    'MsiInstallProduct returned 1633',
    'An irrecoverable internal error occured.',
    "Install() failed. Error(1633) 'Installation platform not supported.'",
    "Can't read email address from ini file.",
]
# The end of a first installation or maintenance run of the sample product without properties.
PRODUCT_INSTALLED = ["Calling MsiInstallProduct with command line: ''", '', '', 'Setup complete']


def component(*options: str, record: str = RECORD) -> str:
    """InstParams of a component run by the tool: the program ("#InstPath#" in double quotes),
    --record into the distribution's record file, then the options. The text must not end in a
    double quote: the ini reader would take the outer quotes off."""
    return ' '.join(['"#InstPath#"', '--record', '"#Root#\\%s"' % record] + list(options))


def checking_tool(*options: str) -> str:
    """RunExeCond of a checking tool: the distribution's component tool with the options."""
    return ' '.join(['"#Root#\\%s"' % TOOL] + list(options))


def windows_temp() -> str:
    """The temporary folder as the program sees it (with its trailing backslash)."""
    return 'C:\\users\\%s\\Temp\\' % os.path.basename(os.path.dirname(h.temp_dir()))


def expand(dist: h.Distribution, command: str) -> str:
    """A command with "#InstPath#" (the tool), "#Root#" and "#Temp#" as the program replaces them."""
    return (command.replace('#InstPath#', h.winpath(dist.path(TOOL)))
            .replace('#Root#', h.winpath(dist.dir)).replace('#Temp#', windows_temp()))


def recorded(dist: h.Distribution, record: str = RECORD):
    """The command lines the tool recorded, oldest first; empty when it never ran."""
    path = dist.path(record)
    if not os.path.exists(path):
        return []
    with open(path, 'rb') as f:
        return f.read().decode('utf-8').split('\r\n')[:-1]


def guarded_env(**extra: str):
    """The environment of every setup run of these scenarios: wineboot disabled, Wine's error
    lines of the graphics channel (where ExitWindowsEx writes) on."""
    extra.setdefault('WINEDEBUG', '-all,err+graphics')
    return h.wine_env(extra=extra, dll_overrides='wineboot.exe=d')


def run(dist: h.Distribution, args: str, timeout: float = 300, **extra_env: str) -> h.Process:
    """Runs the distribution's setup to its end under guarded_env; answers the finished process
    (exit_code, output)."""
    proc = h.start_setup(dist, args, timeout, env=guarded_env(**extra_env))
    proc.wait()
    return proc


def passive_lines(names):
    """The unattended flow's first lines for the listed names: the list, then the names tried
    (every listed one in this mode)."""
    return (['Installing prerequisites passively:'] + ['  ' + n for n in names] +
            ['Try install prerequisites:'] + [" '%s'" % n for n in names])


def installed_lines(names):
    """The flow's summary of the names that answered 0 or 3010; nothing when there are none."""
    return ['Installed prerequisites:'] + [" '%s'" % n for n in names] if names else []


def not_installed(name):
    return "Prerequisite '%s' not installed." % name


def component_lines(dist: h.Distribution, name: str, command: str, code: int = 0):
    """The runner's lines for a component started as a child that ends with code (0, 1641 or
    3010: no failure line)."""
    command = expand(dist, command)
    return ["Install the component '%s'." % name, 'MsiInstall(%s) return code %d' % (command, code)]


def split_glued(lines):
    """Own lines without stamps. Where a line went out without its line end (one cut at the
    formatter's 4095 characters, or a component's error text, which has none) the next stamped
    line follows on it in the file: it is split off again here."""
    out = []
    for line in lines:
        parts = re.split(r'(?=Setup\.exe \[\d{4}\.\d{2}\.\d{2} \d{2}:\d{2}:\d{2}\]: )', line)
        out.extend(h.strip_stamp(p) for p in parts if p or len(parts) == 1)
    return out


class RequisiteScenario(Scenario):
    """A scenario that also removes the registry keys (key, view) its components and conditions
    use, before and after."""

    products = (SAMPLE.product_code,)
    keys = ()
    RESTART_LINES = [RESTART_QUESTION, AUTO_REBOOT]

    def setUp(self):
        super().setUp()
        self.remove_keys()

    def tearDown(self):
        self.remove_keys()
        super().tearDown()

    def remove_keys(self):
        for key, view in self.keys:
            h.reg_delete_key(key, view=view)

    def distribution(self, name, fixture='product_v2', exe_name='setup.exe', prereqs=None,
                     postreqs=None, **main):
        """The sample product's distribution with the component tool and the requisite sections."""
        dist = h.Distribution(name, exe_name=exe_name)
        dist.add_package(fixture, 'Sample Product.msi')
        dist.add_component_tool()
        keys = {'MsiPath': 'Sample Product.msi'}
        keys.update(main)
        dist.write_ini(keys, prereqs=prereqs, postreqs=postreqs)
        return dist

    def flow_lines(self, log, level):
        """The own lines between the language lines and the product's installation, after
        checking that the run begins as every run of the sample product does."""
        lines = split_glued(log.setup_lines)
        head = ['UILevel is set to %d' % level] + NO_TRANSFORM_LINES
        self.assertEqual(lines[:len(head)], head, log.dump())
        end = next((i for i, l in enumerate(lines) if l.startswith('Calling MsiInstallProduct')), len(lines))
        return lines[len(head):end]

    def lines_from(self, log, first):
        """The own lines from the last one that equals first. Wine's engine writes its log over
        the start of the file (it ignores the append flag), so of a run that really installs, only
        what the program wrote after the engine is whole; the lines before it are checked in runs
        whose package the engine refuses before it writes (ITANIUM)."""
        lines = split_glued(log.setup_lines)
        starts = [i for i, line in enumerate(lines) if line == first]
        self.assertTrue(starts, log.dump())
        return lines[starts[-1]:]

    def assertLines(self, log, expected):
        """The program's own lines, without stamps, are exactly these."""
        self.assertEqual(split_glued(log.setup_lines), expected, log.dump())

    def assertRestartAsked(self, proc):
        """The run went through the restart stage unattended: the restart was asked of Wine,
        which could not start wineboot, and the run ended with 0. (The log's last lines are
        RESTART_LINES.)"""
        self.assertEqual(proc.exit_code, 0, proc.output)
        self.assertRegex(proc.output, REBOOT_REFUSED)

    def assertNoRestart(self, proc):
        self.assertNotRegex(proc.output, REBOOT_REFUSED)
        lines = self.the_log().stripped()
        self.assertNotIn(AUTO_REBOOT, lines)
        self.assertNotIn(RESTART_QUESTION, lines)
