"""A running board, as its own process, under hostile input: afterwards it
still runs, the rows from before look exactly as they did, and a good record
is still stored. Usage: hostile_e2e.py linux|wine PROGRAM ARTIFACTS"""
import os
import random
import socket
import struct
import subprocess
import sys
import tempfile
import time

from desktop import Checks, Desktop, free_port, record, wait_listening


def stored(port, data, timeout=60, more_than_a_record=False):
    """True once the board has read the record and closed the connection,
    which it does only after storing it. A board that closes while bytes past
    the record are still coming resets the connection instead."""
    try:
        with socket.create_connection(('127.0.0.1', port), timeout=timeout) as s:
            s.sendall(data)
            s.settimeout(timeout)
            return s.recv(1) == b''
    except (ConnectionResetError, BrokenPipeError):
        return more_than_a_record
    except OSError:
        return False


def shot(desk, window):
    return subprocess.run(['import', '-window', window, 'png:-'], env=desk.env, capture_output=True).stdout


def rows_box(image):
    """The box of the left columns holding the board's first rows (and the menu)."""
    box = subprocess.run(['convert', 'png:-', '-crop', '300x400+0+0', '+repage', '-fuzz', '5%', '-trim',
                          '-format', '%@', 'info:'], input=image, capture_output=True).stdout
    return box.decode().strip()


def crop(image, box):
    return subprocess.run(['convert', 'png:-', '-crop', box, '+repage', 'png:-'], input=image,
                          capture_output=True).stdout


def same(a, b):
    with tempfile.NamedTemporaryFile(suffix='.png') as fa, tempfile.NamedTemporaryFile(suffix='.png') as fb:
        fa.write(a)
        fb.write(b)
        fa.flush()
        fb.flush()
        out = subprocess.run(['compare', '-metric', 'AE', fa.name, fb.name, 'null:'], capture_output=True, text=True)
    return out.stderr.strip() == '0'


def main():
    kind, program, artifacts = sys.argv[1], sys.argv[2], sys.argv[3]
    desk = Desktop()
    port = free_port()
    c = Checks('hostile input against the %s board' % kind)
    if kind == 'linux':
        desk.settings_home('pegora-hostile-')
        desk.settings('linux', 'SERVER', Port=port)
        board = desk.start(program)
    else:
        # A port stored with the wrong type still counts: up to four bytes, little-endian.
        desk.reg_delete('SOFTWARE\\ZORVEN\\PEGORA\\SERVER')
        desk.reg_add('SOFTWARE\\ZORVEN\\PEGORA\\SERVER', 'Port', 'REG_BINARY', port.to_bytes(2, 'little').hex())
        board = desk.run(program)
    idle = []
    with desk:
        window = desk.wait_window('quenlow')
        c.check(window is not None and wait_listening(port), 'the board starts and listens')
        c.check(stored(port, record('Anna', 1, 'before the attack')) and
                stored(port, record('Bob', 2, 'also before')), 'two good records are stored first')
        time.sleep(4)
        before = shot(desk, window)
        box = rows_box(before)

        noise = random.Random(7)
        c.check(stored(port, bytes(noise.getrandbits(8) for _ in range(65536)), more_than_a_record=True),
                '64 KiB of random bytes: read and closed')
        c.check(stored(port, b'x' * 512), '512 bytes without a NUL: stored')
        for status in (0, 9, -1, 0x7fffffff):
            c.check(stored(port, record('status%d' % status, 0, 'odd')[:20] + struct.pack('<i', status) +
                           b'\0' * 488), 'status %d: stored' % status)
        socket.create_connection(('127.0.0.1', port)).close()
        rude = socket.create_connection(('127.0.0.1', port))
        rude.sendall(record('cut', 1, 'reset')[:100])
        time.sleep(0.3)
        rude.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack('ii', 1, 0))
        rude.close()
        drip = socket.create_connection(('127.0.0.1', port))
        try:
            for b in b'dripping' + b'\0' * 22:
                drip.send(bytes([b]))
                time.sleep(0.1)
        except OSError:
            pass  # the board stored what came within two seconds and closed
        drip.close()
        crowd = []
        for i in range(50):
            s = socket.socket()
            s.setblocking(False)
            s.connect_ex(('127.0.0.1', port))
            crowd.append((s, record('crowd%d' % i, 1, 'here')))
        deadline = time.time() + 60
        pending = list(crowd)
        while pending and time.time() < deadline:
            for item in list(pending):
                s, data = item
                try:
                    s.send(data)
                    pending.remove(item)
                except (BlockingIOError, OSError):
                    pass
            time.sleep(0.05)
        c.check(not pending, '50 clients at once, more than the backlog, all get their record out')
        # Each is stored once the board closes its connection.
        waiting = [s for s, _ in crowd]
        while waiting and time.time() < deadline + 60:
            for s in list(waiting):
                try:
                    if s.recv(1) == b'':
                        waiting.remove(s)
                except BlockingIOError:
                    pass
                except OSError:
                    waiting.remove(s)
            time.sleep(0.1)
        c.check(not waiting, 'the board stored all 50 (%d still open)' % len(waiting))
        for s, _ in crowd:
            s.close()
        for _ in range(100):
            s = socket.socket()
            s.setblocking(False)
            s.connect_ex(('127.0.0.1', port))
            idle.append(s)
        time.sleep(2)
        c.check(board.poll() is None, 'the board still runs')
        c.check(stored(port, record('Zed', 1, 'after the attack'), timeout=120),
                'a good record is stored behind 100 idle connections')
        for s in idle:
            s.close()
        idle = []
        time.sleep(4)
        after = shot(desk, window)
        desk.screenshot(os.path.join(artifacts, 'hostile-%s.png' % kind))
        ok = bool(box) and same(crop(before, box), crop(after, box))
        c.check(ok, 'the rows from before look exactly as they did')
    return c.finish()


if __name__ == '__main__':
    sys.exit(main())
