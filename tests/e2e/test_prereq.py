"""Prerequisites: the components the setup finds missing, by each kind of condition in its order
against real registry values, libraries, the PATH, an installed product and checking tools; the
unattended flow with its failures, post-requisites and restart; and the dialogs of a full-level
run, driven like a user. Components are the component tool, which records its command line in
calls.txt. Detection runs use the Itanium package, which the engine refuses before it touches the
log; records only to be listed name a download page and a package missing from the medium.
Every run disables wineboot.exe: Wine's ExitWindowsEx then fails, and says so on its error
channel, instead of ending the session the whole run shares."""

import os
import re
import shutil

import harness as h
from harness import INSTALLATION_ERROR, INTERNAL_ERROR, NO_ADDRESS, NO_TRANSFORM, SAMPLE_TITLE, Box, Case

TOOL = 'component_tool.exe'
TOOL_PATH = '#Root#\\' + TOOL
DETECT = r'HKEY_CURRENT_USER\Software\SetupLauncherTest\Detect'
DETECT_KEY = r'HKCU\Software\SetupLauncherTest\Detect'
VIEWS = r'HKEY_LOCAL_MACHINE\Software\SetupLauncherTest\DetectViews'
VIEWS_KEY = r'HKLM\Software\SetupLauncherTest\DetectViews'
ABSENT = r'#Root#\absent.dll'
VK_TAB, VK_RETURN, VK_SPACE = 0x09, 0x0D, 0x20
NOT_FOUND = "Error(2) 'File not found.'"
REFUSED = ["Calling MsiInstallProduct with command line: ''", '', '', 'MsiInstallProduct returned 1633',
           INTERNAL_ERROR, h.failed(1633), NO_ADDRESS]
RESTART = ['You must restart your system for the configuration changes to take effect. Do you want restart now?',
           'Auto-reboot in passive mode']
REBOOT_REFUSED = re.compile(r'err:\w+:ExitWindowsEx Failed to run L"C:\\\\windows\\\\system32\\\\wineboot\.exe '
                            r'--end-session"')
GUARD = dict(overrides='wineboot.exe=d', env={'WINEDEBUG': '-all,err+graphics'})
LIBRARIES = (('versioned_1_9_9_9.dll', 'lib1999.dll'), ('versioned_2_0_0_0.dll', 'lib2000.dll'),
             ('unversioned.dll', 'unversioned.dll'), ('versioned_foreign.dll', 'lib_foreign.dll'),
             ('needs_sibling.dll', 'needs_sibling.dll'), ('sibling.dll', 'sibling.dll'),
             ('needs_sibling.dll', r'alone\needs_sibling.dll'))


def component(*options):
    """InstParams of a component run by the tool: "#InstPath#" quoted, its record, the options.
    (The record's path has no blank; quoted, it would end a bare command line in a double quote,
    and the ini reader takes the quotes off a value quoted as a whole.)"""
    return ' '.join(['"#InstPath#"', '--record', '#Root#\\calls.txt'] + list(options))


def expand(command):
    """A command as the program runs it ("{dist}" stands for the distribution's folder)."""
    return (command.replace('#InstPath#', r'{dist}\%s' % TOOL).replace('#Root#', '{dist}')
            .replace('#Temp#', 'C:\\users\\%s\\Temp\\' % os.path.basename(os.path.dirname(h.temp_dir()))))


def listed(name, **keys):
    """A record that is only listed, never started."""
    return dict({'Name': name, 'Url': 'http://example.invalid/' + name.replace(' ', '_'),
                 'InstPath': r'#Root#\not_on_the_medium.exe'}, **keys)


def passive(names):
    return (['Installing prerequisites passively:'] + ['  ' + n for n in names] + ['Try install prerequisites:'] +
            [" '%s'" % n for n in names])


def installed(names):
    return ['Installed prerequisites:'] + [" '%s'" % n for n in names] if names else []


def not_installed(name):
    return "Prerequisite '%s' not installed." % name


def listing(names):
    return passive(names) + [not_installed(n) for n in names]


def ran(name, command, code=0):
    return ["Install the component '%s'." % name, 'MsiInstall(%s) return code %d' % (expand(command), code)]


def no_version(path, error=NOT_FOUND):
    return "IsValidFileVersion() failed. Can't get version of file '%s'. %s" % (path.replace('#Root#', '{dist}'), error)


def not_met(cond, path):
    return "IsValidRegCond() failed. Invalid condition '%s'. RegPath='%s'." % (cond, path)


def unreadable(root, key, value, error=NOT_FOUND):
    return "CRegComparer.GetRegValue(%s, '%s', '%s') failed. %s" % (root, key, value, error)


def calls(*commands):
    """The component tool was started with these command lines, in this order."""
    def check(test, dist, log):
        path = dist.path('calls.txt')
        got = open(path, 'rb').read().decode('utf-8').split('\r\n')[:-1] if os.path.exists(path) else []
        test.assertEqual(got, [expand(c).replace('{dist}', h.winpath(dist.dir)) for c in commands])
    return check


def distribution(*extra):
    """Lays out the component tool and the test libraries beside the program."""
    def prepare(dist):
        dist.add(h.COMPONENT_TOOL, TOOL)
        for source, name in LIBRARIES:
            dist.add(os.path.join(h.FIXTURES, source), name)
        for step in extra:
            step(dist)
    return prepare


def detection(name, records, flow, args='/i /quiet', **keys):
    """A run that lists `records`, refused by the engine afterwards: its own lines are the head,
    the detection and flow lines `flow`, and the refusal."""
    level = 2 if '/quiet' in args else 67
    return Case(name, args, package='product_v2_ia64', sections=h.requisites('PreReq', records), exit=3,
                lines=['UILevel is set to %d' % level, *NO_TRANSFORM, *flow, *REFUSED],
                **{**GUARD, 'prepare': distribution(), **keys})


