"""Away while locked on Linux, on the private session bus this script runs in
(dbus-run-session): the screen saver's ActiveChanged signal, under the
freedesktop and the GNOME name, makes the client send "away from desk since
HH:MM" and then put the previous record back; with the setting off nothing
is sent."""
import re
import signal
import subprocess
import sys
import time

from desktop import Checks, Desktop, Listener, fields, scratch, wait_exit
from linux_e2e import write_client_key

STARTED = 'started but not signed in.'
AWAY = re.compile(r'^away from desk since ([01]\d|2[0-3]):[0-5]\d$')


def screen_saver(env, service, active):
    path = '/' + service.replace('.', '/')
    subprocess.run(['dbus-send', '--session', '--type=signal', path, service + '.ActiveChanged',
                    'boolean:' + ('true' if active else 'false')], env=env, check=True)


def main():
    pegling = sys.argv[2]
    desk = Desktop()
    home = scratch('pegora-away-')
    desk.env.update(XDG_CONFIG_HOME=home, QT_QPA_PLATFORM='xcb', XDG_RUNTIME_DIR=home)
    listener = Listener()
    c = Checks('Linux away while locked')

    def start(away):
        write_client_key(home, listener.port, b'Locker', [('AwayOnLock', 4, away.to_bytes(4, 'little'))])
        count = len(listener.deliveries)
        p = desk.start(pegling)
        listener.wait_for(lambda d: len(listener.deliveries) > count and fields(d)[2] == STARTED)
        time.sleep(1)  # the client has joined the bus by the time its first record is out
        return p

    after = listener.delivery

    with desk, listener:
        client = start(1)
        for service in ('org.freedesktop.ScreenSaver', 'org.gnome.ScreenSaver'):
            count = len(listener.deliveries)
            before = time.strftime('%H:%M')
            screen_saver(desk.env, service, True)
            away = after(count)
            times = {before, time.strftime('%H:%M')}
            c.check(away is not None and away[:2] == ('Locker', 3) and AWAY.match(away[2]) is not None,
                    '%s locked: status 3 and "away from desk since HH:MM" (%r)' % (service, away))
            c.check(away is not None and away[2][-5:] in times, 'the time is the lock\'s local time %r' % times)
            count = len(listener.deliveries)
            screen_saver(desk.env, service, False)
            back = after(count)
            c.check(back == ('Locker', 3, STARTED), '%s unlocked: the previous record again (%r)' % (service, back))
        client.send_signal(signal.SIGTERM)
        wait_exit(client, 10)

        client = start(0)
        count = len(listener.deliveries)
        for service in ('org.freedesktop.ScreenSaver', 'org.gnome.ScreenSaver'):
            screen_saver(desk.env, service, True)
            screen_saver(desk.env, service, False)
        time.sleep(3)
        c.check(len(listener.deliveries) == count, 'with the setting 0 neither signal sends anything')
        client.send_signal(signal.SIGTERM)
        c.check(wait_exit(client, 10) == 0, 'the client ends with 0')
    return c.finish()


if __name__ == '__main__':
    sys.exit(main())
