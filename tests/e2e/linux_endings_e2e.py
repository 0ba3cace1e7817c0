"""How the Linux client ends and starts: SIGTERM and Exit with the status
dialog open deliver "Client shutdown" last, the exit wait is bounded, a start
during it runs, simultaneous starts run one client, the tray icon follows a
notification area that comes and goes, and both programs idle quietly."""
import os
import signal
import socket
import subprocess
import sys
import time

from desktop import (Checks, Desktop, Listener, fields, free_port, scratch, wait_exit, wait_listening, wait_until,
                     write_key)
from linux_e2e import write_client_key

STARTED = 'started but not signed in.'


def cpu_seconds(pid):
    with open('/proc/%d/stat' % pid) as f:
        parts = f.read().rsplit(')', 1)[1].split()
    return (int(parts[11]) + int(parts[12])) / os.sysconf('SC_CLK_TCK')


def idle_cpu(process):
    """CPU seconds a settled program uses in 3 s; a spinning loop would use 3."""
    time.sleep(2)
    before = cpu_seconds(process.pid)
    time.sleep(3)
    return cpu_seconds(process.pid) - before


def aim_client(home, port):
    write_client_key(home, port, b'Ends')


def count(listener, message):
    return sum(1 for d in list(listener.deliveries) if fields(d)[2] == message)


