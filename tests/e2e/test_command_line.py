"""The command line and the refusals before any installation: usage box, administrative image,
unreadable package, bad operation type, missing ini, names that can't be file names."""

import os
import shutil

import harness as h
from scenario import (SAMPLE, SAMPLE_TITLE, USAGE_CAPTION, USAGE_TEXT, Scenario,
                      bad_operation_type, cant_read_package, sample_distribution)


class UsageBox(Scenario):
    def answer_usage(self, dist, args):
        setup = h.start_setup(dist, args)
        box = h.wait_window(USAGE_CAPTION, cls='#32770', timeout=60)
        self.assertEqual(box.message, USAGE_TEXT)
        self.assertEqual(box.buttons(), ['OK'])
        h.click(USAGE_CAPTION, button='OK', cls='#32770')
        return setup.wait()

    def test_unknown_first_options_show_usage_before_anything_else(self):
        dist = sample_distribution('usage')
        for args in ('/I', '/install', '/passive /i', '/x /quiet'):
            with self.subTest(args=args):
                self.assertEqual(self.answer_usage(dist, args), 3)
        # Nothing was read: no log was begun.
        self.assertEqual(h.find_logs(), [])

    def test_texts_follow_the_users_language(self):
        dist = sample_distribution('language')
        cases = (('ru_RU.UTF-8', '\u0400', '\u04ff'), ('ja_JP.UTF-8', '\u3000', '\u9fff'),
                 ('de_DE.UTF-8', None, None))
        for locale, low, high in cases:
            with self.subTest(locale=locale):
                env = h.wine_env(extra={'LANG': locale, 'LC_ALL': locale})
                setup = h.start_setup(dist, '/I', env=env)
                box = h.wait_window(title_contains='', cls='#32770', process='setup.exe', timeout=60)
                if low is None:
                    # No German texts: the language-neutral English ones.
                    self.assertEqual((box.title, box.message), (USAGE_CAPTION, USAGE_TEXT))
                else:
                    self.assertTrue(any(low <= c <= high for c in box.title), box.title)
                    self.assertTrue(any(low <= c <= high for c in box.message), box.message)
                    # Options and the example stay as they are typed.
                    self.assertIn('setup.exe /i /passive ABC=DEF', box.message)
                h.click(box.title, button=box.buttons()[0], cls='#32770')
                self.assertEqual(setup.wait(), 3)

    def test_admin_option_without_folder_shows_usage_after_the_log_began(self):
        dist = sample_distribution('admin-usage')
        self.assertEqual(self.answer_usage(dist, '/a'), 3)
        self.assertEqual(self.answer_usage(dist, '/a C:\\Adm /passive'), 3)
        log = self.the_log()
        self.assertIntactLog(log)
        self.assertOwnLines(log, ['UILevel is set to 5', 'UILevel is set to 67'])


class AdministrativeImage(Scenario):
    def test_engine_is_asked_for_an_image_in_the_quoted_folder(self):
        # The engine refuses this Itanium copy before it writes to the log, so the program's
        # lines around the call stay whole.
        dist = sample_distribution('admin-lines', fixture='product_v2_ia64.msi')
        self.assertEqual(h.run_setup(dist, '/a "C:\\Admin Image"').exit_code, 3)
        log = self.the_log()
        self.assertIntactLog(log)
        self.assertEqual(log.stripped()[:5], [
            'UILevel is set to 5',
            'Calling MsiInstallProduct with command line: \' TARGETDIR="C:\\Admin Image" ACTION=ADMIN\'',
            '', '',
            'MsiInstallProduct returned 1633',
        ], log.dump())

    def test_image_of_the_real_package(self):
        target = h.drive_c('Admin Image')
        shutil.rmtree(target, ignore_errors=True)
        dist = sample_distribution('admin')
        run = h.run_setup(dist, '/a "C:\\Admin Image"')
        log = self.the_log()
        self.assertTrue(any(line.endswith(': ADMIN.') and line.startswith('Action start')
                            for line in log.engine_lines), log.dump())
        self.assertEqual(h.product_state(SAMPLE.product_code), h.INSTALLSTATE_UNKNOWN)
        if run.exit_code == 0:
            self.assertTrue(os.path.isfile(os.path.join(target, 'Sample Product.msi')))
            self.assertEqual(log.stripped()[-1], 'Setup complete')
        else:
            # Wine 8's msi.dll has no administrative action and answers 1626; the answer is
            # reported like any other failure.
            self.assertEqual(run.exit_code, 3)
            self.assertIn('MsiInstallProduct returned 1626', log.stripped(), log.dump())


class Refusals(Scenario):
    def test_unreadable_package_is_shown_at_every_level(self):
        dist = sample_distribution('unreadable')
        dist.add_file('Sample Product.msi', 'not a database')
        package = h.winpath(dist.path('Sample Product.msi'))
        setup = h.start_setup(dist, '/i /quiet')
        # The title is not known yet: the box has an empty caption.
        box = h.wait_window('', cls='#32770', timeout=60)
        self.assertEqual(box.message, cant_read_package(package))
        h.click('', button='OK', cls='#32770')
        self.assertEqual(setup.wait(), 3)
        self.assertEqual(h.find_logs(), [])

    def test_bad_operation_type_is_logged_below_full_level_and_shown_at_it(self):
        dist = sample_distribution('msitype', MsiType='Patch')
        self.assertEqual(h.run_setup(dist, '/i /quiet').exit_code, 3)
        log = self.the_log()
        self.assertOwnLines(log, ['UILevel is set to 2', bad_operation_type('Patch')])
        setup = h.start_setup(dist, '/i')
        box = h.wait_window(SAMPLE_TITLE, cls='#32770', timeout=60)
        self.assertEqual(box.message, bad_operation_type('Patch'))
        h.click(SAMPLE_TITLE, button='OK', cls='#32770')
        self.assertEqual(setup.wait(), 3)
        # Other spellings of the valid types pass.
        dist = sample_distribution('msitype-ok', MsiType='installupgrade')
        self.assertEqual(h.run_setup(dist, '/i /quiet').exit_code, 0)

    def test_without_ini_a_product_setup_stops_at_its_package(self):
        # No ini: MsiPath reads as empty, and the program's own folder is no package.
        dist = h.Distribution('no-ini', exe_name='MySetup.exe')
        dist.add_package('product_v2', 'Sample Product.msi')
        setup = h.start_setup(dist, '/i /quiet')
        box = h.wait_window('', cls='#32770', timeout=60)
        self.assertEqual(box.message, cant_read_package(h.winpath(dist.dir) + '\\'))
        h.click('', button='OK', cls='#32770')
        self.assertEqual(setup.wait(), 3)

    def test_question_mark_in_the_product_name_makes_a_dollar_in_the_log_name(self):
        dist = sample_distribution('question', fixture='product_question',
                                   package_name='question.msi')
        self.products = (h.QUESTION_CODE,)
        self.assertEqual(h.run_setup(dist, '/i /quiet').exit_code, 0)
        logs = h.find_logs('What$Product Setup (*).log')
        self.assertEqual(len(logs), 1, os.listdir(h.temp_dir()))


if __name__ == '__main__':
    import unittest
    unittest.main()
