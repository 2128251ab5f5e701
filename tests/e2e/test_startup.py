"""Start-up and run control: the command line, the driver's refusals, the setup log and the
process guards, each case a run of the shipped setup.exe; and the rule that a library planted
beside the program never runs."""

import os

import harness as h
from harness import INTERNAL_ERROR, NO_ADDRESS, NO_TRANSFORM, SAMPLE_TITLE, Box, Case

USAGE = Box('Usage Info', (
    "Usage:\n   setup.exe /option [optional parameter]\n\nInstall Options\n   /i\tPerform an install.\n"
    "   /a <full path to administrative install>\n\tPerform an administrative install.\n\n"
    "Display Options\n   /quiet\n\tQuiet mode, no user interaction\n   /passive\n"
    "\tUnattended mode - progress bar only\n\nSetting Public Properties\n   PROPERTY=PropertyValue\n\n"
    "Example: setup.exe /i /passive ABC=DEF"), buttons=['OK'])
PROCESSOR = 'This installation package is not supported by this processor type.'
ALREADY_RUNNING = "Installation or deployment of product 'Sample Product' already run."
ITANIUM_END = ['', '', 'MsiInstallProduct returned 1633', INTERNAL_ERROR, h.failed(1633), NO_ADDRESS]


def cant_read(path):
    return "Can't read installation property from file:\n'%s'." % path


def bad_type(value):
    return "The setup was authored with an incorrect operation type '%s' and cannot continue." % value


class CommandLineAndRefusals(h.Scenario):
    products = (h.SAMPLE_CODE, '{DF32FEE7-A7F7-42A2-AAC3-520FDA5F0D17}', '{7E8E813F-35B2-43A0-AC06-075AE02F7A7B}')

    def test_cases(self):
        for case in [
            # A bad first option (/I is not /i) shows the usage box at once; switch names after it ignore case.
            *[Case('usage ' + args, args, boxes=[USAGE], exit=3, log=None)
              for args in ('/I', '/install', '/passive /i', '/x /quiet')],
            *[Case('switch ' + args, args, package='product_v2_ia64', exit=3, head=['UILevel is set to %d' % level])
              for args, level in (('/i /QUIET', 2), ('/i /Passive', 67), ('/i -Quiet', 2))],
            # /a takes exactly one folder: without it, or with more, the usage box after the log began.
            Case('admin alone', '/a', boxes=[USAGE], exit=3, lines=['UILevel is set to 5']),
            Case('admin and more', r'/a C:\Adm /passive', boxes=[USAGE], exit=3, lines=['UILevel is set to 67']),
            # The image goes to the quoted folder at the basic level, with no transform; the
            # engine refuses the Itanium copy before it writes, so the lines stay whole.
            Case('admin image', r'/a "C:\Admin Image"', package='product_v2_ia64', exit=3, lines=[
                'UILevel is set to 5',
                'Calling MsiInstallProduct with command line: \' TARGETDIR="C:\\Admin Image" ACTION=ADMIN\'',
                *ITANIUM_END]),
            # Wine 8's engine has no administrative action: 1626, reported like any failure.
            Case('admin image of the real package', r'/a "C:\Admin Image"', exit=3,
                 tail=['MsiInstallProduct returned 1626', INTERNAL_ERROR, h.failed(1626), NO_ADDRESS]),
            # Both builds start and log every step up to the engine's refusal of the package.
            *[Case('both builds ' + arch, '/i /quiet A=1 B="x y"', package='product_v2_ia64', program=program,
                   exit=3, lines=['UILevel is set to 2', *NO_TRANSFORM,
                                  'Calling MsiInstallProduct with command line: \'A=1 B="x y"\'', *ITANIUM_END],
                   skip=h.ONLY_32_BIT if arch == 'i686' and h.ARCH != 'i686' else None)
              for arch, program in h.BUILDS.items()],
            # A property beyond the length the setup passes ends the properties, and says so.
            Case('overlong property', '/i /quiet A=1 B=%s C=3' % ('x' * 2030), package='product_v2_ia64', exit=3,
                 lines=['UILevel is set to 2', "Public properties not passed from 'B=%s...' on: it is longer than 1038 "
                        "characters." % ('x' * 30), *NO_TRANSFORM, "Calling MsiInstallProduct with command line: 'A=1'",
                        *ITANIUM_END]),
            # A package that cannot be read: a box with no caption yet, at every level; no log.
            Case('unreadable package', prepare=lambda d: d.add_file('Sample Product.msi', 'not a database'),
                 boxes=[Box('', cant_read(r'{dist}\Sample Product.msi'))], exit=3, log=None),
            # A package path the engine is not given (it may crash on one): refused as one it cannot read.
            Case('package path of 260 characters', ini={'MsiPath': '.\\' * 125 + 'Sample Product.msi'}, exit=3, log=None,
                 boxes=[Box('', cant_read('{dist}\\' + '.\\' * 125 + 'Sample Product.msi'))]),
            # Windows starts no program whose path reaches MAX_PATH (260 characters), nor does Wine:
            # at 259 the program, its ini (as long) and its package are all found.
            *[Case('program path of %d characters' % n, exe='s' * (n - len(h.winpath(h.RUNS)) - 45) + '.exe',
                   **(dict(tail=['Setup complete']) if n < 260 else dict(exit=None, log=None)))
              for n in (259, 260, 261, 300)],
            # Without its ini, MsiPath reads as empty and the program's own folder is no package.
            Case('no ini', exe='MySetup.exe', ini=None, boxes=[Box('', cant_read('{dist}\\'))], exit=3, log=None),
            # A refusal is logged below the full level and shown at it.
            Case('bad operation type', ini={'MsiType': 'Patch'}, exit=3, lines=['UILevel is set to 2', bad_type('Patch')]),
            Case('bad operation type shown', '/i', ini={'MsiType': 'Patch'}, exit=3,
                 boxes=[Box(SAMPLE_TITLE, bad_type('Patch'))]),
            Case('operation type in any case', ini={'MsiType': 'installupgrade'}, tail=['Setup complete']),
            Case('32-bit Windows wanted', '/i /passive', ini={'Os32Need': 1}, exit=3,
                 lines=['UILevel is set to 67', PROCESSOR]),
            Case('32-bit Windows wanted shown', '/i', ini={'Os32Need': 1}, exit=3, boxes=[Box(SAMPLE_TITLE, PROCESSOR)]),
            # The program installs a 64-bit package on 64-bit Windows, the 32-bit one too.
            Case('64-bit package', package='product_x64', log='Sample Product x64 Setup (*).log',
                 then=lambda t, d, l: t.assertEqual(h.reg_query(h.package('product_x64').reg_key, 'Version', 64),
                                                    '1.0.0')),
            # A product name no file may carry, and no neutral one: '?' becomes '$' in the log name.
            Case('log name', package='product_question', log='What$Product Setup (*).log', tail=['Setup complete']),
        ]:
            self.run_case(case)

    def test_the_usage_box_speaks_the_users_language(self):
        for locale, low, high in (('ru_RU.UTF-8', '\u0400', '\u04ff'), ('ja_JP.UTF-8', '\u3000', '\u9fff')):
            with self.subTest(locale):
                dist = h.Distribution('usage-' + locale)
                setup = h.Process(dist.exe, '/I', env=h.wine_env({'LANG': locale, 'LC_ALL': locale}))
                box = h.wait_window(contains='')
                self.assertTrue(any(low <= c <= high for c in box.title + box.message), box)
                self.assertIn('setup.exe /i /passive ABC=DEF', box.message)
                h.click(box.title, box.buttons[0])
                self.assertEqual(setup.wait(), 3)
        # No German texts: the language-neutral English ones.
        self.run_case(Case('usage de', '/I', env={'LANG': 'de_DE.UTF-8', 'LC_ALL': 'de_DE.UTF-8'}, boxes=[USAGE],
                           exit=3, log=None))

    def test_one_setup_per_product_at_a_time(self):
        h.install('product_v1')
        first = h.Process(self.sample('first').exe, '/i')
        # The first run holds its product's mutex while it asks about the upgrade.
        h.wait_window(SAMPLE_TITLE)
        second = self.sample('second')
        self.assertEqual(h.run_program(second.exe, '/i /quiet'), 3)
        self.assertIn(ALREADY_RUNNING, h.the_log().own)
        shown = h.Process(second.exe, '/i')
        self.answer(Box(h.INSTALLATION_ERROR, "Installation 'Sample Product' already run.", buttons=["OK"]), second)
        self.assertEqual(shown.wait(), 3)
        # Another product's setup is not held up.
        other = h.Distribution('other')
        other.add(h.package('product_question').path, 'q.msi')
        other.write_ini({'MsiPath': 'q.msi'})
        self.assertEqual(h.run_program(other.exe, '/i /quiet'), 0)
        h.click(SAMPLE_TITLE, 'No')
        self.assertEqual(first.wait(), 0)
        # Once the first run has ended, the product's setup runs again.
        self.assertEqual(h.run_program(second.exe, '/i /quiet'), 0)
        self.assertEqual(h.reg_query(h.package('product_v2').reg_key, 'Version'), '2.1.0')

    def sample(self, name):
        dist = h.Distribution(name)
        dist.add(h.package('product_v2').path, 'Sample Product.msi')
        dist.write_ini({'MsiPath': 'Sample Product.msi'})
        return dist


