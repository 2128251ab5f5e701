"""End-to-end harness: lays out distributions, runs setup.exe under Wine against real packages
and Wine's msi.dll, answers its windows through uidriver.exe (its head lists the verbs) and
reads its log. The program is the one of the build tree under test: the shipped i686 one, run
as a 32-bit program on 64-bit Windows, or, on a machine that cannot execute 32-bit x86 code,
the x86_64 build of the same sources (ARCH); the tools, doubles and test libraries of that tree
are built for the same architecture.

Each process starts its own Wine session on the prefix $SETUP_WINEPREFIX or
<build>/e2e-wineprefix (made once): a persistent wineserver, and an Xvfb display unless DISPLAY
is set; both end with the process. Scenarios derive from Scenario, which leaves the prefix as it
found it whatever the outcome, and walk tables of Case rows with run_case().

Run as a program, `harness.py [--overrides DLLS] PROGRAM [ARGS...]` runs a Windows program in
such a session with its output passed through, and exits with its exit code (modulo 256)."""

import atexit
import contextlib
import glob
import json
import os
import pwd
import re
import shutil
import subprocess
import sys
import tempfile
import time
import unittest
from dataclasses import dataclass, field
from typing import Callable, List, Optional, Sequence, Tuple

REPO = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
BUILD = os.path.abspath(os.environ.get('SETUP_BUILD_DIR') or os.path.join(REPO, 'out', 'build-x86'))
SETUP_EXE = os.path.join(BUILD, 'setup.exe')
BUILDS = {'i686': os.path.join(REPO, 'out', 'x86', 'setup.exe'), 'x86_64': os.path.join(REPO, 'out', 'x64', 'setup.exe')}


def _architecture(program: str) -> str:
    """i686 or x86_64, from the machine field of the program's PE header."""
    with open(program, 'rb') as f:
        head = f.read(4096)
    offset = int.from_bytes(head[0x3C:0x40], 'little')
    return {0x14C: 'i686', 0x8664: 'x86_64'}[int.from_bytes(head[offset + 4:offset + 6], 'little')]


ARCH = _architecture(SETUP_EXE)
BITS, OTHER_BITS = (32, 64) if ARCH == 'i686' else (64, 32)
# The program's own system folder under C:\windows, and the other architecture's.
SYSTEM, OTHER_SYSTEM = ('syswow64', 'system32') if ARCH == 'i686' else ('system32', 'syswow64')
ONLY_32_BIT = 'the x86_64 build: a case of the 32-bit program on 64-bit Windows, held by the i686 road'
FIXTURES = os.path.join(BUILD, 'tests', 'fixtures')
UIDRIVER = os.path.join(BUILD, 'tests', 'tools', 'uidriver.exe')
COMPONENT_TOOL = os.path.join(BUILD, 'tests', 'component_tool.exe')
SCENARIO_PREFIX = os.path.join(BUILD, 'e2e-wineprefix')
PREFIX = os.environ.get('SETUP_WINEPREFIX') or SCENARIO_PREFIX
RUNS = os.path.join(BUILD, 'e2e-runs')
ARTEFACTS = os.path.join(BUILD, 'e2e-artefacts')
# The suite works as an ordinary user, whom file modes stop as Windows' rights stop a user: the
# harness itself (so what it lays out is that user's), its Wine server, programs and display.
# Started by root, it takes the identity of TEST_USER (scripts/bootstrap makes it) and keeps root
# only as its saved identity, to borrow for what needs root (privileged()). Started by another
# user, it stays that user. SETUP_TEST_AS_ROOT=1 keeps root, for comparison.
TEST_USER = 'setup-test'
ROOT = os.geteuid() == 0
AS_ROOT = ROOT and os.environ.get('SETUP_TEST_AS_ROOT') == '1'
ROOT_PASSES = 'root passes over file modes' if AS_ROOT else None    # a skip for cases that need them


def _become_test_user():
    try:
        user = pwd.getpwnam(TEST_USER)
    except KeyError:
        sys.exit('harness: the user %s is missing; scripts/bootstrap makes it (useradd --system --create-home %s)'
                 % (TEST_USER, TEST_USER))
    # The user needs a way to the build tree and to the Python library this process goes on
    # importing from: a folder that others may not cross lets just that user.
    for path in {REPO, BUILD, os.path.dirname(os.__file__)}:
        while path != '/':
            if not os.stat(path).st_mode & 0o001:
                subprocess.run(['setfacl', '-m', 'u:%s:x' % TEST_USER, path], check=True)
            path = os.path.dirname(path)
    _take_folders(user.pw_uid, user.pw_gid)
    os.initgroups(TEST_USER, user.pw_gid)
    os.setresgid(user.pw_gid, user.pw_gid, 0)
    os.setresuid(user.pw_uid, user.pw_uid, 0)
    os.environ.update(HOME=user.pw_dir, USER=TEST_USER, LOGNAME=TEST_USER)
    os.environ.pop('XDG_RUNTIME_DIR', None)
    if not os.access(SETUP_EXE, os.R_OK):
        sys.exit('harness: the user %s cannot read %s' % (TEST_USER, SETUP_EXE))


