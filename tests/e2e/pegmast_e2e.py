"""pegmast.exe under Wine: first start, records reaching the board, dialogs,
a port held by another socket, and closing the window."""
import os
import socket
import sys
import time

from desktop import Checks, Desktop, free_port, record, wait_exit, wait_listening

KEY = 'SOFTWARE\\ZORVEN\\PEGORA\\SERVER'


def stored(port, data):
    """Sends one record and waits until the board closes the connection, which
    it does only once the record is in its table."""
    with socket.create_connection(('127.0.0.1', port), timeout=10) as s:
        s.sendall(data)
        s.settimeout(10)
        try:
            return s.recv(1) == b''
        except OSError:
            return False


def main():
    exe, artifacts = sys.argv[1], sys.argv[2]
    desk = Desktop()
    c = Checks('pegmast end-to-end')
    with desk:
        # First start: the key is created with Port 5001.
        desk.reg_delete(KEY)
        board = desk.run(exe)
        window = desk.wait_window('quenlow')
        c.check(window is not None, 'the board window "quenlow" opens')
        c.check(desk.reg_query(KEY, 'Port') == ('REG_DWORD', '0x1389'), 'first start writes Port 5001 as REG_DWORD')
        if desk.wait_window('startup failed!', timeout=2):  # 5001 taken on this machine: not this test's concern
            desk.keys(desk.windows('startup failed!')[0], 'Return')
        desk.wine('taskkill', '/IM', 'pegmast.exe')
        c.check(wait_exit(board) == 0, 'closing the window ends with exit code 0')

        # Records reach the board.
        port = free_port()
        desk.reg_add(KEY, 'Port', 'REG_DWORD', port)
        board = desk.run(exe)
        window = desk.wait_window('quenlow')
        c.check(wait_listening(port), 'the board listens on the port from the registry')
        rows = [('Anna', 1, 'at my desk'), ('Bob', 2, 'lunch until 2'), ('Jos\u00e9', 0, 'in a meeting'),
                ('ANNA', 2, 'gone home'), ('MAXIMILIAN WOODWARD', 1, 'a long name ends under the status word')]
        ok = all(stored(port, record(*row)) for row in rows)
        c.check(ok, 'five records are read and stored')
        time.sleep(4)  # the idle step repaints every three seconds
        desk.screenshot(os.path.join(artifacts, 'pegmast-board.png'))

        desk.keys(window, 'alt+question')
        about = desk.wait_window('About', timeout=10)
        c.check(about is not None, 'Alt+? opens the About box')
        desk.screenshot(os.path.join(artifacts, 'pegmast-about.png'))
        if about:
            desk.keys(about, 'Return')
        desk.keys(window, 'alt+slash')
        about = desk.wait_window('About', timeout=10)
        c.check(about is not None, 'Alt+/ opens the About box')
        if about:
            desk.keys(about, 'Escape')

        desk.keys(window, 'alt+f', 's')
        setup = desk.wait_window('Setup', timeout=10)
        c.check(setup is not None, 'File > Setup opens the Setup dialog')
        desk.screenshot(os.path.join(artifacts, 'pegmast-setup.png'))
        if setup:
            desk.keys(setup, 'Return')
        c.check(desk.reg_query(KEY, 'Port') == ('REG_DWORD', hex(port)), 'the Setup dialog writes nothing')

        desk.wine('taskkill', '/IM', 'pegmast.exe')
        c.check(wait_exit(board) == 0, 'closing the window ends with exit code 0 while records were stored')

        # A port held by another socket.
        holder = socket.socket()
        holder.bind(('0.0.0.0', 0))
        holder.listen(1)
        desk.reg_add(KEY, 'Port', 'REG_DWORD', holder.getsockname()[1])
        board = desk.run(exe)
        box = desk.wait_window('startup failed!')
        c.check(box is not None, 'a port in use shows "startup failed!"')
        desk.screenshot(os.path.join(artifacts, 'pegmast-bind-failed.png'))
        c.check(not desk.windows('quenlow', visible=True), 'the board window is hidden behind the message')
        if box:
            desk.keys(box, 'Return')
        c.check(wait_exit(board) == 1, 'after OK the program ends with exit code 1')
        holder.close()
    return c.finish()


if __name__ == '__main__':
    sys.exit(main())
