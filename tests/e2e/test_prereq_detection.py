"""Which prerequisite components the setup finds missing, decided by each kind of condition in its
fixed order (PATH, file, product, registry, checking tool) against real registry values, real
libraries with version resources, the PATH of the run, the Windows version Wine reports, an
installed Windows Installer product and checking tools; and the command lines of the components
it then runs. The product package is the Itanium copy of the sample product, which the engine
refuses at once: a run costs about a second and installs nothing but components.

Records that are only to be listed name a download page and a package that is not on the medium:
unattended, such a record is logged as not installed and never started, so the list lines show
what detection decided."""

import os
import shutil

import harness as h
from requisites import (ENGINE_REFUSAL, ITANIUM, RECORD, TOOL, TOOL_PATH, RequisiteScenario,
                        checking_tool, component, component_lines, expand, installed_lines, not_installed,
                        passive_lines, recorded, run)

DETECT = r'HKEY_CURRENT_USER\Software\SetupLauncherTest\Detect'
DETECT_KEY = r'HKCU\Software\SetupLauncherTest\Detect'
VIEWS = r'HKEY_LOCAL_MACHINE\Software\SetupLauncherTest\DetectViews'
VIEWS_KEY = r'HKLM\Software\SetupLauncherTest\DetectViews'
NOT_FOUND = "Error(2) 'File not found.'"
ABSENT_FILE = r'#Root#\absent.dll'


def listed_only(name, **keys):
    """A record that is never started: a download page and a package missing from the medium."""
    record = {'Name': name, 'Url': 'http://example.invalid/' + name.replace(' ', '_'),
              'InstPath': r'#Root#\not_on_the_medium.exe'}
    record.update(keys)
    return record


def not_met(cond, path):
    return "IsValidRegCond() failed. Invalid condition '%s'. RegPath='%s'." % (cond, path)


def unreadable(root, key, value, error=NOT_FOUND):
    return "CRegComparer.GetRegValue(%s, '%s', '%s') failed. %s" % (root, key, value, error)


def listing(names):
    """The unattended flow for records that are only listed."""
    return passive_lines(names) + [not_installed(n) for n in names]


class DetectionScenario(RequisiteScenario):
    """Runs records against the Itanium package and keeps the flow's lines."""

    keys = ((DETECT_KEY, None), (VIEWS_KEY, 32), (VIEWS_KEY, 64))

    def prepare(self, name, prereqs, exe_name='setup.exe'):
        """The distribution with the records, the component tool and the test libraries."""
        dist = self.distribution(name, fixture=ITANIUM, exe_name=exe_name, prereqs=prereqs)
        for fixture, as_name in ((h.VERSIONED_DLL_1999, 'lib1999.dll'), (h.VERSIONED_DLL_2000, 'lib2000.dll'),
                                 (h.UNVERSIONED_DLL, 'unversioned.dll'), (h.VERSIONED_DLL_X64, 'lib_x64.dll'),
                                 (h.NEEDS_SIBLING_DLL, 'needs_sibling.dll'), (h.SIBLING_DLL, 'sibling.dll'),
                                 (h.NEEDS_SIBLING_DLL, 'alone/needs_sibling.dll')):
            dist.copy_file(fixture, as_name)
        return dist

    def detect(self, dist, args='/i /quiet', **env):
        """Runs the distribution's setup; checks the run's beginning and end and keeps the lines
        between them in self.lines."""
        h.clear_logs()
        proc = run(dist, args, timeout=120, **env)
        self.assertEqual(proc.exit_code, 3, proc.output)
        self.log = self.the_log()
        self.lines = self.flow_lines(self.log, 2 if '/quiet' in args else 67)
        self.assertEqual(self.log.stripped()[-len(ENGINE_REFUSAL):], ENGINE_REFUSAL, self.log.dump())
        return proc

    def assertFlow(self, expected):
        self.assertEqual(self.lines, expected, self.log.dump())


def no_version(dist, name, error=NOT_FOUND):
    """The refusal of a file without a readable version; name is relative to the distribution
    unless it holds a backslash."""
    path = name if '\\' in name else h.winpath(dist.path(name))
    return "IsValidFileVersion() failed. Can't get version of file '%s'. %s" % (path, error)


