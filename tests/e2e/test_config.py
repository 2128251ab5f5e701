"""Setup configuration: the setup ini beside the program, the language transform chosen by the
ini or the user's language, and the minimum Windows version against what Wine reports (a
per-program Wine setting)."""

import os

import harness as h
from harness import INSTALLATION_ERROR, INTERNAL_ERROR, NO_ADDRESS, NO_TRANSFORM, Box, Case

REFUSED = ['', '', 'MsiInstallProduct returned 1633', INTERNAL_ERROR, h.failed(1633), NO_ADDRESS]
VERSIONS = {'winxp': 'setup-xp.exe', 'win7': 'setup-7.exe', 'win10': 'setup-10.exe'}
SERVICE_PACK = 'Servi\u0441e Pack'


def transforms(*languages):
    """A distribution step that lays out transforms: the engine never reads them, as it refuses
    the Itanium package first; where they would go shows in the lines and the command line."""
    return lambda dist: [dist.add_file('%d.mst' % language, 'a transform') for language in languages]


def calling(properties):
    return "Calling MsiInstallProduct with command line: '%s'" % properties


def user(locale):
    return {'LANG': locale, 'LC_ALL': locale}


def too_old(windows):
    return "Can't  itstall product.\r\nProduct can installed on %s and above." % windows