def _take_folders(uid: int, gid: int):
    """The runs' folders are the runner's, whoever had them before. A prefix of another user's is
    made anew: Wine will not use it, and its profile folders bear that user's name."""
    if os.path.isdir(PREFIX) and os.lstat(PREFIX).st_uid != uid:
        shutil.rmtree(PREFIX)
    for folder in (PREFIX, RUNS, ARTEFACTS):
        os.makedirs(folder, exist_ok=True)
        if os.lstat(folder).st_uid != uid:
            for top, dirs, files in os.walk(folder):
                for name in [top] + [os.path.join(top, n) for n in dirs + files]:
                    with contextlib.suppress(OSError):     # a mount an interrupted run left behind
                        os.lchown(name, uid, gid)


@contextlib.contextmanager
def as_starter():
    """The block runs as the one who started the suite (see privileged())."""
    if ROOT and os.getuid():
        uid, gid = os.getuid(), os.getgid()
        os.setresuid(0, 0, 0)
        os.setresgid(0, 0, 0)
        try:
            yield
        finally:
            os.setresgid(gid, gid, 0)
            os.setresuid(uid, uid, 0)
    else:
        yield


def privileged(args: Sequence[str], **kw) -> subprocess.CompletedProcess:
    """Runs a command as the one who started the suite: root for a mount, the build's owner for a
    release. Only what needs that goes through here, before a program starts or after it ends."""
    with as_starter():
        return subprocess.run(args, **kw)


def no_access(path: str):
    """Takes every right on the file or folder (a new folder where there is nothing) from all but
    root; the case is skipped where root runs the programs."""
    if ROOT_PASSES:
        raise unittest.SkipTest(ROOT_PASSES)
    if not os.path.exists(path):
        os.makedirs(path)
    os.chmod(path, 0)


if ROOT and not AS_ROOT:
    _become_test_user()
elif ROOT:
    _take_folders(0, 0)

