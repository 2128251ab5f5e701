"""The distribution checker: a clean distribution gets no finding and each planted mistake exactly
its own; its dry run decides every prerequisite as the setup's own detection does on the same
machine (registry conditions, a file version, a checking tool, installed products), both run
against one distribution and their verdicts compared."""

import json
import os
import re
import unittest

import harness as h

DISTCHECK = os.path.join(h.BUILD, 'distcheck.exe')
TOOL = 'component_tool.exe'
RUN_TOOL = '"#Root#\\%s" --exit 0' % TOOL
DETECT = r'HKEY_CURRENT_USER\Software\SetupLauncherTest\DistCheck'
DETECT_KEY = r'HKCU\Software\SetupLauncherTest\DistCheck'

MAIN = {'MsiPath': 'Sample Product.msi', 'MsiType': 'InstallUpgrade', 'LangId': '1033', 'MinWinVersion': '5.1',
        'MinWinServicePack': '2', 'Os32Need': '0'}
SECTIONS = {
    'PreReq0': {'Name': 'Runtime', 'InstPath': '#Root#\\' + TOOL, 'InstParams': '"#InstPath#" --exit 0',
                'RegPath': DETECT + r'\Version', 'RegCond': 'VERSION>=2.1', 'RegPath0': DETECT + r'\Level',
                'RegCond0': 'DWORD=1', 'FilePath': r'#System#\kernel32.dll', 'FileVer': '5.1.0.0', 'OSbit': '2',
                'OSver': '501'},
    'PreReq1': {'Name': 'Stavora Agent', 'InstPath': '#Root#\\' + TOOL, 'RunExeCond': '"#Root#\\%s" --exit 1' % TOOL},
    'PostReq0': {'Name': 'Readme', 'InstPath': '#Root#\\' + TOOL},
    'DeploymentExcludeFolders': {'Folder0': r'#Root#\Help'},
    'DeploymentExcludeFiles': {'File0': r'#Root#\notes.txt'},
}
FILES = {'1033.mst': 'a transform', 'notes.txt': 'notes', r'Help\index.html': '<html/>', 'License.rtf': r'{\rtf1 x}',
         'htmlayout.dll': 'the start screen'}


def lint(name, main=None, sections=None, package='product_v2', drop=(), *findings, prepare=None, program=None,
         encoding='cp1252'):
    """A distribution that differs from the clean one by `main` and `sections` (a None value
    removes the key), the files in `drop`, what prepare(dist) does, the program's name and the
    ini's encoding; `findings` are (severity, section, key, a part of the reason), in the order
    the checker reports them."""
    return name, main or {}, sections or {}, package, drop, list(findings), prepare, program, encoding


def links_to_itself(dist):
    os.makedirs(dist.path('Sub'))
    os.symlink(dist.dir, dist.path('loop'))
    os.symlink(dist.dir, dist.path('Sub', 'loop'))


