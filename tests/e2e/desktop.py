"""Helpers for whole-program tests: a private X server, Wine programs in the
test run's prefix, registry presets, loopback listeners and screenshots."""
import atexit
import contextlib
import json
import os
import shutil
import socket
import sqlite3
import ssl
import struct
import subprocess
import tempfile
import threading
import time
import urllib.error
import urllib.request

# Wine's loader: the 64-bit one where the machine runs 64-bit code only.
WINE = os.environ.get('PEGORA_WINE') or 'wine'
KEYS = 'SOFTWARE\\ZORVEN\\PEGORA\\'


def scratch(prefix):
    """A temporary folder, removed when the script ends."""
    folder = tempfile.mkdtemp(prefix=prefix)
    atexit.register(shutil.rmtree, folder, True)
    return folder


def write_key(home, key, values):
    """A settings key in the Linux build's file under `home`: values are (name, type, bytes)."""
    path = os.path.join(home, 'SOFTWARE', 'ZORVEN', 'PEGORA', key)
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, 'w') as f:
        for name, kind, data in values:
            f.write('%s %d %s\n' % (name, kind, data.hex()))


def typed(values):
    """Settings as the programs store them: a number as a DWORD, text as a string."""
    return [(name, 4, value.to_bytes(4, 'little')) if isinstance(value, int)
            else (name, 1, value.encode('cp1252') + b'\0') for name, value in values.items()]


