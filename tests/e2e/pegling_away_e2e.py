"""Away while locked in pegling.exe under Wine: the session's lock and unlock
(WM_WTSSESSION_CHANGE, posted by a helper) send the away record and then the
previous one; the tray menu's check item toggles the registry value."""
import os
import re
import sys
import time

import pegling_e2e
from desktop import Checks, Desktop, Listener, fields
from pegling_e2e import tray_menu

KEY = 'SOFTWARE\\ZORVEN\\PEGORA\\CLIENT'
STARTED = 'started but not signed in.'
WM_WTSSESSION_CHANGE, WTS_SESSION_LOCK, WTS_SESSION_UNLOCK = 0x2B1, 7, 8
AWAY = re.compile(r'^away from desk since ([01]\d|2[0-3]):[0-5]\d$')


def main():
    exe, post, artifacts = sys.argv[1], sys.argv[2], sys.argv[3]
    pegling_e2e.ARTIFACTS = artifacts
    desk = Desktop()
    listener = Listener()
    c = Checks('pegling away while locked')

    after = listener.delivery

    def session(change):
        return desk.wine(post, 'MARBLY', 'marbly', str(WM_WTSSESSION_CHANGE), str(change), '0').returncode == 0

    with desk, listener:
        desk.reg_delete(KEY)
        desk.reg_add(KEY, 'Port', 'REG_DWORD', listener.port)
        desk.reg_add(KEY, 'Name', 'REG_SZ', 'Locker')
        desk.reg_add(KEY, 'ServerAddress', 'REG_SZ', '127.0.0.1')
        desk.reg_add(KEY, 'AwayOnLock', 'REG_DWORD', 1)
        desk.run(exe)
        c.check(listener.wait_for(lambda d: fields(d)[2] == STARTED, timeout=30) is not None, 'the client signs in')

        count = len(listener.deliveries)
        before = time.strftime('%H:%M')
        c.check(session(WTS_SESSION_LOCK), 'the lock reaches the client')
        away = after(count)
        c.check(away is not None and away[:2] == ('Locker', 3) and AWAY.match(away[2]) is not None and
                away[2][-5:] in {before, time.strftime('%H:%M')},
                'locked: status 3 and "away from desk since HH:MM" at the lock\'s time (%r)' % (away,))
        count = len(listener.deliveries)
        c.check(session(WTS_SESSION_UNLOCK), 'the unlock reaches the client')
        c.check(after(count) == ('Locker', 3, STARTED), 'unlocked: the previous record again')

        # The menu's check item: on now, off after a click, and back on.
        if tray_menu(desk, 'away'):
            time.sleep(1)
            c.check(desk.reg_query(KEY, 'AwayOnLock') == ('REG_DWORD', '0x0'), 'the menu item turns the setting off')
            count = len(listener.deliveries)
            session(WTS_SESSION_LOCK)
            time.sleep(3)
            c.check(len(listener.deliveries) == count, 'with the setting off a lock sends nothing')
            session(WTS_SESSION_UNLOCK)
        os.replace(os.path.join(artifacts, 'pegling-menu.png'), os.path.join(artifacts, 'pegling-menu-away-on.png'))
        if tray_menu(desk, 'away'):
            time.sleep(1)
            c.check(desk.reg_query(KEY, 'AwayOnLock') == ('REG_DWORD', '0x1'), 'and on again')
    return c.finish()


if __name__ == '__main__':
    sys.exit(main())
