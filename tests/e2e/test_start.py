"""The start screen: a run without arguments, with our engine beside setup.exe, shows the start
page; its buttons, clicked with the mouse or reached by the keyboard, choose the road; a screen
reader reads them; the page grows with the system's DPI. Screenshots of the screen, plain, with
each button hovered and focused at each DPI, are kept under <build>/e2e-artefacts."""

import os
import struct
import subprocess
import time

import harness as h
from harness import START_CANCEL, START_DEPLOY, START_INSTALL, START_TITLE, Box, Case

BUTTONS = {'install': (START_INSTALL, (135, 147, 237, 52)), 'deployment': (START_DEPLOY, (135, 209, 237, 52)),
           'cancel': (START_CANCEL, (221, 358, 65, 29))}
VK_RETURN, VK_ESCAPE = 0x0D, 0x1B
# The engine's functions the program calls.
ENGINE_FUNCTIONS = [
    'HTMLayoutClassNameA', 'HTMLayoutProcND', 'HTMLayoutSetCallback', 'HTMLayoutWindowAttachEventHandler',
    'HTMLayoutWindowDetachEventHandler', 'HTMLayoutLoadHtmlEx', 'HTMLayoutLoadFile', 'HTMLayoutDataReady',
    'HTMLayoutGetRootElement', 'HTMLayoutSelectElements', 'HTMLayoutGetElementInnerTextCB', 'HTMLayoutGetMinWidth',
    'HTMLayoutGetMinHeight', 'HTMLayoutGetAttributeByName', 'HTMLayoutGetElementHwnd', 'HTMLayoutCallBehaviorMethod',
    'HTMLayout_UseElement', 'HTMLayout_UnuseElement']
RT_HTML = 23
REFUSED = Box(h.SAMPLE_TITLE, h.INTERNAL_ERROR + "\r\n\r\nLog file:\r\n'{log}'")    # the Itanium package


def with_engine(without: bytes = None):
    """Our engine beside the program; `without`: its export of that name spelt otherwise."""
    def prepare(dist):
        with open(h.ENGINE, 'rb') as f:
            data = f.read()
        if without:
            assert data.count(without + b'\0') == 1
            data = data.replace(without + b'\0', without[:-1] + b'_\0')
        dist.add_file('htmlayout.dll', data)
    return prepare


def without_start_page(dist):
    """The program's resource directory with its HTML type renumbered: no page 101 any more."""
    with open(dist.exe, 'r+b') as f:
        image = f.read()
        pe = struct.unpack_from('<I', image, 0x3C)[0]
        sections, optional_size = struct.unpack_from('<H12xH', image, pe + 6)
        optional = pe + 24
        directories = optional + (96 if struct.unpack_from('<H', image, optional)[0] == 0x10B else 112)
        rsrc = struct.unpack_from('<I', image, directories + 2 * 8)[0]
        for s in range(sections):
            size, rva, _, raw = struct.unpack_from('<4I', image, optional + optional_size + 40 * s + 8)
            if rva <= rsrc < rva + size:
                root = rsrc - rva + raw
        named, numbered = struct.unpack_from('<2H', image, root + 12)
        for entry in range(root + 16 + 8 * named, root + 16 + 8 * (named + numbered), 8):
            if struct.unpack_from('<I', image, entry)[0] == RT_HTML:
                f.seek(entry)
                f.write(struct.pack('<I', RT_HTML - 1))
                return
        raise h.HarnessError('no HTML resources in ' + dist.exe)


def installed(test, dist, log):
    test.assertEqual(h.product_state(h.SAMPLE_CODE), 5)


def not_installed(test, dist, log):
    test.assertEqual(h.product_state(h.SAMPLE_CODE), -1)


def close_box(test, dist):
    time.sleep(1)           # the inputs' time to act, were they to
    h.close(START_TITLE)


def drag_away(test, dist):
    h.wait_window(START_TITLE)
    h.mouse(START_TITLE, START_INSTALL, press='down')
    h.mouse(START_TITLE, (5, 5), press='up')


