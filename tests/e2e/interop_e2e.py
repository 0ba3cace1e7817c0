"""The two builds together on loopback: the Linux client reaches the Windows
board under Wine, and the Windows client under Wine reaches the Linux board.
A relay in between keeps the exact bytes on the wire; the board closing the
relayed connection shows it has stored them."""
import os
import socket
import subprocess
import sys
import time

from desktop import Checks, Desktop, Listener, fields, free_port, wait_exit, wait_listening
from linux_e2e import write_client_key


class Relay(Listener):
    """Keeps each delivery's bytes, passes them on to the board and notes
    whether the board read and closed (stored) them."""

    def __init__(self, board_port):
        self.board_port = board_port
        super().__init__()

    def _deliver(self, data):
        stored = False
        try:
            with socket.create_connection(('127.0.0.1', self.board_port), timeout=30) as board:
                board.sendall(data)
                board.settimeout(30)
                stored = board.recv(1) == b''
        except OSError:
            pass
        self.deliveries.append((data, stored))

    def wait_for(self, message, timeout=30):
        found = super().wait_for(lambda d: len(d[0]) >= 24 and fields(d[0])[2] == message, timeout)
        return found if found else (None, False)


def check_delivery(c, relay, who, name_bytes):
    data, stored = relay.wait_for('started but not signed in.')
    c.check(data is not None and len(data) == 512, '%s: a 512-byte start-up record is on the wire' % who)
    if data:
        c.check(data[:len(name_bytes) + 1] == name_bytes + b'\0', '%s: the name is Windows-1252 %r' % (who, name_bytes))
        c.check(data[224:] == b'\0' * 288, '%s: bytes 224 to 511 are zero' % who)
    c.check(stored, '%s: the other build\'s board read and stored those exact bytes' % who)


def main():
    native, win32, artifacts = sys.argv[1], sys.argv[2], sys.argv[3]
    desk = Desktop()
    c = Checks('interoperability')
    home = desk.settings_home('pegora-interop-')
    with desk:
        # Linux client -> Windows board.
        wine_board = free_port()
        desk.reg_delete('SOFTWARE\\ZORVEN\\PEGORA\\SERVER')
        desk.reg_add('SOFTWARE\\ZORVEN\\PEGORA\\SERVER', 'Port', 'REG_DWORD', wine_board)
        board = desk.run(os.path.join(win32, 'server/win32/pegmast.exe'))
        window = desk.wait_window('quenlow')
        c.check(window is not None and wait_listening(wine_board), 'the Windows board starts under Wine')
        if window:  # clear of the client's windows: nothing else places them here
            subprocess.run(['xdotool', 'windowmove', window, '0', '240'], env=desk.env)
        relay = Relay(wine_board)
        write_client_key(home, relay.port, b'Jos\xe9')
        client = desk.start(os.path.join(native, 'client/qt/pegling'))
        check_delivery(c, relay, 'Linux client to Windows board', b'Jos\xe9')
        time.sleep(4)
        desk.screenshot(os.path.join(artifacts, 'interop-windows-board.png'))
        client.kill()
        desk.wine('taskkill', '/F', '/IM', 'pegmast.exe')
        wait_exit(board, 10)

        # Windows client -> Linux board.
        linux_board = free_port()
        desk.settings('linux', 'SERVER', Port=linux_board)
        board = desk.start(os.path.join(native, 'server/qt/pegmast'))
        window = desk.wait_window('quenlow')
        c.check(window is not None and wait_listening(linux_board), 'the Linux board starts')
        if window:
            subprocess.run(['xdotool', 'windowmove', window, '0', '240'], env=desk.env)
        relay = Relay(linux_board)
        desk.reg_delete('SOFTWARE\\ZORVEN\\PEGORA\\CLIENT')
        desk.settings('wine', 'CLIENT', Port=relay.port, Name='Jos\u00e9', ServerAddress='127.0.0.1')
        client = desk.run(os.path.join(win32, 'client/win32/pegling.exe'))
        check_delivery(c, relay, 'Windows client to Linux board', b'Jos\xe9')
        time.sleep(4)
        desk.screenshot(os.path.join(artifacts, 'interop-linux-board.png'))
    return c.finish()


if __name__ == '__main__':
    sys.exit(main())