class PlantedLibraries(h.Scenario):
    """Wine is told to prefer native copies of libraries Windows does not protect, as Windows'
    own search order would; none of those planted beside setup.exe may run."""
    PLANTED = ('msi', 'version', 'uxtheme', 'dwmapi', 'comctl32', 'riched20', 'mapi32', 'cabinet', 'propsys',
               'wintrust')

    def test_no_planted_library_runs_during_an_install_with_windows(self):
        """With the start screen too: the engine is the one library taken from beside the program."""
        marks = os.path.join(h.RUNS, 'marks-%d.txt' % os.getpid())
        env = {'MARKER_FILE': h.winpath(marks)}

        def plant(dist):
            for name in self.PLANTED:
                dist.add(os.path.join(h.BUILD, 'tests', 'fixtures', 'marker.dll'), name + '.dll')
            dist.add(h.ENGINE, 'htmlayout.dll')

        upgrade = Box(SAMPLE_TITLE, 'Older version of this product is already installed. Do you want to upgrade it?',
                      'Yes')
        for args, boxes in (('/i', [upgrade]), ('', [h.on_start_screen(h.START_INSTALL), upgrade])):
            self.run_case(Case('planted ' + args, args, installed='product_v1', prepare=plant, env=env,
                               overrides=','.join(self.PLANTED) + '=n,b', boxes=boxes,
                               then=lambda t, d, l: t.assertFalse(os.path.exists(marks))))
        # The marker works: a careless program in the same folder does load it.
        probe = h.Distribution('probe', 'probe.exe', h.UIDRIVER)
        plant(probe)
        h.run_program(probe.exe, 'loadlib mapi32.dll', env=h.wine_env(env, 'mapi32=n,b'))
        self.assertTrue(os.path.exists(marks))