class StartScreen(h.Scenario):

    def test_roads(self):
        for case in [
            Case('install', '', prepare=with_engine(), boxes=[h.on_start_screen(START_INSTALL)], then=installed),
            Case('cancel', '', prepare=with_engine(), boxes=[h.on_start_screen(START_CANCEL)], exit=2, log=None,
                 then=not_installed),
            # The page has no default or cancel role: with nothing focused the keys leave the
            # screen up.
            Case('enter and escape, then the close box', '', prepare=with_engine(),
                 boxes=[h.on_start_screen(VK_RETURN, VK_ESCAPE), close_box], exit=2, log=None, then=not_installed),
            Case('tab to install, enter', '', prepare=with_engine(), boxes=[h.on_start_screen('tab', 'return')],
                 then=installed),
            # Backwards from nothing focused starts at the last button.
            Case('shift+tab to cancel, space', '', prepare=with_engine(), boxes=[h.on_start_screen('shift+tab', 'space')],
                 exit=2, log=None, then=not_installed),
            Case('access key with alt', '', prepare=with_engine(), boxes=[h.on_start_screen('alt+c')], exit=2, log=None),
            Case('access key alone', '', prepare=with_engine(), boxes=[h.on_start_screen('c')], exit=2, log=None),
            # Without the screen the run goes on as an installation.
            Case('screen turned off', '', ini={'ShowStartDialog': 0}, prepare=with_engine(), then=installed),
            Case('no engine', '', then=installed),
            # An engine without any one of the functions is refused before the screen; the run goes
            # on to the package, which the engine refuses at once (no install to wait for).
            *[Case('engine without ' + name, '', package='product_v2_ia64', exit=3, boxes=[REFUSED],
                   prepare=with_engine(name.encode())) for name in ENGINE_FUNCTIONS],
            # Any value but 0 shows the screen.
            Case('screen on', '', ini={'ShowStartDialog': 2}, prepare=with_engine(),
                 boxes=[h.on_start_screen(START_CANCEL)], exit=2, log=None),
            # A press that leaves the button before its release is no click.
            Case('press and drag away', '', prepare=with_engine(), boxes=[drag_away, close_box], exit=2, log=None,
                 then=not_installed),
            Case('no start page', '', prepare=lambda d: (with_engine()(d), without_start_page(d)), exit=3, log=None,
                 then=not_installed),
        ]:
            self.run_case(case)

    def test_window_and_hover(self):
        dist = h.Distribution('start-window')
        dist.add(h.package('product_v2').path, 'Sample Product.msi')
        dist.write_ini({'MsiPath': 'Sample Product.msi'})
        with_engine()(dist)
        setup = h.Process(dist.exe, '', dist.dir)
        window = h.wait_window(START_TITLE)
        left, top, width, height = window.client
        h.mouse(START_TITLE, (5, 5))
        plain = h.shot('start')
        screen = [int(n) for n in subprocess.run(['identify', '-format', '%w %h', plain], capture_output=True,
                                                 text=True, check=True).stdout.split()]
        # Centred as a window: the caption above the client area shifts it down a little.
        self.assertLessEqual(abs(left + width // 2 - screen[0] // 2), 2)
        self.assertLessEqual(abs(top + height // 2 - screen[1] // 2) - 15, 0)
        for name, (centre, (x, y, w, hgt)) in BUTTONS.items():
            with self.subTest(name):
                h.mouse(START_TITLE, centre)
                hovered = h.poll(name + ' hovered', lambda: h.changed(plain, h.shot('start-' + name)))
                dx, dy, dw, dh = hovered
                self.assertTrue(left + x <= dx and dx + dw <= left + x + w and top + y <= dy and
                                dy + dh <= top + y + hgt, (name, hovered))
                h.mouse(START_TITLE, (5, 5))
                h.poll(name + ' left', lambda: not h.changed(plain, h.shot('start-after-' + name)))
        h.close(START_TITLE)
        self.assertEqual(setup.wait(), 2)


    def test_scaled_read_and_focused(self):
        """At 96, 144 and 192 DPI the page keeps its proportions, an accessibility client reads its
        buttons where they are drawn, and Tab moves the focus through them, wrapping; the focus
        shows only once Tab was pressed, on the focused button alone."""
        dist = h.Distribution('start-dpi')
        dist.add(h.package('product_v2').path, 'Sample Product.msi')
        dist.write_ini({'MsiPath': 'Sample Product.msi'})
        with_engine()(dist)
        try:
            for dpi in (96, 144, 192):
                with self.subTest(dpi=dpi):
                    px = lambda n: int(n * dpi / 96 + 0.5)
                    near = lambda a, b: all(abs(x - y) <= 2 for x, y in zip(a, b))
                    h.set_dpi(dpi)
                    setup = h.Process(dist.exe, '', dist.dir)
                    left, top, width, height = h.wait_window(START_TITLE).client
                    self.assertTrue(near((width, height), (px(507), px(407))), (width, height))
                    page = h.accessible(START_TITLE)
                    self.assertEqual((page['name'], page['role'], page['focus']), (START_TITLE, 'client', 0))
                    self.assertEqual([(c['name'], c['role'], c['action'], c['shortcut']) for c in page['children']],
                                     [('Install', 'push button', 'Press', 'Alt+I'),
                                      ('Deployment', 'push button', 'Press', 'Alt+D'),
                                      ('Cancel', 'push button', 'Press', 'Alt+C')])
                    boxes = [[left + px(x), top + px(y), px(w), px(hgt)] for _, (x, y, w, hgt) in BUTTONS.values()]
                    for child, box in zip(page['children'], boxes):
                        self.assertTrue(near(child['rect'], box), (child, box))
                    h.mouse(START_TITLE, (5, 5))
                    plain = h.shot('start-%d' % dpi)
                    self.assertEqual(h.type_keys(START_TITLE, 'escape'), [])
                    self.assertIsNone(h.changed(plain, h.shot('start-%d-escape' % dpi)))
                    self.assertEqual(h.type_keys(START_TITLE, 'tab', 'tab', 'tab', 'tab'),
                                     ['Install', 'Deployment', 'Cancel', 'Install'])
                    dx, dy, dw, dh = h.changed(plain, h.shot('start-%d-focused' % dpi))
                    x, y, w, hgt = boxes[0]
                    self.assertTrue(x <= dx and dx + dw <= x + w and y <= dy and dy + dh <= y + hgt, (dx, dy, dw, dh))
                    self.assertEqual(h.accessible(START_TITLE)['focus'], 1)
                    h.close(START_TITLE)
                    self.assertEqual(setup.wait(), 2)
        finally:
            h.set_dpi(96)
