"""End-to-end test harness: runs setup.exe under Wine in a scratch prefix and watches it.

Import it from a unittest module; everything starts lazily on first use and stops at exit.

Paths come from the environment (ctest sets them), with fall-backs inside the build folder:
  SETUP_BUILD_DIR     build folder (default: folder of SETUP_EXE, else <repo>/out/build-x86)
  SETUP_EXE           setup.exe under test, the shipped 32-bit one (default <build>/setup.exe)
  X64_SETUP_EXE       its x86_64 twin                 (default <repo>/out/x64/setup.exe)
  UIDRIVER_EXE        the UI driver                   (default <build>/tests/tools/uidriver.exe)
  COMPONENT_TOOL_EXE  component installer/checking tool stand-in (default <build>/tests/component_tool.exe)
  MSI_AUTHOR_EXE      transform and patch author      (default <build>/tests/tools/msi_author.exe)
  TEST_PACKAGES_DIR   the .msi fixtures, marker.dll   (default <build>/tests/fixtures)
  MARKER_DLL          the marker library              (default <packages>/marker.dll)
  MAPI_DOUBLE_DLL     the MAPI32.DLL test double      (default <packages>/mapi_double/mapi32.dll)
  MAPI_DOUBLE_NO_LOGOFF_DLL  the same without MAPILogoff (default <packages>/mapi_double_no_logoff/mapi32.dll)
  MSI_DOUBLE_DLL      the msi.dll test double         (default <packages>/msi_double/msi.dll)
  VERSIONED_DLL_1999, VERSIONED_DLL_2000  i686 libraries with file version 1.9.9.9, 2.0.0.0
                      (default <packages>/versioned_1_9_9_9.dll, versioned_2_0_0_0.dll)
  VERSIONED_DLL_X64   an x86_64 library at 2.0.0.0 the 32-bit program cannot load
                      (default <packages>/versioned_x64.dll)
  UNVERSIONED_DLL     an i686 library without a version resource (default <packages>/unversioned.dll)
  NEEDS_SIBLING_DLL, SIBLING_DLL  a library that loads only beside the other
                      (default <packages>/needs_sibling.dll, sibling.dll)
  LISTVIEW_WINDOW_EXE a window with a list view that records clicks (listview_window.cpp)
                      (default <packages>/listview_window.exe)
  SETUP_WINEPREFIX    scratch prefix  (default $WINEPREFIX, else <build>/e2e-wineprefix)

The prefix is created once (wineboot -i) under a lock and reused by every test process, also
when another tool made it (a ".ready" file counts as done). A session folder beside it counts
the test processes using it; when the first one finds no wineserver running it starts a
persistent one, and the last one out stops the wineserver and the Xvfb only if the session
started them. Wine always runs with WINEDEBUG=-all and
WINEDLLOVERRIDES="mscoree,mshtml=;winedbg.exe=d" (no Mono/Gecko prompt, and a crash ends the
process at once instead of hanging in the debugger).
"""

import atexit
import contextlib
import fcntl
import glob
import os
import pwd
import re
import shutil
import signal
import socket
import struct
import subprocess
import tempfile
import time
from dataclasses import dataclass, field
from typing import Dict, List, Optional, Sequence, Tuple, Union

# ---- locations --------------------------------------------------------------------------------

_REPO = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))


def _env_path(name, default):
    value = os.environ.get(name)
    return os.path.abspath(value) if value else default


BUILD_DIR = _env_path('SETUP_BUILD_DIR',
                      os.path.dirname(os.path.abspath(os.environ['SETUP_EXE']))
                      if os.environ.get('SETUP_EXE') else os.path.join(_REPO, 'out', 'build-x86'))
SETUP_EXE = _env_path('SETUP_EXE', os.path.join(BUILD_DIR, 'setup.exe'))
X64_SETUP_EXE = _env_path('X64_SETUP_EXE', os.path.join(_REPO, 'out', 'x64', 'setup.exe'))
UIDRIVER_EXE = _env_path('UIDRIVER_EXE', os.path.join(BUILD_DIR, 'tests', 'tools', 'uidriver.exe'))
COMPONENT_TOOL_EXE = _env_path('COMPONENT_TOOL_EXE', os.path.join(BUILD_DIR, 'tests', 'component_tool.exe'))
MSI_AUTHOR_EXE = _env_path('MSI_AUTHOR_EXE', os.path.join(BUILD_DIR, 'tests', 'tools', 'msi_author.exe'))
TEST_PACKAGES_DIR = _env_path('TEST_PACKAGES_DIR', os.path.join(BUILD_DIR, 'tests', 'fixtures'))
MARKER_DLL = _env_path('MARKER_DLL', os.path.join(TEST_PACKAGES_DIR, 'marker.dll'))
MAPI_DOUBLE_DLL = _env_path('MAPI_DOUBLE_DLL', os.path.join(TEST_PACKAGES_DIR, 'mapi_double', 'mapi32.dll'))
MAPI_DOUBLE_NO_LOGOFF_DLL = _env_path('MAPI_DOUBLE_NO_LOGOFF_DLL', os.path.join(
    TEST_PACKAGES_DIR, 'mapi_double_no_logoff', 'mapi32.dll'))
MSI_DOUBLE_DLL = _env_path('MSI_DOUBLE_DLL', os.path.join(TEST_PACKAGES_DIR, 'msi_double', 'msi.dll'))
VERSIONED_DLL_1999 = _env_path('VERSIONED_DLL_1999', os.path.join(TEST_PACKAGES_DIR, 'versioned_1_9_9_9.dll'))
VERSIONED_DLL_2000 = _env_path('VERSIONED_DLL_2000', os.path.join(TEST_PACKAGES_DIR, 'versioned_2_0_0_0.dll'))
VERSIONED_DLL_X64 = _env_path('VERSIONED_DLL_X64', os.path.join(TEST_PACKAGES_DIR, 'versioned_x64.dll'))
UNVERSIONED_DLL = _env_path('UNVERSIONED_DLL', os.path.join(TEST_PACKAGES_DIR, 'unversioned.dll'))
NEEDS_SIBLING_DLL = _env_path('NEEDS_SIBLING_DLL', os.path.join(TEST_PACKAGES_DIR, 'needs_sibling.dll'))
SIBLING_DLL = _env_path('SIBLING_DLL', os.path.join(TEST_PACKAGES_DIR, 'sibling.dll'))
LISTVIEW_WINDOW_EXE = _env_path('LISTVIEW_WINDOW_EXE', os.path.join(TEST_PACKAGES_DIR, 'listview_window.exe'))
WINEPREFIX = _env_path('SETUP_WINEPREFIX', _env_path('WINEPREFIX', os.path.join(BUILD_DIR, 'e2e-wineprefix')))
RUNS_DIR = os.path.join(BUILD_DIR, 'e2e-runs')