class Desktop:
    """A private Xvfb display for one test script. Used as `with Desktop() as desk:`,
    every program started through it is ended with it, however the block ends."""

    def __init__(self):
        for number in range(91, 140):
            if not os.path.exists('/tmp/.X%d-lock' % number):
                break
        self.display = ':%d' % number
        self.xvfb = subprocess.Popen(['Xvfb', self.display, '-screen', '0', '1024x768x24', '-nolisten', 'tcp'],
                                     stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        time.sleep(1)
        self.env = dict(os.environ, DISPLAY=self.display, WINEDEBUG='-all', WINEDLLOVERRIDES='mscoree,mshtml=')
        if 'PEGORA_WINEPREFIX' in os.environ:
            self.env['WINEPREFIX'] = os.environ['PEGORA_WINEPREFIX']
        self.started, self.images = [], set()

    def __enter__(self):
        return self

    def __exit__(self, *failure):
        self.close()

    def close(self):
        for process in self.started:
            if process.poll() is None:
                process.kill()
                process.wait()
        for image in sorted(self.images):
            self.wine('taskkill', '/F', '/IM', image)
        self.xvfb.terminate()
        self.xvfb.wait()

    def start(self, *command, env=None):
        """A Linux program on this display, quiet."""
        process = subprocess.Popen(list(command), env=env or self.env, stdout=subprocess.DEVNULL,
                                   stderr=subprocess.DEVNULL)
        self.started.append(process)
        return process

    def settings_home(self, prefix='pegora-'):
        """A Linux settings home of its own for the programs this desktop starts."""
        home = scratch(prefix)
        os.chmod(home, 0o700)
        self.env.update(XDG_CONFIG_HOME=home, XDG_RUNTIME_DIR=home, QT_QPA_PLATFORM='xcb')
        return home

    def settings(self, kind, key, **values):
        """A settings key for either build: the Linux file in this desktop's home, or Wine's registry."""
        if kind == 'linux':
            write_key(self.env['XDG_CONFIG_HOME'], key, typed(values))
            return
        for name, value in values.items():
            self.reg_add(KEYS + key, name, 'REG_DWORD' if isinstance(value, int) else 'REG_SZ', value)

    def run(self, *args):
        """A Windows program under Wine on this display."""
        if args[0].lower().endswith('.exe'):
            self.images.add(os.path.basename(args[0]))
        return self.start(WINE, *args)

    def wine(self, *args):
        return subprocess.run([WINE] + list(args), env=self.env, capture_output=True, text=True,
                              errors='replace')

    def windows(self, title, visible=False):
        only = ['--onlyvisible'] if visible else []
        found = subprocess.run(['xdotool', 'search'] + only + ['--name', '^%s$' % title], env=self.env,
                               capture_output=True, text=True)
        return found.stdout.split()

    def wait_window(self, title, timeout=30):
        ids = wait_until(lambda: self.windows(title), timeout)
        return ids[0] if ids else None

    def point_at(self, window):
        # Without a window manager the keyboard follows the pointer.
        geometry = subprocess.run(['xdotool', 'getwindowgeometry', '--shell', window], env=self.env,
                                  capture_output=True, text=True).stdout
        values = dict(line.split('=') for line in geometry.split() if '=' in line)
        x, y = int(values.get('WIDTH', 10)) // 2, int(values.get('HEIGHT', 10)) // 2
        subprocess.run(['xdotool', 'mousemove', '--window', window, str(x), str(y)], env=self.env,
                       capture_output=True)
        time.sleep(0.2)

    def keys(self, window, *keys):
        self.point_at(window)
        for key in keys:
            subprocess.run(['xdotool', 'key', key], env=self.env, capture_output=True)
            time.sleep(0.2)

    def type(self, window, text):
        self.point_at(window)
        subprocess.run(['xdotool', 'type', '--delay', '30', text], env=self.env, capture_output=True)
        time.sleep(0.2)

    def click_in(self, window, x, y):
        subprocess.run(['xdotool', 'mousemove', '--window', window, str(x), str(y), 'click', '1'], env=self.env,
                       capture_output=True)
        time.sleep(0.5)

    def click(self, x, y, button=1):
        subprocess.run(['xdotool', 'mousemove', str(x), str(y), 'click', str(button)], env=self.env,
                       capture_output=True)
        time.sleep(0.5)

    def screenshot(self, path):
        os.makedirs(os.path.dirname(path), exist_ok=True)
        subprocess.run(['import', '-window', 'root', path], env=self.env, capture_output=True)

    def reg_delete(self, key):
        self.wine('reg', 'delete', 'HKCU\\' + key, '/f')

    def reg_add(self, key, name, kind, data):
        self.wine('reg', 'add', 'HKCU\\' + key, '/v', name, '/t', kind, '/d', str(data), '/f')

    def reg_query(self, key, name):
        out = self.wine('reg', 'query', 'HKCU\\' + key, '/v', name).stdout
        for line in out.splitlines():
            parts = line.split()
            if parts and parts[0] == name:
                return parts[1], (parts[2] if len(parts) > 2 else '')
        return None


TLS_FILES = os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', 'data', 'tls')


def tls_client(tls_max=None):
    """A browser's trust: the test office's CA, for https://localhost; `tls_max` caps its TLS version."""
    context = ssl.create_default_context(cafile=os.path.join(TLS_FILES, 'ca.pem'))
    if tls_max:
        context.minimum_version = ssl.TLSVersion.TLSv1
        context.maximum_version = tls_max
        context.set_ciphers('DEFAULT:@SECLEVEL=0')  # the old version offered, for the board to refuse
    return context


def post_update(port, path, body, https=False, origin=None, session=None, said=None):
    """POSTs to a board's update route as its page does, signed in with `session`: the status and the answer;
    the answer's headers into `said` when given."""
    headers = {'Content-Type': 'application/json', 'X-Pegora-Update': '1'}
    if origin:
        headers['Origin'] = origin
    if session:
        headers['Cookie'] = '__Host-pegora=' + session
    request = urllib.request.Request('%s://%s:%d%s' % ('https' if https else 'http',
                                                       'localhost' if https else '127.0.0.1', port, path),
                                     method='POST', data=json.dumps(body).encode(), headers=headers)
    try:
        with urllib.request.urlopen(request, timeout=60, context=tls_client() if https else None) as r:
            said is not None and said.update(r.headers)
            return r.status, r.read().decode()
    except urllib.error.HTTPError as e:
        said is not None and said.update(e.headers)
        return e.code, e.read().decode()


def sign_in(port, name, password):
    """A session's token from signing in over HTTPS, or the status and answer when refused."""
    said = {}
    status, answer = post_update(port, '/sign-in', {'name': name, 'password': password}, True, said=said)
    cookie = said.get('Set-Cookie', '')
    return cookie.split(';')[0].split('=', 1)[1] if status == 204 and '=' in cookie else '%d %s' % (status, answer)


def https_get(port, path, context=None, session=None, headers=None):
    """A GET over HTTPS to localhost, signed in with `session`: the status, the headers and the body; the
    error's text when it fails."""
    ask = urllib.request.Request('https://localhost:%d%s' % (port, path), headers=dict(headers or {}))
    if session:
        ask.add_header('Cookie', '__Host-pegora=' + session)
    try:
        with urllib.request.urlopen(ask, timeout=5,
                                    context=context or tls_client()) as r:
            return r.status, dict(r.headers), r.read().decode()
    except urllib.error.HTTPError as e:
        return e.code, dict(e.headers), e.read().decode()
    except OSError as e:
        return 0, {}, str(e)


def served_certificate(port):
    """The certificate the board at `port` presents now, as PEM."""
    with socket.create_connection(('127.0.0.1', port), timeout=5) as raw:
        with tls_client().wrap_socket(raw, server_hostname='localhost') as tls:
            return ssl.DER_cert_to_PEM_cert(tls.getpeercert(True))


def board_json(port, timeout=5):
    """A board's /board.json over loopback, or {} when it gives none."""
    try:
        with urllib.request.urlopen('http://127.0.0.1:%d/board.json' % port, timeout=timeout) as r:
            return json.loads(r.read().decode())
    except (OSError, ValueError):
        return {}


def wait_until(probe, timeout=20, step=0.3):
    """Asks `probe` until it gives something true: that, or its last answer once the time is up."""
    deadline = time.time() + timeout
    while True:
        found = probe()
        if found or time.time() >= deadline:
            return found
        time.sleep(step)


@contextlib.contextmanager
def running(command, **options):
    """A program for the length of a block, stopped however the block ends: SIGTERM, then kill."""
    process = subprocess.Popen(command, **options)
    try:
        yield process
    finally:
        if process.poll() is None:
            process.terminate()
            if wait_exit(process, 10) is None:
                process.kill()
                process.wait()


def wait_exit(process, timeout=20):
    try:
        return process.wait(timeout=timeout)
    except subprocess.TimeoutExpired:
        return None


def wait_listening(port, timeout=30):
    """Waits until something listens on the loopback port, without connecting to it."""
    return bool(wait_until(lambda: subprocess.run(['ss', '-ltnH', 'sport = :%d' % port], capture_output=True,
                                                  text=True).stdout.strip(), timeout, 0.2))


def free_port():
    s = socket.socket()
    s.bind(('127.0.0.1', 0))
    port = s.getsockname()[1]
    s.close()
    return port


def record(name, status, message):
    name = name.encode('cp1252')[:19]
    message = message.encode('cp1252')[:487]
    return (name + b'\0' * (20 - len(name)) + struct.pack('<i', status) + message +
            b'\0' * (488 - len(message)))


def send(port, data):
    with socket.create_connection(('127.0.0.1', port), timeout=5) as s:
        s.sendall(data)


class Listener:
    """Collects every whole delivery on a loopback port."""

    def __init__(self):
        self.socket = socket.socket()
        self.socket.bind(('127.0.0.1', 0))
        self.socket.listen(20)
        self.port = self.socket.getsockname()[1]
        self.deliveries = []
        self.thread = threading.Thread(target=self._run, daemon=True)
        self.thread.start()

    def _run(self):
        while True:
            try:
                connection, _ = self.socket.accept()
            except OSError:
                return
            data = b''
            while True:
                chunk = connection.recv(4096)
                if not chunk:
                    break
                data += chunk
            connection.close()
            self._deliver(data)

    def _deliver(self, data):
        self.deliveries.append(data)

    def delivery(self, index, timeout=10):
        """The fields of the delivery numbered `index` (from 0), once it has come, or None."""
        if not wait_until(lambda: len(self.deliveries) > index, timeout, 0.1):
            return None
        return fields(self.deliveries[index])

    def wait_for(self, predicate, timeout=20):
        """The first delivery that `predicate` holds for, once it has come, or None."""
        return wait_until(lambda: next((d for d in list(self.deliveries) if predicate(d)), None), timeout, 0.2)

    def close(self):
        self.socket.close()

    def __enter__(self):
        return self

    def __exit__(self, *failure):
        self.close()


def fields(data):
    name = data[:20].split(b'\0')[0].decode('cp1252')
    status = struct.unpack('<i', data[20:24])[0]
    message = data[24:].split(b'\0')[0].decode('cp1252')
    return name, status, message


class Checks:
    def __init__(self, title):
        self.title = title
        self.failures = []
        self.passed = 0

    def check(self, ok, what):
        print(('ok   ' if ok else 'FAIL ') + what, flush=True)
        if ok:
            self.passed += 1
        else:
            self.failures.append(what)

    def finish(self):
        print('%s: %d passed, %d failed' % (self.title, self.passed, len(self.failures)))
        return 1 if self.failures else 0


def ask_database(path, sql):
    """The first value `sql` gives, or the error's text, on a copy made by the test."""
    try:
        db = sqlite3.connect(path)
        try:
            return db.execute(sql).fetchone()[0]
        finally:
            db.close()
    except sqlite3.Error as e:
        return str(e)