class Conditions(DetectionScenario):
    def test_registry_conditions(self):
        h.reg_set(DETECT_KEY, 'Dword', 5, 'REG_DWORD')
        h.reg_set(DETECT_KEY, 'Text', 'Alpha Beta')
        h.reg_set(DETECT_KEY, 'V2100', '2.1.0.0')
        h.reg_set(DETECT_KEY, 'V209', '2.0.9')
        h.reg_set(DETECT_KEY, 'V30', '3.0')
        h.reg_set(DETECT_KEY, 'Long', 'x' * 300)
        h.reg_set(DETECT_KEY + r'\Flags', None, 'on')
        # Each view of the machine's software key gets a value of its own.
        h.reg_set(VIEWS_KEY, 'Only64', 1, 'REG_DWORD', view=64)
        h.reg_set(VIEWS_KEY, 'Only32', 1, 'REG_DWORD', view=32)
        dword = DETECT + r'\Dword'

        def reg(name, path, cond, **keys):
            return listed_only(name, RegPath=path, RegCond=cond, **keys)

        dist = self.prepare('registry', [
            # The file decides before the registry: the missing value is never read, and a
            # condition that holds does not save a missing file.
            listed_only('File Present', FilePath=r'#Root#\lib2000.dll', FileVer='2.0.0.0',
                        RegPath=DETECT + r'\Missing', RegCond='DWORD=1'),
            listed_only('File Missing', FilePath=ABSENT_FILE, RegPath=dword, RegCond='DWORD=5'),
            # Malformed conditions, each logged, in the order unnumbered, 0, 1, … 31; a pair
            # without its condition is no pair.
            reg('Malformed', r'HKLM\Software\SetupLauncherTest\Detect\Dword', 'DWORD=5',
                RegPath0=r'HKEY_CURRENT_USER\Software', RegCond0='DWORD=5',
                RegPath1=dword, RegCond1='QWORD=5',
                RegPath3=dword, RegCond3='DWORD = 5',
                RegPath7=dword, RegCond7='DWORD>5',
                RegPath12='HKEY_CURRENT_USER', RegCond12='DWORD=5',
                RegPath31=dword),
            # The conditions are alternatives: a malformed first one does not spoil a second that holds.
            reg('Second Holds', r'HKLM\Software\X\Dword', 'DWORD=5', RegPath0=dword, RegCond0='DWORD=5'),
            reg('Missing Value', DETECT + r'\Missing', 'DWORD=1'),
            reg('Dword Equal', dword, 'dword=5'),
            reg('Dword At Least', dword, 'DWORD>=4'),
            reg('Dword Above', dword, 'DWORD>=6'),
            reg('String Equal', DETECT + r'\Text', 'STRING=alpha beta'),
            reg('String At Least', DETECT + r'\Text', 'String>=ALPHA'),
            reg('String After', DETECT + r'\Text', 'STRING>=Alpha Gamma'),
            reg('Version Equal', DETECT + r'\V2100', 'VERSION=2.1'),
            reg('Version At Least', DETECT + r'\V30', 'VERSION>=2.1'),
            reg('Version Below', DETECT + r'\V209', 'VERSION>=2.1'),
            # Versions compare as numbers: 3.0 is below 10.0.
            reg('Version Numbers', DETECT + r'\V30', 'VERSION>=10.0'),
            # A path ending in a backslash names the key's default value.
            reg('Default Value', DETECT + '\\Flags\\', 'STRING=ON'),
            # 300 characters do not fit the comparer's 260.
            reg('Long String', DETECT + r'\Long', 'STRING=' + 'x' * 300),
            # The 32-bit program on 64-bit Windows reads the 32-bit view of the machine's software
            # key, and the 64-bit one only when Key64 asks for it.
            reg('Key64 Sees 64', VIEWS + r'\Only64', 'DWORD=1', Key64=1),
            reg('Key64 Misses 32', VIEWS + r'\Only32', 'DWORD=1', Key64=1),
            reg('Default Misses 64', VIEWS + r'\Only64', 'DWORD=1'),
            reg('Default Sees 32', VIEWS + r'\Only32', 'DWORD=1'),
        ])
        self.detect(dist)
        key = r'Software\SetupLauncherTest\Detect'
        views = r'Software\SetupLauncherTest\DetectViews'
        self.assertFlow([
            no_version(dist, 'absent.dll'),
            "IsValidRegCond() failed. Can't find root registry key 'HKLM'.",
            r"IsValidRegCond() failed. Invalid parameter RegPath='HKEY_CURRENT_USER\Software'.",
            "IsValidRegCond() failed. Invalid variable in condition 'QWORD=5'. RegPath='%s'." % dword,
            "IsValidRegCond() failed. Invalid operation in condition 'DWORD = 5'. RegPath='%s'." % dword,
            "IsValidRegCond() failed. Invalid operation in condition 'DWORD>5'. RegPath='%s'." % dword,
            "IsValidRegCond() failed. Invalid registry key 'HKEY_CURRENT_USER'.",
            "IsValidRegCond() failed. Can't find root registry key 'HKLM'.",
            unreadable('0x80000001', key, 'Missing'),
            not_met('DWORD=1', DETECT + r'\Missing'),
            not_met('DWORD>=6', dword),
            not_met('STRING>=Alpha Gamma', DETECT + r'\Text'),
            not_met('VERSION>=2.1', DETECT + r'\V209'),
            not_met('VERSION>=10.0', DETECT + r'\V30'),
            unreadable('0x80000001', key, 'Long', "Error(234) 'More data available.'"),
            not_met('STRING=' + 'x' * 300, DETECT + r'\Long'),
            unreadable('0x80000002', views, 'Only32'),
            not_met('DWORD=1', VIEWS + r'\Only32'),
            unreadable('0x80000002', views, 'Only64'),
            not_met('DWORD=1', VIEWS + r'\Only64'),
            *listing(['File Missing', 'Malformed', 'Missing Value', 'Dword Above', 'String After',
                      'Version Below', 'Version Numbers', 'Long String', 'Key64 Misses 32',
                      'Default Misses 64']),
        ])

    def test_files_path_bitness_and_removal_entries(self):
        # The PATH of the run: Wine puts WINEPATH before the prefix's own folders. The first
        # folder has blanks around it and no trailing backslash, an empty entry follows, and the
        # second folder, written with its backslash, holds the file.
        first, second = h.Distribution('path-first'), h.Distribution('path-second')
        second.add_file('path_tool.exe', b'not a program')
        winepath = ' %s ;;%s\\' % (h.winpath(first.dir), h.winpath(second.dir))
        for folder, name, library in (('syswow64', 'setuptest32.dll', h.VERSIONED_DLL_2000),
                                      ('system32', 'setuptest64.dll', h.VERSIONED_DLL_X64)):
            shutil.copyfile(library, h.drive_c('windows', folder, name))
            self.addCleanup(os.unlink, h.drive_c('windows', folder, name))
        dist = self.prepare('files', [
            listed_only('Missing File', FilePath=ABSENT_FILE),
            listed_only('No Version Resource', FilePath=r'#Root#\unversioned.dll'),
            listed_only('Too Old', FilePath=r'#Root#\lib1999.dll', FileVer='2.0.0.0'),
            listed_only('Exact Version', FilePath=r'#Root#\lib2000.dll', FileVer='2.0', FileTryLoad=1),
            # The x86_64 library is at 2.0.0.0, but the 32-bit program cannot load it.
            listed_only('Foreign Library', FilePath=r'#Root#\lib_x64.dll', FileVer='2.0.0.0', FileTryLoad=1),
            listed_only('Foreign Library Unloaded', FilePath=r'#Root#\lib_x64.dll', FileVer='2.0.0.0'),
            # A library loads with what lies beside it, never with what lies beside the setup
            # (this one first: once loaded, a library is found by its name).
            listed_only('Library Without Sibling', FilePath=r'#Root#\alone\needs_sibling.dll', FileTryLoad=1),
            listed_only('Library With Sibling', FilePath=r'#Root#\needs_sibling.dll', FileTryLoad=1),
            listed_only('System Folder', FilePath=r'#System#\kernel32.dll', FileVer='1.0'),
            # The 32-bit program's system folder is the 32-bit one, whatever its name says.
            listed_only('In 32-Bit System', FilePath=r'#System#\setuptest32.dll', FileVer='2.0'),
            listed_only('Only In 64-Bit System', FilePath=r'#System#\setuptest64.dll'),
            # Macros are case-sensitive: this one stays as written.
            listed_only('Lower Case Macro', FilePath=r'#system#\kernel32.dll'),
            # Bitness is tested before anything else: the 32-bit records log no file line.
            listed_only('Only 32-bit', OSbit=1, FilePath=ABSENT_FILE),
            listed_only('Only 64-bit', OSbit=2, FilePath=ABSENT_FILE),
            listed_only('Removal On 32-bit', OSbit=1, IsUninstall=1, FilePath=ABSENT_FILE),
            # A removal entry is listed although its component is present.
            listed_only('Removal Of Present', IsUninstall=1, FilePath=r'#Root#\lib2000.dll'),
            listed_only('No Condition'),
            # Found along PATH: present, before the file is looked at.
            listed_only('Found In Path', SkipIfFoundInPath=' absent_tool.exe ; path_tool.exe', FilePath=ABSENT_FILE),
            listed_only('Not In Path', SkipIfFoundInPath='absent_tool.exe', FilePath=ABSENT_FILE),
            # PATH can only make a component present; alone it never lists one.
            listed_only('Path Alone', SkipIfFoundInPath='absent_tool.exe'),
        ])
        self.detect(dist, WINEPATH=winepath)
        self.assertFlow([
            no_version(dist, 'absent.dll'),
            no_version(dist, 'unversioned.dll', "Error(1812) 'Resource data not found.'"),
            "IsValidFileVersion() failed. Current version(1.9.9.9) of file '%s' early of required file "
            "vesion(2.0.0.0)." % h.winpath(dist.path('lib1999.dll')),
            "IsValidFileVersion() failed. Can't load file '%s'. Error(193) 'Bad EXE format for %%1.'"
            % h.winpath(dist.path('lib_x64.dll')),
            "IsValidFileVersion() failed. Can't load file '%s'. Error(126) 'Module not found.'"
            % h.winpath(dist.path('alone', 'needs_sibling.dll')),
            no_version(dist, r'C:\windows\system32\setuptest64.dll'),
            no_version(dist, r'#system#\kernel32.dll', "Error(3) 'Path not found.'"),
            no_version(dist, 'absent.dll'),
            no_version(dist, 'absent.dll'),
            *listing(['Missing File', 'No Version Resource', 'Too Old', 'Foreign Library', 'Library Without Sibling',
                      'Only In 64-Bit System', 'Lower Case Macro',
                      'Only 64-bit', 'Removal On 32-bit', 'Removal Of Present', 'Not In Path']),
        ])

    def test_windows_version_bounds(self):
        # Wine reports the Windows version set for the program's file name (as in test_guards).
        names = {'win7': 'setup-prereq-7.exe', 'win10': 'setup-prereq-10.exe'}
        for version, exe in names.items():
            h.reg_set(r'HKCU\Software\Wine\AppDefaults\%s' % exe, 'Version', version)
            self.addCleanup(h.reg_delete_key, r'HKCU\Software\Wine\AppDefaults\%s' % exe)
        prereqs = [
            listed_only('From Windows 7', OSver='601', FilePath=ABSENT_FILE),
            listed_only('Up To Windows 7', OSver='-601', FilePath=ABSENT_FILE),
            listed_only('From Windows 8', OSver='602', FilePath=ABSENT_FILE),
            listed_only('Up To Vista', OSver='-600', FilePath=ABSENT_FILE),
            listed_only('No Number', OSver='seven', FilePath=ABSENT_FILE),
        ]
        dist = self.prepare('osver-7', prereqs, exe_name=names['win7'])
        self.detect(dist)
        self.assertFlow([no_version(dist, 'absent.dll')] * 3 +
                        listing(['From Windows 7', 'Up To Windows 7', 'No Number']))
        # Windows 10 presents itself as 6.2 to a program whose manifest names no systems.
        dist = self.prepare('osver-10', prereqs, exe_name=names['win10'])
        self.detect(dist)
        self.assertFlow([no_version(dist, 'absent.dll')] * 3 +
                        listing(['From Windows 7', 'From Windows 8', 'No Number']))


