"""pegmastd as systemd runs it, on a machine without systemd as process 1:
the unit's ExecStart as an unprivileged user, NOTIFY_SOCKET read by the test,
STATE_DIRECTORY set. Readiness, records from both builds' clients, health and
metrics, stop and restart with the rows and their ages, kill -9 in a burst,
a backup while it runs, a damaged database, a port in use and a wrong
configuration; plans switching a row and back in shifted time, across a
restart, from an import, and in a calendar read back by another library."""
import datetime
import gzip
import json
import os
import pwd
import shutil
import signal
import socket
import ssl
import subprocess
import sys
import threading
import time
import urllib.request

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, '..', 'e2e'))
from desktop import (TLS_FILES, Checks, Desktop, ask_database, board_json, free_port, https_get,  # noqa: E402
                     post_update, record, scratch, send, served_certificate, tls_client, wait_exit, wait_until)
from linux_e2e import write_client_key  # noqa: E402

UNIT = os.path.join(HERE, '..', '..', 'packaging', 'linux', 'service', 'pegmastd.service')


class Notifications:
    """The service manager's side of sd_notify: every datagram, with its time."""

    def __init__(self, folder):
        self.path = os.path.join(folder, 'notify')
        self.socket = socket.socket(socket.AF_UNIX, socket.SOCK_DGRAM)
        self.socket.bind(self.path)
        os.chmod(self.path, 0o777)
        self.messages = []
        self.reading = threading.Event()  # cleared: a manager that does not read, its socket filling
        self.reading.set()
        threading.Thread(target=self._run, daemon=True).start()

    def fill(self):
        """Stops reading and fills the socket, as a busy manager's would be."""
        self.reading.clear()
        time.sleep(0.2)
        s = socket.socket(socket.AF_UNIX, socket.SOCK_DGRAM)
        s.setblocking(False)
        try:
            while True:
                s.sendto(b'X=1', self.path)
        except OSError:
            pass
        s.close()

    def count(self, line, since):
        return sum(1 for t, m in list(self.messages) if m == line and t >= since)

    def _run(self):
        while True:
            self.reading.wait()
            data = self.socket.recv(4096).decode()
            for line in data.split('\n'):
                if line:
                    self.messages.append((time.time(), line))

    def wait(self, line, timeout=15, after=0):
        """When `line` came (at or after `after`), once it has, or None."""
        return wait_until(lambda: next((t for t, m in list(self.messages) if m == line and t >= after), None),
                          timeout, 0.02)


class Service:
    """The unit's ExecStart, run as the unit would run it."""

    def __init__(self, binary, folder, notify, user):
        exec_start = [line.split('=', 1)[1] for line in open(UNIT) if line.startswith('ExecStart=')][0].split()
        self.command = [binary if exec_start[0] == '/usr/sbin/pegmastd' else exec_start[0]] + exec_start[1:]
        self.state = os.path.join(folder, 'state')
        os.makedirs(self.state, mode=0o700, exist_ok=True)
        os.chown(self.state, user.pw_uid, user.pw_gid)
        self.config = os.path.join(folder, 'pegmastd.conf')
        self.env = dict(os.environ, NOTIFY_SOCKET=notify.path, STATE_DIRECTORY=self.state, WATCHDOG_USEC='30000000')
        self.user = user
        self.log = os.path.join(folder, 'journal.log')
        self.process = None

    def configure(self, text):
        with open(self.config, 'w') as f:
            f.write(text)
        os.chmod(self.config, 0o644)

    def start(self, *extra):
        self.process = subprocess.Popen(
            ['setpriv', '--reuid=%d' % self.user.pw_uid, '--regid=%d' % self.user.pw_gid, '--clear-groups', '--']
            + self.command + ['--config', self.config] + list(extra),
            env=self.env, stdout=subprocess.DEVNULL, stderr=open(self.log, 'a'))
        return self.process

    def journal(self):
        return open(self.log, errors='replace').read()

    def __enter__(self):
        return self

    def __exit__(self, *failure):
        if self.process and self.process.poll() is None:
            self.process.kill()
            self.process.wait()