LINTS = [
    lint('clean'),
    lint('unknown key', {'AdminNeeded': '1'}, None, 'product_v2', (),
         ('warning', 'Main', 'AdminNeeded', 'did you mean AdminNeed?')),
    lint('integer that is no number', {'Os32Need': 'no'}, None, 'product_v2', (),
         ('warning', 'Main', 'Os32Need', 'not a number: reads as 0')),
    # Integers as the setup reads them: 0x1 makes the package a patch, a number wraps around.
    lint('integer not in decimal', {'MsiPatch': '0x1'}, None, 'product_v2', (),
         ('error', 'Main', 'MsiType', 'of a patch'), ('warning', 'Main', 'MsiPatch', 'not a plain decimal number: reads as 1')),
    lint('integer beyond the range', {'LangId': '4294967297'}, None, 'product_v2', (),
         ('warning', 'Main', 'LangId', 'no transform 1.mst'), ('warning', 'Main', 'LangId', 'range of a number: reads as 1')),
    # A misspelt key that drops a check the publisher asked for is an error.
    lint('misspelt check keys', {'MinWinVersion': None, 'MinWinVer': '6.1', 'MinWindowsVersion': '6.1'}, None,
         'product_v2', (), ('warning', 'Main', 'MinWinServicePack', 'ignored without MinWinVersion'),
         ('error', 'Main', 'MinWinVer', 'did you mean MinWinVersion? As written'),
         ('error', 'Main', 'MinWindowsVersion', 'did you mean MinWinVersion?')),
    lint('MinWinVersion above 6.2', {'MinWinVersion': '10.0'}, None, 'product_v2', (),
         ('warning', 'Main', 'MinWinVersion', 'Windows 8.1, 10 and 11 present themselves')),
    lint('key given twice', {'MSIPATH': 'Other.msi'}, None, 'product_v2', (),
         ('warning', 'Main', 'MSIPATH', 'only the first counts')),
    lint('value over the read limit', {'MsiProp': 'A=' + 'x' * 2100}, None, 'product_v2', (),
         ('error', 'Main', 'MsiProp', 'cut after 2047 bytes')),
    lint('quotes stripped', {'MsiProp': '"A=1"'}, None, 'product_v2', (),
         ('warning', 'Main', 'MsiProp', 'quotes are removed: reads as A=1')),
    lint('package missing', {'MsiPath': 'Absent.msi'}, None, 'product_v2', (),
         ('error', 'Main', 'MsiPath', 'not in the distribution')),
    lint('package unreadable', {'MsiPath': 'notes.txt'}, None, 'product_v2', (),
         ('error', 'Main', 'MsiPath', 'cannot be read')),
    lint('operation type of a product', {'MsiType': 'Upgrade'}, None, 'product_v2', (),
         ('error', 'Main', 'MsiType', 'of a product')),
    lint('operation type of a patch', {'MsiPatch': '1'}, None, 'product_v2', (),
         ('error', 'Main', 'MsiType', 'of a patch')),
    lint('patch name that holds a path', {'MsiPatch': '1', 'MsiType': 'Minor', 'Name': r'..\evil'}, None, 'product_v2', (),
         ('warning', 'Main', 'Name', "named '.._evil Setup")),
    lint('64-bit package with Os32Need', {'Os32Need': '1'}, None, 'product_x64', (),
         ('error', 'Main', 'Os32Need', 'installs nowhere')),
    lint('LangId without transform', {'LangId': '1049'}, None, 'product_v2', (),
         ('warning', 'Main', 'LangId', 'no transform 1049.mst')),
    # The package's own language needs no transform.
    lint("package's language without transform", {'LangId': None}, None, 'product_v2', ('1033.mst',)),
    lint('invalid MinWinVersion', {'MinWinVersion': '6.x'}, None, 'product_v2', (),
         ('error', 'Main', 'MinWinVersion', 'refuses to run')),
    lint('invalid MinWinServicePack', {'MinWinServicePack': 'SP2'}, None, 'product_v2', (),
         ('error', 'Main', 'MinWinServicePack', 'refuses to run')),
    lint('prerequisite without Name', None, {'PreReq2': {'InstPath': '#Root#\\' + TOOL}}, 'product_v2', (),
         ('error', 'PreReq2', 'Name', 'skips this section')),
    lint('prerequisite number beyond 99', None, {'PreReq100': {'Name': 'Late', 'InstPath': '#Root#\\' + TOOL}},
         'product_v2', (), ('error', 'PreReq100', '', 'PreReq0 to PreReq99')),
    lint('more conditions than read', None, {'PreReq0': {'RegPath32': DETECT + r'\Level', 'RegCond32': 'DWORD=2'}},
         'product_v2', (), ('error', 'PreReq0', 'RegPath32', 'RegPath0 to RegPath31'),
         ('error', 'PreReq0', 'RegCond32', 'RegCond0 to RegCond31')),
    lint('condition without its path', None, {'PreReq0': {'RegCond1': 'DWORD=2'}}, 'product_v2', (),
         ('warning', 'PreReq0', 'RegCond1', 'other half of the pair, RegPath1,')),
    lint('path without its condition', None, {'PreReq0': {'RegCond': None}}, 'product_v2', (),
         ('warning', 'PreReq0', 'RegPath', 'other half of the pair, RegCond,')),
    # Without any condition left, the component is never installed.
    lint('no condition left', None, {'PreReq2': {'Name': 'Lone', 'InstPath': '#Root#\\' + TOOL, 'RegPath1': DETECT + r'\Level',
                                                'RegCondition': 'DWORD=1'}}, 'product_v2', (),
         ('error', 'PreReq2', 'RegCondition', 'did you mean RegCond?'),
         ('warning', 'PreReq2', 'RegPath1', 'RegCond1, is missing'), ('error', 'PreReq2', '', 'never installs it')),
    lint('invalid RegCond', None, {'PreReq0': {'RegCond0': 'DWORD>1'}}, 'product_v2', (),
         ('error', 'PreReq0', 'RegCond0', 'no operator')),
    lint('DWORD operand no number', None, {'PreReq0': {'RegCond0': 'DWORD>=abc', 'RegCond': 'dword=0x10'}},
         'product_v2', (), ('warning', 'PreReq0', 'RegCond', 'compares with 0'),
         ('warning', 'PreReq0', 'RegCond0', 'not a decimal number: compares with 0')),
    lint('invalid RegPath', None, {'PreReq0': {'RegPath': r'HKLM\Software\Vendor\Version'}}, 'product_v2', (),
         ('error', 'PreReq0', 'RegPath', 'unknown root key HKLM')),
    lint('invalid FileVer', None, {'PreReq0': {'FileVer': '5.x'}}, 'product_v2', (),
         ('warning', 'PreReq0', 'FileVer', 'reads as 5.0.0.0')),
    lint('invalid OSbit', None, {'PreReq0': {'OSbit': '64'}}, 'product_v2', (),
         ('warning', 'PreReq0', 'OSbit', 'restricts nothing')),
    lint('invalid OSver', None, {'PreReq0': {'OSver': '5.1'}}, 'product_v2', (),
         ('warning', 'PreReq0', 'OSver', 'not a decimal number: reads as 5')),
    lint('InstPath not in the distribution', None, {'PreReq0': {'InstPath': r'#Root#\absent.exe'}}, 'product_v2', (),
         ('error', 'PreReq0', 'InstPath', 'cannot be installed')),
    lint('checking tool not in the distribution', None, {'PreReq1': {'RunExeCond': r'#Root#\absent.exe --exit 1'}},
         'product_v2', (), ('error', 'PreReq1', 'RunExeCond', 'checking tool is not in the distribution')),
    lint("checking tool's answer ignored", None, {'PreReq1': {'Name': 'Agent'}}, 'product_v2', (),
         ('warning', 'PreReq1', 'RunExeCond', 'here it is ignored')),
    lint('unknown path macro', None, {'PreReq0': {'FilePath': r'#SystemRoot#\kernel32.dll'}}, 'product_v2', (),
         ('error', 'PreReq0', 'FilePath', '#SystemRoot# is no path macro')),
    lint('post-requisite after a gap', None, {'PostReq2': {'Name': 'Late', 'InstPath': '#Root#\\' + TOOL}},
         'product_v2', (), ('error', 'PostReq2', '', 'PostReq1 has no Name')),
    lint('section the setup does not read', None, {'PreRequisite0': {'Name': 'Typo'}}, 'product_v2', (),
         ('warning', 'PreRequisite0', '', 'does not read this section')),
    lint('exclusions that never match', None,
         {'DeploymentExcludeFolders': {'Folder1': 'Help', 'Folder2': '#Root#\\Help\\'},
          'DeploymentExcludeFiles': {'File1': r'#Root#\*.txt', 'File2': r'#Root#\absent.txt'}}, 'product_v2', (),
         ('warning', 'DeploymentExcludeFolders', 'Folder1', 'not a full path'),
         ('warning', 'DeploymentExcludeFolders', 'Folder2', 'ends in a backslash'),
         ('warning', 'DeploymentExcludeFiles', 'File1', 'wildcards'),
         ('warning', 'DeploymentExcludeFiles', 'File2', 'names nothing')),
    # Read otherwise without a word; a deployment without its licence; a design of major upgrades.
    lint('comments after values', None, {'PreReq0': {'InstPath': '#Root#\\%s ; the runtime' % TOOL,
                                                     'RegCond': 'VERSION>=3.2 ; Runtime 3.2 or later'}}, 'product_v2', (),
         ('warning', 'PreReq0', 'InstPath', "names the file '#Root#\\%s ; the runtime'" % TOOL),
         ('warning', 'PreReq0', 'RegCond', 'reads as version 3.2.2'), ('error', 'PreReq0', 'InstPath', 'cannot be installed')),
    lint('UTF-8 without a mark', None, {'PreReq1': {'Name': 'Stavora Prüfung'}}, 'product_v2', (),
         ('warning', 'PreReq1', 'Name', "code page 1252: this reads as 'Stavora PrÃ¼fung'"), encoding='utf-8'),
    lint('renamed program', None, None, 'product_v2', (), ('error', '', '', 'no setup.exe: a setup program reads the ini '
                                                           'of its own base name (the folder holds '), program='Notes.exe'),
    lint('no licence for the deployment', None, None, 'product_v2', ('License.rtf',),
         ('warning', 'Main', 'LicenseFile', 'the start screen offers the deployment')),
    lint('wizard keys', {'DeploymentLogPage': '0', 'DeploymentSettingsPage': '0', 'LicenseFile': 'Terms.rtf'}, None,
         'product_v2', (), ('warning', 'Main', 'LicenseFile', 'no licence agreement')),
    lint('major-upgrade package', None, None, 'product_v2_major', (), ('note', 'Main', 'MsiPath', 'go by ProductCode')),
    lint('comment after an exclusion', None, {'DeploymentExcludeFiles': {'File0': r'#Root#\notes.txt ; old notes'}},
         'product_v2', (), ('warning', 'DeploymentExcludeFiles', 'File0', 'a comment belongs on a line of its own')),
    # Folders the walk must neither follow for ever nor pass over in silence.
    lint('links to its own folder', None, None, 'product_v2', (), ('warning', '', '', 'met before'),
         ('warning', '', '', 'met before'), prepare=links_to_itself),
    lint('folder that cannot be listed', None, None, 'product_v2', (), ('error', '', '', 'cannot be listed'),
         prepare=lambda dist: h.no_access(dist.path('Locked'))),
    lint('package path of 260 characters', {'MsiPath': '.\\' * 125 + 'Sample Product.msi'}, None, 'product_v2', (),
         ('error', 'Main', 'MsiPath', '260 characters or more')),
]


