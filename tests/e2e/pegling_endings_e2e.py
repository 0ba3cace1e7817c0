"""How pegling.exe ends under Wine: log-off delivers "Client shutdown", a close
request while the status dialog is open still leaves "Client shutdown" as the
last record, Cancel and Esc keep their edits for the next tick, and Setup's
OK writes all three values to the registry."""
import sys
import time

from desktop import Checks, Desktop, Listener, fields, wait_exit
from pegling_e2e import tray_menu

KEY = 'SOFTWARE\\ZORVEN\\PEGORA\\CLIENT'
STARTED = 'started but not signed in.'
WM_CLOSE = 0x10
TRAY_CALLBACK, WM_LBUTTONDBLCLK = 1125, 0x203


def preset(desk, port, name='Ends'):
    desk.reg_delete(KEY)
    desk.reg_add(KEY, 'Port', 'REG_DWORD', port)
    desk.reg_add(KEY, 'Name', 'REG_SZ', name)
    desk.reg_add(KEY, 'ServerAddress', 'REG_SZ', '127.0.0.1')


def last(listener):
    return fields(listener.deliveries[-1]) if listener.deliveries else None


def main():
    exe, post, artifacts = sys.argv[1], sys.argv[2], sys.argv[3]
    desk = Desktop()
    listener = Listener()
    c = Checks('pegling endings')

    def to_client(message, wparam=0, lparam=0):
        return desk.wine(post, 'MARBLY', 'marbly', str(message), str(wparam), str(lparam)).returncode == 0

    def started(n):
        return listener.wait_for(lambda d: sum(1 for x in list(listener.deliveries)
                                               if fields(x)[2] == STARTED) >= n) is not None

    with desk, listener:
        preset(desk, listener.port)

        # Log-off: the session's end messages, then the process is gone.
        client = desk.run(exe)
        c.check(started(1), 'the client signs in')
        desk.wine('wineboot', '--end-session')
        shutdown = listener.wait_for(lambda d: fields(d)[2] == 'Client shutdown', timeout=15)
        c.check(shutdown is not None and fields(shutdown) == ('Ends', 3, 'Client shutdown'),
                'log-off delivers "Client shutdown" with status 3')
        wait_exit(client, 15)
        desk.wine('taskkill', '/F', '/IM', 'pegling.exe')

        # Cancel and Esc: the edits stay in the record and go out with the next tick.
        client = desk.run(exe)
        c.check(started(2), 'a new client signs in')
        for key, text in (('Escape', 'edited, then Esc'), ('Cancel', 'edited, then Cancel')):
            c.check(to_client(TRAY_CALLBACK, 0, WM_LBUTTONDBLCLK), 'the double click reaches the client')
            status = desk.wait_window('PEGORA Update', timeout=10)
            if not status:
                c.check(False, 'the status dialog opens')
                continue
            # OK, Cancel, the radio group one up (Other to Out, then Out to In), the message.
            desk.keys(status, 'Tab', 'Tab', 'Up', 'Tab', 'ctrl+a')
            desk.type(status, text)
            count = len(listener.deliveries)
            if key == 'Escape':
                desk.keys(status, 'Escape')
            else:
                desk.keys(status, 'Tab', 'Tab', 'Return')  # from the message: OK, then Cancel
            time.sleep(3)
            c.check(desk.wait_window('PEGORA Update', timeout=1) is None, '%s closes the dialog' % key)
            c.check(len(listener.deliveries) == count, '%s sends nothing at once' % key)
        tick = listener.wait_for(lambda d: fields(d)[2] == 'edited, then Cancel', timeout=70)
        c.check(tick is not None and fields(tick)[1] == 1, 'the next tick carries the edits (status in)')

        # Setup with OK: all three values in the registry.
        setup = desk.wait_window('Setup Information', timeout=10) if tray_menu(desk, 'setup') else None
        if setup is None:
            c.check(False, 'the tray menu\'s Setup opens "Setup Information"')
        else:
            desk.keys(setup, 'ctrl+a')
            desk.type(setup, 'Renamed')
            desk.keys(setup, 'Tab', 'ctrl+a')
            desk.type(setup, str(listener.port))
            desk.keys(setup, 'Tab', 'ctrl+a')
            desk.type(setup, 'localhost')
            desk.keys(setup, 'Return')
            time.sleep(2)
            c.check(desk.reg_query(KEY, 'Name') == ('REG_SZ', 'Renamed'), 'Setup OK writes Name')
            c.check(desk.reg_query(KEY, 'Port') == ('REG_DWORD', hex(listener.port)), 'Setup OK writes Port')
            c.check(desk.reg_query(KEY, 'ServerAddress') == ('REG_SZ', 'localhost'),
                    'Setup OK writes ServerAddress')

        # The status dialog open, then a close request to the hidden window.
        c.check(to_client(TRAY_CALLBACK, 0, WM_LBUTTONDBLCLK), 'the double click reaches the client')
        status = desk.wait_window('PEGORA Update', timeout=10)
        c.check(status is not None, 'the status dialog is open')
        if status:
            desk.keys(status, 'Tab', 'Tab', 'Up', 'Up', 'Tab', 'ctrl+a')
            desk.type(status, 'typed but never confirmed')
        to_client(WM_CLOSE)
        c.check(wait_exit(client, 15) == 0, 'the close request ends the client with 0')
        time.sleep(1)
        c.check(last(listener) is not None and last(listener)[1:] == (3, 'Client shutdown'),
                'the last record is "Client shutdown" (got %r)' % (last(listener),))
    return c.finish()


if __name__ == '__main__':
    sys.exit(main())
