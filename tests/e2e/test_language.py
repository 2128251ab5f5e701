"""The language transform: chosen by the ini or by the user's language with its fallback, found
beside the program, and applied by Wine's Windows Installer (the transforms are authored by
msi_author: 1049.mst installs a Russian product name, 1033.mst an English one)."""

import harness as h
from scenario import SAMPLE, Scenario, sample_distribution

RUSSIAN_NAME = 'Пример продукта'
ENGLISH_NAME = 'Sample Product (English)'


def user_language(locale):
    """A run's environment whose user default language follows the locale."""
    return h.wine_env(extra={'LANG': locale, 'LC_ALL': locale})


class LanguageTransforms(Scenario):
    def distribution(self, name, transforms, fixture='product_v2', **main):
        dist = sample_distribution(name, fixture=fixture, **main)
        if '1049' in transforms:
            h.make_transform(dist.path('1049.mst'), 'product_v2',
                             {'ProductName': RUSSIAN_NAME, 'ProductLanguage': '1049'})
        if '1033' in transforms:
            h.make_transform(dist.path('1033.mst'), 'product_v2',
                             {'ProductName': ENGLISH_NAME, 'ProductLanguage': '1033'})
        return dist

    def own_lines_before_the_engine(self, name, transforms, env=None, args='/i /quiet A=1', **main):
        """The lines a run writes up to the engine call. Wine's engine writes its log over the
        start of the setup log, so these come from the Itanium copy, which it refuses unread."""
        h.clear_logs()
        dist = self.distribution(name, transforms, fixture='product_v2_ia64.msi', **main)
        self.assertEqual(h.run_setup(dist, args(dist) if callable(args) else args, env=env).exit_code, 3)
        lines = self.the_log().stripped()
        h.clear_logs()
        return dist, lines[1:lines.index('') if '' in lines else len(lines)]

    def test_ini_language_with_its_transform(self):
        dist, lines = self.own_lines_before_the_engine('ini-ru-lines', ('1049', '1033'), LangId=1049)
        transform = h.winpath(dist.path('1049.mst'))
        self.assertEqual(lines, [
            'LangId 1049 is set from ini file',
            'LangId transform is %s' % transform,
            'Calling MsiInstallProduct with command line: \'A=1 TRANSFORMS="%s"\'' % transform,
        ])

        # Without public properties the transform's text still begins with its blank.
        dist, lines = self.own_lines_before_the_engine('ini-ru-bare', ('1049',), args='/i /quiet', LangId=1049)
        self.assertEqual(lines[-1], 'Calling MsiInstallProduct with command line: \' TRANSFORMS="%s"\''
                         % h.winpath(dist.path('1049.mst')))

        dist = self.distribution('ini-ru', ('1049', '1033'), LangId=1049)
        self.assertEqual(h.run_setup(dist, '/i /quiet').exit_code, 0)
        self.assertEqual(h.product_info(SAMPLE.product_code, 'InstalledProductName'), RUSSIAN_NAME)
        self.assertEqual(h.product_info(SAMPLE.product_code, 'Language'), '1049')
        self.assertIn('Property(S): TRANSFORMS = %s' % h.winpath(dist.path('1049.mst')),
                      self.the_log().engine_lines)

    def test_ini_language_without_its_transform_takes_none(self):
        _, lines = self.own_lines_before_the_engine('ini-ru-missing', ('1033',), LangId=1049)
        self.assertEqual(lines, [
            'LangId 1049 is set from ini file',
            'LangId transform not found',
            "Calling MsiInstallProduct with command line: 'A=1'",
        ])

    def test_user_language_falls_back_to_its_primary_language(self):
        british = user_language('en_GB.UTF-8')
        dist, lines = self.own_lines_before_the_engine('user-gb-lines', ('1033',), env=british)
        transform = h.winpath(dist.path('1033.mst'))
        self.assertEqual(lines, [
            'User LangId is 2057',
            'Language transform for LangId 2057 not found, trying primary language',
            'Primary LangId is 1033',
            'LangId transform is %s' % transform,
            'Calling MsiInstallProduct with command line: \'A=1 TRANSFORMS="%s"\'' % transform,
        ])

        dist = self.distribution('user-gb', ('1033',))
        self.assertEqual(h.run_setup(dist, '/i /passive', env=british).exit_code, 0)
        self.assertEqual(h.product_info(SAMPLE.product_code, 'InstalledProductName'), ENGLISH_NAME)

    def test_user_language_without_any_transform_of_it(self):
        _, lines = self.own_lines_before_the_engine('user-ru-missing', ('1033',),
                                                    env=user_language('ru_RU.UTF-8'))
        self.assertEqual(lines, [
            'User LangId is 1049',
            'Language transform for LangId 1049 not found, trying primary language',
            'Primary LangId is 1049',
            'Primary LangId transform not found',
            "Calling MsiInstallProduct with command line: 'A=1'",
        ])

    def test_administrative_install_takes_no_transform(self):
        dist, lines = self.own_lines_before_the_engine(
            'admin', ('1049', '1033'), args=lambda dist: ['/a', h.winpath(dist.path('image'))], LangId=1049)
        self.assertEqual(lines, ['Calling MsiInstallProduct with command line: \' TARGETDIR="%s" ACTION=ADMIN\''
                                 % h.winpath(dist.path('image'))])

if __name__ == '__main__':
    import unittest
    unittest.main()