def changed(base, changes):
    return {key: value for key, value in dict(base, **changes).items() if value is not None}


def distcheck(dist, *options):
    """The checker's JSON report of the distribution and its exit code."""
    done = h.wine([DISTCHECK, '--json', *options, h.winpath(dist.dir)])
    return json.loads(done.stdout), done.returncode


class Lint(unittest.TestCase):
    def test_each_mistake_gets_its_finding(self):
        for name, main, sections, package, drop, expected, prepare, program, encoding in LINTS:
            with self.subTest(name):
                dist = h.Distribution(name)
                dist.add(h.package(package).path, 'Sample Product.msi')
                dist.add(h.COMPONENT_TOOL, TOOL)
                for path, text in FILES.items():
                    if path not in drop:
                        os.makedirs(os.path.dirname(dist.path(path)), exist_ok=True)
                        dist.add_file(path, text)
                dist.write_ini(changed(MAIN, main), {section: changed(SECTIONS.get(section, {}), keys)
                                                     for section, keys in dict(SECTIONS, **sections).items()}, encoding)
                if prepare:
                    prepare(dist)
                if program:
                    os.replace(dist.exe, dist.path(program))
                report, code = distcheck(dist)
                got = [(f['severity'], f['section'], f['key'], f['reason']) for f in report['findings']]
                self.assertEqual([g[:3] for g in got], [e[:3] for e in expected], got)
                for (*_, reason), (*_, part) in zip(got, expected):
                    self.assertIn(part, reason)
                severities = {e[0] for e in expected}
                self.assertEqual(code, 2 if 'error' in severities else int('warning' in severities))
                self.assertEqual((report['errors'], report['exitCode']),
                                 (sum(e[0] == 'error' for e in expected), code))

    def test_table_and_usage(self):
        dist = h.Distribution('table')
        dist.add(h.COMPONENT_TOOL, TOOL)
        # A key no terminal line holds, an escape sequence, a checking tool that never ends.
        dist.write_ini({'MsiPth': 'Sample Product.msi', 'K' * 100000: 'A=\x1b[2J'},
                       {'PreReq0': {'Name': 'Hang', 'InstPath': '#Root#\\' + TOOL,
                                    'RunExeCond': '"#Root#\\%s" --sleep 3600000' % TOOL}})
        done = h.wine([DISTCHECK, '--dry-run', h.winpath(dist.exe)])
        self.assertEqual(done.returncode, 2, done.stdout)
        self.assertRegex(done.stdout, r'warning +Main +MsiPth +Sample Product\.msi +the setup does not know this key: '
                                      r'did you mean MsiPath\?')
        self.assertRegex(done.stdout, r'error +Main +MsiPath +no package named')
        self.assertRegex(done.stdout, r'error +PreReq0 +RunExeCond +.* did not end within 30 seconds')
        self.assertIn(r'A=\x1B[2J', done.stdout)
        self.assertEqual([l for l in done.stdout.splitlines() if len(l) > 400 or '\x1b' in l], [])
        self.assertIn('K' * 100000, [f['key'] for f in distcheck(dist)[0]['findings']])
        self.assertEqual(h.wine([DISTCHECK, '--bogus', h.winpath(dist.dir)]).returncode, 2)
        # A console shows the characters themselves (its code page has no Cyrillic), a file UTF-8.
        dist = h.Distribution('консоль')
        console = h.Process(h.winpath(DISTCHECK), '"%s"' % h.winpath(dist.dir), console=True)
        self.assertEqual(console.wait(), 2)
        self.assertEqual(console.output.split(), h.wine([DISTCHECK, h.winpath(dist.dir)]).stdout.split())
        self.assertIn(dist.dir.replace('/', '\\'), console.output)

    def test_the_readme_example_is_clean(self):
        with open(os.path.join(h.REPO, 'README.md'), encoding='utf-8') as f:
            ini = re.search(r'<!-- example setup.ini -->\n```ini\n(.*?)```', f.read(), re.S).group(1)
        dist = h.Distribution('readme example')
        dist.add(h.package('product_v2').path, 'Example Product.msi')
        for path in ('Redist/runtime_setup.exe', 'Redist/install_codec.bat', 'Redist/Sources/runtime.txt'):
            os.makedirs(os.path.dirname(dist.path(path)), exist_ok=True)
            dist.add_file(path, 'an installer')
        dist.add_file('setup.ini', ini.replace('\n', '\r\n'))
        self.assertEqual(distcheck(dist), ({'distribution': h.winpath(dist.exe), 'exitCode': 0, 'errors': 0,
                                            'warnings': 0, 'notes': 0, 'findings': []}, 0))

    def test_what_the_setup_cannot_read(self):
        text = '[Main]\r\nMsiPath=Sample Product.msi\r\n'
        for name, ini, reason in [
            ('no folder', None, 'no such folder'),
            ('ini is a folder', 'folder', 'a folder, not a file'),
            ('ini nobody may read', 0, "cannot be read, Error(5) 'Access denied.'"),
            ('utf-8 with a mark', b'\xef\xbb\xbf' + text.encode(), 'UTF-8 with a byte-order mark'),
            ('utf-16 big-endian', b'\xfe\xff' + text.encode('utf-16-be'), 'UTF-16 big-endian'),
            ('utf-16 without a mark', text.encode('utf-16-le'), 'UTF-16 without a byte-order mark'),
        ]:
            with self.subTest(name):
                dist = h.Distribution(name)
                if ini is None:
                    dist.dir = dist.path('absent')
                elif ini == 'folder':
                    os.makedirs(dist.path('setup.ini'))
                elif ini == 0:
                    h.no_access(dist.add_file('setup.ini', text))
                else:
                    dist.add_file('setup.ini', ini)
                report, code = distcheck(dist)
                self.assertEqual(([f['severity'] for f in report['findings']], code), (['error'], 2), report)
                self.assertIn(reason, report['findings'][0]['reason'])


