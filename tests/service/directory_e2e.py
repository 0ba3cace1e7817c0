"""The staff from a real LDAP server (Debian's slapd on loopback): people,
groups and display names, a disabled account kept out, a change seen after a
reload, 1,200 people past a size limit of 1,000, LDAPS and StartTLS with a CA
file and a certificate from another CA refused, the list kept while slapd is
down and across a restart, a wrong bind password; people signing in with
their directory passwords over LDAPS, reception through a nested group, a
board shown to signed-in people and wall links; pegmastd.exe under Wine too."""
import json
import os
import re
import shutil
import signal
import subprocess
import sys
import time
import urllib.request

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, '..', 'e2e'))
from desktop import (TLS_FILES, WINE, Checks, board_json, free_port, https_get, post_update,  # noqa: E402
                     record, scratch, send, sign_in, wait_exit, wait_listening, wait_until)
from service_e2e import get, tagged_and_gzipped  # noqa: E402
from slapd import SERVICE_DN, SERVICE_PASSWORD, SETTINGS, Slapd, certificates, groups, person  # noqa: E402

BULK = 1200


def wait_board(web_port, predicate, timeout=20):
    """The board once `predicate` holds for it, or as it is when the time is up."""
    return wait_until(lambda: (lambda b: b if b and predicate(b) else None)(board_json(web_port)),
                      timeout) or board_json(web_port)


class Service:
    """pegmastd (or pegmastd.exe under Wine) with a configuration of its own."""

    def __init__(self, folder, command, path=lambda p: p):
        self.folder, self.command, self.path = folder, command, path
        self.port, self.web_port = free_port(), free_port()
        self.conf = os.path.join(folder, 'pegmastd.conf')
        self.password = os.path.join(folder, 'ldap-password')
        self.log = os.path.join(folder, 'service.log')
        self.process = None
        self.env = dict(os.environ)

    def configure(self, urls, extra='', plain='LdapAllowPlainBind = yes\n', settings=SETTINGS):
        """The slapd on loopback is reached over plain ldap:// unless a test says otherwise."""
        with open(self.password, 'w') as f:
            f.write(SERVICE_PASSWORD + '\n')
        with open(self.conf, 'w') as f:
            f.write('Port = %d\nWebPort = %d\nAcceptPacingMs = 0\nStateFile = %s\nDirectory = ldap\nLdapUrl = %s\n'
                    'LdapBindDn = %s\nLdapBindPasswordFile = %s\n%s%s%s' %
                    (self.port, self.web_port, self.path(os.path.join(self.folder, 'board.db')), urls, SERVICE_DN,
                     self.path(self.password), settings, plain, extra))

    def start(self):
        self.process = subprocess.Popen(self.command + ['--config', self.path(self.conf)], env=self.env,
                                        stdout=subprocess.DEVNULL, stderr=open(self.log, 'a'))
        return wait_listening(self.web_port)

    def stop(self):
        if self.process and self.process.poll() is None:
            self.process.send_signal(signal.SIGTERM)
            if wait_exit(self.process) is None:
                self.process.kill()
        self.process = None

    def check_directory(self, extra='', code=None):
        out = subprocess.run(self.command + ['--config', self.path(self.conf), '--check', '--directory'],
                             capture_output=True, text=True, timeout=60)
        return out.stdout + out.stderr if code is None or out.returncode == code else 'exit %d' % out.returncode

    def journal(self):
        return open(self.log, errors='replace').read()

    def __enter__(self):
        return self

    def __exit__(self, *failure):
        self.stop()


