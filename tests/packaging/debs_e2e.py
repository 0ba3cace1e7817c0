"""The Debian packages: lintian finds no errors, every desktop entry is valid,
the listed files are there, and the programs unpacked from them run: the
board listens and the client's start-up record reaches it."""
import os
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, '..', 'e2e'))
from desktop import Checks, Desktop, free_port, scratch, wait_listening  # noqa: E402
from linux_e2e import ink, write_client_key  # noqa: E402

ICONS = ['usr/share/icons/hicolor/%dx%d/apps/%%s.png' % (n, n) for n in (16, 32, 48, 128)]
FILES = {
    'pegora-board_1.20-1_amd64.deb': ['usr/bin/pegmast', 'usr/share/applications/pegmast.desktop',
                                      'usr/share/man/man1/pegmast.1.gz', 'usr/share/doc/pegora-board/copyright',
                                      'usr/share/doc/pegora-board/changelog.Debian.gz'] +
                                     [i % 'pegmast' for i in ICONS],
    'pegora-client_1.20-1_amd64.deb': ['usr/bin/pegling', 'usr/share/applications/pegling.desktop',
                                       'etc/xdg/autostart/pegling.desktop', 'usr/share/man/man1/pegling.1.gz',
                                       'usr/share/doc/pegora-client/copyright',
                                       'usr/share/doc/pegora-client/changelog.Debian.gz'] +
                                      [i % 'pegling' for i in ICONS],
    'pegora-board-service_1.20-1_amd64.deb': ['usr/sbin/pegmastd', 'lib/systemd/system/pegmastd.service',
                                             'etc/pegora/pegmastd.conf', 'usr/share/man/man8/pegmastd.8.gz',
                                             'usr/share/doc/pegora-board-service/copyright',
                                             'usr/share/doc/pegora-board-service/changelog.Debian.gz'],
}


def check_service(c, dist, root):
    """The service's package: its unit passes systemd's own checks, its
    configuration is a conffile listing every name, its scripts are there."""
    deb = os.path.join(dist, 'pegora-board-service_1.20-1_amd64.deb')
    control = scratch('pegora-control-')
    subprocess.run(['dpkg-deb', '-e', deb, control], check=True)
    c.check(open(os.path.join(control, 'conffiles')).read().split() == ['/etc/pegora/pegmastd.conf'],
            'pegmastd.conf is a conffile')
    scripts = {name: open(os.path.join(control, name)).read() for name in ('postinst', 'prerm', 'postrm')}
    c.check('deb-systemd-helper enable pegmastd.service' in scripts['postinst'] and
            'restart pegmastd.service' in scripts['postinst'] and 'stop pegmastd.service' in scripts['prerm'] and
            'rm -rf /var/lib/pegora' in scripts['postrm'], 'maintainer scripts enable, restart, stop and purge')
    conf = open(os.path.join(root, 'etc/pegora/pegmastd.conf')).read()
    names = ['Port', 'WebPort', 'SilentMinutes', 'AcceptPacingMs', 'MaxConnections', 'ForgetDays', 'HistoryDays',
             'StateFile',
             'LogChanges', 'WebUpdates', 'WebUpdateCode', 'Directory', 'DirectoryFile', 'LdapUrl', 'LdapBindDn',
             'LdapBindPasswordFile', 'LdapAllowPlainBind', 'LdapBase', 'LdapFilter', 'LdapNameAttribute']
    c.check(all('\n#%s =' % n in conf for n in names), 'the configuration lists every name, commented out')
    check = subprocess.run([os.path.join(root, 'usr/sbin/pegmastd'), '--check', '--config',
                            os.path.join(root, 'etc/pegora/pegmastd.conf')], capture_output=True, text=True)
    c.check(check.returncode == 0 and 'Port = 5001\n' in check.stdout and 'WebPort = 5080\n' in check.stdout,
            'the packaged configuration reads as every default')
    # systemd's checks, on the unit as packaged; ExecStart aimed at the unpacked program.
    unit = open(os.path.join(root, 'lib/systemd/system/pegmastd.service')).read()
    c.check('ExecStart=/usr/sbin/pegmastd\n' in unit, 'the unit starts the packaged /usr/sbin/pegmastd')
    folder = scratch('pegora-unit-')
    copy = os.path.join(folder, 'pegmastd.service')
    with open(copy, 'w') as f:
        f.write(unit.replace('ExecStart=/usr/sbin/pegmastd', 'ExecStart=' + os.path.join(root, 'usr/sbin/pegmastd')))
    env = dict(os.environ, MANPATH=os.path.join(root, 'usr/share/man'))
    verify = subprocess.run(['systemd-analyze', 'verify', copy], capture_output=True, text=True, env=env, cwd=folder)
    c.check(verify.returncode == 0 and not (verify.stdout + verify.stderr).strip(),
            'systemd-analyze verify prints nothing %r' % (verify.stdout + verify.stderr))
    security = subprocess.run(['systemd-analyze', 'security', '--offline=true', copy], capture_output=True,
                              text=True, cwd=folder)
    level = [line for line in security.stdout.splitlines() if 'Overall exposure level' in line]
    score = float(level[0].split(':')[1].split()[0]) if level else 99
    c.check(score <= 2.0, 'systemd-analyze security rates the unit %.1f (2.0 or lower)' % score)