# The program under test is the shipped 32-bit one: Wine's 32-bit loader runs it, and hands the
# 64-bit programs (msiexec, reg /reg:64) on to the 64-bit loader itself. Debian's /usr/bin/wine
# would quietly fall back to wine64 when wine32 is missing; the tests need the real thing.
WINE = '/usr/lib/wine/wine'
# Debian's Wine has no preloader to keep its fixed addresses free, so with the address space
# randomised about one start in a few hundred fails ("failed to map the shared user data") and
# the process ends with 1. Without randomisation the layout is the same every time, and works.
WINE_COMMAND = (['setarch', os.uname().machine, '-R', WINE] if shutil.which('setarch') else [WINE])
WINESERVER = '/usr/lib/wine/wineserver64' if os.access('/usr/lib/wine/wineserver64', os.X_OK) else (
    shutil.which('wineserver') or 'wineserver')
BASE_DLL_OVERRIDES = 'mscoree,mshtml=;winedbg.exe=d'

# ---- the test packages ------------------------------------------------------------------------


@dataclass(frozen=True)
class Package:
    file: str            # .msi name in TEST_PACKAGES_DIR
    product_code: str
    upgrade_code: str
    name: str
    version: str
    reg_key: str         # HKLM key holding "Version" (32-bit view unless x64)
    folder: str          # install folder, relative to drive_c
    x64: bool = False

    @property
    def path(self):
        return os.path.join(TEST_PACKAGES_DIR, self.file)


SAMPLE_CODE = '{BCB2E58D-E401-4D1B-B531-45824E859732}'
SAMPLE_UPGRADE = '{B9E02944-8380-47C7-8B3D-1BAC08BB6ECD}'
PLAIN_CODE = '{01DA6B73-0DAE-4AD6-BC0F-C5FC9D96EDCD}'
QUESTION_CODE = '{DF32FEE7-A7F7-42A2-AAC3-520FDA5F0D17}'
X64_CODE = '{7E8E813F-35B2-43A0-AC06-075AE02F7A7B}'
CANCEL_CODE = '{DCB285D7-BC42-46BC-9045-B9981ADB8028}'
PREREQ_COMPONENT_CODE = '{A00C224A-3E0F-4775-A187-91C4A28B65F8}'


def _sample(file, version):
    return Package(file, SAMPLE_CODE, SAMPLE_UPGRADE, 'Sample Product', version,
                   r'HKLM\Software\SetupLauncherTest\SampleProduct',
                   'Program Files (x86)/SetupLauncherTest/SampleProduct')


PACKAGES: Dict[str, Package] = {
    'product_v1': _sample('product_v1.msi', '2.0.0'),
    'product_v2': _sample('product_v2.msi', '2.1.0'),
    'product_v3': _sample('product_v3.msi', '2.2.0'),
    'product_nolangneutral': Package(
        'product_nolangneutral.msi', PLAIN_CODE, '{686AF459-AE2F-4880-9416-24B1CDC6DF35}',
        'Plain Product', '1.0.0', r'HKLM\Software\SetupLauncherTest\PlainProduct',
        'Program Files (x86)/SetupLauncherTest/PlainProduct'),
    'product_question': Package(
        'product_question.msi', QUESTION_CODE, '{B3DD4EB5-14AA-479D-928B-03C4213679EF}',
        'What?Product', '1.0.0', r'HKLM\Software\SetupLauncherTest\WhatProduct',
        'Program Files (x86)/SetupLauncherTest/WhatProduct'),
    'product_x64': Package(
        'product_x64.msi', X64_CODE, '{62CBAE73-5FCA-468E-AA98-7F7E47537D87}',
        'Sample Product x64', '1.0.0', r'HKLM\Software\SetupLauncherTest\SampleProductX64',
        'Program Files/SetupLauncherTest/SampleProductX64', x64=True),
    # Its custom action answers ERROR_INSTALL_USEREXIT: every installation ends with 1602.
    'product_cancel': Package(
        'product_cancel.msi', CANCEL_CODE, '{4C0926AB-6DB0-4722-A66E-B52268C008F4}',
        'Cancelled Product', '1.0.0', r'HKLM\Software\SetupLauncherTest\CancelledProduct',
        'Program Files/SetupLauncherTest/CancelledProduct', x64=True),
    # A prerequisite component of its own, installed as `msiexec /i "<path>" /qn`.
    'prereq_component': Package(
        'prereq_component.msi', PREREQ_COMPONENT_CODE, '{F3D54DD5-AD3C-4A89-8188-5A4D09D9119E}',
        'Prerequisite Component', '1.0.0', r'HKLM\Software\SetupLauncherTest\PrereqComponent',
        'Program Files (x86)/SetupLauncherTest/PrereqComponent'),
}

INSTALLSTATE_UNKNOWN = -1
INSTALLSTATE_ADVERTISED = 1
INSTALLSTATE_DEFAULT = 5


class HarnessError(AssertionError):
    """A wait timed out or a helper failed; the message carries the context."""


# ---- Wine session: prefix, wineserver, display ------------------------------------------------

_session_dir = WINEPREFIX + '.session'
_state = {'env': None, 'display': None, 'children': []}


class _Lock:
    def __init__(self, path):
        self.path = path

    def __enter__(self):
        os.makedirs(os.path.dirname(self.path), exist_ok=True)
        self.fd = os.open(self.path, os.O_RDWR | os.O_CREAT, 0o644)
        fcntl.flock(self.fd, fcntl.LOCK_EX)
        return self

    def __exit__(self, *exc):
        fcntl.flock(self.fd, fcntl.LOCK_UN)
        os.close(self.fd)


def _alive(pid):
    try:
        os.kill(pid, 0)
        return True
    except (ProcessLookupError, ValueError):
        return False
    except PermissionError:
        return True


def _live_users():
    users_dir = os.path.join(_session_dir, 'users')
    os.makedirs(users_dir, exist_ok=True)
    live = []
    for name in os.listdir(users_dir):
        if name.isdigit() and _alive(int(name)):
            live.append(int(name))
        else:
            os.unlink(os.path.join(users_dir, name))
    return live


def _read(path):
    try:
        with open(path) as f:
            return f.read().strip()
    except OSError:
        return ''