class CheckingTools(DetectionScenario):
    def test_the_family_s_tool_decides_between_install_and_update(self):
        def stavora(name, exit_code, *printed, update=True):
            word = name.split()[-1].lower()
            keys = {'Name': name, 'InstPath': TOOL_PATH, 'InstParams': component('--print', 'install-' + word),
                    'RunExeCond': checking_tool(*printed, '--exit', str(exit_code))}
            if update:
                keys['UpdateParams'] = component('--print', 'update-' + word)
            return keys

        dist = self.prepare('tools', [
            stavora('Stavora Present', 1, '--print', '"all there"'),
            stavora('Stavora Two', 2, '--print', r'"Update 2.1\r\n"'),
            stavora('Stavora Three', 3, '--print', r'"line one\nline two"'),
            stavora('Stavora Four', 4),
            stavora('Stavora Zero', 0),
            stavora('Stavora Lacking', 2, update=False),
            # Only the "Stavora" family is acted on: any other tool makes its component present.
            stavora('Other Tool', 3),
            stavora('stavora Lower', 3),
            # A registry condition decides before the tool, which is then never started.
            dict(stavora('Stavora Registered', 3, '--print', 'never-started'),
                 RegPath=DETECT + r'\Dword', RegCond='DWORD=5'),
        ])
        h.reg_set(DETECT_KEY, 'Dword', 5, 'REG_DWORD')
        self.detect(dist, '/i /passive')

        def process(options, code, text):
            command = '"%s" %s' % (h.winpath(dist.path(TOOL)), options)
            return ["Process '%s' return code %d" % (command, code), "Process '%s' return text '%s'" % (command, text)]

        def params(kind, word):
            return expand(dist, component('--print', '%s-%s' % (kind, word)))

        self.assertFlow([
            *process('--print "all there" --exit 1', 1, 'all there'),
            *process(r'--print "Update 2.1\r\n" --exit 2', 2, 'Update 2.1'),
            *process(r'--print "line one\nline two" --exit 3', 3, 'line one\nline two'),
            *process('--exit 4', 4, ''),
            *process('--exit 0', 0, ''),
            *process('--exit 2', 2, ''),
            *process('--exit 3', 3, ''),
            *process('--exit 3', 3, ''),
            *passive_lines(['Stavora Two', 'Stavora Three', 'Stavora Four', 'Stavora Zero', 'Stavora Lacking']),
            "Install the component 'Stavora Two'.", 'MsiInstall(%s) return code 0' % params('update', 'two'),
            "Install the component 'Stavora Three'.", 'MsiInstall(%s) return code 0' % params('install', 'three'),
            "Install the component 'Stavora Four'.", 'MsiInstall(%s) return code 0' % params('update', 'four'),
            "Install the component 'Stavora Zero'.", 'MsiInstall(%s) return code 0' % params('install', 'zero'),
            # Update mode without UpdateParams: the message is only logged at this level.
            "Can't find update parameter for prerequisite 'Stavora Lacking'.", '',
            'Error no update parameter found in the setup file.ini',
            not_installed('Stavora Lacking'),
            *installed_lines(['Stavora Two', 'Stavora Three', 'Stavora Four', 'Stavora Zero']),
        ])
        self.assertEqual(recorded(dist), [params('update', 'two'), params('install', 'three'),
                                          params('update', 'four'), params('install', 'zero')])

    def test_a_tool_that_prints_64_kib_does_not_hang_the_setup(self):
        # Far more than a pipe holds: a setup that waited for the tool's end before reading would
        # never end, and the run's time-out would fail the test.
        update = component('--print', 'chatty-update')
        dist = self.prepare('chatty', [
            {'Name': 'Stavora Chatty', 'InstPath': TOOL_PATH, 'InstParams': component('--print', 'chatty'),
             'UpdateParams': update, 'RunExeCond': checking_tool('--print-bytes', '65536', '--exit', '2')},
        ])
        self.detect(dist)
        command = '"%s" --print-bytes 65536 --exit 2' % h.winpath(dist.path(TOOL))
        # The text is the last 4096-byte chunk, the 16th block's letters; the line is cut at the
        # log's 4095 characters.
        self.assertFlow([
            "Process '%s' return code 2" % command,
            ("Process '%s' return text '" % command + 'P' * 4096 + "'")[:4095],
            *passive_lines(['Stavora Chatty']),
            *component_lines(dist, 'Stavora Chatty', update),
            *installed_lines(['Stavora Chatty']),
        ])
        self.assertEqual(recorded(dist), [expand(dist, update)])