# Without address randomisation: Debian's Wine has no preloader, and about one start in a few
# hundred otherwise fails to map its fixed addresses. The 32-bit loader hands 64-bit programs on;
# the 64-bit one is called directly where no 32-bit program can run.
WINE = ['setarch', os.uname().machine, '-R', '/usr/lib/wine/wine' if ARCH == 'i686' else '/usr/lib/wine/wine64']
WINESERVER = '/usr/lib/wine/wineserver64'
OVERRIDES = 'mscoree,mshtml=;winedbg.exe=d'   # no Mono/Gecko offer; a crash ends the process
QUIET = dict(stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
# How many times longer than usual Wine may take: more where 32-bit programs run emulated.
PATIENCE = float(os.environ.get('SETUP_TEST_PATIENCE', '1'))

# The program's texts and lines that several subsystems' scenarios meet.
SAMPLE_CODE = '{BCB2E58D-E401-4D1B-B531-45824E859732}'
SAMPLE_TITLE = 'Sample Product (2.1.0) Setup'
INSTALLATION_ERROR = 'Installation Error'
START_TITLE = 'Платформа Orvanta 21.0'     # the start screen and its buttons' centres
START_INSTALL, START_DEPLOY, START_CANCEL = (253, 173), (253, 235), (253, 372)
ENGINE = os.path.join(BUILD, 'htmlayout', 'htmlayout.dll')
INTERNAL_ERROR = 'An irrecoverable internal error occured.'
NO_TRANSFORM = ['User LangId is 1033', 'Language transform for LangId 1033 not found, trying primary language',
                'Primary LangId is 1033', 'Primary LangId transform not found']
NO_ADDRESS = "Can't read email address from ini file."
STAMP = re.compile(r'Setup\.exe \[\d{4}\.\d\d\.\d\d \d\d:\d\d:\d\d\]: ')
FIXTURE_NAMES = ('product_v1', 'product_v2', 'product_v3', 'product_question', 'product_x64', 'product_cancel',
                 'prereq_component')


class HarnessError(AssertionError):
    pass


def failed(code, text='.+'):
    """The line of an installation that failed with a Windows Installer code."""
    return re.compile(r"Install\(\) failed\. Error\(%d\) '%s'" % (code, text))


# ---- the Wine session ------------------------------------------------------------------------

_session = {}


def session():
    """The environment of Wine processes; starts the session on first use."""
    if _session:
        return _session['env']
    env = dict(os.environ, WINEPREFIX=PREFIX, WINEDEBUG='-all', WINEDLLOVERRIDES=OVERRIDES)
    # The session keeps its server, its programs and its display on one core: every call into
    # the server is a round trip, and on an otherwise idle machine a wake-up across cores costs
    # more than the call (runs take about twice as long spread over two). The scenarios' prefix
    # takes the last core and any other (the unit tests', a bench's) the first, so that the two
    # suites run side by side.
    cores = sorted(os.sched_getaffinity(0))
    os.sched_setaffinity(0, {cores[-1] if PREFIX == SCENARIO_PREFIX else cores[0]})
    children = []
    if not env.get('DISPLAY'):
        read, write = os.pipe()
        children.append(subprocess.Popen(['Xvfb', '-displayfd', str(write), '-noreset', '-nolisten', 'tcp', '-screen',
                                          '0', '1280x1024x24'], pass_fds=(write,), start_new_session=True, **QUIET))
        os.close(write)
        number = b''
        while not number.endswith(b'\n'):    # read it whole: a write into a closed pipe ends Xvfb
            number += os.read(read, 16) or b'\n'
        os.close(read)
        env['DISPLAY'] = ':' + number.decode().strip()
    # A prefix made where no 32-bit program ran has no 32-bit system folder: the 32-bit program
    # cannot start in it.
    if not os.path.exists(os.path.join(PREFIX, '.ready')) or not os.path.exists(drive_c('windows', SYSTEM, 'kernel32.dll')):
        shutil.rmtree(PREFIX, ignore_errors=True)
        subprocess.run(WINE + ['wineboot', '-i'], env=env, timeout=300 * PATIENCE, check=True, **QUIET)
        # Without a window manager every closing window would wait two seconds for one.
        subprocess.run(WINE + ['reg', 'add', r'HKCU\Software\Wine\X11 Driver', '/v', 'Managed', '/d', 'N', '/f'],
                       env=env, timeout=120 * PATIENCE, **QUIET)
        subprocess.run([WINESERVER, '-w'], env=env, timeout=120 * PATIENCE)
        open(os.path.join(PREFIX, '.ready'), 'w').close()
    # Japanese needs a CJK font (from scripts/bootstrap) behind the dialog font: Wine's Tahoma, or
    # DejaVu Sans without Wine's fonts (a link for a missing face would make a face of its own).
    # The server that wrote the links ends before the session's own starts and reads them.
    if not os.path.exists(drive_c('windows', 'Fonts', 'ipag.ttf')):
        shutil.copyfile('/usr/share/fonts/opentype/ipafont-gothic/ipag.ttf', drive_c('windows', 'Fonts', 'ipag.ttf'))
        for face in ['DejaVu Sans'] + ['Tahoma'] * os.path.exists('/usr/share/wine/fonts/tahoma.ttf'):
            subprocess.run(WINE + ['reg', 'add', r'HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontLink\SystemLink',
                                   '/v', face, '/t', 'REG_MULTI_SZ', '/d', 'ipag.ttf,IPAGothic', '/f'],
                           env=env, timeout=120 * PATIENCE, **QUIET)
        subprocess.run([WINESERVER, '-w'], env=env, timeout=120 * PATIENCE)
    children.append(subprocess.Popen([WINESERVER, '-p'], env=env, start_new_session=True, **QUIET))
    time.sleep(0.2)
    # The session's first program starts its services, which keep its standard handles.
    subprocess.run(WINE + [UIDRIVER, 'list'], env=env, timeout=120 * PATIENCE, **QUIET)
    _session.update(env=env, children=children)
    atexit.register(_end_session)
    return env


def set_dpi(dpi: int):
    """The desktop of the session's prefix at that DPI (96 is 100 %) for the programs started
    from now on: a new server for the prefix, as after logging on again, reads it anew."""
    reg_set(r'HKCU\Control Panel\Desktop', 'LogPixels', dpi, 'REG_DWORD')
    env = session()
    subprocess.run([WINESERVER, '-k'], env=env, stderr=subprocess.DEVNULL)
    subprocess.run([WINESERVER, '-w'], env=env, stderr=subprocess.DEVNULL)
    _session['children'].append(subprocess.Popen([WINESERVER, '-p'], env=env, start_new_session=True, **QUIET))
    time.sleep(0.2)
    subprocess.run(WINE + [UIDRIVER, 'list'], env=env, timeout=120 * PATIENCE, **QUIET)


def _end_session():
    subprocess.run([WINESERVER, '-k'], env=_session['env'], stderr=subprocess.DEVNULL)
    subprocess.run([WINESERVER, '-w'], env=_session['env'], stderr=subprocess.DEVNULL)
    # Xvfb must be gone, its socket with it, before the next session picks a display.
    for child in _session['children']:
        child.terminate()
        child.wait(30)


def wine_env(extra: Optional[dict] = None, overrides: str = '') -> dict:
    env = dict(session(), **(extra or {}))
    env['WINEDLLOVERRIDES'] = OVERRIDES + (';' + overrides if overrides else '')
    return env


def winpath(path: str) -> str:
    return 'Z:' + os.path.abspath(path).replace('/', '\\')


def drive_c(*parts: str) -> str:
    return os.path.join(PREFIX, 'drive_c', *parts)


def wine(args: Sequence[str], timeout: float = 120, check=False) -> subprocess.CompletedProcess:
    """Runs a Windows program to its end. Output goes through files, never pipes: the services a
    Wine process starts may keep its handles open for ever. (Exit codes come back modulo 256.)"""
    with tempfile.TemporaryFile() as out, tempfile.TemporaryFile() as err:
        done = subprocess.run([*WINE, *args], env=session(), stdin=subprocess.DEVNULL, stdout=out, stderr=err,
                              timeout=timeout * PATIENCE)
        out.seek(0)
        err.seek(0)
        done.stdout, done.stderr = out.read().decode('utf-8', 'replace'), err.read().decode('utf-8', 'replace')
    if check and done.returncode:
        raise HarnessError('%s answered %d: %s' % (' '.join(args), done.returncode, done.stderr))
    return done


class Process:
    """A Windows program started through `uidriver run`; wait() answers its 32-bit exit code, or
    None when the system would not start it."""

    def __init__(self, program: str, args: str = '', cwd: str = None, env=None, timeout: float = 300, console=False):
        os.makedirs(RUNS, exist_ok=True)
        self.exit_file = os.path.join(RUNS, 'exit-%d-%d' % (os.getpid(), time.monotonic_ns()))
        timeout *= PATIENCE
        self.cmdline, self.timeout, self.exit_code = ('"%s" %s' % (program, args)).strip(), timeout, None
        self.output = tempfile.TemporaryFile()
        self.proc = subprocess.Popen(
            [*WINE, UIDRIVER, 'run', '--timeout', str(timeout), '--exit-file', winpath(self.exit_file)] +
            (['--cwd', winpath(cwd)] if cwd else []) + (['--console', '1'] if console else []) +
            ['--cmdline', self.cmdline],
            env=env or session(), stdin=subprocess.DEVNULL, stdout=self.output, stderr=subprocess.STDOUT)

    def wait(self) -> int:
        if self.exit_code is None:
            self.proc.wait(timeout=self.timeout + 30)
            with self.output:
                self.output.seek(0)
                self.output = self.output.read().decode('utf-8', 'replace')
            if not os.path.exists(self.exit_file):
                if self.output.startswith('uidriver: cannot start'):
                    return None     # the system would not start it: no exit code at all
                raise HarnessError('%s did not end: %s\nwindows:\n%s' % (self.cmdline, self.output, windows()))
            with open(self.exit_file) as f:
                self.exit_code = int(f.read())
            os.unlink(self.exit_file)
            # An exception code: the program crashed, whatever a scenario expected of it.
            if self.exit_code >= 0xC0000000:
                raise HarnessError('%s crashed with 0x%08X: %s' % (self.cmdline, self.exit_code, self.output))
        return self.exit_code


def run_program(program: str, args: str = '', **kw) -> int:
    return Process(program, args, **kw).wait()


# ---- windows ---------------------------------------------------------------------------------


def _ui(verb: str, title=None, contains=None, cls='#32770', extra=(), timeout: float = 60) -> str:
    match = (['--title', title] if title is not None else ['--contains', contains or '']) + (
        ['--class', cls] if cls else [])
    timeout *= PATIENCE
    done = wine([UIDRIVER, verb, *match, *extra, '--timeout', str(timeout)], timeout=timeout + 60)
    if done.returncode:
        raise HarnessError('uidriver %s %s: %s\nwindows:\n%s' % (verb, match + list(extra), done.stderr, windows()))
    return done.stdout


def windows() -> str:
    return wine([UIDRIVER, 'list']).stdout


@dataclass
class Window:
    title: str
    cls: str
    client: List[int]       # the client area: left and top on the screen, width, height
    children: List[dict]

    def child(self, id: int) -> Optional[dict]:
        return next((c for c in self.children if c['id'] == id), None)

    @property
    def message(self) -> Optional[str]:
        """A message box's text: the static 0xFFFF under Wine."""
        return (self.child(0xFFFF) or {}).get('text')

    @property
    def buttons(self) -> List[str]:
        return [c['text'].replace('&', '') for c in self.children if c['class'] == 'Button']


def wait_window(title=None, contains=None, cls='#32770', timeout: float = 60, holding: Optional[int] = None) -> Window:
    """The first window that matches and, when asked, holds the control of that id."""
    w = json.loads(_ui('texts', title, contains, cls, ['--with', str(holding)] if holding is not None else (),
                       timeout=timeout))
    return Window(w['title'], w['class'], w['client'], w['children'])


def click(title=None, button=None, id=None, contains=None, cls='#32770'):
    """Presses a button by its caption (accelerator marks ignored) or control id."""
    _ui('click', title, contains, cls, ['--button', button] if button is not None else ['--id', str(id)])


def close(title=None, contains=None, cls=None):
    _ui('close', title, contains, cls)


def rows(title: str) -> dict:
    """The list view's rows as {'rows': [{'image': ..., 'text': ...}, ...], 'mark': n}."""
    return json.loads(_ui('rows', title))


def click_row(title: str, row: int, at: str = 'icon'):
    _ui('click-row', title, extra=['--row', str(row), '--at', at])


def type_row(title: str, row: int, char: str = ' '):
    _ui('type-row', title, extra=['--row', str(row), '--char', char])


def click_at(title: str, id: int, at: str):
    _ui('click-at', title, extra=['--id', str(id), '--at', at])


def set_text(title: str, id: int, text: str):
    _ui('set-text', title, extra=['--id', str(id), '--text', text])


def select(title: str, id: int, index: int):
    _ui('select', title, extra=['--id', str(id), '--index', str(index)])


def mouse(title: str, at: Tuple[int, int], press: str = '', cls=None):
    """Real pointer input on the window's client point: a move there, then the left button when
    asked: 'click', or only 'down' or 'up'."""
    _ui('mouse', title, cls=cls, extra=['--at', '%d,%d' % at, '--press', press])


def key(title: str, vk: int, cls=None):
    _ui('key', title, cls=cls, extra=['--vk', str(vk)])


def type_keys(title: str, *keys: str) -> list:
    """Keys as a keyboard gives them to the window brought to the front ('tab', 'shift+tab',
    'alt+i', ...); the accessible names of the focus events it raised meanwhile."""
    return json.loads(_ui('type', title, extra=['--keys', ','.join(keys)]))


def accessible(title: str) -> dict:
    """What an accessibility client reads of the window's client area (see uidriver)."""
    return json.loads(_ui('accessible', title))


def screenshot(path: str):
    """The whole virtual screen as a PNG."""
    subprocess.run(['import', '-window', 'root', path], env=session(), check=True, timeout=60, **QUIET)


def shot(name: str) -> str:
    """A screenshot kept for review in <build>/e2e-artefacts."""
    os.makedirs(ARTEFACTS, exist_ok=True)
    path = os.path.join(ARTEFACTS, name + '.png')
    screenshot(path)
    return path


def changed(a: str, b: str, region: Optional[Sequence[int]] = None, tolerance: int = 0):
    """The box around the pixels that differ between two screenshots by more than the tolerance in
    a channel (within the region, given as left, top, width and height on the screen), or None."""
    crop = '[%dx%d+%d+%d]' % (region[2], region[3], region[0], region[1]) if region else ''
    box = subprocess.run(['convert', a + crop, b + crop, '-compose', 'difference', '-composite',
                          '-threshold', '%g%%' % ((tolerance + 0.5) * 100 / 255),
                          '-format', '%@', 'info:'], capture_output=True, text=True, check=True).stdout
    w, rest = box.split('x')
    hgt, x, y = rest.split('+')
    return None if int(w) == 0 or int(hgt) == 0 or box.startswith('0x0') else (int(x), int(y), int(w), int(hgt))


def on_start_screen(*inputs):
    """A run's step: waits for the start screen, then gives it the inputs: a client point to
    click, a virtual key to post, or keys to type."""
    def step(test, dist):
        wait_window(START_TITLE)
        for what in inputs:
            if isinstance(what, str):
                type_keys(START_TITLE, what)
            else:
                key(START_TITLE, what) if isinstance(what, int) else mouse(START_TITLE, what, press='click')
    return step


def poll(what: str, check: Callable, timeout: float = 30):
    """check()'s first true answer; fails after the time-out."""
    deadline = time.time() + timeout
    while not (answer := check()):
        if time.time() > deadline:
            raise HarnessError('%s did not happen within %s s\nwindows:\n%s' % (what, timeout, windows()))
        time.sleep(0.2)
    return answer


# ---- the setup log ---------------------------------------------------------------------------


def temp_dir() -> str:
    return drive_c('users', pwd.getpwuid(os.getuid()).pw_name, 'Temp')


def find_logs(pattern: str = '*.log') -> List[str]:
    # Hidden files too: a log name may begin with a dot.
    return sorted(glob.glob(os.path.join(temp_dir(), pattern), include_hidden=True), key=os.path.getmtime)


def clear_logs():
    for path in find_logs():
        os.unlink(path)


def windows_log_path(path: str) -> str:
    return 'C:\\users\\%s\\Temp\\%s' % (pwd.getpwuid(os.getuid()).pw_name, os.path.basename(path))


@dataclass
class Log:
    path: str
    bom: bool
    entries: List[tuple]   # (text, written by the program rather than by the engine)

    @property
    def own(self) -> List[str]:
        """The program's lines without their stamps. A line that went out without its line end
        (an error text has none) is split off where the next stamped line follows on it."""
        return [p for text, mine in self.entries if mine for p in STAMP.split(text) if p or not STAMP.match(text)]

    @property
    def engine(self) -> List[str]:
        return [text for text, mine in self.entries if not mine]

    def dump(self) -> str:
        return self.path + '\n' + '\n'.join(('  ' if mine else '| ') + text for text, mine in self.entries)


def read_log(paths: Sequence[str]) -> Log:
    """The program writes UTF-16LE with a BOM and CRLF; Wine's msi.dll writes ANSI with LF into
    the same file from its start, so a file may hold both. The engine never writes a NUL byte,
    so a stretch up to the next LF byte that holds one is the program's. Runs in two minutes
    write two files, read as one."""
    entries, bom = [], True
    for path in paths:
        with open(path, 'rb') as f:
            data = f.read()
        bom &= data[:2] == b'\xff\xfe'
        pos = 2 if bom else 0
        while pos < len(data):
            lf = data.find(b'\n', pos)
            if b'\0' in data[pos:lf if lf >= 0 else len(data)]:
                pos += data[pos] == 0 and pos + 1 < len(data) and data[pos + 1] != 0   # half a character
                end = data.find(b'\r\0\n\0', pos)
                while end >= 0 and (end - pos) % 2:
                    end = data.find(b'\r\0\n\0', end + 1)
                stop = end if end >= 0 else len(data) - (len(data) - pos) % 2
                entries.append((data[pos:stop].decode('utf-16-le', 'replace'), True))
                pos = stop + 4 if end >= 0 else len(data)
            else:
                stop = lf if lf >= 0 else len(data)
                entries.append((data[pos:stop].rstrip(b'\r').decode('cp1252', 'replace'), False))
                pos = stop + 1
    return Log(paths[-1] if paths else '', bom, entries)


def the_log(pattern: str = 'Sample Product Setup (*).log') -> Log:
    paths = find_logs(pattern)
    if len(paths) not in (1, 2):
        raise HarnessError('logs %s: %s' % (pattern, os.listdir(temp_dir())))
    return read_log(paths)


# ---- products, registry, doubles -------------------------------------------------------------


@dataclass
class Package:
    path: str
    code: str
    version: str
    reg_key: str     # HKLM key of its "Version" value


_packages = {}


def package(fixture: str) -> Package:
    """A test package (tests/fixtures/product.wxs), its facts read from the file itself."""
    if fixture not in _packages:
        path = os.path.join(FIXTURES, fixture + '.msi')
        tables = [subprocess.run(['msiinfo', 'export', path, table], capture_output=True, text=True,
                                 check=True).stdout.splitlines() for table in ('Property', 'Registry')]
        props = dict(line.split('\t', 1) for line in tables[0])
        _packages[fixture] = Package(path, props['ProductCode'], props['ProductVersion'],
                                     'HKLM\\' + tables[1][-1].split('\t')[2])
    return _packages[fixture]


def product_state(code: str) -> int:
    return int(wine([UIDRIVER, 'product-state', code], check=True).stdout)


def product_info(code: str, prop: str) -> Optional[str]:
    done = wine([UIDRIVER, 'product-info', code, prop])
    return done.stdout.rstrip('\r\n') if done.returncode == 0 else None


def install(fixture: str):
    if run_program('msiexec.exe', '/i "%s" /qn' % winpath(package(fixture).path)):
        raise HarnessError('msiexec failed for ' + fixture)


def ensure_absent(*codes: str):
    """Removes the products. One whose cached package the engine cannot use any more (a run
    that failed half-way through an upgrade from the Itanium copy leaves that copy cached) gets
    the original of its version put back in the cache first."""
    for code in codes:
        result = int(wine([UIDRIVER, 'uninstall', code], timeout=300).stdout or -1)
        if result == 1633:
            cached, version = product_info(code, 'LocalPackage'), product_info(code, 'VersionString')
            original = next(p.path for p in map(package, FIXTURE_NAMES) if p.code == code and p.version == version)
            shutil.copyfile(original, drive_c(*cached[3:].split('\\')))
            result = int(wine([UIDRIVER, 'uninstall', code], timeout=300).stdout or -1)
        if result not in (0, 1605, 3010):
            raise HarnessError('cannot remove %s: %d' % (code, result))


def reg_query(key: str, value: str, view: int = 32):
    """A value through `reg query` (str, or int for a DWORD), None when absent; view 32 or 64."""
    for line in wine(['reg', 'query', key, '/v', value, '/reg:%d' % view]).stdout.splitlines():
        parts = line.split(None, 2) + ['', '']
        if parts[0] == value and parts[1].startswith('REG_'):
            return int(parts[2], 16) if parts[1] == 'REG_DWORD' else parts[2]
    return None


def reg_set(key: str, value: Optional[str], data, kind='REG_SZ', view: int = 32):
    name = ['/v', value] if value is not None else ['/ve']
    wine(['reg', 'add', key, *name, '/t', kind, '/d', str(data), '/f', '/reg:%d' % view], check=True)


def reg_delete(key: str, view: int = 32):
    wine(['reg', 'delete', key, '/f', '/reg:%d' % view])


@contextlib.contextmanager
def system_double(name: str, double: str):
    """A test double of a system library in the program's own system folder, where it looks for
    it, for the block's duration; only a run with the override '<name>=n' takes it."""
    target = drive_c('windows', SYSTEM, name)
    if not os.path.exists(target + '.original'):
        os.replace(target, target + '.original')
    shutil.copyfile(double, target)
    try:
        yield
    finally:
        os.replace(target + '.original', target)


# ---- distributions, scenarios and cases ------------------------------------------------------


class Distribution:
    """A fresh folder under <build>/e2e-runs holding setup.exe (under any name) and its ini."""

    def __init__(self, name: str, exe='setup.exe', program: str = SETUP_EXE):
        os.makedirs(RUNS, exist_ok=True)
        self.dir = tempfile.mkdtemp(prefix=re.sub(r'\W+', '-', name) + '-', dir=RUNS)
        self.exe = self.add(program, exe)

    def path(self, *parts: str) -> str:
        return os.path.join(self.dir, *parts)

    def add(self, source: str, name: str = None) -> str:
        target = self.path(name or os.path.basename(source))
        os.makedirs(os.path.dirname(target), exist_ok=True)
        shutil.copyfile(source, target)
        return target

    def add_file(self, name: str, data) -> str:
        with open(self.path(name), 'wb') as f:
            f.write(data if isinstance(data, bytes) else data.encode('utf-8'))
        return self.path(name)

    def write_ini(self, main: Optional[dict] = None, sections: Optional[dict] = None, encoding: str = 'cp1252'):
        """[Main] from `main`, then the other sections in order, with CRLF, in an ANSI code page."""
        groups = dict(Main=main) if main is not None else {}
        groups.update(sections or {})
        text = ''.join('[%s]\r\n%s\r\n' % (name, ''.join('%s=%s\r\n' % kv for kv in keys.items()))
                       for name, keys in groups.items())
        with open(os.path.splitext(self.exe)[0] + '.ini', 'wb') as f:
            f.write(text.encode(encoding))


def requisites(prefix: str, records: Sequence[Optional[dict]]) -> dict:
    """Sections "<prefix>0", "<prefix>1", ... of the records; a None leaves its number out."""
    return {'%s%d' % (prefix, n): keys for n, keys in enumerate(records) if keys is not None}


@dataclass
class Box:
    """A window the run shows and the button that answers it."""
    title: str
    message: Optional[str] = None      # exactly ("{dist}": the folder, "{log}": the log); None: not looked at
    button: str = 'OK'
    buttons: Optional[List[str]] = None


@dataclass
class Case:
    """One run of setup.exe: its distribution, command line, the windows it shows and how they
    are answered, and what it must leave: exit code, the program's own log lines (all of them,
    their beginning or their end: texts, compiled patterns, or functions of the distribution)
    and the engine's. "{dist}" in a text stands for the distribution's folder."""
    name: str
    args: str = '/i /quiet'
    ini: Optional[dict] = field(default_factory=dict)   # [Main] keys besides MsiPath; None: no ini
    sections: dict = field(default_factory=dict)
    package: Optional[str] = 'product_v2'            # fixture copied as "Sample Product.msi"
    installed: Optional[str] = None                  # fixture installed before the run
    boxes: Sequence = ()                             # Box, or step(test, dist) for other input
    exit: Optional[int] = 0                          # None: the system does not start the program
    lines: Optional[list] = None
    head: Optional[list] = None
    tail: Optional[list] = None
    engine: Sequence[str] = ()
    env: Optional[dict] = None
    overrides: str = ''
    encoding: str = 'cp1252'                         # of the ini
    exe: str = 'setup.exe'
    program: str = SETUP_EXE
    log: Optional[str] = 'Sample Product Setup (*).log'   # None: the run writes no log
    prepare: Optional[Callable] = None               # prepare(dist) before the run
    then: Optional[Callable] = None                  # then(test, dist, log) after it
    skip: Optional[str] = None                       # why this build cannot run the case


class Scenario(unittest.TestCase):
    """Starts and leaves every case with its products removed, its registry keys deleted, no
    setup log and no program of the runs still running, whatever the outcome."""
    products = (SAMPLE_CODE,)
    keys: Sequence[tuple] = ()      # (key, view)

    def setUp(self):
        self.addCleanup(self.tidy)
        self.tidy()

    def tidy(self):
        wine([UIDRIVER, 'kill', winpath(RUNS)])
        ensure_absent(*self.products)
        for key, view in self.keys:
            reg_delete(key, view)
        clear_logs()

    def answer(self, box: Box, dist: Distribution) -> Window:
        """Waits for the box, checks its text and buttons, and presses the button."""
        window, logs = wait_window(box.title), find_logs()
        if box.message is not None:
            self.assertEqual(window.message, box.message.replace('{dist}', winpath(dist.dir)).replace(
                '{log}', windows_log_path(logs[-1]) if logs else ''))
        if box.buttons is not None:
            self.assertEqual(window.buttons, box.buttons)
        click(box.title, box.button)
        return window

    def assertLines(self, actual: List[str], expected: list, log: Log, dist: Distribution):
        """Equal line by line; see Case for what an expected line may be."""
        expected = [e.replace('{dist}', winpath(dist.dir)) if isinstance(e, str) else e(dist) if callable(e) else e
                    for e in expected]
        if len(actual) != len(expected) or not all(e.fullmatch(a) if isinstance(e, re.Pattern) else e == a
                                                   for a, e in zip(actual, expected)):
            self.assertEqual(actual, expected, log.dump())

    def run_case(self, case: Case):
        with self.subTest(case.name):
            if case.skip:
                self.skipTest(case.skip)
            self.tidy()
            if case.installed:
                install(case.installed)
            dist = Distribution(case.name, case.exe, case.program)
            if case.package:
                dist.add(package(case.package).path, 'Sample Product.msi')
            folder = lambda keys: {k: v.replace('{dist}', winpath(dist.dir)) if isinstance(v, str) else v
                                   for k, v in keys.items()}
            if case.ini is not None:
                main = dict({'MsiPath': 'Sample Product.msi'} if case.package else {}, **case.ini)
                dist.write_ini(folder(main), {name: folder(keys) for name, keys in case.sections.items()},
                               case.encoding)
            if case.prepare:
                case.prepare(dist)
            self.process = Process(dist.exe, case.args, dist.dir, wine_env(folder(case.env or {}), case.overrides))
            for step in case.boxes:
                step(self, dist) if callable(step) else self.answer(step, dist)
            self.assertEqual(self.process.wait(), case.exit, self.process.output)
            log = the_log(case.log) if case.log else self.assertEqual(find_logs(), [])
            for expected, actual in ((case.lines, log and log.own), (case.head, log and log.own[:len(case.head or [])]),
                                     (case.tail, log and log.own[-len(case.tail or [1]):])):
                if expected is not None:
                    self.assertLines(actual, expected, log, dist)
            if case.lines is not None:      # a log the engine did not write over
                self.assertTrue(log.bom, log.dump())
            for line in case.engine:
                self.assertIn(line, log.engine, log.dump())
            if case.then:
                case.then(self, dist, log)


if __name__ == '__main__':
    overrides = sys.argv[2] if sys.argv[1] == '--overrides' else ''
    command = sys.argv[3:] if overrides else sys.argv[1:]
    # A program run so may keep files beside itself (the unit tests write their setup ini there).
    privileged(['chown', '%d:%d' % (os.getuid(), os.getgid()), os.path.dirname(os.path.abspath(command[0]))])
    sys.exit(subprocess.run(WINE + command, env=wine_env(overrides=overrides), stdin=subprocess.DEVNULL).returncode)
