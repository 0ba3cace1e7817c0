"""The Windows installers under Wine, in a prefix of their own: a silent
deployment of the client aimed at a test listener, an upgrade over a running
client, the silent uninstaller, the board's installer and uninstaller, and the
board service through the service manager. Screenshots of the installers'
pages are kept.

usage: installers_e2e.py DIST ARTIFACTS [WIN32_BUILD NATIVE_BUILD]"""
import os
import socket
import urllib.request
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, '..', 'e2e'))
from desktop import (TLS_FILES, WINE, Checks, Desktop, Listener, ask_database, board_json, fields,  # noqa: E402
                     free_port, https_get, post_update, record, scratch, send, wait_exit, wait_listening,
                     wait_until)

CLIENT_KEY = 'SOFTWARE\\ZORVEN\\PEGORA\\CLIENT'
UNINSTALL = 'Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\'
STARTED = 'started but not signed in.'
UNINSTALL_WAIT = 90  # seconds: Wine can be slow to let an uninstaller's copy go


def find(root, name):
    """Every path below root whose file name is `name` (case ignored, as Windows does)."""
    hits = []
    for folder, _, files in os.walk(root):
        hits += [os.path.join(folder, f) for f in files if f.lower() == name.lower()]
    return hits


SERVICE_KEY = 'HKLM\\System\\CurrentControlSet\\Services\\pegmastd'


def board_rows(port):
    return board_json(port).get('rows', [])


