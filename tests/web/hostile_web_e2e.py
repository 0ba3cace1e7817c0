"""The Linux board with its web view on, as its own process, under hostile
web traffic: 200 connections that dribble a header byte a second, oversized
headers, garbage and 1000 requests in a row. Meanwhile the board keeps
storing records, /board.json answers a new client within 2 seconds, and the
board's descriptors and memory do not grow.
usage: hostile_web_e2e.py PEGMAST ARTIFACTS"""
import json
import os
import socket
import sys
import threading
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, '..', 'e2e'))
from desktop import Checks, Desktop, free_port, record, send, wait_exit, wait_listening  # noqa: E402


def board_json(web_port, timeout=2.0):
    """The board's rows from a new connection, or None when no answer came in time."""
    started = time.time()
    try:
        with socket.create_connection(('127.0.0.1', web_port), timeout=timeout) as s:
            s.sendall(b'GET /board.json HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n')
            data = b''
            while time.time() - started < timeout:
                chunk = s.recv(65536)
                if not chunk:
                    break
                data += chunk
        head, _, body = data.partition(b'\r\n\r\n')
        if not head.startswith(b'HTTP/1.1 200'):
            return None
        return json.loads(body)['rows']
    except (OSError, ValueError):
        return None


def descriptors(pid):
    return len(os.listdir('/proc/%d/fd' % pid))


def resident_kib(pid):
    with open('/proc/%d/status' % pid) as f:
        for line in f:
            if line.startswith('VmRSS:'):
                return int(line.split()[1])
    return 0


def main():
    program, artifacts = sys.argv[1], sys.argv[2]
    desk = Desktop()
    port, web_port = free_port(), free_port()
    desk.settings_home('pegora-hostile-web-')
    desk.settings('linux', 'SERVER', Port=port, WebPort=web_port)
    c = Checks('web view under hostile traffic')
    board = desk.start(program)
    stop = threading.Event()
    with desk:
        c.check(wait_listening(port) and wait_listening(web_port), 'the board and its web view listen')
        send(port, record('before', 1, 'the attack'))
        time.sleep(1.5)
        c.check(board_json(web_port) is not None, 'the view answers before the attack')
        for _ in range(50):  # settle the allocator with ordinary traffic
            board_json(web_port)
        fds, rss = descriptors(board.pid), resident_kib(board.pid)

        # 200 connections dribbling one header byte a second, for 12 seconds.
        def dribble():
            try:
                s = socket.create_connection(('127.0.0.1', web_port), timeout=2)
                for byte in b'GET /board.json HTTP/1.1\r\nHost: x\r\n':
                    if stop.is_set():
                        break
                    s.send(bytes([byte]))
                    time.sleep(1)
                s.close()
            except OSError:
                pass
        dribblers = [threading.Thread(target=dribble, daemon=True) for _ in range(200)]
        for t in dribblers:
            t.start()
        time.sleep(3)

        # Oversized headers and garbage.
        for payload in (b'GET / HTTP/1.1\r\nHost: 127.0.0.1\r\nX: ' + b'a' * 20000 + b'\r\n\r\n',
                        bytes(range(256)) * 40, b'\x16\x03\x01\x02\x00' + b'\x01' * 500, b'\r\n' * 5000):
            try:
                with socket.create_connection(('127.0.0.1', web_port), timeout=3) as s:
                    s.sendall(payload)
                    s.recv(4096)
            except OSError:
                pass

        # While the dribblers hold on: records keep arriving and readers get answers.
        for i in range(3):
            send(port, record('during%d' % i, 2, 'still storing'))
        time.sleep(2)
        started = time.time()
        rows = board_json(web_port, timeout=2.0)
        took = time.time() - started
        c.check(rows is not None and took < 2.0, 'a new client gets /board.json in %.2f s during the attack' % took)
        names = [r['name'] for r in rows or []]
        c.check(all('during%d' % i in names for i in range(3)), 'records sent during the attack are stored')

        # 1000 requests in a row.
        answered = 0
        for _ in range(1000):
            try:
                with socket.create_connection(('127.0.0.1', web_port), timeout=3) as s:
                    s.sendall(b'GET /app.css HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n')
                    if s.recv(12) == b'HTTP/1.1 200':
                        answered += 1
            except OSError:
                pass
        c.check(answered >= 990, '1000 requests in a row: %d answered' % answered)

        stop.set()
        for t in dribblers:
            t.join(5)
        time.sleep(12)  # the web view's idle limit
        c.check(board_json(web_port) is not None, 'the view answers after the attack')
        send(port, record('after', 1, 'the attack'))
        time.sleep(1.5)
        c.check('after' in [r['name'] for r in board_json(web_port) or []], 'and the board still stores records')
        fds_after, rss_after = descriptors(board.pid), resident_kib(board.pid)
        c.check(fds_after <= fds + 2, 'descriptors do not grow (%d before, %d after)' % (fds, fds_after))
        c.check(rss_after <= rss + 8192, 'memory does not grow (%d KiB before, %d KiB after)' % (rss, rss_after))
        desk.screenshot(os.path.join(artifacts, 'web-hostile-board.png'))
        board.terminate()
        c.check(wait_exit(board, 15) == 0, 'the board ends with 0')
    stop.set()
    return c.finish()


if __name__ == '__main__':
    sys.exit(main())
