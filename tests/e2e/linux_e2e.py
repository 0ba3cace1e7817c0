"""The Linux programs on a private X server: pegling's records reach pegmast's
board, the single-instance hand-over between two real processes, and
screenshots of the board and every dialog."""
import os
import signal
import socket
import subprocess
import sys
import time

from desktop import Checks, Desktop, free_port, record, send, wait_exit, wait_listening, write_key


def write_client_key(home, port, name, extra=()):
    """The client's key aimed at 127.0.0.1:port; `name` as Windows-1252 bytes."""
    write_key(home, 'CLIENT', [('Port', 4, port.to_bytes(4, 'little')), ('Name', 1, name.ljust(20, b'\0')),
                               ('ServerAddress', 1, b'127.0.0.1'.ljust(128, b'\0'))] + list(extra))


def ink(desk, window, x, y, w, h):
    """Mean brightness of part of a window: 1.0 is an empty white area."""
    shot = subprocess.run(['import', '-window', window, 'png:-'], env=desk.env, capture_output=True).stdout
    mean = subprocess.run(['convert', 'png:-', '-crop', '%dx%d+%d+%d' % (w, h, x, y), '-colorspace', 'Gray',
                           '-format', '%[fx:mean]', 'info:'], input=shot, capture_output=True).stdout
    try:
        return 1.0 - float(mean)
    except ValueError:
        return 0.0


def main():
    pegmast, pegling, artifacts = sys.argv[1], sys.argv[2], sys.argv[3]
    desk = Desktop()
    home = desk.settings_home('pegora-e2e-')
    port = free_port()
    desk.settings('linux', 'SERVER', Port=port)
    write_client_key(home, port, b'Jos\xe9')
    c = Checks('Linux end-to-end')
    with desk:
        board = desk.start(pegmast)
        window = desk.wait_window('quenlow')
        c.check(window is not None and wait_listening(port), 'the board window "quenlow" opens and listens')
        # No window manager places windows here: keep the board clear of the dialogs.
        subprocess.run(['xdotool', 'windowmove', window, '0', '240'], env=desk.env)
        time.sleep(1)
        empty = ink(desk, window, 0, 20, 300, 40)
        client = desk.start(pegling)
        fallback = desk.wait_window('marbly')
        c.check(fallback is not None, 'without a notification area the client shows "marbly"')
        if fallback:
            subprocess.run(['xdotool', 'windowmove', fallback, '860', '20'], env=desk.env)
        for name, status, message in (('MAXIMILIAN WOODWARD', 1, 'a long name ends under the status word'),
                                      ('Bob', 2, 'lunch until 2')):
            send(port, record(name, status, message))
        time.sleep(4)  # the idle step repaints every three seconds
        row = ink(desk, window, 0, 20, 300, 40)
        c.check(row > empty + 0.005, 'the client\'s row appears on the board (ink %.3f, was %.3f)' % (row, empty))
        desk.screenshot(os.path.join(artifacts, 'linux-board.png'))

        second = desk.start(pegling)
        status = desk.wait_window('PEGORA Update')
        c.check(status is not None, 'a second start opens the first one\'s status dialog')
        desk.screenshot(os.path.join(artifacts, 'linux-status.png'))
        time.sleep(15)  # longer than any limit: the user is still typing
        c.check(second.poll() is None, 'the second process waits as long as the dialog is open (15 s)')
        if status:
            desk.keys(status, 'Return')
        c.check(wait_exit(second) == 0, 'the second process ends with 0 once the dialog is closed with OK')

        # A running client that cannot answer at all: the second start gives up after 10 s.
        client.send_signal(signal.SIGSTOP)
        began = time.time()
        second = subprocess.run([pegling], env=desk.env, capture_output=True, text=True, timeout=30)
        waited = time.time() - began
        client.send_signal(signal.SIGCONT)
        c.check(second.returncode == 1 and 'did not answer within 10 seconds' in second.stderr and 9 < waited < 14,
                'a stopped client: the second start says so and ends with 1 after 10 s (%.1f s, %r)' %
                (waited, second.stderr))
        late = desk.wait_window('PEGORA Update', timeout=10)  # woken, it still takes the double click
        if late:
            desk.keys(late, 'Escape')

        # The fallback window's buttons, from the top: About Pegora, Change status, Setup, Away while
        # locked, Exit.
        if fallback:
            desk.click_in(fallback, 58, 20)
            about = desk.wait_window('About', timeout=10)
            c.check(about is not None, '"About Pegora" opens the About box')
            desk.screenshot(os.path.join(artifacts, 'linux-client-about.png'))
            if about:
                desk.keys(about, 'Return')
            desk.click_in(fallback, 58, 86)
            setup = desk.wait_window('Setup Information', timeout=10)
            c.check(setup is not None, '"Setup" opens "Setup Information"')
            desk.screenshot(os.path.join(artifacts, 'linux-client-setup.png'))
            if setup:
                desk.keys(setup, 'Escape')

        desk.click_in(window, 400, 200)  # gives the board the keyboard
        desk.keys(window, 'alt+f', 's')
        setup = desk.wait_window('Setup', timeout=10)
        c.check(setup is not None, 'the board\'s File > Setup opens "Setup"')
        desk.screenshot(os.path.join(artifacts, 'linux-board-setup.png'))
        if setup:
            desk.keys(setup, 'Return')
        desk.click_in(window, 400, 200)
        desk.keys(window, 'alt+question')
        about = desk.wait_window('About', timeout=10)
        c.check(about is not None, 'Alt+? opens the board\'s About box')
        desk.screenshot(os.path.join(artifacts, 'linux-board-about.png'))
        if about:
            desk.keys(about, 'Return')

        if fallback:
            desk.click_in(fallback, 58, 152)  # the last button, Exit
        c.check(wait_exit(client) == 0, 'Exit ends the client with 0')
        desk.click_in(window, 400, 200)
        desk.keys(window, 'alt+f', 'x')
        c.check(wait_exit(board) == 0, 'File > Exit ends the board with 0')

        # A port that another program holds.
        holder = socket.socket()
        holder.bind(('0.0.0.0', 0))
        holder.listen(1)
        desk.settings('linux', 'SERVER', Port=holder.getsockname()[1])
        board = desk.start(pegmast)
        box = desk.wait_window('startup failed!')
        c.check(box is not None, 'a port in use shows "startup failed!"')
        c.check(not desk.windows('quenlow', visible=True), 'the board window is hidden behind the message')
        desk.screenshot(os.path.join(artifacts, 'linux-bind-failed.png'))
        if box:
            desk.keys(box, 'Return')
        c.check(wait_exit(board) == 1, 'after OK the board ends with exit code 1')
        holder.close()
    return c.finish()


if __name__ == '__main__':
    sys.exit(main())