def _server_running() -> bool:
    """Whether a wineserver serves the prefix: Wine 8 names its socket folder in
    $WINEPREFIX/wineserver (/tmp/<name>/server-<dev>-<inode>/socket)."""
    name = _read(os.path.join(WINEPREFIX, 'wineserver'))
    if not name:
        return False
    st = os.stat(WINEPREFIX)
    path = '/tmp/%s/server-%x-%x/socket' % (name, st.st_dev, st.st_ino)
    with socket.socket(socket.AF_UNIX, socket.SOCK_STREAM) as s:
        s.settimeout(5)
        try:
            s.connect(path)
            return True
        except OSError:
            return False


def _start_xvfb():
    """Starts Xvfb on a free display (it picks the number itself); returns (pid, ':N')."""
    read_fd, write_fd = os.pipe()
    proc = subprocess.Popen(
        ['Xvfb', '-displayfd', str(write_fd), '-nolisten', 'tcp', '-screen', '0', '1280x1024x24'],
        pass_fds=(write_fd,), stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
        stderr=subprocess.DEVNULL, start_new_session=True)
    os.close(write_fd)
    number = b''
    deadline = time.time() + 20
    while not number.endswith(b'\n'):
        if time.time() > deadline or proc.poll() is not None:
            proc.kill()
            raise HarnessError('Xvfb did not start')
        chunk = os.read(read_fd, 16)
        if not chunk:
            break
        number += chunk
    os.close(read_fd)
    _state['children'].append(proc)
    return proc.pid, ':' + number.decode().strip()


def _base_env(display):
    env = dict(os.environ)
    env.update(WINEPREFIX=WINEPREFIX, WINEDEBUG='-all', WINEDLLOVERRIDES=BASE_DLL_OVERRIDES)
    env.pop('WINELOADER', None)
    if display:
        env['DISPLAY'] = display
    return env


def wine_env(extra: Optional[Dict[str, str]] = None, dll_overrides: str = '') -> Dict[str, str]:
    """The environment for a Wine process; dll_overrides is appended, e.g. "msi,version=n,b"."""
    env = dict(session())
    if dll_overrides:
        env['WINEDLLOVERRIDES'] = BASE_DLL_OVERRIDES + ';' + dll_overrides
    if extra:
        env.update(extra)
    return env


def session() -> Dict[str, str]:
    """Makes sure prefix, wineserver and display are up; returns the base environment."""
    if _state['env'] is not None:
        return _state['env']
    with _Lock(os.path.join(_session_dir, 'lock')):
        others = _live_users()
        display = os.environ.get('DISPLAY')
        xvfb_file = os.path.join(_session_dir, 'xvfb')
        if not display:
            pid_text, _, shared = _read(xvfb_file).partition(' ')
            if pid_text.isdigit() and _alive(int(pid_text)) and shared:
                display = shared
            else:
                pid, display = _start_xvfb()
                with open(xvfb_file, 'w') as f:
                    f.write('%d %s\n' % (pid, display))
        env = _base_env(display)
        # A prefix made by a 64-bit-only Wine (no 32-bit system folder) no longer starts.
        if not any(os.path.exists(os.path.join(WINEPREFIX, n)) for n in ('.e2e-ready', '.ready')) or \
                not os.path.isdir(drive_c('windows', 'syswow64')):
            shutil.rmtree(WINEPREFIX, ignore_errors=True)
            subprocess.run(['wineboot', '-i'], env=env, stdin=subprocess.DEVNULL,
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                           timeout=300, check=True)
            subprocess.run([WINESERVER, '-w'], env=env, timeout=120)
            with open(os.path.join(WINEPREFIX, '.e2e-ready'), 'w') as f:
                f.write('ok\n')
        started_file = os.path.join(_session_dir, 'server-started')
        if not others and not _server_running():
            # Persistent server: every later wine call starts in about 0.1 s.
            _state['children'].append(subprocess.Popen(
                [WINESERVER, '-p'], env=env, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                stderr=subprocess.DEVNULL, start_new_session=True))
            open(started_file, 'w').close()
            time.sleep(0.2)
        # The first client of a new server starts the prefix's services and the desktop,
        # which keep that client's standard handles: give them /dev/null.
        subprocess.run(WINE_COMMAND + [UIDRIVER_EXE if os.path.exists(UIDRIVER_EXE) else 'cmd.exe',
                        'list' if os.path.exists(UIDRIVER_EXE) else '/c'],
                       env=env, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL, timeout=120)
        open(os.path.join(_session_dir, 'users', str(os.getpid())), 'w').close()
    _state['env'] = env
    _state['display'] = display
    atexit.register(_end_session)
    return env


def _end_session():
    env = _state['env']
    if env is None:
        return
    with _Lock(os.path.join(_session_dir, 'lock')):
        try:
            os.unlink(os.path.join(_session_dir, 'users', str(os.getpid())))
        except OSError:
            pass
        if _live_users():
            return
        started_file = os.path.join(_session_dir, 'server-started')
        if os.path.exists(started_file):
            subprocess.run([WINESERVER, '-k'], env=env, stdout=subprocess.DEVNULL,
                           stderr=subprocess.DEVNULL, timeout=60)
            os.unlink(started_file)
        xvfb_file = os.path.join(_session_dir, 'xvfb')
        pid_text = _read(xvfb_file).partition(' ')[0]
        if pid_text.isdigit() and _alive(int(pid_text)):
            os.kill(int(pid_text), signal.SIGTERM)
        if os.path.exists(xvfb_file):
            os.unlink(xvfb_file)
    _state['env'] = None


def display() -> Optional[str]:
    session()
    return _state['display']


def winpath(path: str) -> str:
    """A Linux path as Wine's Z: drive sees it."""
    return 'Z:' + os.path.abspath(path).replace('/', '\\')


def drive_c(*parts: str) -> str:
    return os.path.join(WINEPREFIX, 'drive_c', *parts)


def _run_captured(cmd: List[str], env, timeout: float) -> subprocess.CompletedProcess:
    """Runs cmd with its output in temporary files, never pipes: a Wine process may hand its
    standard handles on to processes that outlive it (explorer.exe, services.exe), and a pipe
    kept open by them would hang the reader for ever. Output stays bytes."""
    with tempfile.TemporaryFile() as out, tempfile.TemporaryFile() as err:
        proc = subprocess.Popen(cmd, env=env, stdin=subprocess.DEVNULL, stdout=out, stderr=err)
        try:
            proc.wait(timeout=timeout)
        except subprocess.TimeoutExpired as e:
            proc.kill()
            proc.wait()
            raise HarnessError('time-out after %s s: %s' % (timeout, ' '.join(cmd))) from e
        out.seek(0)
        err.seek(0)
        return subprocess.CompletedProcess(cmd, proc.returncode, out.read(), err.read())