def main():
    pegmast, pegling, artifacts = sys.argv[1], sys.argv[2], sys.argv[3]
    desk = Desktop()
    home = scratch('pegora-ends-')
    desk.env.update(XDG_CONFIG_HOME=home, QT_QPA_PLATFORM='xcb', XDG_RUNTIME_DIR=home)
    listener = Listener()
    aim_client(home, listener.port)
    c = Checks('Linux endings')
    start = desk.start
    with desk, listener:
        # SIGTERM, as a session manager or systemctl sends it.
        client = start(pegling)
        c.check(listener.wait_for(lambda d: fields(d)[2] == STARTED) is not None, 'the client signs in')
        used = idle_cpu(client)
        c.check(used < 0.15, 'an idle client uses under 5%% of a core (%.2f s of CPU in 3 s)' % used)
        client.send_signal(signal.SIGTERM)
        c.check(wait_exit(client, 10) == 0, 'SIGTERM ends the client with exit code 0')
        last = listener.deliveries[-1] if listener.deliveries else b''
        c.check(len(last) == 512 and fields(last) == ('Ends', 3, 'Client shutdown'),
                'its last record is "Client shutdown" with status 3')

        # The status dialog open, then the end: nothing writes over the last record.
        client = start(pegling)
        listener.wait_for(lambda d: fields(d)[2] == STARTED and count(listener, STARTED) >= 2)
        second = start(pegling)
        status = desk.wait_window('PEGORA Update')
        c.check(status is not None, 'a second start opens the status dialog')
        if status:
            desk.keys(status, 'Tab', 'Tab', 'Up', 'Up', 'Tab', 'ctrl+a')
            desk.type(status, 'typed but never confirmed')
        client.send_signal(signal.SIGTERM)
        c.check(wait_exit(client, 10) == 0, 'SIGTERM with the dialog open ends the client with 0')
        time.sleep(1)
        last = listener.deliveries[-1] if listener.deliveries else b''
        c.check(fields(last) == ('Ends', 3, 'Client shutdown'),
                'the last record is still "Client shutdown" (got %r)' % (fields(last),))
        wait_exit(second, 12)

        # Simultaneous starts: exactly one runs and signs in.
        before = count(listener, STARTED)
        crowd = [start(pegling) for _ in range(5)]
        time.sleep(4)
        c.check(count(listener, STARTED) - before == 1,
                'five simultaneous starts sign in once (%d)' % (count(listener, STARTED) - before))
        for p in crowd:
            p.send_signal(signal.SIGTERM)
        for p in crowd:
            wait_exit(p, 15)

        # A board that never answers: connects hang in a full backlog.
        full = socket.socket()
        full.bind(('127.0.0.1', 0))
        full.listen(0)
        fillers = []
        for _ in range(3):
            f = socket.socket()
            f.setblocking(False)
            f.connect_ex(full.getsockname())
            fillers.append(f)
        time.sleep(0.5)
        aim_client(home, full.getsockname()[1])
        client = start(pegling)
        time.sleep(3)
        began = time.time()
        client.send_signal(signal.SIGTERM)
        time.sleep(0.5)
        after = start(pegling)  # started during the first one's exit wait
        code = wait_exit(client, 15)
        took = time.time() - began
        c.check(code == 0 and took < 7.5, 'with a silent board the exit wait ends in %.1f s with code %r' % (took, code))
        time.sleep(2)
        c.check(after.poll() is None, 'a start during that wait runs a client of its own')
        after.send_signal(signal.SIGTERM)
        wait_exit(after, 15)
        for f in fillers:
            f.close()
        full.close()
        aim_client(home, listener.port)

        # A notification area that starts after the client, and goes again.
        client = start(pegling)
        fallback = desk.wait_window('marbly', timeout=15)
        c.check(fallback is not None, 'without a notification area the client shows "marbly"')
        trayer = desk.start('trayer', '--edge', 'bottom', '--align', 'right', '--widthtype', 'pixel',
                            '--width', '60', '--height', '24', '--SetDockType', 'false')
        c.check(wait_until(lambda: not desk.windows('marbly', visible=True), 10),
                'once a notification area appears "marbly" goes')
        time.sleep(1)
        desk.screenshot(os.path.join(artifacts, 'linux-tray.png'))
        subprocess.run(['xdotool', 'mousemove', str(1024 - 12), str(768 - 12)], env=desk.env)
        time.sleep(0.3)
        subprocess.run(['xdotool', 'click', '--repeat', '2', '--delay', '80', '1'], env=desk.env)
        status = desk.wait_window('PEGORA Update', timeout=10)
        c.check(status is not None, 'a double click on the tray icon opens "PEGORA Update"')
        time.sleep(1.5)
        shown = desk.windows('PEGORA Update', visible=True)
        c.check(len(shown) == 1, 'one dialog for one double click, though the tray also sent a click (%d)' %
                len(shown))
        if status:
            desk.keys(status, 'Escape')
        time.sleep(0.5)
        desk.click(1024 - 12, 768 - 12)
        c.check(wait_visible(desk, 'PEGORA Update'), 'a single click opens it too')
        status = (desk.windows('PEGORA Update', visible=True) or [None])[0]
        if status:
            desk.keys(status, 'Escape')
        time.sleep(0.5)
        desk.click(1024 - 12, 768 - 12, button=3)
        time.sleep(1)
        desk.screenshot(os.path.join(artifacts, 'linux-tray-menu.png'))
        subprocess.run(['xdotool', 'key', 'Escape'], env=desk.env)
        trayer.terminate()
        trayer.wait()
        c.check(wait_visible(desk, 'marbly'), 'when the notification area goes, "marbly" comes back')
        client.send_signal(signal.SIGTERM)
        c.check(wait_exit(client, 10) == 0, 'the client ends with 0')

        # The board: idle cost, and SIGTERM through its ordinary shutdown.
        port = free_port()
        write_key(home, 'SERVER', [('Port', 4, port.to_bytes(4, 'little'))])
        board = start(pegmast)
        c.check(wait_listening(port), 'the board listens')
        used = idle_cpu(board)
        c.check(used < 0.15, 'an idle board uses under 5%% of a core (%.2f s of CPU in 3 s)' % used)
        board.send_signal(signal.SIGTERM)
        c.check(wait_exit(board, 10) == 0, 'SIGTERM ends the board with exit code 0')
    return c.finish()


def wait_visible(desk, title, timeout=10):
    return bool(wait_until(lambda: desk.windows(title, visible=True), timeout))


if __name__ == '__main__':
    sys.exit(main())