def linux(c, native, slapd, tls, other_ca):
    with Service(scratch('pegora-ldap-'), [os.path.join(native, 'server/service/pegmastd')]) as s:
        s.configure(slapd.url, plain='')
        out = s.check_directory(code=2)
        started = subprocess.run(s.command + ['--config', s.path(s.conf)], capture_output=True, timeout=30)
        c.check('ldaps://' in out and 'LdapStartTls = yes' in out and started.returncode == 2,
                'a bind over plain ldap:// is refused by --check and at start, exit 2 (%s)' % out.strip()[-160:])
        s.configure(slapd.url)
        c.check(s.start(), 'pegmastd with Directory = ldap listens')
        send(s.port, record('JSmith', 1, 'at my desk'))
        b = wait_board(s.web_port, lambda b: b['directory']['entries'] and b['rows'])
        row = b['rows'][0] if b.get('rows') else {}
        c.check((row.get('displayName'), row.get('group'), row.get('phone')) == ('Jo Smith', 'Sales', '+44 20 7946 0000'),
                'a row gains the display name, group and phone from LDAP (%r)' % row)
        unheard = {p['name']: p for p in b.get('unheard', [])}
        c.check(unheard.get('aberg', {}).get('displayName') == 'Anna Berg' and 'gone' not in unheard,
                'the unheard come from the directory; a disabled account is kept out by the filter')
        c.check(b['directory']['entries'] == BULK + 3 and len(unheard) == BULK + 2 and b['directory']['error'] is None,
                '%d people read whole through a size limit of 1,000 (%r)' % (BULK + 3, b['directory']))
        slapd.modify('dn: uid=aberg,ou=people,dc=example,dc=com\nchangetype: modify\nreplace: departmentNumber\n'
                     'departmentNumber: Finance\n')
        s.process.send_signal(signal.SIGHUP)
        b = wait_board(s.web_port, lambda b: any(p['group'] == 'Finance' for p in b['unheard']))
        c.check(any(p['group'] == 'Finance' for p in b['unheard']), 'a change made with ldapmodify shows after a reload')

        with open(s.password, 'w') as f:
            f.write('not the password\n')
        s.stop()
        s.start()
        s.process.send_signal(signal.SIGHUP)
        b = wait_board(s.web_port, lambda b: b['directory']['error'])
        _, health = get(s.web_port, '/healthz')
        c.check(b['directory']['error'] == "the directory refused the service account's password" and
                b['directory']['entries'] == BULK + 3 and SERVICE_DN not in health and 'cn=' not in health,
                'a wrong bind password: its kind said, never the account, the list kept across the restart (%r)' %
                b['directory'])
        time.sleep(1)
        said = [line for line in s.journal().splitlines() if 'Invalid credentials' in line]
        c.check(len(said) == 1 and SERVICE_DN in said[0] and SERVICE_PASSWORD not in s.journal() and
                'not the password' not in s.journal() and 'LdapAllowPlainBind = yes: the password' in s.journal(),
                'the log has it whole, once, never the password, and warns of the plain bind (%r)' % said)

        s.configure(slapd.url)
        s.stop()
        slapd.stop()
        s.start()
        b = wait_board(s.web_port, lambda b: b['directory']['error'])
        status, health = get(s.web_port, '/healthz')
        _, metrics = get(s.web_port, '/metrics')
        c.check(b['directory']['error'] == 'no directory server answered' and b['directory']['entries'] == BULK + 3 and
                status == 200 and 'directory' in health and 'pegora_directory_refresh_failures_total 1' in metrics,
                'slapd down: the list stays across a restart, health and metrics say so (%r, %r)' %
                (b['directory'], health))
        slapd.start()

        # A filter that finds nobody where the kept list has people: the restart keeps the list.
        s.stop()
        s.configure(slapd.url, settings=SETTINGS.replace('(objectClass=inetOrgPerson)', '(uid=nobody-here)'))
        s.start()
        b = wait_board(s.web_port, lambda b: b['directory']['error'])
        c.check('the directory gave nobody' in (b['directory']['error'] or '') and
                b['directory']['entries'] == BULK + 3, 'a restart that finds nobody keeps the list (%r)' %
                b['directory'])
        s.stop()

        for urls, extra, good, what in (
                ('ldap://127.0.0.1:%d %s' % (free_port(), slapd.url), '', True, 'the second server when the first is down'),
                (slapd.ldaps, 'LdapCaFile = %s\n' % tls, True, 'ldaps:// with LdapCaFile'),
                (slapd.url, 'LdapStartTls = yes\nLdapCaFile = %s\n' % tls, True, 'StartTLS with LdapCaFile'),
                (slapd.ldaps, 'LdapCaFile = %s\n' % other_ca, False, 'a certificate from another CA is refused'),
                (slapd.url, 'LdapStartTls = yes\nLdapCaFile = %s\n' % other_ca, False, 'and by StartTLS')):
            s.configure(urls, extra)
            out = s.check_directory(extra)
            c.check(('%d people' % (BULK + 3) in out and 'Jo Smith' in out) == good and
                    (good or 'certificate' in out), '--check --directory: %s (%s)' % (what, out.strip()[-160:]))