class CommandLines(DetectionScenario):
    def test_from_the_registry_for_libre_office_and_through_the_elevated_start(self):
        libre = component('--print')           # the appended text becomes what it prints
        elevated = component('--print', 'elevated')
        dist = self.prepare('commands', [
            # Blanks around the path's items and an empty item are ignored.
            {'Name': 'Registry Installer', 'InstRegPath': r'HKEY_CURRENT_USER\Software\SetupLauncherTest\\Detect \Installer',
             'InstParams': '--exit 0', 'FilePath': ABSENT_FILE},
            {'Name': 'Unreadable Installer', 'InstRegPath': DETECT + r'\NoInstaller', 'FilePath': ABSENT_FILE},
            {'Name': 'Malformed Installer', 'InstRegPath': r'HKLM\Software\SetupLauncherTest', 'FilePath': ABSENT_FILE},
            # A value without a blank gives no program: dropped without a word.
            {'Name': 'Bare Installer', 'InstRegPath': DETECT + r'\BareInstaller', 'FilePath': ABSENT_FILE},
            {'Name': 'LIBRE office Suite', 'InstPath': TOOL_PATH, 'InstParams': libre,
             'NotAssociateWithMSOfficeFiles': 1, 'FilePath': ABSENT_FILE},
            {'Name': 'Libre Office Helper', 'InstPath': TOOL_PATH, 'InstParams': component('--print', 'helper'),
             'NotAssociateWithMSOfficeFiles': 0, 'FilePath': ABSENT_FILE},
            {'Name': 'Elevated Component', 'InstPath': TOOL_PATH, 'InstParams': elevated, 'RunAs': 1,
             'FilePath': ABSENT_FILE},
        ])
        tool = h.winpath(dist.path(TOOL))
        self.assertNotIn(' ', tool)     # the value's first blank ends the program's path
        from_registry = '%s --record %s --print from-registry' % (tool, h.winpath(dist.path(RECORD)))
        h.reg_set(DETECT_KEY, 'Installer', from_registry)
        h.reg_set(DETECT_KEY, 'BareInstaller', tool)
        self.detect(dist)
        libre_command = expand(dist, libre) + ' REGISTER_NO_MSO_TYPES=1 '
        names = ['Registry Installer', 'LIBRE office Suite', 'Libre Office Helper', 'Elevated Component']
        self.assertFlow([
            no_version(dist, 'absent.dll'),
            "Can't read registry value from path '%s'. %s" % (DETECT + r'\NoInstaller', NOT_FOUND),
            r"Can't read registry value from path 'HKLM\Software\SetupLauncherTest'. Error(3) 'Path not found.'",
            *[no_version(dist, 'absent.dll')] * 3,
            *passive_lines(names),
            "Install the component 'Registry Installer'.",
            'MsiInstall(%s --exit 0) return code 0' % from_registry,
            "Install the component 'LIBRE office Suite'.",
            'MsiInstall(%s) return code 0' % libre_command,
            *component_lines(dist, 'Libre Office Helper', component('--print', 'helper')),
            *component_lines(dist, 'Elevated Component', elevated),
            *installed_lines(names),
        ])
        self.assertEqual(recorded(dist), [from_registry + ' --exit 0', libre_command,
                                          expand(dist, component('--print', 'helper')), expand(dist, elevated)])


