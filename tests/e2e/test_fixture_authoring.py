"""The transforms and patches that msi_author writes, applied by Wine's msi.dll through msiexec:
the proof that the fixtures other scenarios rely on really change what gets installed."""

import harness as h
from scenario import SAMPLE, Scenario

RUSSIAN_NAME = 'Пример продукта'
ENGLISH_NAME = 'Sample Product (English)'


def engine_properties(path):
    """The "Property(S): NAME = value" lines of an engine log, as a dict."""
    with open(path, 'rb') as f:
        lines = h.parse_log(f.read(), path).lines
    return dict(line[len('Property(S): '):].split(' = ', 1) for line in lines
                if line.startswith('Property(S): ') and ' = ' in line)


class LanguageTransforms(Scenario):
    def install_with(self, dist, transform):
        log = dist.path('install.log')
        code = h.msiexec(['/i', h.winpath(dist.path('product_v2.msi')),
                          'TRANSFORMS=' + h.winpath(transform), '/qn', '/l*v', h.winpath(log)])
        self.assertEqual(code, 0)
        self.assertEqual(h.product_state(SAMPLE.product_code), h.INSTALLSTATE_DEFAULT)
        return engine_properties(log)

    def test_each_transform_installs_its_own_name_and_language(self):
        dist = h.Distribution('transforms')
        dist.add_package('product_v2')
        russian = h.make_transform(dist.path('1049.mst'), 'product_v2',
                                   {'ProductName': RUSSIAN_NAME, 'ProductLanguage': '1049',
                                    'TRANSFORM_MARK': 'ru'})
        english = h.make_transform(dist.path('1033.mst'), 'product_v2',
                                   {'ProductName': ENGLISH_NAME, 'ProductLanguage': '1033'})

        # Russian text survives the transform's 1251 string pool; the row the package lacks
        # (TRANSFORM_MARK) is added.
        engine = self.install_with(dist, russian)
        self.assertEqual(engine.get('TRANSFORM_MARK'), 'ru')
        self.assertEqual(h.product_info(SAMPLE.product_code, 'InstalledProductName'), RUSSIAN_NAME)
        self.assertEqual(h.product_info(SAMPLE.product_code, 'Language'), '1049')
        # Rows the transform does not name stay as the package has them.
        self.assertEqual(h.product_info(SAMPLE.product_code, 'VersionString'), '2.1.0')
        self.assertEqual(h.installed_version('product_v2'), '2.1.0')
        self.assertEqual(h.uninstall(SAMPLE.product_code), 0)

        engine = self.install_with(dist, english)
        self.assertNotIn('TRANSFORM_MARK', engine)
        self.assertEqual(h.product_info(SAMPLE.product_code, 'InstalledProductName'), ENGLISH_NAME)
        self.assertEqual(h.product_info(SAMPLE.product_code, 'Language'), '1033')

    def test_changes_the_package_cannot_hold_are_refused(self):
        dist = h.Distribution('bad-transform')
        for rows in (['Nonexistent:Key:Value=1'], ['Property:ProductName:NoColumn=1'],
                     ['Property:ProductName=no column given']):
            with self.assertRaises(h.HarnessError, msg=rows):
                h.make_transform(dist.path('bad.mst'), 'product_v2', rows=rows)
        # Text outside the transform's code page would come out as question marks.
        with self.assertRaises(h.HarnessError):
            h.make_transform(dist.path('bad.mst'), 'product_v2', {'ProductName': RUSSIAN_NAME})


if __name__ == '__main__':
    import unittest
    unittest.main()