class Detection(h.Scenario):
    keys = ((DETECT_KEY, 32), (VIEWS_KEY, 32), (VIEWS_KEY, 64))

    def test_registry_conditions(self):
        # (The comparisons and their log lines are the unit tests'; here the real registry and its views.)
        def values(dist):
            h.reg_set(DETECT_KEY + r'\Flags', None, 'on')
            h.reg_set(VIEWS_KEY, 'Only64', 1, 'REG_DWORD', view=64)
            h.reg_set(VIEWS_KEY, 'Only32', 1, 'REG_DWORD', view=32)

        def reg(name, path, **keys):
            return listed(name, RegPath=path, RegCond=keys.pop('RegCond', 'DWORD=1'), **keys)

        self.run_case(detection('registry', [
            # The file decides before the registry: a condition that holds does not save a missing file.
            listed('File Present', FilePath=r'#Root#\lib2000.dll', FileVer='2.0.0.0', RegPath=DETECT + r'\Missing',
                   RegCond='DWORD=1'),
            listed('File Missing', FilePath=ABSENT, RegPath=VIEWS + r'\Only32', RegCond='DWORD=1'),
            reg('Missing Value', DETECT + r'\Missing'),
            # A path ending in a backslash names the key's default value.
            reg('Default Value', DETECT + '\\Flags\\', RegCond='STRING=ON'),
            # The program reads the view of the machine's software key of its own bitness (the
            # 32-bit one for the 32-bit program on 64-bit Windows), and the 64-bit one when Key64
            # asks for it.
            reg('Key64 Sees 64', VIEWS + r'\Only64', Key64=1),
            reg('Key64 Misses 32', VIEWS + r'\Only32', Key64=1),
            reg('Default Misses Other', VIEWS + r'\Only%d' % h.OTHER_BITS),
            reg('Default Sees Own', VIEWS + r'\Only%d' % h.BITS),
        ], [
            no_version(ABSENT),
            unreadable('0x80000001', r'Software\SetupLauncherTest\Detect', 'Missing'),
            not_met('DWORD=1', DETECT + r'\Missing'),
            unreadable('0x80000002', r'Software\SetupLauncherTest\DetectViews', 'Only32'),
            not_met('DWORD=1', VIEWS + r'\Only32'),
            unreadable('0x80000002', r'Software\SetupLauncherTest\DetectViews', 'Only%d' % h.OTHER_BITS),
            not_met('DWORD=1', VIEWS + r'\Only%d' % h.OTHER_BITS),
            *listing(['File Missing', 'Missing Value', 'Key64 Misses 32', 'Default Misses Other']),
        ], prepare=distribution(values)))

    def test_file_conditions(self):
        # (Bitness, PATH and removal entries are the unit tests'; here real libraries and folders.)
        for folder, name, library in ((h.SYSTEM, 'setuptest_own.dll', 'versioned_2_0_0_0.dll'),
                                      (h.OTHER_SYSTEM, 'setuptest_other.dll', 'versioned_foreign.dll')):
            shutil.copyfile(os.path.join(h.FIXTURES, library), h.drive_c('windows', folder, name))
            self.addCleanup(os.unlink, h.drive_c('windows', folder, name))
        self.run_case(detection('files', [
            listed('Missing File', FilePath=ABSENT),
            listed('No Version Resource', FilePath=r'#Root#\unversioned.dll'),
            listed('Too Old', FilePath=r'#Root#\lib1999.dll', FileVer='2.0.0.0'),
            listed('Exact Version', FilePath=r'#Root#\lib2000.dll', FileVer='2.0', FileTryLoad=1),
            # The version of a file named with a wildcard cannot be read.
            listed('Wildcard', FilePath=r'#Root#\lib2*.dll'),
            # The other architecture's library is at 2.0.0.0, but the program cannot load it.
            listed('Foreign Library', FilePath=r'#Root#\lib_foreign.dll', FileVer='2.0.0.0', FileTryLoad=1),
            listed('Foreign Library Unloaded', FilePath=r'#Root#\lib_foreign.dll', FileVer='2.0.0.0'),
            # A library loads with what lies beside it, never with what lies beside the setup (this
            # one first: once loaded, a library is found by its name).
            listed('Library Without Sibling', FilePath=r'#Root#\alone\needs_sibling.dll', FileTryLoad=1),
            listed('Library With Sibling', FilePath=r'#Root#\needs_sibling.dll', FileTryLoad=1),
            # The program's system folder is the one of its own bitness (the 32-bit one for the
            # 32-bit program), whatever its name says; macros are case-sensitive.
            listed('System Folder', FilePath=r'#System#\kernel32.dll', FileVer='1.0'),
            listed('In Own System', FilePath=r'#System#\setuptest_own.dll', FileVer='2.0'),
            listed('Only In Other System', FilePath=r'#System#\setuptest_other.dll'),
            listed('Lower Case Macro', FilePath=r'#system#\kernel32.dll'),
        ], [
            no_version(ABSENT),
            no_version(r'#Root#\unversioned.dll', "Error(1812) 'Resource data not found.'"),
            "IsValidFileVersion() failed. Current version(1.9.9.9) of file '{dist}\\lib1999.dll' early of required "
            "file vesion(2.0.0.0).",
            no_version(r'#Root#\lib2*.dll', "Error(123) 'Invalid name.'"),
            "IsValidFileVersion() failed. Can't load file '{dist}\\lib_foreign.dll'. Error(193) 'Bad EXE format for "
            "%1.'",
            "IsValidFileVersion() failed. Can't load file '{dist}\\alone\\needs_sibling.dll'. Error(126) 'Module not "
            "found.'",
            no_version(r'C:\windows\system32\setuptest_other.dll'),
            no_version(r'#system#\kernel32.dll', "Error(3) 'Path not found.'"),
            *listing(['Missing File', 'No Version Resource', 'Too Old', 'Wildcard', 'Foreign Library',
                      'Library Without Sibling', 'Only In Other System', 'Lower Case Macro']),
        ]))

    def test_checking_tools(self):
        def stavora(name, exit_code, *printed, update=True):
            word = name.split()[-1].lower()
            keys = {'Name': name, 'InstPath': TOOL_PATH, 'InstParams': component('--print', 'install-' + word),
                    'RunExeCond': ' '.join(['"#Root#\\%s"' % TOOL, *printed, '--exit', str(exit_code)])}
            if update:
                keys['UpdateParams'] = component('--print', 'update-' + word)
            return keys

        def process(options, code, text):
            command = r'"{dist}\%s" %s' % (TOOL, options)
            return ["Process '%s' return code %d" % (command, code), "Process '%s' return text '%s'" % (command, text)]

        registered = distribution(lambda dist: h.reg_set(DETECT_KEY, 'Dword', 5, 'REG_DWORD'))
        update, install = (lambda w: component('--print', 'update-' + w)), (lambda w: component('--print', 'install-' + w))
        chatty = component('--print', 'chatty-update')
        chatty_tool = r'"{dist}\%s" --print-bytes 65536 --exit 2' % TOOL
        for case in [
            detection('tools', [
                # (The exit codes of the family are the unit tests'; here what the flow does with them.)
                stavora('Stavora Two', 2, '--print', r'"Update 2.1\r\n"'),
                stavora('Stavora Three', 3, '--print', r'"line one\nline two"'),
                stavora('Stavora Lacking', 2, update=False),
                # A registry condition decides before the tool, which is then never started.
                dict(stavora('Stavora Registered', 3, '--print', 'never-started'), RegPath=DETECT + r'\Dword',
                     RegCond='DWORD=5'),
                # A checking tool that cannot start leaves its component present. (The ini reader
                # takes the quotes off a value that is quoted as a whole.)
                dict(stavora('Stavora Absent', 3), RunExeCond=r'"#Root#\absent_tool.exe"'),
            ], [
                *process(r'--print "Update 2.1\r\n" --exit 2', 2, 'Update 2.1'),
                *process(r'--print "line one\nline two" --exit 3', 3, 'line one\nline two'),
                *process('--exit 2', 2, ''),
                "RunExe::Function CreateProcess('{dist}\\absent_tool.exe') failed. " + NOT_FOUND,
                *passive(['Stavora Two', 'Stavora Three', 'Stavora Lacking']),
                *ran('Stavora Two', update('two')), *ran('Stavora Three', install('three')),
                # Update mode without UpdateParams: the message is only logged at this level.
                "Can't find update parameter for prerequisite 'Stavora Lacking'.", '',
                'Error no update parameter found in the setup file.ini', not_installed('Stavora Lacking'),
                *installed(['Stavora Two', 'Stavora Three']),
            ], '/i /passive', prepare=registered, then=calls(update('two'), install('three'))),
            # Far more output than a pipe holds: a setup that waited for the tool's end before
            # reading would never end. The text is the last 4096-byte chunk (the 16th block's
            # letters); the line is cut at the log's 4095 characters.
            detection('chatty tool', [
                {'Name': 'Stavora Chatty', 'InstPath': TOOL_PATH, 'InstParams': component('--print', 'chatty'),
                 'UpdateParams': chatty, 'RunExeCond': '"#Root#\\%s" --print-bytes 65536 --exit 2' % TOOL},
            ], [
                "Process '%s' return code 2" % chatty_tool,
                lambda dist: ("Process '%s' return text '" % chatty_tool.replace('{dist}', h.winpath(dist.dir)) +
                              'P' * 4096 + "'")[:4095],
                *passive(['Stavora Chatty']), *ran('Stavora Chatty', chatty), *installed(['Stavora Chatty']),
            ], then=calls(chatty)),
        ]:
            self.run_case(case)

    def test_command_lines_and_the_product_condition(self):
        libre = component('--print')           # the appended text becomes what it prints
        elevated = component('--print', 'elevated')
        helper = component('--print', 'helper')
        from_registry = r'{dist}\%s --record {dist}\calls.txt --print from-registry' % TOOL

        def registry_installers(dist):
            tool = h.winpath(dist.path(TOOL))
            h.reg_set(DETECT_KEY, 'Installer', from_registry.replace('{dist}', h.winpath(dist.dir)))
            h.reg_set(DETECT_KEY, 'BareInstaller', tool)
            h.reg_set(DETECT_KEY, 'Dword', 5, 'REG_DWORD')

        msi = {'Name': 'Prerequisite Component', 'InstPath': r'#Root#\component.msi', 'MsiProd': '1',
               'InstParams': 'msiexec /i "#InstPath#" /qn', 'RunAs': 1, 'RegPath': DETECT + r'\Dword',
               'RegCond': 'DWORD=5'}
        names = ['Registry Installer', 'LIBRE office Suite', 'Libre Office Helper', 'Elevated Component',
                 'Elevated Missing', 'Prerequisite Component']
        missing = r'{dist}\absent_setup.exe'
        self.products = (h.SAMPLE_CODE, h.package('prereq_component').code)
        component_msi = distribution(registry_installers, lambda d: d.add(h.package('prereq_component').path,
                                                                          'component.msi'))
        for case in [
            detection('commands', [
                # Blanks around the path's items and an empty item are ignored.
                {'Name': 'Registry Installer', 'InstRegPath': r'HKEY_CURRENT_USER\Software\SetupLauncherTest\\Detect '
                                                              r'\Installer', 'InstParams': '--exit 0', 'FilePath': ABSENT},
                {'Name': 'Unreadable Installer', 'InstRegPath': DETECT + r'\NoInstaller', 'FilePath': ABSENT},
                {'Name': 'Malformed Installer', 'InstRegPath': r'HKLM\Software\SetupLauncherTest', 'FilePath': ABSENT},
                # A value without a blank gives no program: dropped without a word.
                {'Name': 'Bare Installer', 'InstRegPath': DETECT + r'\BareInstaller', 'FilePath': ABSENT},
                {'Name': 'LIBRE office Suite', 'InstPath': TOOL_PATH, 'InstParams': libre,
                 'NotAssociateWithMSOfficeFiles': 1, 'FilePath': ABSENT},
                {'Name': 'Libre Office Helper', 'InstPath': TOOL_PATH, 'InstParams': helper,
                 'NotAssociateWithMSOfficeFiles': 0, 'FilePath': ABSENT},
                # Started elevated through the shell.
                {'Name': 'Elevated Component', 'InstPath': TOOL_PATH, 'InstParams': elevated, 'RunAs': 1,
                 'FilePath': ABSENT},
                # One that cannot be started is logged; the shell shows nothing unattended.
                {'Name': 'Elevated Missing', 'InstPath': r'#Root#\absent_setup.exe', 'RunAs': 1, 'FilePath': ABSENT},
                # The product decides before the registry: a condition that holds does not save it;
                # and the file decides before the product.
                dict(msi, Name='File Before Product', FilePath=r'#Root#\lib2000.dll'),
                msi,
            ], [
                no_version(ABSENT),
                "Can't read registry value from path '%s'. %s" % (DETECT + r'\NoInstaller', NOT_FOUND),
                r"Can't read registry value from path 'HKLM\Software\SetupLauncherTest'. Error(3) 'Path not found.'",
                *[no_version(ABSENT)] * 4,
                *passive(names),
                "Install the component 'Registry Installer'.", 'MsiInstall(%s --exit 0) return code 0' % from_registry,
                "Install the component 'LIBRE office Suite'.",
                'MsiInstall(%s REGISTER_NO_MSO_TYPES=1 ) return code 0' % expand(libre),
                *ran('Libre Office Helper', helper), *ran('Elevated Component', elevated),
                "Install the component 'Elevated Missing'.", "Function ::ShellExecuteEx('%s' '') failed. Error=2." % missing,
                'MsiInstall("%s") return code 2' % missing, 'Setup was unable to find the file\n\'"%s"\'.' % missing,
                "Install the component 'Prerequisite Component'.",
                r'MsiInstall(msiexec /i "{dist}\component.msi" /qn) return code 0',
                *installed([n for n in names if n != 'Elevated Missing']),
            ], prepare=component_msi, then=lambda t, d, l: (
                calls(from_registry + ' --exit 0', expand(libre) + ' REGISTER_NO_MSO_TYPES=1 ', helper, elevated)(t, d, l),
                t.assertEqual(h.product_state(h.package('prereq_component').code), 5))),
            # Installed now: the product condition finds it present.
            detection('product present', [msi], [], installed='prereq_component', prepare=component_msi),
        ]:
            self.run_case(case)