class Configuration(h.Scenario):
    @classmethod
    def setUpClass(cls):
        for version, exe in VERSIONS.items():
            h.reg_set(r'HKCU\Software\Wine\AppDefaults\%s' % exe, 'Version', version)

    @classmethod
    def tearDownClass(cls):
        for exe in VERSIONS.values():
            h.reg_delete(r'HKCU\Software\Wine\AppDefaults\%s' % exe)

    def test_language_transforms(self):
        ru, en = r'{dist}\1049.mst', r'{dist}\1033.mst'
        for case in [
            # The lines before the engine come from the Itanium copy, which it refuses unread.
            Case('ini language', '/i /quiet A=1', package='product_v2_ia64', ini={'LangId': 1049},
                 prepare=transforms(1049, 1033), exit=3,
                 lines=['UILevel is set to 2', 'LangId 1049 is set from ini file', 'LangId transform is ' + ru,
                        calling('A=1 TRANSFORMS="%s"' % ru), *REFUSED]),
            # Without public properties the transform's text still begins with its blank.
            Case('ini language alone', package='product_v2_ia64', ini={'LangId': 1049}, prepare=transforms(1049),
                 exit=3, head=['UILevel is set to 2', 'LangId 1049 is set from ini file', 'LangId transform is ' + ru,
                               calling(' TRANSFORMS="%s"' % ru)]),
            # The ini's language has no fallback.
            Case('ini language missing', '/i /quiet A=1', package='product_v2_ia64', ini={'LangId': 1049},
                 prepare=transforms(1033), exit=3,
                 head=['UILevel is set to 2', 'LangId 1049 is set from ini file', 'LangId transform not found',
                       calling('A=1')]),
            # The user's language falls back to its primary language with the default sub-language.
            Case('user language', '/i /quiet A=1', package='product_v2_ia64', env=user('en_GB.UTF-8'),
                 prepare=transforms(1033), exit=3,
                 head=['UILevel is set to 2', 'User LangId is 2057',
                       'Language transform for LangId 2057 not found, trying primary language',
                       'Primary LangId is 1033', 'LangId transform is ' + en, calling('A=1 TRANSFORMS="%s"' % en)]),
            Case('user language missing', '/i /quiet A=1', package='product_v2_ia64', env=user('ru_RU.UTF-8'),
                 prepare=transforms(1033), exit=3,
                 head=['UILevel is set to 2', 'User LangId is 1049',
                       'Language transform for LangId 1049 not found, trying primary language', 'Primary LangId is 1049',
                       'Primary LangId transform not found', calling('A=1')]),
            # An administrative install takes no transform.
            Case('administrative install', r'/a "C:\Admin Image"', package='product_v2_ia64', ini={'LangId': 1049},
                 prepare=transforms(1049), exit=3,
                 head=['UILevel is set to 5', calling(' TARGETDIR="C:\\Admin Image" ACTION=ADMIN')]),
        ]:
            self.run_case(case)

    def test_ini_file(self):
        for case in [
            # The ini is ANSI text in the code page of the package's language (1252 here).
            Case('ansi package name', ini={'MsiPath': 'Prodotto è.msi'},
                 prepare=lambda d: d.add(h.package('product_v2').path, 'Prodotto è.msi'), tail=['Setup complete']),
            # Saved as Unicode (UTF-16LE after its byte-order mark), as editors offer it: read as it
            # stands, names beyond the package's code page included.
            Case('unicode ini', ini={'MsiPath': 'Продукт ☃.msi', 'AdminNeed': 0}, encoding='utf-16',
                 prepare=lambda d: d.add(h.package('product_v2').path, 'Продукт ☃.msi'), tail=['Setup complete']),
            # Public properties from the ini when the command line has none.
            Case('properties from the ini', '/i /passive', ini={'MsiProp': 'FROM_INI=yes'},
                 engine=['Property(S): FROM_INI = yes', 'Property(S): UILevel = 3']),
        ]:
            self.run_case(case)

    def test_windows_version(self):
        def passes(version, **ini):
            return Case('%s passes %s' % (version, ini), package='product_v2_ia64', exe=VERSIONS[version], ini=ini,
                        exit=3, tail=REFUSED[2:])

        def refused(version, message, **ini):
            return Case('%s refuses %s' % (version, ini), '/i', exe=VERSIONS[version], ini=ini, exit=3,
                        boxes=[Box(INSTALLATION_ERROR, message, buttons=['OK'])], lines=['UILevel is set to 5'])

        def refused_quietly(version, **ini):
            return Case('%s refuses quietly %s' % (version, ini), exe=VERSIONS[version], ini=ini, exit=3,
                        lines=['UILevel is set to 2'])

        for case in [
            passes('winxp', MinWinVersion='5.1', MinWinServicePack='2'),
            passes('winxp', MinWinVersion=' 5 . 1 . 2600 ', MinWinServicePack='3.0'),
            refused('winxp', too_old("'Windows XP' (%s 4)" % SERVICE_PACK), MinWinVersion='5.1', MinWinServicePack='4'),
            refused('winxp', too_old("'Windows 7'"), MinWinVersion='6.1'),
            passes('win7', MinWinVersion='6.1', MinWinServicePack='1'),
            passes('win7', MinWinVersion='5.1', MinWinServicePack='3'),
            refused_quietly('win7', MinWinVersion='6.1', MinWinServicePack='1.1'),
            refused('win7', too_old("'Windows 8'"), MinWinVersion='6.2'),
            refused('win7', 'Needs Windows 10.\nSorry.', MinWinVersion='10', MinWinMessage=r'Needs Windows 10.\nSorry.'),
            # The manifest names no supported systems: Windows 10 presents itself as Windows 8.
            passes('win10', MinWinVersion='6.2'),
            refused_quietly('win10', MinWinVersion='6.3', MinWinServicePack='0'),
            refused('win10', too_old("'Windows 10'"), MinWinVersion='10.1'),
            # An invalid value is logged and reported as an internal error.
            Case('invalid version', '/i', exe=VERSIONS['win10'], ini={'MinWinVersion': '6.x', 'MinWinServicePack': '1'},
                 exit=3, boxes=[Box(INSTALLATION_ERROR, INTERNAL_ERROR + "\r\nLog file:\r\n'{log}'")],
                 lines=['UILevel is set to 5', "CheckWinVersion() failed. Invalid version '6.x' in variable 'MinWinVersion'."]),
            Case('invalid service pack', exe=VERSIONS['win10'], ini={'MinWinVersion': '6.2', 'MinWinServicePack': '1.y'},
                 exit=3, lines=['UILevel is set to 2',
                                "CheckWinVersion() failed. Invalid version '1.y' in variable 'MinWinServicePack'."]),
        ]:
            self.run_case(case)