def check_service(c, desk, drive, run_setup, board_setup, builds, artifacts):
    """The board service installed silently, started by the service manager,
    stopped and started with its rows, upgraded, refused a port, tried in a
    console, and uninstalled with its data folder kept."""
    def query():
        return desk.wine('sc', 'query', 'pegmastd').stdout

    def wait_state(state, timeout=40):
        return bool(wait_until(lambda: state in query(), timeout, 0.5))

    port, web = free_port(), free_port()
    code = run_setup(board_setup, '/S', '/SERVICE', '/WINDOW=0', '/PORT=%d' % port, '/WEBPORT=%d' % web)
    c.check(code == 0, 'the silent service install ends with 0 (%r)' % code)
    c.check(wait_state('RUNNING') and wait_listening(port) and wait_listening(web),
            'sc query says RUNNING and both ports listen')
    setup = desk.wine('reg', 'query', SERVICE_KEY).stdout
    c.check('NT AUTHORITY\\LocalService' in setup and 'Program Files\\Pegora\\pegmastd.exe' in setup and
            '0x2' in setup and 'Pegora board service' in setup,
            'registered to start automatically as LocalService, from %ProgramFiles%\\Pegora')
    c.check('FailureActionsOnNonCrashFailures    REG_DWORD    0x1' in setup,
            'the restart after 5 seconds holds for a stop with an error too (failureflag 1)')
    c.check(not find(drive, 'pegmast.exe'), '/WINDOW=0 leaves the board window out')
    data = os.path.join(drive, 'ProgramData', 'Pegora')
    conf = open(os.path.join(data, 'pegmastd.conf')).read()
    c.check('\nPort = %d\n' % port in conf and '\nWebPort = %d\n' % web in conf and '#SilentMinutes = 3' in conf,
            'pegmastd.conf has the two ports and every other line commented, as packaged')

    clients = []
    win32, native = builds
    key = 'SOFTWARE\\ZORVEN\\PEGORA\\CLIENT'
    desk.reg_delete(key)
    desk.reg_add(key, 'Port', 'REG_DWORD', port)
    desk.reg_add(key, 'Name', 'REG_SZ', 'Windows desk')
    desk.reg_add(key, 'ServerAddress', 'REG_SZ', '127.0.0.1')
    clients.append(desk.run(os.path.join(win32, 'client/win32/pegling.exe')))
    home = scratch('pegora-setup-home-')
    os.makedirs(os.path.join(home, 'SOFTWARE', 'ZORVEN', 'PEGORA'))
    with open(os.path.join(home, 'SOFTWARE', 'ZORVEN', 'PEGORA', 'CLIENT'), 'w') as f:
        f.write('Port 4 %s\nName 1 %s\nServerAddress 1 %s\n' % (
            port.to_bytes(4, 'little').hex(), b'Linux desk'.ljust(20, b'\0').hex(), b'127.0.0.1'.ljust(128, b'\0').hex()))
    clients.append(subprocess.Popen([os.path.join(native, 'client/qt/pegling')],
                                    env=dict(desk.env, XDG_CONFIG_HOME=home, XDG_RUNTIME_DIR=home,
                                             QT_QPA_PLATFORM='xcb'),
                                    stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL))
    wait_until(lambda: {'Windows desk', 'Linux desk'} <= {r['name'] for r in board_rows(web)}, 60, 0.5)
    names = {r['name'] for r in board_rows(web)}
    c.check({'Windows desk', 'Linux desk'} <= names, 'records from pegling.exe and the Linux client show (%r)' % names)
    try:
        with urllib.request.urlopen('http://127.0.0.1:%d/healthz' % web, timeout=5) as r:
            health = r.status
    except OSError:
        health = 0
    c.check(health == 200, '/healthz answers 200')
    for p in clients:
        p.kill()
    desk.wine('taskkill', '/F', '/IM', 'pegling.exe')

    before = {r['name']: r['age'] for r in board_rows(web)}
    desk.wine('sc', 'stop', 'pegmastd')
    c.check(wait_state('STOPPED'), 'sc stop pegmastd: STOPPED')
    db = os.path.join(data, 'board.db')
    c.check(ask_database(db, 'SELECT count(*) FROM board_rows') == len(before),
            'the database in ProgramData\\Pegora holds the rows, as Linux\'s SQLite reads it')
    time.sleep(2)
    desk.wine('sc', 'start', 'pegmastd')
    c.check(wait_state('RUNNING') and wait_listening(web), 'sc start pegmastd: RUNNING again')
    after = {r['name']: r['age'] for r in board_rows(web)}
    c.check(set(after) == set(before) and all(after[n] >= before[n] + 2 for n in after),
            'the same rows, their ages continued (%r then %r)' % (before, after))

    code = run_setup(board_setup, '/S', '/SERVICE', '/WINDOW=0')
    c.check(code == 0 and wait_state('RUNNING') and wait_listening(web), 'the installer again (an upgrade) restarts it')
    c.check(set(r['name'] for r in board_rows(web)) == set(before), 'and the rows come back from the database')

    desk.wine('sc', 'stop', 'pegmastd')
    wait_state('STOPPED')
    holder = socket.socket()
    holder.bind(('0.0.0.0', port))
    holder.listen(1)
    desk.wine('sc', 'start', 'pegmastd')
    stopped = wait_state('STOPPED', 30)
    status = query()
    holder.close()
    log = open(os.path.join(data, 'pegmastd.log'), errors='replace').read()
    c.check(stopped and '1066' in status and re_exit(status) == 1 and
            '<3>cannot listen on the board port %d: ' % port in log,
            'a port already taken: STOPPED with service-specific exit code 1 and a log line')

    # By hand from a console, for trying a configuration: Ctrl+C saves and stops.
    installed = find(drive, 'pegmastd.exe')[0]
    trial = os.path.join(scratch('pegora-trial-'), 'trial.conf')
    trial_port, trial_web = free_port(), free_port()
    with open(trial, 'w') as f:
        f.write('Port = %d\nWebPort = %d\nStateFile = C:\\ProgramData\\Pegora\\trial.db\n' % (trial_port, trial_web))
        tls = 'Z:' + os.path.abspath(TLS_FILES).replace('/', '\\')
        f.write('WebTlsCertificateFile = %s\\board.pfx\nWebTlsCertificatePasswordFile = %s\\board.pfx.password\n'
                'WebUpdates = yes\nWebSignIn = accounts\n' % (tls, tls))
    added = subprocess.run([WINE, installed, '--config', 'Z:' + trial.replace('/', '\\'), '--add-account', 'bert'],
                           env=desk.env, input='kettle 7\n', capture_output=True, text=True)
    c.check(added.returncode == 0 and os.path.exists(os.path.join(os.path.dirname(trial), 'accounts')),
            'pegmastd.exe --add-account keeps an account beside the configuration (%r)' % added.stderr[-200:])
    console = subprocess.Popen([WINE, installed, '--config', 'Z:' + trial.replace('/', '\\')], env=desk.env,
                               stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True, errors='replace')
    c.check(wait_listening(trial_web, 60), 'started in a console it runs the board there')
    c.check(wait_until(lambda: https_get(trial_web, '/healthz')[0] == 200, 20),
            'its web view serves HTTPS from a PFX file and its password (OpenSSL under Wine)')
    signed = post_update(trial_web, '/sign-in', {'name': 'BERT', 'password': 'kettle 7'}, True)[0]
    wrong = post_update(trial_web, '/sign-in', {'name': 'bert', 'password': 'kettle'}, True)[0]
    c.check(signed == 204 and wrong == 401, 'a local account signs in over HTTPS, a wrong password does not (%r %r)'
            % (signed, wrong))
    console.send_signal(2)
    code = wait_exit(console, 20)
    said = console.stderr.read() if code is not None else ''
    c.check(code == 0 and 'stopped, ' in said and os.path.exists(os.path.join(data, 'trial.db')),
            'Ctrl+C stops it with exit code 0, the state saved (%r)' % code)

    # The uninstaller runs on from a copy of itself after the one started here has ended.
    run_setup(os.path.join(os.path.dirname(installed), 'uninstall.exe'), '/S')
    wait_until(lambda: not find(drive, 'pegmastd.exe') and desk.wine('reg', 'query', SERVICE_KEY).returncode != 0,
               UNINSTALL_WAIT, 0.5)
    gone = desk.wine('reg', 'query', SERVICE_KEY)
    c.check(gone.returncode != 0 and 'RUNNING' not in query(), 'the silent uninstaller removes the service')
    c.check(not find(drive, 'pegmastd.exe') and os.path.exists(db),
            'and its program, keeping the data folder')