def head(level):
    return ['UILevel is set to %d' % level, *NO_TRANSFORM]


class UnattendedFlow(h.Scenario):
    """Missing components run before the product, optional ones too; failures are logged and
    the product still installs; post-requisites run after a first installation only; a
    component's 3010 ends the run in the restart stage. The lines before the product come from
    runs with the Itanium package; the same records then install for real."""
    keys = ((r'HKCU\Software\SetupLauncherTest\Passive', 32),)

    def flow(self, name, records, flow, then):
        """The Itanium run of the records, then the same installing for real."""
        return [Case(name + ' lines', '/i /passive', package='product_v2_ia64', prepare=distribution(),
                     sections=h.requisites('PreReq', records), exit=3, lines=[*head(67), *flow, *REFUSED],
                     then=then, **GUARD),
                Case(name, '/i /passive', prepare=distribution(), sections=h.requisites('PreReq', records),
                     then=then, **GUARD)]

    def assertRestart(self, asked):
        output = self.process.output
        (self.assertRegex if asked else self.assertNotRegex)(output, REBOOT_REFUSED)

    def test_components_before_the_product(self):
        passive_key = r'HKCU\Software\SetupLauncherTest\Passive'
        alpha = component('--reg-dword', passive_key + r'\Alpha=1', '--print', '"#Temp#alpha"', '--exit', '0')
        beta = component('--copy', r'"#Root#\lib2000.dll"', r'"#Root#\beta.dll"', '--exit', '3010')
        failing, initiating = component('--exit', '1602'), component('--exit', '1641')
        absent = '"#InstPath#" /quiet'
        records = [
            {'Name': 'Runtime Alpha', 'InstPath': TOOL_PATH, 'InstParams': alpha,
             'RegPath': r'HKEY_CURRENT_USER\Software\SetupLauncherTest\Passive\Alpha', 'RegCond': 'DWORD=1'},
            # Optional and not pre-selected: unattended, it is installed all the same.
            {'Name': 'Engine Beta', 'InstPath': TOOL_PATH, 'InstParams': beta, 'Optional': 0,
             'FilePath': r'#Root#\beta.dll', 'FileVer': '2.0.0.0'},
            # Present: neither listed nor run.
            {'Name': 'Tool Gamma', 'InstPath': TOOL_PATH, 'InstParams': component('--print', 'gamma'),
             'FilePath': r'#Root#\lib2000.dll', 'FileVer': '1.0'},
            {'Name': 'Failing Runtime', 'InstPath': TOOL_PATH, 'InstParams': failing, 'FilePath': ABSENT},
            {'Name': 'Absent Installer', 'InstPath': r'#Root#\absent_setup.exe', 'InstParams': absent,
             'FilePath': ABSENT},
            # 1641 is no success to the flow: not installed, and no restart.
            {'Name': 'Initiating Runtime', 'InstPath': TOOL_PATH, 'InstParams': initiating, 'FilePath': ABSENT},
            # A package with a download page that is not on the medium is never fetched unattended.
            listed('Download Only', FilePath=ABSENT),
            # No InstParams: the program is started by its path alone, in double quotes.
            {'Name': 'Working Runtime', 'InstPath': TOOL_PATH, 'FilePath': ABSENT},
        ]
        missing = ['Runtime Alpha', 'Engine Beta', 'Failing Runtime', 'Absent Installer', 'Initiating Runtime',
                   'Download Only', 'Working Runtime']
        absent_command = r'"{dist}\absent_setup.exe" /quiet'
        for case in self.flow('components', records, [
            unreadable('0x80000001', r'Software\SetupLauncherTest\Passive', 'Alpha'),
            not_met('DWORD=1', r'HKEY_CURRENT_USER\Software\SetupLauncherTest\Passive\Alpha'),
            no_version(r'#Root#\beta.dll'), *[no_version(ABSENT)] * 5,
            *passive(missing),
            *ran('Runtime Alpha', alpha), *ran('Engine Beta', beta, 3010),
            *ran('Failing Runtime', failing, 1602),
            "MsiInstall('%s') failed. Error(1602) 'Installation aborted by user.'" % expand(failing),
            "Setup was unable to install\n'%s'." % expand(failing),
            "Install the component 'Absent Installer'.",
            'Function ::CreateProcess(%s) failed. Error=2.' % absent_command,
            'MsiInstall(%s) return code 2' % absent_command,
            "Setup was unable to find the file\n'%s'." % absent_command,
            *ran('Initiating Runtime', initiating, 1641), not_installed('Initiating Runtime'),
            not_installed('Download Only'),
            "Install the component 'Working Runtime'.", r'MsiInstall("{dist}\component_tool.exe") return code 0',
            *installed(['Runtime Alpha', 'Engine Beta', 'Working Runtime']),
        ], then=calls(alpha, beta, failing, initiating)):
            self.run_case(case)
        # For real: the components ran with their macros replaced, the product is installed, and
        # the 3010 of a component brought the run to the restart, which Wine was asked for.
        self.assertEqual(self.process.exit_code, 0)
        self.assertRestart(True)
        self.assertEqual(h.product_state(h.SAMPLE_CODE), 5)
        self.assertEqual(h.reg_query(passive_key, 'Alpha'), 1)
        self.assertEqual(h.the_log().own[-3:], ['Setup complete', *RESTART])

    def test_nothing_missing_writes_no_line_and_shows_no_window(self):
        present = distribution(lambda dist: h.reg_set(r'HKCU\Software\SetupLauncherTest\Passive', 'Present', 'yes'))
        records = h.requisites('PreReq', [
            {'Name': 'Registry Present', 'InstPath': TOOL_PATH,
             'RegPath': r'HKEY_CURRENT_USER\Software\SetupLauncherTest\Passive\Present', 'RegCond': 'STRING=YES'},
            {'Name': 'File Present', 'InstPath': TOOL_PATH, 'FilePath': r'#System#\kernel32.dll', 'FileVer': '1.0'},
            {'Name': 'No Condition', 'InstPath': TOOL_PATH, 'InstParams': component('--exit', '1')},
        ])
        # At the full level the first window is the engine's refusal: no list came before it.
        self.run_case(Case('nothing missing', '/i', package='product_v2_ia64', prepare=present,
                           sections=records, exit=3, boxes=[Box(SAMPLE_TITLE, buttons=['OK'])],
                           lines=[*head(5), *REFUSED], then=calls(), **GUARD))

    def test_post_requisites_and_an_upgrade(self):
        pre = component('--print', 'pre-runtime')
        post_alpha = component('--print', 'post-alpha')
        post_failing = component('--print', 'post-failing', '--exit', '1603')
        post_restart = component('--print', 'post-restart', '--exit', '3010')
        sections = {**h.requisites('PreReq', [{'Name': 'Pre Runtime', 'InstPath': TOOL_PATH, 'InstParams': pre,
                                               'FilePath': ABSENT}]),
                    **h.requisites('PostReq', [
                        {'Name': 'Post Alpha', 'InstPath': TOOL_PATH, 'InstParams': post_alpha},
                        {'Name': 'Post Plain', 'InstPath': TOOL_PATH},
                        {'Name': 'Post Failing', 'InstPath': TOOL_PATH, 'InstParams': post_failing},
                        # Conditions mean nothing after the product: a present file does not stop it.
                        {'Name': 'Post Restart', 'InstPath': TOOL_PATH, 'InstParams': post_restart,
                         'FilePath': r'#System#\kernel32.dll'},
                        {'InstPath': TOOL_PATH, 'InstParams': component('--print', 'unnamed')},
                        {'Name': 'Post Never', 'InstPath': TOOL_PATH, 'InstParams': component('--print', 'never')}])}
        upgrade_pre = component('--print', 'pre-upgrade', '--exit', '3010')
        upgrade = {**sections, 'PreReq0': dict(sections['PreReq0'], InstParams=upgrade_pre)}
        for case, restart in [
            (Case('post', '/i /passive', prepare=distribution(), sections=sections, **GUARD, tail=[
                'Setup complete', *ran('Post Alpha', post_alpha),
                "Install the component 'Post Plain'.", r'MsiInstall("{dist}\component_tool.exe") return code 0',
                # A failure after the product is only the runner's: no message, no further line.
                *ran('Post Failing', post_failing, 1603),
                "MsiInstall('%s') failed. Error(1603) 'Installation failure.'" % expand(post_failing),
                *ran('Post Restart', post_restart, 3010), *RESTART],
                then=calls(pre, post_alpha, post_failing, post_restart)), True),
            # The same version again is maintenance: neither the components before nor those after.
            (Case('maintenance', '/i /passive', installed='product_v2', prepare=distribution(), sections=sections,
                  **GUARD, tail=['Setup complete'], then=calls()), False),
            # An upgrade runs the prerequisites after its question, and no post-requisites; their
            # restart reaches the restart stage.
            (Case('upgrade lines', '/i /passive', installed='product_v1', package='product_v2_ia64',
                 prepare=distribution(), sections=upgrade, **GUARD, exit=3, head=[
                     *head(67), 'Older version of this product is already installed. Do you want to upgrade it?',
                     'Auto-upgrading in passive mode', no_version(ABSENT), *passive(['Pre Runtime']),
                     *ran('Pre Runtime', upgrade_pre, 3010), *installed(['Pre Runtime']),
                     "Calling MsiInstallProduct with command line: 'REINSTALL=ALL REINSTALLMODE=vomus'"]), False),
            (Case('upgrade', '/i /passive', installed='product_v1', prepare=distribution(), sections=upgrade, **GUARD,
                  tail=['Setup complete', *RESTART], then=calls(upgrade_pre)), True),
        ]:
            self.run_case(case)
            self.assertRestart(restart)