def main():
    dist, artifacts = sys.argv[1], sys.argv[2]
    c = Checks('Debian packages')
    root = scratch('pegora-debs-')
    for deb, files in FILES.items():
        path = os.path.join(dist, deb)
        lint = subprocess.run(['lintian', '--allow-root', path], capture_output=True, text=True)
        errors = [line for line in lint.stdout.splitlines() if line.startswith('E:')]
        c.check(lint.returncode in (0, 1) and not errors, '%s: lintian reports no errors %r' % (deb, errors))
        listing = subprocess.run(['dpkg-deb', '-c', path], capture_output=True, text=True).stdout
        present = {line.split()[-1].lstrip('.').lstrip('/') for line in listing.splitlines() if line.strip()}
        missing = [f for f in files if f not in present]
        c.check(not missing, '%s holds the listed files (missing %r)' % (deb, missing))
        subprocess.run(['dpkg-deb', '-x', path, root], check=True)
        for f in files:
            if f.endswith('.desktop'):
                valid = subprocess.run(['desktop-file-validate', os.path.join(root, f)], capture_output=True,
                                       text=True)
                c.check(valid.returncode == 0 and 'error' not in valid.stdout, '%s is a valid desktop entry' % f)

    check_service(c, dist, root)

    desk = Desktop()
    home = desk.settings_home('pegora-debs-home-')
    port = free_port()
    desk.settings('linux', 'SERVER', Port=port)
    write_client_key(home, port, b'Packaged')
    with desk:
        desk.start(os.path.join(root, 'usr/bin/pegmast'))
        window = desk.wait_window('quenlow')
        c.check(window is not None and wait_listening(port), 'the unpacked board opens and listens')
        if window:  # no window manager places windows here: keep the board clear of the client's
            subprocess.run(['xdotool', 'windowmove', window, '0', '240'], env=desk.env)
        time.sleep(1)
        empty = ink(desk, window, 0, 20, 300, 40) if window else 0
        desk.start(os.path.join(root, 'usr/bin/pegling'))
        fallback = desk.wait_window('marbly', timeout=15)
        if fallback:
            subprocess.run(['xdotool', 'windowmove', fallback, '860', '20'], env=desk.env)
        time.sleep(5)  # the board repaints every three seconds
        row = ink(desk, window, 0, 20, 300, 40) if window else 0
        c.check(row > empty + 0.005, 'the unpacked client\'s start-up record shows on the board')
        desk.screenshot(os.path.join(artifacts, 'deb-board.png'))
    return c.finish()


if __name__ == '__main__':
    sys.exit(main())