def get(port, path):
    try:
        with urllib.request.urlopen('http://127.0.0.1:%d%s' % (port, path), timeout=5) as r:
            return r.status, r.read().decode()
    except urllib.error.HTTPError as e:
        return e.code, e.read().decode()
    except OSError:
        return 0, ''


def tagged_and_gzipped(port):
    """The board's JSON gzipped (read back by Python's own gzip) and its tag, answered 304 when asked with it:
    an empty text when all holds, else what did not."""
    url = 'http://127.0.0.1:%d/board.json' % port
    try:
        with urllib.request.urlopen(urllib.request.Request(url, headers={'Accept-Encoding': 'gzip'}), timeout=10) as r:
            tag, encoding, packed = r.headers.get('ETag'), r.headers.get('Content-Encoding'), r.read()
        names = [x['name'] for x in json.loads(gzip.decompress(packed))['rows']]
        if encoding != 'gzip' or not tag or names != [x['name'] for x in rows(port)]:
            return 'gzip %r, tag %r, names %r' % (encoding, tag, names)
        urllib.request.urlopen(urllib.request.Request(url, headers={'If-None-Match': tag}), timeout=10)
        return 'the same tag was answered 200'
    except urllib.error.HTTPError as e:
        return '' if e.code == 304 else 'answered %d' % e.code
    except (OSError, ValueError) as e:
        return str(e)


def since_of(port, name):
    found = [x for x in rows(port) if x['name'] == name]
    return found[0].get('since') if found else None


def rows(port):
    return board_json(port).get('rows', [])


def accepts(port):
    try:
        socket.create_connection(('127.0.0.1', port), timeout=1).close()
        return True
    except OSError:
        return False


def wait_rows(port, predicate, timeout=30):
    found = wait_until(lambda: (lambda r: r if predicate(r) else None)(rows(port)), timeout)
    return found if found is not None else rows(port)


FAKE_LIB = '/usr/lib/x86_64-linux-gnu/faketime/libfaketime.so.1'
PLAN_DAY = datetime.datetime(2027, 1, 4, 8, 59, 30)  # a Monday morning in London, winter


class FakeClock:
    """The service's calendar clock in shifted time, ten times as fast; its steady clock as it is."""

    def __init__(self, start):
        self.start, self.real = start, time.time()

    def now(self):
        return self.start + datetime.timedelta(seconds=(time.time() - self.real) * 10)

    def command(self):
        """Put before the service's own command, after setpriv: the shifted clock for the service alone."""
        return ['env', 'LD_PRELOAD=' + FAKE_LIB, 'FAKETIME=@%s x10' % self.now().strftime('%Y-%m-%d %H:%M:%S'),
                'FAKETIME_DONT_FAKE_MONOTONIC=1', 'TZ=Europe/London']

    def until(self, hour, minute):
        """Real seconds until the shifted clock shows hour:minute."""
        return ((self.start.replace(hour=hour, minute=minute, second=0) - self.now()).total_seconds()) / 10


def parse_calendar(text):
    """The feed's events as an independent iCalendar library reads them: (summary, start, rule)."""
    code = ('import icalendar, json, sys\n'
            'cal = icalendar.Calendar.from_ical(sys.stdin.read())\n'
            'print(json.dumps([[str(e.get("summary")), e.decoded("dtstart").isoformat(), str(e.get("dtstart").params.get("TZID")),'
            ' bool(e.get("rrule"))] for e in cal.walk("VEVENT")] + [[str(t.get("tzid")) for t in cal.walk("VTIMEZONE")]]))\n')
    out = subprocess.run(['/usr/bin/python3', '-c', code], input=text, capture_output=True, text=True)
    return json.loads(out.stdout) if out.returncode == 0 else out.stderr