DIALOG_KEY = r'HKCU\Software\SetupLauncherTest\PrereqDialogs'
HEADING = 'Sample Product requires the following components to be installed:'
STEPS_HEADING = 'Sample Product setup requires the following steps to be executed:'
EMPTY, TICKED, NO_BOX = 0, 1, 2
CANCELLED = 'Installetion of prerequisites canceled by user.'
LIST, NOTES, DOWNLOAD = 10010, 10013, 'Component Download'


def offered(name, value, exit_code=0, writes=True, **keys):
    """A record run as the component tool, which records its command line, sets the DWORD
    `value` (unless `writes` is false) that makes the record present, and ends with exit_code."""
    options = ['--reg-dword', r'%s\%s=1' % (DIALOG_KEY, value)] if writes else []
    options += ['--exit', str(exit_code)] if exit_code else []
    return dict({'Name': name, 'InstPath': TOOL_PATH, 'InstParams': component(*options),
                 'RegPath': r'HKEY_CURRENT_USER\Software\SetupLauncherTest\PrereqDialogs\%s' % value,
                 'RegCond': 'DWORD=1'}, **keys)


def missing_question(*names):
    return ('Not installed component(s):\n' + ''.join(" - '%s'\n" % n for n in names) +
            '\nDo you want to continue product installation?')