# (record, the verdict on the prepared machine, a part of the condition that decides)
RECORDS = [
    ({'Name': 'Registry Present', 'RegPath': DETECT + r'\Level', 'RegCond': 'DWORD>=2'}, 'present', 'DWORD>=2'),
    ({'Name': 'Registry Missing', 'RegPath': DETECT + r'\Level', 'RegCond': 'DWORD>=4', 'RegPath0': DETECT + r'\No',
      'RegCond0': 'STRING=x'}, 'missing', 'DWORD>=4 or '),
    ({'Name': 'File Present', 'FilePath': r'#Root#\lib2000.dll', 'FileVer': '2.0.0.0'}, 'present', 'FileVer=2.0.0.0'),
    ({'Name': 'File Too Old', 'FilePath': r'#Root#\lib2000.dll', 'FileVer': '2.0.0.1', 'RegPath': DETECT + r'\Level',
      'RegCond': 'DWORD>=2'}, 'missing', 'FilePath='),
    ({'Name': 'Stavora Current', 'RunExeCond': '"#Root#\\%s" --exit 1' % TOOL}, 'present', 'RunExeCond='),
    ({'Name': 'Stavora Outdated', 'RunExeCond': '"#Root#\\%s" --print outdated --exit 3' % TOOL}, 'missing',
     '(outdated)'),
    ({'Name': 'Later Windows', 'OSver': '1000'}, 'not-applicable', 'OSver=1000'),
    ({'Name': 'Installed Product', 'MsiProd': '1', 'InstPath': r'#Root#\component.msi'}, 'present', 'MsiProd'),
    ({'Name': 'Absent Product', 'MsiProd': '1', 'InstPath': r'#Root#\other.msi'}, 'missing', 'MsiProd'),
]