def wine(args: Sequence[str], timeout: float = 120, env: Optional[Dict[str, str]] = None,
         check: bool = False) -> subprocess.CompletedProcess:
    """Runs a Windows program (path or name in the prefix's system folder); output as text.
    Note: a process's exit code comes back modulo 256 this way; see run_program()."""
    cmd = WINE_COMMAND + list(args)
    done = _run_captured(cmd, env or session(), timeout)
    done.stdout = done.stdout.decode('utf-8', 'replace')
    done.stderr = done.stderr.decode('utf-8', 'replace')
    if check and done.returncode != 0:
        raise HarnessError('%s answered %d\n%s%s' % (' '.join(cmd), done.returncode,
                                                    done.stdout, done.stderr))
    return done


def uidriver(*args: str, timeout: float = 60, env=None) -> subprocess.CompletedProcess:
    return wine([UIDRIVER_EXE] + list(args), timeout=timeout, env=env)


# ---- running programs with their full exit code -----------------------------------------------


def _quote(arg: str) -> str:
    """Quotes one argument by CommandLineToArgvW's rules."""
    if arg and not any(c in arg for c in ' \t"'):
        return arg
    out, slashes = '"', 0
    for c in arg:
        if c == '\\':
            slashes += 1
            continue
        out += '\\' * (slashes * 2 + 1 if c == '"' else slashes) + c
        slashes = 0
    return out + '\\' * (slashes * 2) + '"'


class Process:
    """A Windows program started through `uidriver run`; wait() answers its 32-bit exit code."""

    def __init__(self, cmdline: str, timeout: float, cwd: Optional[str], env, log_pattern=None):
        self.cmdline = cmdline
        self.timeout = timeout
        self.log_pattern = log_pattern
        os.makedirs(RUNS_DIR, exist_ok=True)
        self.exit_file = os.path.join(RUNS_DIR, 'exit-%d-%d.txt' % (os.getpid(), time.monotonic_ns()))
        args = WINE_COMMAND + [UIDRIVER_EXE, 'run'] + (['--cwd', winpath(cwd)] if cwd else []) + [
            '--timeout', str(timeout), '--exit-file', winpath(self.exit_file), '--cmdline', cmdline]
        self.started = time.time()
        self._out = tempfile.TemporaryFile()
        self._proc = subprocess.Popen(args, env=env or session(), stdin=subprocess.DEVNULL,
                                      stdout=self._out, stderr=subprocess.STDOUT)
        self.exit_code: Optional[int] = None
        self.elapsed: Optional[float] = None
        # What uidriver and the programs it started printed, Wine's own debug output included.
        self.output: Optional[str] = None

    def running(self) -> bool:
        return self._proc.poll() is None

    def wait(self, timeout: Optional[float] = None) -> int:
        if self.exit_code is not None:
            return self.exit_code
        limit = (timeout if timeout is not None else self.timeout) + 30
        try:
            self._proc.wait(timeout=limit)
        except subprocess.TimeoutExpired:
            self._proc.kill()
            self._proc.wait()
            raise HarnessError('uidriver run did not return: ' + self.cmdline) from None
        self.elapsed = time.time() - self.started
        self._out.seek(0)
        out = self._out.read().decode('utf-8', 'replace')
        self._out.close()
        self.output = out
        if self._proc.returncode != 0 or not os.path.exists(self.exit_file):
            raise HarnessError('%s\nuidriver: %s\nwindows:\n%s%s' % (
                self.cmdline, out, list_windows_text(), _log_context(self.log_pattern)))
        with open(self.exit_file) as f:
            self.exit_code = int(f.read().strip())
        os.unlink(self.exit_file)
        # An exception code: the program crashed, whatever the scenario expected of it.
        if self.exit_code >= 0xC0000000:
            raise HarnessError('%s crashed with 0x%08X\n%s%s' % (
                self.cmdline, self.exit_code, out, _log_context(self.log_pattern)))
        return self.exit_code


def start_program(program: str, args: Union[Sequence[str], str] = (), timeout: float = 600,
                  cwd: Optional[str] = None, env=None, log_pattern=None) -> Process:
    """Starts a Windows program; args as a list (quoted for you) or one raw string."""
    tail = args if isinstance(args, str) else ' '.join(_quote(a) for a in args)
    cmdline = _quote(program) + (' ' + tail if tail else '')
    return Process(cmdline, timeout, cwd, env, log_pattern)


def run_program(program: str, args: Union[Sequence[str], str] = (), timeout: float = 600,
                cwd: Optional[str] = None, env=None) -> int:
    return start_program(program, args, timeout, cwd, env).wait()


# ---- a distribution folder per scenario -------------------------------------------------------


Requisites = Union[None, Sequence[Optional[Dict[str, object]]], Dict[int, Dict[str, object]]]


def requisite_sections(prefix: str, entries: Requisites) -> Dict[str, Dict[str, object]]:
    """Numbered sections "<prefix><n>" (prefix 'PreReq' or 'PostReq') from the key dicts of
    `entries`: a list numbers them from 0 and a None in it leaves that number out; a dict
    {number: keys} gives the numbers itself, in its order."""
    if not entries:
        return {}
    numbered = entries.items() if isinstance(entries, dict) else enumerate(entries)
    return {'%s%d' % (prefix, n): keys for n, keys in numbered if keys is not None}