def plans(c, binary, folder, notify, user):
    """Plans in shifted time: a row switches at its plan's start and back at its end, across a restart; an
    import's plan shows without a restart; the calendar reads back with python3-icalendar."""
    os.makedirs(os.path.join(folder, 'plans'), mode=0o755, exist_ok=True)
    service = Service(binary, os.path.join(folder, 'plans'), notify, user)
    board, web = free_port(), free_port()
    service.configure('Port = %d\nWebPort = %d\nAcceptPacingMs = 0\nLogChanges = yes\nWebUpdates = yes\n'
                      'WebUpdateCode = plans-code-1\nHistoryDays = 7\n' % (board, web))
    clock = FakeClock(PLAN_DAY)

    own = list(service.command)

    def start():
        service.command = clock.command() + own
        p = service.start()
        wait_until(lambda: accepts(web), 10)
        return p

    def row(name):
        rows = [r for r in board_json(web).get('rows', []) if r['name'].lower() == name]
        return rows[0] if rows else {}

    def command(*args):
        as_service = ['setpriv', '--reuid=%d' % user.pw_uid, '--regid=%d' % user.pw_gid, '--clear-groups', '--']
        return subprocess.run(as_service + own + ['--config', service.config] + list(args),
                              capture_output=True, text=True, env=service.env)
    with service:
        p = start()
        send(board, record('anna', 1, 'at my desk'))
        status, said = post_update(web, '/plans', {'name': 'Anna', 'start': '2027-01-04T09:00', 'end': '2027-01-04T09:03',
                                                  'status': 2, 'message': 'dentist', 'code': 'plans-code-1'})
        c.check(status == 201 and wait_until(lambda: row('anna').get('message') == 'at my desk', 5) and
                not row('anna').get('planned'),
                'a plan entered ahead leaves the row as it is until its start (%r %r)' % (status, said))
        wait_until(lambda: row('anna').get('planned'), clock.until(9, 0) + 8)
        shown = row('anna')
        c.check(shown.get('planned') and shown.get('message') == 'dentist' and shown.get('word') == 'out',
                'at its start the row switches by itself (%r, shifted clock %s)' % (shown, clock.now()))
        p.terminate()
        wait_exit(p, 10)
        p = start()
        c.check(wait_until(lambda: row('anna').get('planned'), 5),
                'the plan\'s word outlives a restart (%r)' % row('anna'))
        with open(os.path.join(folder, 'plans', 'hr.csv'), 'w') as f:
            f.write('name,start,end,status,message\nbert,2027-01-04 09:05,2027-01-04 09:08,other,training\n'
                    'cleo,2027-01-04,2027-13-01,out,\n')
        refused, taken = command('--import-plans', f.name), command('--import-plans', f.name, '--skip-bad')
        c.check(refused.returncode == 2 and 'hr.csv:3: the end "2027-13-01"' in refused.stderr and
                taken.returncode == 0 and '# 1 plans taken, 1 lines skipped' in taken.stdout,
                'an import with a wrong line takes nothing, and with --skip-bad the good lines (%r %r)' %
                (refused.stderr, taken.stdout))
        send(board, record('anna', 1, 'at my desk'))  # a re-send at the desk leaves the plan's word
        wait_until(lambda: not row('anna').get('planned'), clock.until(9, 3) + 8)
        back = row('anna')
        c.check(back.get('message') == 'at my desk' and not back.get('planned'),
                'at its end the row goes back to the desk that still speaks (%r)' % back)
        c.check(wait_until(lambda: row('bert').get('planned'), clock.until(9, 5) + 10) and
                wait_until(lambda: not row('bert'), clock.until(9, 8) + 10),
                'the imported plan shows without a restart, and its row goes at its end (no desk, no word before)')
        link = command('--calendar-link', 'person', 'Anna').stdout.strip()
        feed = get(web, link[link.index('/calendar/'):])[1] if '/calendar/' in link else link
        events = parse_calendar(feed)
        c.check(isinstance(events, list) and events[0][:3] == ['Anna: out, dentist', '2027-01-04T09:00:00+00:00',
                                                               'Europe/London'] and events[-1] == ['Europe/London'],
                'the person\'s calendar reads back with python3-icalendar, in the board\'s zone (%r)' % events)
        history = ask_database(os.path.join(service.state, 'board.db'),
                               "SELECT count(*) FROM history WHERE source IN ('plan', 'removed')")
        c.check(history == 4, 'each switch a plan made is in the history, the row that went too (%r)' % history)
        p.terminate()
        wait_exit(p, 10)


