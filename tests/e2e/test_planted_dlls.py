"""A DLL planted beside setup.exe (a Downloads folder, say) must never run: every library that
Windows does not protect is taken from the system folder only. Wine is told to prefer such
native copies, as Windows' own search order would."""

import os

import harness as h
from scenario import SAMPLE_TITLE, UPGRADE_QUESTION, Scenario, sample_distribution

# Libraries the program, the Windows Installer or the windows it shows may load, none of them
# a known (protected) DLL. msimg32 is left out: Wine's own drawing code delay-loads it through
# the plain search order, whatever the process restricted.
PLANTED = ('msi', 'version', 'uxtheme', 'dwmapi', 'comctl32', 'riched20', 'mapi32', 'cabinet',
           'propsys', 'wintrust')


class PlantedLibraries(Scenario):
    def test_no_planted_library_runs_during_an_install_with_windows(self):
        dist = sample_distribution('planted')
        dist.plant_marker(*(name + '.dll' for name in PLANTED))
        markers = dist.path('markers.txt')
        env = h.wine_env(extra={'MARKER_FILE': h.winpath(markers)},
                         dll_overrides=','.join(PLANTED) + '=n,b')

        # An older version installed, so the run shows its question box before upgrading.
        self.assertEqual(h.msiexec(['/i', h.winpath(h.PACKAGES['product_v1'].path), '/qn']), 0)
        setup = h.start_setup(dist, '/i', env=env)
        box = h.wait_window(SAMPLE_TITLE, cls='#32770', timeout=60)
        self.assertEqual(box.message, UPGRADE_QUESTION)
        h.click(SAMPLE_TITLE, button='Yes', cls='#32770')
        self.assertEqual(setup.wait(), 0)
        self.assertEqual(h.installed_version('product_v2'), '2.1.0')
        self.assertFalse(os.path.exists(markers), open(markers).read() if os.path.exists(markers) else '')

        # The marker works: a careless program in the same folder does load it.
        probe = h.Distribution('planted-probe', exe_name='probe.exe', setup_exe=h.UIDRIVER_EXE)
        probe.plant_marker('mapi32.dll')
        probe_markers = probe.path('markers.txt')
        env['MARKER_FILE'] = h.winpath(probe_markers)
        h.run_program(h.winpath(probe.exe), ['loadlib', 'mapi32.dll'], env=env)
        self.assertTrue(os.path.exists(probe_markers))


if __name__ == '__main__':
    import unittest
    unittest.main()