def re_exit(status):
    for line in status.splitlines():
        if 'SERVICE_EXIT_CODE' in line:
            return int(line.split(':')[1].split()[0])
    return None


def main():
    dist, artifacts = sys.argv[1], sys.argv[2]
    builds = sys.argv[3:5] if len(sys.argv) >= 5 else None
    prefix = scratch('pegora-setup-wine-')
    desk = Desktop()
    desk.env['WINEPREFIX'] = prefix
    subprocess.run([WINE, 'wineboot', '-i'], env=desk.env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    # Wine keeps services running only while its server lives: once the prefix is made
    # and its first server has gone, one that stays.
    subprocess.run(['wineserver', '-w'], env=desk.env)
    keeper = subprocess.Popen(['wineserver', '-f', '-p'], env=desk.env, stdout=subprocess.DEVNULL,
                              stderr=subprocess.DEVNULL)
    time.sleep(1)
    drive = os.path.join(prefix, 'drive_c')
    listener = Listener()
    c = Checks('installers')
    started = lambda n: listener.wait_for(  # noqa: E731
        lambda d: sum(1 for x in list(listener.deliveries) if fields(x)[2] == STARTED) >= n, timeout=40)

    def run_setup(*args):
        # The installer starts the client, which inherits its pipes: never capture them.
        p = subprocess.Popen([WINE] + list(args), env=desk.env, stdout=subprocess.DEVNULL,
                             stderr=subprocess.DEVNULL)
        return wait_exit(p, 120)

    def reg(root, key, name):
        out = desk.wine('reg', 'query', root + '\\' + key, '/v', name).stdout
        for line in out.splitlines():
            parts = line.split(None, 2)
            if parts and parts[0] == name:
                return parts[1], (parts[2] if len(parts) > 2 else '')
        return None

    client_setup = os.path.join(dist, 'pegling-setup-1.20.exe')
    board_setup = os.path.join(dist, 'pegmast-setup-1.20.exe')
    try:
        # Silent deployment aimed at the listener.
        code = run_setup(client_setup, '/S', '/SERVER=127.0.0.1', '/PORT=%d' % listener.port, '/NAME=Deploy',
                         '/AWAYONLOCK=1')
        c.check(code == 0, 'the silent client install ends with 0 (%r)' % code)
        c.check(reg('HKCU', CLIENT_KEY, 'AwayOnLock') == ('REG_DWORD', '0x1'), '/AWAYONLOCK=1 turns the option on')
        programs = [p for p in find(drive, 'pegling.exe') if os.sep + 'Programs' + os.sep + 'Pegora' in p]
        c.check(len(programs) == 1 and 'AppData' in programs[0], 'pegling.exe is in %LOCALAPPDATA%\\Programs\\Pegora')
        links = find(drive, 'Pegora status.lnk')
        c.check(any('startup' in p.lower() for p in links), 'a shortcut is in the user\'s Startup folder')
        c.check(any('startup' not in p.lower() for p in links), 'a shortcut is in the Start menu')
        c.check(reg('HKCU', UNINSTALL + 'PegoraClient', 'DisplayVersion') == ('REG_SZ', '1.20'),
                'the installed-programs entry PegoraClient says 1.20')
        c.check((reg('HKCU', UNINSTALL + 'PegoraClient', 'QuietUninstallString') or ('', ''))[1].endswith('/S'),
                'it has a quiet uninstall command')
        settings = [reg('HKCU', CLIENT_KEY, n) for n in ('Port', 'Name', 'ServerAddress')]
        c.check(settings == [('REG_DWORD', hex(listener.port)), ('REG_SZ', 'Deploy'), ('REG_SZ', '127.0.0.1')],
                'the client key holds Port, Name and ServerAddress (%r)' % (settings,))
        first = started(1)
        c.check(first is not None and fields(first)[0] == 'Deploy', 'the client starts and signs in as "Deploy"')
        c.check(not desk.windows('Setup Information'), 'no "Setup Information" window appears')

        # The same installer again, over the running client.
        count = len(listener.deliveries)
        code = run_setup(client_setup, '/S', '/SERVER=127.0.0.1', '/PORT=%d' % listener.port, '/NAME=Deploy')
        c.check(code == 0, 'the upgrade ends with 0')
        c.check(started(2) is not None, 'the upgraded client signs in again')
        later = [fields(d)[2] for d in list(listener.deliveries)[count:]]
        c.check('Client shutdown' in later and STARTED in later and
                later.index('Client shutdown') < later.index(STARTED),
                'the old client said "Client shutdown" before the new one signed in (%r)' % later)
        c.check([reg('HKCU', CLIENT_KEY, n) for n in ('Port', 'Name', 'ServerAddress')] == settings and
                reg('HKCU', CLIENT_KEY, 'AwayOnLock') == ('REG_DWORD', '0x1'),
                'the settings are unchanged, AwayOnLock too')
        desk.screenshot(os.path.join(artifacts, 'setup-client-running.png'))

        # The silent uninstaller.
        count = len(listener.deliveries)
        uninstaller = os.path.join(os.path.dirname(programs[0]), 'uninstall.exe') if programs else ''
        run_setup(uninstaller, '/S')
        wait_until(lambda: not (find(drive, 'pegling.exe') or find(drive, 'Pegora status.lnk')), UNINSTALL_WAIT, 0.5)
        wait_until(lambda: 'Client shutdown' in [fields(d)[2] for d in listener.deliveries[count:]], 15)
        c.check('Client shutdown' in [fields(d)[2] for d in listener.deliveries[count:]],
                'uninstalling closes the client, which says "Client shutdown"')
        c.check(not find(drive, 'pegling.exe'), 'the program is gone')
        c.check(not find(drive, 'Pegora status.lnk'), 'both shortcuts are gone')
        c.check(reg('HKCU', UNINSTALL + 'PegoraClient', 'DisplayName') is None, 'the installed-programs entry is gone')
        c.check(reg('HKCU', CLIENT_KEY, 'Name') == ('REG_SZ', 'Deploy'), 'the settings key remains')

        # The board.
        port = free_port()
        code = run_setup(board_setup, '/S', '/PORT=%d' % port)
        c.check(code == 0, 'the silent board install ends with 0 (%r)' % code)
        boards = find(drive, 'pegmast.exe')
        c.check(len(boards) == 1 and 'Program Files' in boards[0], 'pegmast.exe is in %ProgramFiles%\\Pegora')
        c.check(bool(find(drive, 'Pegora board.lnk')), 'the "Pegora board" Start-menu shortcut exists')
        c.check(reg('HKCU', 'SOFTWARE\\ZORVEN\\PEGORA\\SERVER', 'Port') == ('REG_DWORD', hex(port)),
                'the board\'s Port is written')
        if boards:
            board = subprocess.Popen([WINE, boards[0]], env=desk.env, stdout=subprocess.DEVNULL,
                                     stderr=subprocess.DEVNULL)
            c.check(wait_listening(port), 'the installed board listens on that port')
            send(port, record('Installed', 1, 'stored by the installed board'))
            time.sleep(4)
            c.check(listened_and_drained(port), 'it takes the record (no connection left waiting)')
            desk.screenshot(os.path.join(artifacts, 'setup-board-running.png'))
            run_setup(os.path.join(os.path.dirname(boards[0]), 'uninstall.exe'), '/S')
            c.check(wait_exit(board, 20) == 0, 'uninstalling closes the running board')
            wait_until(lambda: not find(drive, 'pegmast.exe') and not find(drive, 'Pegora board.lnk'),
                       UNINSTALL_WAIT, 0.5)
            c.check(not find(drive, 'pegmast.exe') and not find(drive, 'Pegora board.lnk'),
                    'the board\'s uninstaller removes program and shortcut')
            c.check(reg('HKLM', UNINSTALL + 'PegoraBoard', 'DisplayName') is None,
                    'and its installed-programs entry')

        if builds:
            check_service(c, desk, drive, run_setup, board_setup, builds, artifacts)

        # The installers' pages, as a person sees them.
        for setup, title, shot in ((client_setup, 'Pegora status 1.20 Setup', 'setup-client'),
                                   (board_setup, 'Pegora board 1.20 Setup', 'setup-board')):
            p = subprocess.Popen([WINE, setup], env=desk.env, stdout=subprocess.DEVNULL,
                                 stderr=subprocess.DEVNULL)
            window = desk.wait_window(title, timeout=30)
            c.check(window is not None, 'the interactive installer shows "%s"' % title)
            time.sleep(1)
            desk.screenshot(os.path.join(artifacts, shot + '-welcome.png'))
            if window:
                desk.keys(window, 'Return')  # Next: the board's components, the client's folder
                time.sleep(2)
                desk.screenshot(os.path.join(artifacts, shot + '-next.png'))
            p.kill()
            desk.wine('taskkill', '/F', '/IM', os.path.basename(setup))
    finally:
        for exe in ('pegling.exe', 'pegmast.exe'):
            desk.wine('taskkill', '/F', '/IM', exe)
        desk.wine('sc', 'stop', 'pegmastd')
        subprocess.run(['wineserver', '-k'], env=desk.env)
        keeper.kill()
        listener.close()
        desk.close()
    return c.finish()


def listened_and_drained(port):
    """No connection of the port waits unaccepted or unread."""
    out = subprocess.run(['ss', '-tnH', 'state', 'established', '( sport = :%d )' % port],
                         capture_output=True, text=True).stdout
    return out.strip() == ''


if __name__ == '__main__':
    sys.exit(main())