def main():
    native, win32, artifacts = sys.argv[1], sys.argv[2], sys.argv[3]
    binary = os.path.join(native, 'server/service/pegmastd')
    c = Checks('board service')
    folder = scratch('pegora-service-')
    os.chmod(folder, 0o755)
    user = pwd.getpwnam('nobody')
    notify = Notifications(folder)
    service = Service(binary, folder, notify, user)
    board, web = free_port(), free_port()
    service.configure('# as an office would\nPort = %d\nWebPort = %d\nAcceptPacingMs = 0\nLogChanges = yes\n'
                      'WebUpdates = yes\n' % (board, web))
    desk = Desktop()
    home = desk.settings_home('pegora-service-home-')
    clients = []
    with desk, service:
        started = time.time()
        p = service.start()
        ready = notify.wait('READY=1')
        c.check(ready is not None and accepts(board) and accepts(web),
                'READY=1 arrives, and both ports accept when it does')
        c.check(ready is not None and not [m for t, m in notify.messages if m == 'READY=1' and t < started],
                'READY=1 only after this start')
        c.check(notify.wait('WATCHDOG=1', timeout=5) is not None, 'the watchdog is fed while the reader makes passes')
        # A desk that re-sends the same record all through this test, across the restart.
        steady = threading.Event()

        def resend():
            while not steady.wait(0 if not resend.sent else 5):
                resend.sent = True
                try:
                    send(board, record('Steady', 1, 'at my desk'))
                except OSError:
                    pass
        resend.sent = False
        threading.Thread(target=resend, daemon=True).start()

        # Both builds' clients, as desks would run them.
        write_client_key(home, board, b'Linux desk')
        clients.append(desk.start(os.path.join(native, 'client/qt/pegling')))
        desk.reg_delete('SOFTWARE\\ZORVEN\\PEGORA\\CLIENT')
        desk.settings('wine', 'CLIENT', Port=board, Name='Windows desk', ServerAddress='127.0.0.1')
        clients.append(desk.run(os.path.join(win32, 'client/win32/pegling.exe')))
        found = wait_rows(web, lambda r: {'Linux desk', 'Windows desk'} <= {x['name'] for x in r}, 60)
        names = {x['name'] for x in found}
        c.check('Linux desk' in names, 'the Linux client\'s record shows in /board.json')
        c.check('Windows desk' in names, 'the Windows client\'s record shows in /board.json')
        send(board, record('Anna', 1, 'at my desk'))
        wait_rows(web, lambda r: len(r) == 4)  # with Steady

        status, body = get(web, '/healthz')
        c.check(status == 200 and body == 'ok\n', '/healthz says 200 ok (%r %r)' % (status, body))
        status, metrics = get(web, '/metrics')
        check = subprocess.run(['promtool', 'check', 'metrics'], input=metrics, capture_output=True, text=True)
        c.check(status == 200 and check.returncode == 0 and not check.stdout.strip() and not check.stderr.strip(),
                'promtool check metrics reports nothing %r' % (check.stdout + check.stderr))
        c.check('pegora_rows 4' in metrics and
                not [n for n in ('Anna', 'Steady', 'Linux desk', 'Windows desk') if n in metrics],
                'metrics count the rows and name nobody')
        with open(os.path.join(artifacts, 'service-metrics.txt'), 'w') as f:
            f.write(metrics)

        # Since when each row's words have stood: re-sends keep it; a new message and a browser's word move it.
        wait_rows(web, lambda r: 'Steady' in {x['name'] for x in r})
        steady_since = since_of(web, 'Steady')
        send(board, record('Bea', 1, 'at my desk'))
        wait_rows(web, lambda r: 'Bea' in {x['name'] for x in r})
        first = since_of(web, 'Bea')
        time.sleep(1.2)
        send(board, record('Bea', 1, 'at my desk'))
        time.sleep(1.2)
        c.check(first and since_of(web, 'Bea') == first and steady_since and since_of(web, 'Steady') == steady_since,
                'a desk\'s re-sends keep the row\'s since')
        send(board, record('Bea', 1, 'in a meeting'))
        wait_rows(web, lambda r: [x for x in r if x['message'] == 'in a meeting'])
        moved = since_of(web, 'Bea')
        c.check(moved and moved > first, 'a changed message moves it (%r then %r)' % (first, moved))
        time.sleep(0.2)
        status, _ = post_update(web, '/status', {'name': 'Bea', 'status': 2, 'message': 'at lunch'})
        c.check(status == 200 and since_of(web, 'Bea') > moved, 'a browser\'s word moves it')
        status, body = get(web, '/board.json')
        bea = [x for x in json.loads(body)['rows'] if x['name'] == 'Bea'][0] if status == 200 else {}
        c.check(0 <= bea.get('sinceAge', -1) <= 2 and abs(bea.get('since', 0) / 1000 - time.time()) < 5,
                '/board.json says since (ms since 1970) and sinceAge (%r)' % bea)
        wrong = tagged_and_gzipped(web)
        c.check(not wrong, '/board.json gzipped when asked, and 304 for the tag it gave (%s)' % wrong)

        steady.set()
        for client in clients:  # gone before the stop, so their last words are in the state
            client.kill()
        desk.wine('taskkill', '/F', '/IM', 'pegling.exe')
        before = {x['name']: x['age'] for x in rows(web)}
        order = [x['name'] for x in rows(web)]
        sent = time.time()
        p.terminate()
        code = wait_exit(p, 5)
        c.check(notify.wait('STOPPING=1', timeout=1, after=sent) is not None, 'SIGTERM gives STOPPING=1')
        c.check(code == 0, 'SIGTERM ends the service with exit code 0 within 5 seconds (%r)' % code)
        state = os.path.join(service.state, 'board.db')
        c.check(os.path.exists(state) and os.stat(state).st_uid == user.pw_uid,
                'the database is written, by the service\'s user')
        c.check('<6>stopped, %d rows saved' % len(before) in service.journal(), 'the journal says the rows are saved')

        time.sleep(3)
        p = service.start()
        c.check(notify.wait('READY=1', after=time.time() - 0.01) is not None, 'the service starts again')
        after = rows(web)
        c.check([x['name'] for x in after] == order, 'the same rows in the same order after the restart')
        c.check(all(x['age'] >= before[x['name']] + 3 for x in after),
                'every age goes on from before the stop (%r then %r)' % (before, after))
        c.check(since_of(web, 'Steady') == steady_since and time.time() - steady_since / 1000 > 5,
                'a restart keeps since (%r)' % since_of(web, 'Steady'))
        copy = os.path.join(folder, 'backup.db')
        made = subprocess.run([binary, '--config', service.config, '--backup', copy], env=service.env,
                              capture_output=True, text=True)
        c.check(made.returncode == 0 and ask_database(copy, 'SELECT count(*) FROM board_rows') == len(after),
                'pegmastd --backup copies the database while the service runs (%r)' % made.stderr)

        # kill -9 in the middle of a burst: every row the web view showed a tick
        # (2 seconds) before is kept, and the database opens clean.
        bursting = threading.Event()

        def burst():
            i = 0
            while not bursting.is_set():
                try:
                    send(board, record('burst%04d' % i, 1 + i % 3, 'record %d' % i))
                except OSError:
                    return
                i += 1
        sender = threading.Thread(target=burst)
        sender.start()
        time.sleep(1.5)
        shown = {x['name']: x['message'] for x in rows(web)}
        time.sleep(3)
        p.kill()
        p.wait()
        bursting.set()
        sender.join()
        killed = os.path.join(folder, 'killed.db')
        for part in ('', '-wal'):
            if os.path.exists(state + part):
                shutil.copy(state + part, killed + part)
        c.check(ask_database(killed, 'PRAGMA quick_check') == 'ok', 'the database that kill -9 left opens clean')
        p = service.start()
        c.check(notify.wait('READY=1', after=time.time() - 0.01) is not None, 'it starts after kill -9')
        kept = {x['name']: x['message'] for x in rows(web)}
        lost = [n for n in shown if kept.get(n) != shown[n]]
        c.check(not os.path.exists(state + '.damaged') and 'damaged' not in service.journal() and not lost,
                'no row shown before the burst\'s last tick is lost (%d shown, lost %r)' % (len(shown), lost[:5]))
        p.terminate()
        wait_exit(p, 5)

        # A damaged database is kept aside; the board starts empty.
        with open(state, 'wb') as f:
            f.write(b'garbage' * 1000)
        p = service.start()
        c.check(notify.wait('READY=1', after=time.time() - 0.01) is not None and rows(web) == [],
                'with a damaged database the service starts, with an empty board')
        c.check(os.path.exists(state + '.damaged') and 'board.db is damaged: set aside as' in service.journal(),
                'the damaged file is renamed to board.db.damaged and the journal says so')
        p.terminate()
        wait_exit(p, 5)

        # The watchdog at half the unit's interval; none without one; and a manager
        # whose socket is full never holds up a stop.
        service.env['WATCHDOG_USEC'] = '4000000'
        p = service.start()
        ready = notify.wait('READY=1', after=time.time() - 0.01)
        time.sleep(5)
        pings = notify.count('WATCHDOG=1', ready or time.time())
        c.check(2 <= pings <= 4, 'WatchdogSec=4: WATCHDOG=1 every 2 seconds (%d in 5 s)' % pings)
        p.terminate()
        wait_exit(p, 5)
        del service.env['WATCHDOG_USEC']
        p = service.start()
        ready = notify.wait('READY=1', after=time.time() - 0.01)
        time.sleep(2)
        c.check(ready is not None and notify.count('WATCHDOG=1', ready) == 0, 'no WATCHDOG=1 without a watchdog')
        notify.fill()
        p.terminate()
        code = wait_exit(p, 3)
        notify.reading.set()
        c.check(code == 0, 'SIGTERM ends it within 3 seconds while the notify socket is full (%r)' % code)
        service.env['WATCHDOG_USEC'] = '30000000'

        # HTTPS: TLS 1.2 and later, HSTS, the page's own https origin, and a renewed
        # certificate taken at a reload.
        for name in ('board.pem', 'board.key'):
            shutil.copy(os.path.join(TLS_FILES, name), os.path.join(folder, name))
            os.chmod(os.path.join(folder, name), 0o644)
        service.configure('Port = %d\nWebPort = %d\nWebUpdates = yes\nWebTlsCertificateFile = %s/board.pem\n'
                          'WebTlsKeyFile = %s/board.key\n' % (board, web, folder, folder))
        p = service.start()
        c.check(notify.wait('READY=1', after=time.time() - 0.01) is not None and
                'web view HTTPS port %d' % web in service.journal(), 'with a certificate the web view serves HTTPS')
        wait_until(lambda: https_get(web, '/healthz')[0] == 200, 10)  # the reader's first pass
        status, headers, body = https_get(web, '/healthz')
        c.check(status == 200 and headers.get('Strict-Transport-Security') == 'max-age=31536000',
                'over HTTPS, with Strict-Transport-Security (%r %r)' % (status, body))
        status, _, said = https_get(web, '/healthz', tls_client(ssl.TLSVersion.TLSv1_1))
        c.check(status == 0 and 'PROTOCOL_VERSION' in said.upper(), 'a TLS 1.1 client is refused (%s)' % said)
        plain = get(web, '/healthz')
        c.check(plain == (400, 'This board is served over HTTPS: open its address with https:// instead.\n') and
                https_get(web, '/healthz')[0] == 200,
                'plain HTTP to the HTTPS port is told to use https://, and HTTPS serves on (%r)' % (plain,))
        origin = 'https://localhost:%d' % web
        c.check(post_update(web, '/status', {'name': 'Tls', 'status': 1}, True, origin)[0] == 200 and
                post_update(web, '/status', {'name': 'Tls', 'status': 1}, True, 'http://localhost:%d' % web)[0] == 403,
                'an update from the page\'s https origin is taken, from its http twin refused')
        for name in ('board.pem', 'board.key'):
            shutil.copy(os.path.join(TLS_FILES, name.replace('board', 'renewed')), os.path.join(folder, name))
            os.chmod(os.path.join(folder, name), 0o644)
        p.send_signal(signal.SIGHUP)
        renewed = open(os.path.join(TLS_FILES, 'renewed.pem')).read()
        c.check(wait_until(lambda: served_certificate(web).strip() == renewed.strip(), 10),
                'a renewed certificate is served after systemctl reload, with no restart')
        with open(os.path.join(folder, 'board.key'), 'w') as f:
            f.write('not a key\n')
        p.send_signal(signal.SIGHUP)
        c.check(wait_until(lambda: 'cannot be used' in service.journal(), 10) and
                served_certificate(web).strip() == renewed.strip(),
                'a key that cannot be used at a reload is said, and the certificate before serves on')
        p.terminate()
        wait_exit(p, 5)
        shutil.copy(os.path.join(TLS_FILES, 'board.pfx'), os.path.join(folder, 'board.pfx'))
        os.chmod(os.path.join(folder, 'board.pfx'), 0o644)
        service.configure('Port = %d\nWebPort = %d\nWebTlsCertificateFile = %s/board.pfx\n' % (board, web, folder))
        code = wait_exit(service.start(), 10)
        c.check(code == 1 and 'the password is wrong' in service.journal(),
                'a PFX file it cannot open stops the start with exit code 1 and the reason (%r)' % code)

        # A board port in use: exit 1, for the service manager to try again.
        holder = socket.socket()
        # Past the desks' closed connections still in TIME_WAIT; a listener is never shared.
        holder.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        holder.bind(('0.0.0.0', board))
        holder.listen(1)
        p = service.start()
        code = wait_exit(p, 10)
        holder.close()
        c.check(code == 1 and '<3>cannot listen on the board port %d: ' % board in service.journal(),
                'a board port in use: exit code 1 and a log line (%r)' % code)

        service.configure('Port = %d\nWebPort = none\nColour = red\n' % board)
        p = service.start()
        code = wait_exit(p, 10)
        journal = service.journal()
        c.check(code == 2 and ('<3>pegmastd: %s:2: WebPort must be a number' % service.config) in journal and
                ('pegmastd: %s:3: unknown name "Colour"' % service.config) in journal,
                'a wrong configuration stops the start with exit code 2 and each problem')
        unit = open(UNIT).read().split()
        c.check('Restart=on-failure' in unit and 'RestartPreventExitStatus=2' in unit,
                'the unit starts it again after exit code 1, never after 2')
        check = subprocess.run([binary, '--check', '--config', service.config], capture_output=True, text=True)
        c.check(check.returncode == 2 and check.stderr.count('pegmastd: ') == 2, '--check says both problems')

        # The code kept from the world: --set keeps an administrator's mode and
        # owner; the code may come from a root-only file instead.
        code_file = os.path.join(folder, 'update-code')
        with open(code_file, 'w') as f:
            f.write('kitchen kettle 7\n')
        os.chmod(code_file, 0o600)
        service.configure('Port = %d\nWebUpdates = yes\nWebUpdateCodeFile = %s\n' % (board, code_file))
        os.chmod(service.config, 0o600)
        os.chown(service.config, user.pw_uid, 0)
        setting = subprocess.run([binary, '--config', service.config, '--set', 'SilentMinutes=5'])
        st = os.stat(service.config)
        c.check(setting.returncode == 0 and oct(st.st_mode & 0o777) == '0o600' and st.st_uid == user.pw_uid and
                st.st_gid == 0 and 'SilentMinutes = 5' in open(service.config).read(),
                '--set keeps the file\'s mode 0600 and its owner (%s, uid %d)' % (oct(st.st_mode), st.st_uid))
        check = subprocess.run([binary, '--check', '--config', service.config], capture_output=True, text=True)
        c.check(check.returncode == 0 and 'WebUpdateCode = (set, from WebUpdateCodeFile)' in check.stdout and
                'kitchen' not in check.stdout, '--check takes the code from WebUpdateCodeFile and does not show it')
        service.configure('Port = %d\nWebUpdates = yes\nWebUpdateCode = abc\n' % board)
        check = subprocess.run([binary, '--check', '--config', service.config], capture_output=True, text=True)
        c.check(check.returncode == 0 and '# warning: The update code is shorter than 8' in check.stdout,
                'a short code already in the file works, with a warning from --check')
        # The local accounts: kept beside the configuration, readable by root only, never a hash shown.
        def account(*args, typed=''):
            return subprocess.run([binary, '--config', service.config] + list(args), input=typed,
                                  capture_output=True, text=True)
        made = [account('--add-account', 'Nina North', '--reception', typed='tulip garden 9\n'),
                account('--add-account', 'bert', typed='kettle 7\n'), account('--add-account', 'BERT', typed='x\n'),
                account('--set-password', 'bert', typed='kettle 8\n'), account('--add-account', 'cleo', typed='\n'),
                account('--remove-account', 'nobody')]
        accounts = os.path.join(folder, 'accounts')
        listed = account('--accounts').stdout
        c.check([m.returncode for m in made] == [0, 0, 1, 0, 1, 1] and 'there is an account bert already' in
                made[2].stderr and 'an empty password is never taken' in made[4].stderr and
                oct(os.stat(accounts).st_mode & 0o777) == '0o600' and
                listed == 'Nina North\treception\nbert\tperson\n' and 'tulip' not in open(accounts).read(),
                'accounts are added, their passwords set from a pipe, listed without hashes (%r)' % listed)
        c.check(account('--remove-account', 'BERT').returncode == 0 and
                account('--accounts').stdout == 'Nina North\treception\n', 'and removed by the board\'s key rule')
        # Signing in over HTTPS, the root-only accounts file handed over as the unit's credential.
        credentials = os.path.join(folder, 'credentials')
        os.makedirs(credentials)
        shutil.copy(accounts, os.path.join(credentials, 'pegora-accounts'))
        os.chmod(credentials, 0o755)
        os.chmod(os.path.join(credentials, 'pegora-accounts'), 0o644)
        service.env['CREDENTIALS_DIRECTORY'] = credentials
        for name in ('board.pem', 'board.key'):  # a good pair again, after the reload's bad key
            shutil.copy(os.path.join(TLS_FILES, name), os.path.join(folder, name))
            os.chmod(os.path.join(folder, name), 0o644)
        service.configure('Port = %d\nWebPort = %d\nWebUpdates = yes\nWebSignIn = accounts\n'
                          'WebTlsCertificateFile = %s/board.pem\nWebTlsKeyFile = %s/board.key\n'
                          % (board, web, folder, folder))
        p = service.start()
        c.check(notify.wait('READY=1', after=time.time() - 0.01) is not None and
                'people sign in with the accounts in %s/pegora-accounts' % credentials in service.journal(),
                'WebSignIn = accounts starts with the accounts from the unit\'s credential')
        status, said = post_update(web, '/sign-in', {'name': 'nina north', 'password': 'tulip garden 9'}, True)
        wrong, _ = post_update(web, '/sign-in', {'name': 'nina north', 'password': 'tulip'}, True)
        c.check(status == 204 and wrong == 401 and 'tulip' not in service.journal(),
                'a person signs in over HTTPS; a wrong password is refused; no password is logged (%r %r)'
                % (status, said))
        p.terminate()
        wait_exit(p, 5)
        del service.env['CREDENTIALS_DIRECTORY']
        with open(os.path.join(artifacts, 'service-journal.log'), 'w') as f:
            f.write(journal)
        c.check('Anna: new row, in, from 127.0.0.1' in journal and journal.count('Anna:') == 1,
                'LogChanges: one line per change, with the sender')
    plans(c, binary, folder, notify, user)
    return c.finish()


if __name__ == '__main__':
    sys.exit(main())