class Distribution:
    """A fresh folder under the build folder holding setup.exe (under any base name), its ini,
    a package and whatever else a scenario needs."""

    def __init__(self, name: str = 'dist', exe_name: str = 'setup.exe', setup_exe: str = None):
        os.makedirs(RUNS_DIR, exist_ok=True)
        stamp = time.strftime('%H%M%S')
        base = os.path.join(RUNS_DIR, '%s-%s-%d' % (name, stamp, os.getpid()))
        path, n = base, 1
        while True:
            try:
                os.makedirs(path)
                break
            except FileExistsError:
                n += 1
                path = '%s-%d' % (base, n)
        self.dir = path
        self.exe = os.path.join(path, exe_name)
        shutil.copyfile(setup_exe or SETUP_EXE, self.exe)

    @property
    def ini_path(self) -> str:
        return os.path.splitext(self.exe)[0] + '.ini'

    def path(self, *parts: str) -> str:
        return os.path.join(self.dir, *parts)

    def write_ini(self, main: Optional[Dict[str, object]] = None,
                  sections: Optional[Dict[str, Dict[str, object]]] = None,
                  raw: Optional[str] = None, encoding: str = 'cp1252',
                  prereqs: Requisites = None, postreqs: Requisites = None) -> str:
        """Writes the setup ini: [Main] from `main`, the "PreReq%d" sections from `prereqs`, the
        "PostReq%d" sections from `postreqs` (see requisite_sections), then `sections` in order;
        or `raw` text. Line ends become CRLF; the text is encoded in the given ANSI code page."""
        if raw is None:
            parts = []
            all_sections = dict(Main=main) if main is not None else {}
            all_sections.update(requisite_sections('PreReq', prereqs))
            all_sections.update(requisite_sections('PostReq', postreqs))
            all_sections.update(sections or {})
            for name, keys in all_sections.items():
                parts.append('[%s]' % name)
                parts.extend('%s=%s' % (k, v) for k, v in keys.items())
                parts.append('')
            raw = '\n'.join(parts)
        text = raw.replace('\r\n', '\n').replace('\n', '\r\n')
        with open(self.ini_path, 'wb') as f:
            f.write(text.encode(encoding))
        return self.ini_path

    def add_package(self, fixture: str = 'product_v2', as_name: Optional[str] = None) -> str:
        src = PACKAGES[fixture].path if fixture in PACKAGES else os.path.join(TEST_PACKAGES_DIR, fixture)
        return self.copy_file(src, as_name or os.path.basename(src))

    def copy_file(self, src: str, name: Optional[str] = None) -> str:
        dst = self.path(name or os.path.basename(src))
        os.makedirs(os.path.dirname(dst), exist_ok=True)
        shutil.copyfile(src, dst)
        return dst

    def add_file(self, name: str, data: Union[bytes, str], encoding: str = 'utf-8') -> str:
        dst = self.path(name)
        os.makedirs(os.path.dirname(dst), exist_ok=True)
        with open(dst, 'wb') as f:
            f.write(data if isinstance(data, bytes) else data.encode(encoding))
        return dst

    def add_component_tool(self, name: str = 'component_tool.exe') -> str:
        """Copies the component tool (tests/tools/component_tool.cpp lists its options) into the
        distribution, where a command line reaches it as "#Root#\\<name>"."""
        return self.copy_file(COMPONENT_TOOL_EXE, name)

    def plant_marker(self, *dll_names: str) -> None:
        """Copies marker.dll beside the program under each name (see marker_dll.c)."""
        for name in dll_names:
            self.copy_file(MARKER_DLL, name)


@dataclass
class SetupResult:
    exit_code: int
    elapsed: float
    cmdline: str


def start_setup(dist: Distribution, args: Union[Sequence[str], str] = (), timeout: float = 300,
                env=None) -> Process:
    """Starts the distribution's setup.exe (current folder: the distribution) and returns at once;
    drive its windows, then call .wait() for the exit code."""
    return start_program(winpath(dist.exe), args, timeout, cwd=dist.dir, env=env,
                         log_pattern='*.log')


def run_setup(dist: Distribution, args: Union[Sequence[str], str] = (), timeout: float = 300,
              env=None) -> SetupResult:
    proc = start_setup(dist, args, timeout, env)
    code = proc.wait()
    return SetupResult(code, proc.elapsed, proc.cmdline)


# ---- windows ----------------------------------------------------------------------------------


@dataclass
class Child:
    id: int
    cls: str
    text: str
    visible: bool = True
    enabled: bool = True
    checked: bool = False


@dataclass
class Window:
    hwnd: str
    title: str
    cls: str
    children: List[Child] = field(default_factory=list)

    def child(self, id: int) -> Optional[Child]:
        return next((c for c in self.children if c.id == id or c.id & 0xFFFF == id & 0xFFFF), None)

    def buttons(self) -> List[str]:
        """Button captions without accelerator marks."""
        return [_strip_accel(c.text) for c in self.children if c.cls.lower() == 'button']

    @property
    def message(self) -> Optional[str]:
        """A message box's text (Static 0xFFFF under Wine)."""
        c = self.child(0xFFFF)
        return c.text if c else None

    def texts(self) -> List[str]:
        return [c.text for c in self.children]


def _strip_accel(text: str) -> str:
    return text.replace('&&', '\0').replace('&', '').replace('\0', '&')


def _unescape(text: str) -> str:
    return re.sub(r'\\([\\rnt])', lambda m: {'\\': '\\', 'r': '\r', 'n': '\n', 't': '\t'}[m.group(1)],
                  text)


def parse_window(output: str) -> Window:
    win = Window('', '', '')
    for line in output.split('\n'):
        key, _, rest = line.partition(' ')
        if key == 'HWND':
            win.hwnd = rest
        elif key == 'TITLE':
            win.title = _unescape(rest)
        elif key == 'CLASS':
            win.cls = _unescape(rest)
        elif key == 'CHILD':
            ident, cls, text = (rest.split(' ', 2) + ['', ''])[:3]
            win.children.append(Child(int(ident), cls, _unescape(text)))
        elif key == 'STATE' and win.children:
            flags = rest.split(' ', 1)[1] if ' ' in rest else ''
            last = win.children[-1]
            last.visible, last.enabled, last.checked = 'V' in flags, 'E' in flags, 'C' in flags
    return win


def _match_args(title, title_contains, cls, process):
    args = []
    if title is not None:
        args += ['--title', title]
    if title_contains is not None:
        args += ['--title-contains', title_contains]
    if cls:
        args += ['--class', cls]
    if process:
        args += ['--process', process]
    if not args or (title is None and title_contains is None):
        raise ValueError('give title or title_contains')
    return args


def _ui(verb, match, extra, timeout):
    done = uidriver(verb, *match, *extra, '--timeout', str(timeout), timeout=timeout + 30)
    if done.returncode != 0:
        raise HarnessError('uidriver %s %s: %s\nvisible windows:\n%s' % (
            verb, ' '.join(match + extra), done.stderr.strip(), list_windows_text()))
    return done.stdout


def wait_window(title: str = None, cls: str = None, timeout: float = 30,
                title_contains: str = None, process: str = None) -> Window:
    """Waits for a visible top-level window and answers its texts."""
    return parse_window(_ui('wait', _match_args(title, title_contains, cls, process), [], timeout))


def window_texts(title: str = None, cls: str = None, title_contains: str = None,
                 process: str = None) -> Window:
    return parse_window(_ui('texts', _match_args(title, title_contains, cls, process), [], 0))


def click(title: str = None, button: str = None, id: int = None, cls: str = None,
          timeout: float = 30, title_contains: str = None, process: str = None) -> None:
    """Presses a button (by caption without '&', or by control id) once it is visible and enabled."""
    extra = ['--button', button] if button is not None else ['--id', str(id)]
    _ui('click', _match_args(title, title_contains, cls, process), extra, timeout)