def signing_in(s, slapd, tls, extra=''):
    """The service, HTTPS from the test office's certificate, people signing in with their directory passwords."""
    for name in ('board.pem', 'board.key'):
        shutil.copy(os.path.join(TLS_FILES, name), os.path.join(s.folder, name))
    s.configure(slapd.ldaps, 'WebUpdates = yes\nWebSignIn = directory\nWebTlsCertificateFile = %s\n'
                'WebTlsKeyFile = %s\nLdapCaFile = %s\n%s' % (s.path(os.path.join(s.folder, 'board.pem')),
                                                           s.path(os.path.join(s.folder, 'board.key')), s.path(tls),
                                                           extra), plain='')
    return s.start()


def wall_key(s, *extra):
    out = subprocess.run(s.command + ['--config', s.path(s.conf), '--wall-link'] + list(extra), env=s.env,
                         capture_output=True, text=True, timeout=60).stdout
    found = re.search(r'https://[^/]+:%d/\?wall&key=([0-9a-f]{64})' % s.web_port, out)
    return found.group(1) if found else out


def directory_sign_in(c, native, slapd, tls):
    with Service(scratch('pegora-ldap-signin-'), [os.path.join(native, 'server/service/pegmastd')]) as s:
        s.configure(slapd.url, 'WebUpdates = yes\nWebSignIn = directory\nWebTrustedProxy = 127.0.0.1\n')
        out = s.check_directory(code=2)
        c.check("would send people's passwords unencrypted to %s" % slapd.url in out,
                'sign-in by the directory over plain ldap:// is refused, whatever LdapAllowPlainBind says (%s)' %
                out.strip()[-200:])
        c.check(signing_in(s, slapd, tls, 'WebViewAccess = signed-in\n'), 'WebSignIn = directory over ldaps:// listens')
        port = s.web_port
        before = https_get(port, '/board.json')[0]
        anna, jo = sign_in(port, 'ABERG', 'anna pw'), sign_in(port, 'jsmith', 'jo pw')
        me = [json.loads(https_get(port, '/me', session=t)[2] or '{}') for t in (anna, jo)]
        c.check(before == 401 and len(anna) == 64 and len(jo) == 64 and
                [(m.get('name'), m.get('displayName'), m.get('reception')) for m in me] ==
                [('aberg', 'Anna Berg', True), ('jsmith', 'Jo Smith', False)],
                'nobody sees the board before signing in; people sign in with their directory passwords, '
                'reception through a group nested in it (%r, %r)' % (before, me))
        answers = [post_update(port, '/status', {'name': n, 'status': 2, 'message': m}, True, session=t)[0]
                   for n, m, t in (('jsmith', 'lunch', jo), ('aberg', 'gone', jo), ('jsmith', 'dentist', anna))]
        status, _, body = https_get(port, '/board.json', session=jo)
        row = {r['name']: r for r in json.loads(body).get('rows', [])}.get('jsmith', {}) if status == 200 else {}
        c.check(answers == [200, 403, 200] and row.get('message') == 'dentist' and
                row.get('setBy', {}).get('name') == 'aberg',
                'a person sets their own row and no other; reception sets anyone\'s, as its author (%r, %r)' %
                (answers, row.get('setBy')))
        refused = [sign_in(port, n, p)[:3] for n, p in (('jsmith', ''), ('*)(uid=*', 'jo pw'), ('j*', 'jo pw'),
                                                         ('kim', 'jo pw'), ('nobody', 'x'))]
        c.check(refused == ['400', '401', '401', '401', '401'] and 'jo pw' not in s.journal() and
                'anna pw' not in s.journal(),
                'an empty password, a filter-injection name, a wildcard, a wrong password and an unknown name are '
                'refused; no password is logged (%r)' % refused)
        first, second = wall_key(s), wall_key(s)
        seen = [https_get(port, '/board.json', headers={'X-Pegora-Wall': k})[0] for k in (first, second, 'f' * 64)]
        renewed = wall_key(s, '--renew')
        after = [https_get(port, '/board.json', headers={'X-Pegora-Wall': k})[0] for k in (first, renewed)]
        c.check(seen == [200, 200, 401] and after == [401, 200],
                'wall links see the board without signing in; --renew ends the ones before it (%r, %r)' %
                (seen, after))