def present(value):
    return h.reg_query(DIALOG_KEY, value) == 1


def in_order(*expected):
    """The program's lines hold these (texts, or functions of the distribution answering one),
    in this order, other lines between them."""
    def check(test, dist, log):
        at = 0
        for line in expected:
            line = line(dist) if callable(line) else line.replace('{dist}', h.winpath(dist.dir))
            found = [i for i in range(at, len(log.own)) if log.own[i] == line]
            test.assertTrue(found, '%r after line %d\n%s' % (line, at, log.dump()))
            at = found[0] + 1
    return check


class Dialogs(h.Scenario):
    """The list of missing components with its boxes, the confirmation, the question about what
    is still missing, a failing component, cancellation and the download page, driven like a
    user at the full level."""
    keys = ((DIALOG_KEY, 32),)

    def shows(self, images, button=None, texts=None):
        """The rows' pictures (and texts), and the confirmation button's caption, are these."""
        view = h.rows(SAMPLE_TITLE)
        self.assertEqual([r['image'] for r in view['rows']], images)
        if texts is not None:
            self.assertEqual([r['text'] for r in view['rows']], texts)
        if button is not None:
            self.assertEqual(h.wait_window(SAMPLE_TITLE).child(1)['text'], button)
        return view

    def question(self, *names):
        """The yes/no box over the list, which shares its caption."""
        box = h.poll('the question', lambda: (lambda w: w.message and w)(h.wait_window(SAMPLE_TITLE)))
        self.assertEqual((box.message, box.buttons), (missing_question(*names), ['Yes', 'No']))

    def list_shown(self, heading=HEADING, notes=None):
        window = h.poll('the list', lambda: (lambda w: w.child(LIST) and w)(h.wait_window(SAMPLE_TITLE)))
        self.assertEqual(window.child(1001)['text'], heading)
        self.assertEqual(window.child(NOTES)['visible'], notes is not None)
        if notes is not None:
            self.assertEqual(window.child(NOTES)['text'], notes)
        return window

    def test_choosing_cancelling_and_removal_steps(self):
        beta, gamma = offered('Engine Beta', 'Beta', 3010, Optional=1), offered('Tool Gamma', 'Gamma', Optional=0)

        def choose(test, dist):
            window = self.list_shown()
            self.assertEqual([window.child(i)['text'] for i in (1, 2)], ['&Install', '&Cancel'])
            self.shows([TICKED, EMPTY], '&Install', ['Engine Beta', 'Tool Gamma'])
            # The mouse toggles a box on its picture or its label, and the button says whether
            # anything will be installed.
            h.click_row(SAMPLE_TITLE, 0)
            self.shows([EMPTY, EMPTY], 'Co&ntinue')
            h.click_row(SAMPLE_TITLE, 1, 'label')
            self.shows([EMPTY, TICKED], '&Install')
            h.click_row(SAMPLE_TITLE, 1)
            self.shows([EMPTY, EMPTY], 'Co&ntinue')
            # A blank typed into the list toggles the row at the selection mark and leaves the
            # button as it was; other characters do nothing.
            h.type_row(SAMPLE_TITLE, 0)
            self.shows([TICKED, EMPTY], 'Co&ntinue')
            h.type_row(SAMPLE_TITLE, 1, 'x')
            self.assertEqual(self.shows([TICKED, EMPTY])['mark'], 1)
            h.click(SAMPLE_TITLE, id=1)

        def keep_mandatory(test, dist):
            self.list_shown()
            self.shows([NO_BOX, EMPTY], '&Install', ['Runtime Alpha', 'Tool Gamma'])
            # A row without a box does not change; with a mandatory row the button keeps "&Install".
            h.click_row(SAMPLE_TITLE, 0, 'label')
            h.type_row(SAMPLE_TITLE, 0)
            self.shows([NO_BOX, EMPTY], '&Install')
            h.click_row(SAMPLE_TITLE, 1)
            self.shows([NO_BOX, TICKED], '&Install')
            h.close(SAMPLE_TITLE, cls='#32770')

        def steps(test, dist):
            self.list_shown(STEPS_HEADING)
            self.shows([TICKED, EMPTY], 'Co&ntinue', ['Uninstall Old Helper', 'Install Runtime Alpha'])
            h.click_row(SAMPLE_TITLE, 1)
            h.click_row(SAMPLE_TITLE, 0)
            self.shows([EMPTY, TICKED], 'Co&ntinue')
            h.click_row(SAMPLE_TITLE, 0, 'label')
            self.shows([TICKED, TICKED], 'Co&ntinue')
            h.click(SAMPLE_TITLE, id=1)

        def not_run(test, dist, log):
            calls()(test, dist, log)
            test.assertFalse(present('Alpha'))
            test.assertNotIn('Try install prerequisites:', log.own)

        helper = offered('Old Helper', 'Helper', writes=False, IsUninstall=1, Optional=1)
        for case in [
            # Only the ticked component runs; nothing is missing afterwards, so no question; its
            # 3010 brings the restart question after the product, and No ends with 3010.
            Case('choose', '/i', prepare=distribution(), sections=h.requisites('PreReq', [beta, gamma]), exit=3010,
                 boxes=[choose, Box(SAMPLE_TITLE, RESTART[0], 'No', ['Yes', 'No'])],
                 tail=['Setup complete', RESTART[0]],
                 then=lambda t, d, l: (calls(beta['InstParams'])(t, d, l), t.assertTrue(present('Beta')),
                                       t.assertFalse(present('Gamma')), t.assertEqual(h.product_state(h.SAMPLE_CODE), 5))),
            # Closing the list ends the setup at once: nothing runs, no product.
            Case('cancel', '/i', prepare=distribution(), exit=3, boxes=[keep_mandatory],
                 sections=h.requisites('PreReq', [offered('Runtime Alpha', 'Alpha'), gamma]), tail=[CANCELLED],
                 then=not_run),
            # An entry that removes something is listed though its component is present; both run
            # in list order, and the removal is never reported missing.
            Case('removal steps', '/i', prepare=distribution(lambda d: h.reg_set(DIALOG_KEY, 'Helper', 1, 'REG_DWORD')),
                 sections=h.requisites('PreReq', [helper, offered('Runtime Alpha', 'Alpha', Optional=0)]),
                 boxes=[steps], tail=['Setup complete'],
                 then=calls(helper['InstParams'], offered('Runtime Alpha', 'Alpha')['InstParams'])),
        ]:
            self.run_case(case)

    def test_components_still_missing(self):
        broken = offered('Broken Runtime', 'Broken', 1603, writes=False)
        # Its checking tool keeps saying "missing", with notes, whatever its installer did.
        stavora = offered('Stavora Viewer', 'Stavora', writes=False, RegPath='', RegCond='',
                          RunExeCond='#Root#\\%s --print "First line\\\\nSecond line" --exit 3' % TOOL)
        # A download page does not matter while the package is at hand.
        alpha = offered('Runtime Alpha', 'Alpha', Url='http://download.invalid/alpha')
        failure = Box(INSTALLATION_ERROR, "Setup was unable to install\n'%s'." % expand(broken['InstParams']),
                      buttons=['OK'])

        def glued(test, dist, log):
            """The runner's error text has no line end of its own: the next line runs on after it."""
            text = failure.message.replace('{dist}', h.winpath(dist.dir)) + 'Setup.exe ['
            test.assertTrue(any(text in entry for entry, mine in log.entries), log.dump())

        def failing(test, dist):
            self.list_shown(notes='First line\r\nSecond line')
            h.click(SAMPLE_TITLE, id=1)
            # The failure is shown while the list waits, its buttons disabled, the component named.
            h.wait_window(INSTALLATION_ERROR)
            window = h.wait_window(SAMPLE_TITLE)
            self.assertEqual(window.child(NOTES)['text'], 'Installing Broken Runtime.\r\nPlease wait...')
            self.assertEqual([window.child(i)['enabled'] for i in (1, 2)], [False, False])
            calls(broken['InstParams'])(test, dist, None)
            self.answer(failure, dist)
            # The others still run; the two still missing are named in list order.
            self.question('Broken Runtime', 'Stavora Viewer')
            calls(broken['InstParams'], stavora['InstParams'], alpha['InstParams'])(test, dist, None)

        records = h.requisites('PreReq', [broken, stavora, alpha])
        for case in [
            Case('still missing', '/i', prepare=distribution(), sections=records, exit=3,
                 boxes=[failing, lambda t, d: h.click(SAMPLE_TITLE, 'No')],
                 then=lambda t, d, l: (
                     t.assertTrue(present('Alpha')), t.assertEqual(h.product_state(h.SAMPLE_CODE), -1),
                     t.assertFalse(any(x.startswith('Calling MsiInstallProduct') for x in l.own)),
                     in_order('Try install prerequisites:', " 'Broken Runtime'", " 'Stavora Viewer'", " 'Runtime Alpha'",
                              "Install the component 'Broken Runtime'.",
                              'MsiInstall(%s) return code 1603' % expand(broken['InstParams']), failure.message,
                              "Install the component 'Stavora Viewer'.", "Install the component 'Runtime Alpha'.",
                              'Installed prerequisites:', " 'Stavora Viewer'", " 'Runtime Alpha'")(t, d, l),
                     glued(t, d, l))),
            # With Alpha present, Yes goes on with the product although two are missing.
            Case('still missing, go on', '/i', exit=0, sections=records,
                 prepare=distribution(lambda d: h.reg_set(DIALOG_KEY, 'Alpha', 1, 'REG_DWORD')),
                 boxes=[lambda t, d: (self.shows([NO_BOX, NO_BOX], texts=['Broken Runtime', 'Stavora Viewer']),
                                      h.click(SAMPLE_TITLE, id=1)),
                        failure, lambda t, d: (self.question('Broken Runtime', 'Stavora Viewer'),
                                               h.click(SAMPLE_TITLE, 'Yes'))],
                 tail=['Setup complete'],
                 then=lambda t, d, l: (calls(broken['InstParams'], stavora['InstParams'])(t, d, l),
                                       t.assertEqual(h.product_state(h.SAMPLE_CODE), 5))),
        ]:
            self.run_case(case)

    def test_download_page(self):
        opened = 'link-opened.txt'

        def instructions(name, file=None):
            if file is None:
                return ("Installation package for component '%s'  is missing. To install it manually:\n\n- Follow link "
                        "below to download package;\n- Install '%s';\n- Press 'Recheck' button to continue "
                        "installation." % (name, name))
            return ("Installation package for component '%s' is missing. To install it manually:\n\n- Follow link "
                    "below to download package;\n- Press the button Download;\n- Choose the file '%s';\n- Install "
                    "'%s';\n- Press 'Recheck' button to continue installation." % (name, file, name))

        def checks():
            return sum(r"RegPath='HKEY_CURRENT_USER\Software\SetupLauncherTest\PrereqDialogs\Remote'." in line
                       for line in h.read_log(h.find_logs()).own)

        def pages(test, dist):
            self.list_shown()
            h.click(SAMPLE_TITLE, id=1)
            page = h.wait_window(DOWNLOAD)
            self.assertEqual([page.child(i)['text'] for i in (1004, 1005, 1, 2)],
                             [instructions('Remote Runtime'), "'Remote Runtime' download page", '&Recheck', '&Cancel'])
            # The link opens its target through the shell, from the mouse and from the keyboard: Tab
            # brings the focus to it, which draws its focus rectangle, and Space or Enter opens it
            # (Enter does not press the default button).
            h.click_at(DOWNLOAD, 1005, '4,4')
            h.poll('the link target', lambda: os.path.exists(dist.path(opened)))
            away = h.shot('link-away')
            h.poll('the link focused', lambda: h.wait_window(DOWNLOAD).child(1005)['focused'] or h.key(DOWNLOAD, VK_TAB),
                   timeout=10)
            self.assertTrue(h.changed(away, h.shot('link-focused'), h.wait_window(DOWNLOAD).child(1005)['rect']))
            for key in (VK_SPACE, VK_RETURN):
                os.unlink(dist.path(opened))
                h.key(DOWNLOAD, key)
                h.poll('the link target', lambda: os.path.exists(dist.path(opened)))
            # "Recheck" while the component is missing checks again and stays; once it is present,
            # it ends the page, and the next missing package has its own.
            self.assertEqual(checks(), 1)
            h.click(DOWNLOAD, id=1)
            h.poll('the second check', lambda: checks() == 2)
            self.assertEqual(h.wait_window(DOWNLOAD).child(1005)['text'], "'Remote Runtime' download page")
            h.reg_set(DIALOG_KEY, 'Remote', 1, 'REG_DWORD')
            h.click(DOWNLOAD, id=1)
            page = h.poll('the second page', lambda: (lambda w: w.child(1005)['text'] ==
                                                      "'Chosen Runtime' download page" and w)(h.wait_window(DOWNLOAD)))
            self.assertEqual(page.child(1004)['text'], instructions('Chosen Runtime', 'chosen_setup.exe'))
            # Giving up there leaves it missing: logged, and named by the question.
            h.click(DOWNLOAD, id=2)
            self.question('Chosen Runtime')
            h.click(SAMPLE_TITLE, 'No')

        link = lambda d: d.add_file('open-link.cmd', '@echo opened> "%%~dp0%s"\r\n' % opened)
        self.run_case(Case(
            'download', '/i', exit=3, prepare=distribution(link), boxes=[pages], sections=h.requisites('PreReq', [
                offered('Remote Runtime', 'Remote', InstPath=r'#Root#\downloads\remote_setup.exe',
                        Url=r'{dist}\open-link.cmd'),
                offered('Chosen Runtime', 'Chosen', InstPath=r'#Root#\downloads\chosen_setup.exe',
                        Url='http://download.invalid/chosen', ChooseDownload='chosen_setup.exe')]),
            then=lambda t, d, l: (calls()(t, d, l), t.assertNotIn(not_installed('Remote Runtime'), l.own),
                                  in_order('Try install prerequisites:', " 'Remote Runtime'", " 'Chosen Runtime'",
                                           not_installed('Chosen Runtime'))(t, d, l),
                                  t.assertNotIn('Installed prerequisites:', l.own))))