class DryRun(h.Scenario):
    products = (h.SAMPLE_CODE, h.package('prereq_component').code)
    keys = ((DETECT_KEY, 32),)

    def test_verdicts_are_the_setups(self):
        def machine(dist):
            h.reg_set(DETECT_KEY, 'Level', 3, 'REG_DWORD')
            h.install('prereq_component')
            dist.add(h.COMPONENT_TOOL, TOOL)
            dist.add(os.path.join(h.FIXTURES, 'versioned_2_0_0_0.dll'), 'lib2000.dll')
            dist.add(h.package('prereq_component').path, 'component.msi')
            dist.add(h.package('product_v1').path, 'other.msi')

        def compare(test, dist, log):
            report, _ = distcheck(dist, '--dry-run')
            verdicts = [(d['section'], d['name'], d['verdict']) for d in report['detection']]
            test.assertEqual(verdicts, [('PreReq%d' % n, r['Name'], verdict) for n, (r, verdict, _) in enumerate(RECORDS)]
                             + [('PostReq0', 'Readme', 'runs-after')])
            for detection, (_, _, decided) in zip(report['detection'], RECORDS):
                test.assertIn(decided, detection['condition'])
            own = log.own
            start = own.index('Installing prerequisites passively:') + 1
            listed = [line[2:] for line in own[start:own.index('Try install prerequisites:')]]
            test.assertEqual(listed, [name for _, name, verdict in verdicts if verdict == 'missing'], log.dump())

        records = [dict({'InstPath': '#Root#\\' + TOOL, 'InstParams': RUN_TOOL}, **r) for r, _, _ in RECORDS]
        self.run_case(h.Case('dry run', package='product_v2_ia64', exit=3, prepare=machine, then=compare,
                             sections=dict(h.requisites('PreReq', records), PostReq0={'Name': 'Readme', 'InstPath': '#Root#\\' + TOOL,
                                                                                       'InstParams': RUN_TOOL})))


if __name__ == '__main__':
    unittest.main()
