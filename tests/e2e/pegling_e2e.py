"""pegling.exe under Wine: the first-run setup, the start-up record, the tray
menu and its dialogs, the single-instance hand-over and the shutdown record."""
import os
import subprocess
import sys
import time

from desktop import Checks, Desktop, Listener, fields, wait_exit

KEY = 'SOFTWARE\\ZORVEN\\PEGORA\\CLIENT'
ARTIFACTS = '.'


def tray_menu(desk, item):
    """Right-clicks the first icon of Wine's stand-in notification area and
    clicks an item of the menu, which sits at the screen's lower right."""
    tray = desk.wait_window('Wine System Tray', timeout=10)
    if not tray:
        return False
    geometry = subprocess.run(['xdotool', 'getwindowgeometry', '--shell', tray], env=desk.env,
                              capture_output=True, text=True).stdout
    values = dict(line.split('=') for line in geometry.split())
    desk.click(int(values['X']) + 8, int(values['Y']) + 9, button=3)
    time.sleep(1.5)
    desk.screenshot(os.path.join(ARTIFACTS, 'pegling-menu.png'))
    # Item centres above the menu's anchor (screen right - 30, bottom - 20).
    above = {'about': 93, 'setup': 52, 'away': 36}[item]
    desk.click(1024 - 30 - 54, 768 - 20 - above)
    return True


def main():
    global ARTIFACTS
    exe, artifacts = sys.argv[1], sys.argv[2]
    ARTIFACTS = artifacts
    desk = Desktop()
    listener = Listener()
    c = Checks('pegling end-to-end')
    with desk, listener:
        # First run: the setup dialog comes before any icon; OK stores all three values.
        desk.reg_delete(KEY)
        client = desk.run(exe)
        setup = desk.wait_window('Setup Information')
        c.check(setup is not None, 'the first run opens "Setup Information"')
        c.check(not desk.windows('Wine System Tray', visible=True), 'no tray icon exists before setup ends')
        desk.screenshot(os.path.join(artifacts, 'pegling-first-setup.png'))
        if setup:
            desk.keys(setup, 'ctrl+a')
            desk.type(setup, 'Tester')
            desk.keys(setup, 'Tab', 'ctrl+a')
            desk.type(setup, str(listener.port))
            desk.keys(setup, 'Tab', 'ctrl+a')
            desk.type(setup, '127.0.0.1')
            desk.keys(setup, 'Return')
        first = listener.wait_for(lambda d: fields(d)[2] == 'started but not signed in.')
        c.check(first is not None and len(first) == 512, 'the start-up record arrives, 512 bytes')
        if first:
            c.check(fields(first) == ('Tester', 3, 'started but not signed in.'),
                    'it carries the name, status 3 and "started but not signed in."')
            c.check(first[224:] == b'\0' * 288, 'bytes 224 to 511 are zero')
        c.check(desk.reg_query(KEY, 'Port') == ('REG_DWORD', hex(listener.port)), 'Port is stored as REG_DWORD')
        c.check(desk.reg_query(KEY, 'Name') == ('REG_SZ', 'Tester'), 'Name is stored')
        c.check(desk.reg_query(KEY, 'ServerAddress') == ('REG_SZ', '127.0.0.1'), 'ServerAddress is stored')

        # A second start hands over the double click and waits for the dialog.
        second = desk.run(exe)
        status = desk.wait_window('PEGORA Update')
        c.check(status is not None, 'a second start opens the first one\'s status dialog')
        desk.screenshot(os.path.join(artifacts, 'pegling-status.png'))
        time.sleep(1)
        c.check(second.poll() is None, 'the second process waits while the dialog is open')
        if status:
            desk.keys(status, 'Tab', 'Tab', 'Up', 'Up', 'Tab', 'ctrl+a')  # OK, Cancel, radio group: In; message
            desk.type(status, 'back at 3')
            desk.keys(status, 'Return')
        c.check(wait_exit(second) == 0, 'the second process ends with 0 once the dialog is closed')
        update = listener.wait_for(lambda d: fields(d)[2] == 'back at 3')
        c.check(update is not None and fields(update)[:2] == ('Tester', 1), 'OK sends the new status and message')
        c.check(desk.windows('Wine System Tray', visible=True) != [], 'the first instance shows its tray icon')

        # The tray menu and its dialogs.
        if tray_menu(desk, 'about'):
            about = desk.wait_window('About', timeout=10)
            c.check(about is not None, '"About Pegora" opens the About box')
            desk.screenshot(os.path.join(artifacts, 'pegling-about.png'))
            if about:
                desk.keys(about, 'Return')
        if tray_menu(desk, 'setup'):
            setup = desk.wait_window('Setup Information', timeout=10)
            c.check(setup is not None, '"Setup" opens the setup dialog')
            desk.screenshot(os.path.join(artifacts, 'pegling-setup.png'))
            if setup:
                desk.keys(setup, 'Escape')

        # Closing the hidden window sends the last record.
        desk.wine('taskkill', '/IM', 'pegling.exe')
        last = listener.wait_for(lambda d: fields(d)[2] == 'Client shutdown')
        c.check(last is not None and fields(last) == ('Tester', 3, 'Client shutdown'),
                'closing delivers "Client shutdown" with status 3')
        c.check(wait_exit(client) == 0, 'the client ends with exit code 0')
    return c.finish()


if __name__ == '__main__':
    sys.exit(main())
