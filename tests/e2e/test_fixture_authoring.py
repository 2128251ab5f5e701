"""The transforms and patches that msi_author writes, applied by Wine's msi.dll through msiexec
and MsiApplyPatchW: the proof that the fixtures other scenarios rely on really change what gets
installed, and a record of what Wine answers where a patch cannot apply."""

import harness as h
from scenario import SAMPLE, Scenario

RUSSIAN_NAME = 'Пример продукта'
ENGLISH_NAME = 'Sample Product (English)'
PATCH_CODE = '{8F2C6A0B-1C3D-4E5F-9A7B-2C4D6E8F0A1B}'
PATCHED_NAME = 'Sample Product Updated'
INSTALLTYPE_NETWORK_IMAGE = 1
ERROR_CALL_NOT_IMPLEMENTED = 120
ERROR_UNKNOWN_PRODUCT = 1605


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


class Patches(Scenario):
    def patch_distribution(self, name):
        """product_v1 (2.0.0) and a patch that makes it 2.0.1: version, name and the registry
        value the package writes."""
        dist = h.Distribution(name)
        dist.add_package('product_v1')
        self.patch = h.make_patch(dist.path('update.msp'), 'product_v1', PATCH_CODE,
                                  {'ProductVersion': '2.0.1', 'ProductName': PATCHED_NAME},
                                  rows=['Registry:VersionValue:Value=2.0.1'])
        return dist

    def install_v1(self, dist):
        self.assertEqual(h.msiexec(['/i', h.winpath(dist.path('product_v1.msi')), '/qn']), 0)
        self.assertEqual(h.installed_version('product_v1'), '2.0.0')
        self.assertEqual(h.patches(SAMPLE.product_code), [])

    def assertPatched(self):
        self.assertEqual(h.installed_version('product_v1'), '2.0.1')
        self.assertEqual(h.product_info(SAMPLE.product_code, 'VersionString'), '2.0.1')
        self.assertEqual(h.product_info(SAMPLE.product_code, 'InstalledProductName'), PATCHED_NAME)
        self.assertEqual(h.patches(SAMPLE.product_code), [PATCH_CODE])

    def test_msiexec_applies_the_patch_to_the_installed_product(self):
        dist = self.patch_distribution('patch-msiexec')
        self.install_v1(dist)
        self.assertEqual(h.msiexec(['/p', h.winpath(self.patch), '/qn']), 0)
        self.assertPatched()
        # Removing the product takes the patched registry value with it.
        self.assertEqual(h.uninstall(SAMPLE.product_code), 0)
        self.assertIsNone(h.installed_version('product_v1'))

    def test_what_wine_answers_when_the_patch_cannot_apply(self):
        dist = self.patch_distribution('patch-refused')
        # No target installed: Windows answers 1642 (ERROR_PATCH_TARGET_NOT_FOUND); Wine
        # reconfigures the product the patch names and reports it unknown. A scenario that
        # needs 1642 must use a test double.
        self.assertEqual(h.msiexec(['/p', h.winpath(self.patch), '/qn']), ERROR_UNKNOWN_PRODUCT)
        self.assertEqual(h.apply_patch(self.patch), ERROR_UNKNOWN_PRODUCT)
        # An administrative image: Wine only applies patches to installed products.
        image = dist.copy_file(dist.path('product_v1.msi'), 'image/product_v1.msi')
        self.assertEqual(h.apply_patch(self.patch, image, INSTALLTYPE_NETWORK_IMAGE),
                         ERROR_CALL_NOT_IMPLEMENTED)
        self.assertEqual(h.product_state(SAMPLE.product_code), h.INSTALLSTATE_UNKNOWN)


if __name__ == '__main__':
    import unittest
    unittest.main()