class ProductCondition(DetectionScenario):
    products = DetectionScenario.products + (h.PREREQ_COMPONENT_CODE,)

    def test_a_component_package_installed_through_msiexec_counts_as_present_next_time(self):
        # Started elevated: msiexec with its options as the parameters.
        h.reg_set(DETECT_KEY, 'Dword', 5, 'REG_DWORD')
        # The product decides before the registry: a condition that holds does not save it.
        record = {'Name': 'Prerequisite Component', 'InstPath': r'#Root#\component.msi', 'MsiProd': '1',
                  'InstParams': 'msiexec /i "#InstPath#" /qn', 'RunAs': 1,
                  'RegPath': DETECT + r'\Dword', 'RegCond': 'DWORD=5'}
        # The file decides before the product.
        file_first = {'Name': 'File Before Product', 'InstPath': r'#Root#\component.msi', 'MsiProd': '1',
                      'InstParams': 'msiexec /i "#InstPath#" /qn', 'FilePath': r'#Root#\lib2000.dll'}
        dist = self.prepare('product-absent', [file_first, record])
        dist.add_package('prereq_component', 'component.msi')
        self.detect(dist)
        self.assertFlow([
            *passive_lines(['Prerequisite Component']),
            "Install the component 'Prerequisite Component'.",
            'MsiInstall(msiexec /i "%s" /qn) return code 0' % h.winpath(dist.path('component.msi')),
            *installed_lines(['Prerequisite Component']),
        ])
        self.assertEqual(h.product_state(h.PREREQ_COMPONENT_CODE), h.INSTALLSTATE_DEFAULT)
        self.assertEqual(h.installed_version('prereq_component'), '1.0.0')

        dist = self.prepare('product-present', [record])
        dist.add_package('prereq_component', 'component.msi')
        self.detect(dist)
        self.assertFlow([])


if __name__ == '__main__':
    import unittest
    unittest.main()