def close(title: str = None, cls: str = None, timeout: float = 30, title_contains: str = None) -> None:
    _ui('close', _match_args(title, title_contains, cls, None), [], timeout)


def gone(title: str = None, cls: str = None, timeout: float = 30, title_contains: str = None) -> None:
    _ui('gone', _match_args(title, title_contains, cls, None), [], timeout)


def list_windows_text() -> str:
    try:
        return uidriver('list', timeout=30).stdout
    except HarnessError as e:
        return str(e)


def poll(what, check, timeout=30):
    """Answers check()'s first true answer; fails with `what` after the time-out."""
    deadline = time.time() + timeout
    while True:
        answer = check()
        if answer:
            return answer
        if time.time() > deadline:
            raise HarnessError('%s did not happen within %s s\nwindows:\n%s' % (
                what, timeout, list_windows_text()))
        time.sleep(0.2)


def screenshot(name: str) -> Optional[str]:
    """Saves the whole screen as <runs>/<name>.png; None when it cannot."""
    path = os.path.join(RUNS_DIR, name + '.png')
    os.makedirs(RUNS_DIR, exist_ok=True)
    env = dict(os.environ, DISPLAY=display() or '')
    try:
        done = subprocess.run(['import', '-window', 'root', path], env=env, timeout=30,
                              stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    except (OSError, subprocess.TimeoutExpired):
        return None
    return path if done.returncode == 0 else None


# ---- list views and mouse clicks --------------------------------------------------------------

LIST_ID = 10010       # the list view of the prerequisite dialog


@dataclass
class Row:
    index: int
    image: int        # small-image index (iImage) as the list answers it
    text: str
    selected: bool = False
    focused: bool = False


@dataclass
class ListView:
    rows: List[Row]
    mark: int         # selection mark, -1 when none

    @property
    def texts(self) -> List[str]:
        return [r.text for r in self.rows]

    @property
    def images(self) -> List[int]:
        return [r.image for r in self.rows]


def parse_rows(output: str) -> ListView:
    """Reads `uidriver rows` output (ROW <index> <image> <flags> <text>, then MARK <index>)."""
    view = ListView([], -1)
    for line in output.split('\n'):
        key, _, rest = line.rstrip('\r').partition(' ')
        if key == 'ROW':
            index, image, flags, text = (rest.split(' ', 3) + [''])[:4]
            view.rows.append(Row(int(index), int(image), _unescape(text), 'S' in flags, 'F' in flags))
        elif key == 'MARK':
            view.mark = int(rest)
    return view


def _point(output: str) -> Tuple[int, int]:
    for line in output.split('\n'):
        key, _, rest = line.partition(' ')
        if key == 'POINT':
            x, y = rest.split()
            return int(x), int(y)
    raise HarnessError('uidriver printed no POINT: %r' % output)


def list_rows(title: str = None, id: int = LIST_ID, cls: str = None, timeout: float = 30,
              title_contains: str = None, process: str = None) -> ListView:
    """The rows of the list view `id` in the first matching window that has one."""
    return parse_rows(_ui('rows', _match_args(title, title_contains, cls, process),
                          ['--id', str(id)], timeout))


def click_row(title: str = None, row: int = 0, at: str = 'icon', id: int = LIST_ID,
              cls: str = None, timeout: float = 30, title_contains: str = None,
              process: str = None) -> Tuple[int, int]:
    """A left click on a row's picture (at='icon') or label (at='label'), posted as button down
    and up; returns once the list has handled it. Answers the point, in list coordinates."""
    return _point(_ui('click-row', _match_args(title, title_contains, cls, process),
                      ['--row', str(row), '--at', at, '--id', str(id)], timeout))


def type_in_row(title: str = None, row: int = 0, char: str = ' ', id: int = LIST_ID,
                cls: str = None, timeout: float = 30, title_contains: str = None,
                process: str = None) -> None:
    """Focuses and selects a row, makes it the selection mark and types `char` (a blank by
    default) into the list; returns once the list has handled it."""
    _ui('type-row', _match_args(title, title_contains, cls, process),
        ['--row', str(row), '--char', char, '--id', str(id)], timeout)


def click_control(title: str = None, id: int = 0, cls: str = None, timeout: float = 30,
                  title_contains: str = None, process: str = None,
                  at: Optional[Tuple[int, int]] = None) -> Tuple[int, int]:
    """A left click (button down and up) on the centre of a visible control, such as a static
    link, or on its client point `at`; returns once posted. Answers the point, in the control's
    coordinates."""
    extra = ['--id', str(id)] + (['--at', '%d,%d' % at] if at else [])
    return _point(_ui('click-control', _match_args(title, title_contains, cls, process), extra, timeout))


# ---- Windows executables ----------------------------------------------------------------------

IMAGE_FILE_MACHINE_I386 = 0x14C
IMAGE_FILE_MACHINE_AMD64 = 0x8664


def _pe_headers(data: bytes):
    """(machine, data-directory offset, section table offset, section count) of a PE image."""
    pe = struct.unpack_from('<I', data, 0x3C)[0]
    if data[:2] != b'MZ' or data[pe:pe + 4] != b'PE\0\0':
        raise ValueError('not a PE image')
    machine, sections, _, _, _, optional_size = struct.unpack_from('<HHIIIH', data, pe + 4)
    optional = pe + 24
    magic = struct.unpack_from('<H', data, optional)[0]
    directories = optional + {0x10B: 96, 0x20B: 112}[magic]
    return machine, directories, optional + optional_size, sections


def pe_machine(path: str) -> int:
    """The machine a Windows executable or library is built for (IMAGE_FILE_MACHINE_*)."""
    with open(path, 'rb') as f:
        return _pe_headers(f.read())[0]


def file_version(path: str) -> Optional[str]:
    """The file version "a.b.c.d" of a PE file's version resource (its fixed file information),
    or None when it has none."""
    with open(path, 'rb') as f:
        data = f.read()
    _, directories, table, count = _pe_headers(data)
    rva = struct.unpack_from('<I', data, directories + 2 * 8)[0]    # the resource directory
    if not rva:
        return None

    def offset(address):
        for i in range(count):
            size, start, raw_size, raw = struct.unpack_from('<IIII', data, table + 40 * i + 8)
            if start <= address < start + max(size, raw_size):
                return raw + address - start
        raise ValueError('address %#x outside the sections' % address)

    base = offset(rva)

    def first_entry(directory, wanted=None):
        named, ids = struct.unpack_from('<HH', data, base + directory + 12)
        for i in range(named + ids):
            name, target = struct.unpack_from('<II', data, base + directory + 16 + 8 * i)
            if wanted is None or name == wanted:
                return target
        return None

    entry = first_entry(0, 16)                     # RT_VERSION
    for _ in range(2):                             # its first name, then its first language
        if entry is None or not entry & 0x80000000:
            return None
        entry = first_entry(entry & 0x7FFFFFFF)
    if entry is None or entry & 0x80000000:
        return None
    block = offset(struct.unpack_from('<I', data, base + entry)[0])
    fixed = (block + 6 + len('VS_VERSION_INFO\0') * 2 + 3) & ~3
    signature, _, ms, ls = struct.unpack_from('<IIII', data, fixed)
    if signature != 0xFEEF04BD:
        return None
    return '%d.%d.%d.%d' % (ms >> 16, ms & 0xFFFF, ls >> 16, ls & 0xFFFF)


# ---- Windows Installer and registry -----------------------------------------------------------


def product_state(code: str) -> int:
    done = uidriver('product-state', code)
    if done.returncode != 0:
        raise HarnessError('product-state %s: %s' % (code, done.stderr))
    return int(done.stdout.strip())


def product_info(code: str, prop: str) -> Optional[str]:
    """MsiGetProductInfoW's value, or None when the engine answers an error."""
    done = uidriver('product-info', code, prop)
    return done.stdout.rstrip('\r\n') if done.returncode == 0 else None


def uninstall(code: str) -> int:
    """Removes the product quietly; answers MsiConfigureProductW's result (1605: not installed)."""
    done = uidriver('uninstall', code, timeout=300)
    try:
        return int(done.stdout.strip())
    except ValueError:
        raise HarnessError('uninstall %s: %s' % (code, done.stderr)) from None


def ensure_absent(*codes: str) -> None:
    """Makes sure none of the products is installed before a scenario."""
    for code in codes:
        result = uninstall(code)
        if result not in (0, 1605, 3010) or product_state(code) == INSTALLSTATE_DEFAULT:
            raise HarnessError('cannot remove %s (result %d)' % (code, result))


def msiexec(args: Sequence[str], timeout: float = 300) -> int:
    """msiexec with the full exit code, e.g. msiexec(['/i', winpath(p), '/qn'])."""
    return run_program('msiexec.exe', args, timeout)


def _author(verb: str, dest: str, base: str, extra: Sequence[str],
            properties: Optional[Dict[str, str]], rows: Sequence[str]) -> str:
    """Runs msi_author under the session's Wine. The changes travel in a UTF-8 file, because
    Wine decodes a command line in the locale's character set and would spoil other text."""
    changes = ['Property:%s:Value=%s' % item for item in (properties or {}).items()] + list(rows)
    base_path = PACKAGES[base].path if base in PACKAGES else base
    os.makedirs(os.path.dirname(os.path.abspath(dest)), exist_ok=True)
    listing = dest + '.changes'
    with open(listing, 'w', encoding='utf-8') as f:
        f.write(''.join(c + '\n' for c in changes))
    try:
        wine([MSI_AUTHOR_EXE, verb, winpath(dest), winpath(base_path)] + list(extra) +
             ['@' + winpath(listing)], check=True)
    finally:
        os.unlink(listing)
    return dest


def make_transform(dest: str, base: str = 'product_v2', properties: Optional[Dict[str, str]] = None,
                   rows: Sequence[str] = ()) -> str:
    """Authors a transform of base (a fixture name or a path) that sets the given Property values
    and "Table:Key:Column=Value" rows (a key the base lacks adds the row); answers dest."""
    return _author('transform', dest, base, [], properties, rows)


def make_patch(dest: str, target: str, patch_code: str, properties: Optional[Dict[str, str]] = None,
               rows: Sequence[str] = ()) -> str:
    """Authors a patch (table changes only, no files) for the product of target (a fixture name
    or a path), with the same kinds of changes as make_transform; answers dest."""
    return _author('patch', dest, target, [patch_code], properties, rows)


def patches(code: str) -> List[str]:
    """The patch codes applied to an installed product (MsiEnumPatchesW)."""
    done = uidriver('patches', code)
    if done.returncode != 0:
        raise HarnessError('patches %s: %s' % (code, done.stderr))
    return done.stdout.split()


def apply_patch(patch: str, package: Optional[str] = None, install_type: int = 0) -> int:
    """MsiApplyPatchW(patch, package, install_type, "") quietly; answers its result. Paths are
    Linux paths."""
    args = ['apply-patch', winpath(patch)] + ([winpath(package)] if package else [])
    done = uidriver(*args, '--type', str(install_type), timeout=300)
    try:
        return int(done.stdout.strip())
    except ValueError:
        raise HarnessError('apply-patch %s: %s' % (patch, done.stderr)) from None


def _reg_view(view):
    return ['/reg:%d' % view] if view else []


def reg_query(key: str, value: Optional[str] = None, view: Optional[int] = None,
              encoding: str = 'cp437'):
    """One registry value through `reg query`: str for REG_SZ/EXPAND_SZ, int for REG_DWORD,
    None when absent. value None reads the default value. view 32 or 64 picks the registry view
    (the 32-bit packages write under the 32-bit view). reg.exe prints in the OEM code page of
    the harness's own locale (437 for C/English); arguments go in as Unicode either way."""
    args = ['reg', 'query', key] + (['/v', value] if value is not None else ['/ve']) + _reg_view(view)
    done = _run_captured(WINE_COMMAND + args, session(), 60)
    if done.returncode != 0:
        return None
    for line in done.stdout.decode(encoding, 'replace').splitlines():
        parts = re.split(r'\s{4}', line.strip(), maxsplit=2)
        if len(parts) >= 2 and parts[1].startswith('REG_'):
            data = parts[2] if len(parts) > 2 else ''
            if parts[1] == 'REG_DWORD':
                return int(data, 16)
            return data
    return None


def reg_set(key: str, value: Optional[str], data, kind: str = 'REG_SZ', view: Optional[int] = None):
    args = ['reg', 'add', key] + (['/v', value] if value is not None else ['/ve'])
    wine(args + ['/t', kind, '/d', str(data), '/f'] + _reg_view(view), timeout=60, check=True)


def reg_delete_key(key: str, view: Optional[int] = None) -> None:
    wine(['reg', 'delete', key, '/f'] + _reg_view(view), timeout=60)


def installed_version(fixture: str) -> Optional[str]:
    """The "Version" value a test package wrote, or None."""
    pkg = PACKAGES[fixture]
    return reg_query(pkg.reg_key, 'Version', view=64 if pkg.x64 else 32)


def installed_file(fixture: str) -> str:
    """Linux path of the readme.txt a test package installs."""
    return drive_c(PACKAGES[fixture].folder, 'readme.txt')


# ---- test doubles of system libraries ---------------------------------------------------------


@contextlib.contextmanager
def system_double(name: str, double: str):
    """Puts a test double of a system library (say MAPI_DOUBLE_DLL as 'mapi32.dll') into the
    prefix's 32-bit system folder, where the 32-bit program looks for it, and puts the original back
    after. Only a program run with the override '<name>=n' takes it; Wine's own tools go on
    using the built-in library."""
    target = drive_c('windows', 'syswow64', name)
    saved = target + '.e2e-original'
    if os.path.exists(saved):       # a run that died inside this block
        os.replace(saved, target)
    os.replace(target, saved)
    shutil.copyfile(double, target)
    try:
        yield
    finally:
        os.replace(saved, target)


def mapi_double(without_logoff: bool = False):
    """The MAPI32.DLL double (tests/fixtures/mapi_double.c), or its copy that lacks MAPILogoff;
    run the program with mapi_env()."""
    return system_double('mapi32.dll', MAPI_DOUBLE_NO_LOGOFF_DLL if without_logoff else MAPI_DOUBLE_DLL)


def msi_double():
    """The msi.dll double (tests/fixtures/msi_double.c); run the program with msi_env()."""
    return system_double('msi.dll', MSI_DOUBLE_DLL)


def mapi_env(record: str, result='0', window: Optional[str] = None) -> Dict[str, str]:
    """Environment for a run against the double: it appends what MAPISendMail receives to the
    Linux file `record`, answers `result` (a number, or 'fault' to crash) and, with `window`,
    opens a compose window titled with the subject followed by that text."""
    extra = {'MAPI_DOUBLE_RECORD': winpath(record), 'MAPI_DOUBLE_RESULT': str(result)}
    if window is not None:
        extra['MAPI_DOUBLE_WINDOW'] = window
    return wine_env(extra=extra, dll_overrides='mapi32=n')


def msi_env(record: str, result=0) -> Dict[str, str]:
    """Environment for a run against the msi.dll double: it appends each call to the Linux file
    `record` and MsiApplyPatchW answers `result`."""
    return wine_env(extra={'MSI_DOUBLE_RECORD': winpath(record), 'MSI_DOUBLE_RESULT': str(result)},
                    dll_overrides='msi=n')


def read_msi_record(record: str) -> List[str]:
    """The msi.dll double's record, a line per call; empty when nothing was called."""
    if not os.path.exists(record):
        return []
    with open(record, encoding='utf-8') as f:
        return f.read().splitlines()


def read_mapi_record(record: str, encoding: str = 'cp1252') -> List[str]:
    """The double's record as lines ("key=value"); empty when nothing was sent."""
    if not os.path.exists(record):
        return []
    with open(record, 'rb') as f:
        return f.read().decode(encoding).split('\r\n')[:-1]


# ---- the setup log ----------------------------------------------------------------------------

STAMP_RE = re.compile(r'^Setup\.exe \[\d{4}\.\d{2}\.\d{2} \d{2}:\d{2}:\d{2}\]: ')


def strip_stamp(line: str) -> str:
    return STAMP_RE.sub('', line, count=1)


def temp_dir() -> str:
    """The prefix user's %TEMP% (C:\\users\\<user>\\Temp) on the Linux side."""
    session()
    return drive_c('users', pwd.getpwuid(os.getuid()).pw_name, 'Temp')


def find_logs(pattern: str = '*.log') -> List[str]:
    """Files in %TEMP% matching the glob pattern, oldest first."""
    return sorted(glob.glob(os.path.join(temp_dir(), pattern)), key=os.path.getmtime)


def find_log(pattern: str = '*.log') -> str:
    logs = find_logs(pattern)
    if not logs:
        raise HarnessError('no log %s in %s (present: %s)' % (
            pattern, temp_dir(), os.listdir(temp_dir())))
    return logs[-1]


def clear_logs(pattern: str = '*.log') -> None:
    for path in find_logs(pattern):
        os.unlink(path)


@dataclass
class LogLine:
    text: str
    utf16: bool      # written by the program (UTF-16LE) rather than by the engine (ANSI)


@dataclass
class Log:
    path: str
    raw: bytes
    entries: List[LogLine]

    @property
    def has_bom(self) -> bool:
        return self.raw[:2] == b'\xff\xfe'

    @property
    def lines(self) -> List[str]:
        return [e.text for e in self.entries]

    @property
    def setup_lines(self) -> List[str]:
        return [e.text for e in self.entries if e.utf16]

    @property
    def engine_lines(self) -> List[str]:
        return [e.text for e in self.entries if not e.utf16]

    def stripped(self) -> List[str]:
        """The program's lines without their time stamps."""
        return [strip_stamp(l) for l in self.setup_lines]

    def dump(self) -> str:
        return '\n'.join(('  ' if e.utf16 else '| ') + e.text for e in self.entries)


def parse_log(data: bytes, path: str = '') -> Log:
    """Splits a log into lines. The program writes UTF-16LE with a BOM and CRLF; Wine's msi.dll
    writes ANSI with LF into the same file (from offset 0, ignoring the append flag), so a file
    may hold both kinds of runs; each line remembers which kind it was. The engine never writes
    a NUL byte, so a stretch up to the next LF byte that holds one is UTF-16."""
    entries, pos = [], 2 if data[:2] == b'\xff\xfe' else 0
    while pos < len(data):
        lf = data.find(b'\n', pos)
        if b'\x00' in data[pos:lf if lf != -1 else len(data)]:
            if data[pos] == 0 and pos + 1 < len(data) and data[pos + 1] != 0:
                pos += 1     # the odd half of a character the engine overwrote
            idx = data.find(b'\r\x00\n\x00', pos)
            while idx != -1 and (idx - pos) % 2:
                idx = data.find(b'\r\x00\n\x00', idx + 1)
            end = idx if idx != -1 else len(data) - (len(data) - pos) % 2
            entries.append(LogLine(data[pos:end].decode('utf-16-le', 'replace'), True))
            pos = end + 4 if idx != -1 else len(data)
        else:
            end = lf if lf != -1 else len(data)
            entries.append(LogLine(data[pos:end].rstrip(b'\r').decode('cp1252', 'replace'), False))
            pos = end + 1
    return Log(path, data, entries)


def read_log(path: str) -> Log:
    with open(path, 'rb') as f:
        return parse_log(f.read(), path)


def _log_context(pattern: Optional[str]) -> str:
    if not pattern:
        return ''
    try:
        log = read_log(find_log(pattern))
    except (HarnessError, OSError):
        return ''
    return '\nlog %s:\n%s' % (log.path, log.dump())