def windows(c, win, slapd, tls):
    def path(p):
        return 'Z:' + p.replace('/', '\\')
    with Service(scratch('pegora-ldap-wine-'), [WINE, os.path.join(win, 'server/service/pegmastd.exe')], path) as s:
        s.configure(slapd.url, 'HistoryDays = 7\nWebUpdates = yes\nWebUpdateCode = s3cret\n')
        c.check(s.start(), 'pegmastd.exe under Wine with Directory = ldap listens')
        send(s.port, record('aberg', 2, 'lunch'))
        b = wait_board(s.web_port, lambda b: b['directory']['entries'] and b['rows'], 60)
        row = b['rows'][0] if b.get('rows') else {}
        c.check((row.get('displayName'), row.get('group')) == ('Anna Berg', 'Finance') and
                b['directory']['entries'] == BULK + 3,
                'pegmastd.exe reads the people and groups through wldap32 (%r, %r)' % (row, b.get('directory')))
        wrong = tagged_and_gzipped(s.web_port)
        c.check(not wrong, 'pegmastd.exe gzips its JSON when asked and answers 304 for its tag (%s)' % wrong)
        ask = urllib.request.Request('http://127.0.0.1:%d/history?name=ABERG' % s.web_port,
                                     headers={'X-Pegora-Code': 's3cret'})
        try:
            entries = json.loads(urllib.request.urlopen(ask, timeout=10).read())['entries']
        except (OSError, ValueError) as e:
            entries = [str(e)]
        c.check([(e.get('name'), e.get('word'), e.get('message')) for e in entries if isinstance(e, dict)] ==
                [('aberg', 'out', 'lunch')], 'pegmastd.exe keeps the history in its database and reads it back (%r)' %
                entries)
        # A plan holding from this minute: the row switches by itself at the next tick.
        now = time.localtime()
        start, end = time.strftime('%Y-%m-%dT%H:%M', now), time.strftime('%Y-%m-%dT%H:%M', time.localtime(time.time() + 7200))
        status, said = post_update(s.web_port, '/plans', {'name': 'aberg', 'start': start, 'end': end, 'status': 3,
                                                          'message': 'training', 'code': 's3cret'})
        b = wait_board(s.web_port, lambda b: any(r.get('planned') for r in b['rows']), 20)
        row = b['rows'][0] if b.get('rows') else {}
        c.check(status == 201 and row.get('planned') and row.get('message') == 'training',
                'pegmastd.exe switches a row by a plan (%r, %r)' % (said, row))
    with Service(scratch('pegora-ldap-wine-signin-'), [WINE, os.path.join(win, 'server/service/pegmastd.exe')],
                 path) as s:
        s.env['LDAPTLS_CACERT'] = tls  # Wine's wldap32 hands TLS to the host's libldap, which trusts this CA
        c.check(signing_in(s, slapd, tls), 'pegmastd.exe with WebSignIn = directory serves HTTPS under Wine')
        anna, wrong = sign_in(s.web_port, 'aberg', 'anna pw'), sign_in(s.web_port, 'jsmith', 'not it')
        me = json.loads(https_get(s.web_port, '/me', session=anna)[2] or '{}') if len(anna) == 64 else {}
        c.check(me.get('reception') is True and me.get('displayName') == 'Anna Berg' and wrong.startswith('401'),
                'pegmastd.exe signs a person in through wldap32 over ldaps://, reception by the nested group; '
                'a wrong password is refused (%r, %r, %r)' % (anna[:80], me, wrong))


def main():
    native, win = sys.argv[1], sys.argv[2]
    c = Checks('staff directory from LDAP')
    folder = scratch('pegora-slapd-')
    ca, cert, key = certificates(folder, 'office')
    other_ca = certificates(folder, 'other')[0]
    people = [person('jsmith', 'Jo Smith', 'Sales', '+44 20 7946 0000', password='jo pw'),
              person('aberg', 'Anna Berg', 'HR', password='anna pw'),
              person('kim', 'Kim Lee', ''), person('gone', 'Gone Away', 'Sales', disabled=True)]
    people += [person('p%04d' % i, 'Person %04d' % i, 'Group %02d' % (i % 12)) for i in range(BULK)]
    people.append(groups(('Reception', ['Front Desk']), ('Front Desk', ['aberg', 'kim'])))
    with Slapd(folder, '\n'.join(people), tls=(ca, cert, key)) as slapd:
        linux(c, native, slapd, ca, other_ca)
        directory_sign_in(c, native, slapd, ca)
        windows(c, win, slapd, ca)
    return c.finish()


if __name__ == '__main__':
    sys.exit(main())
