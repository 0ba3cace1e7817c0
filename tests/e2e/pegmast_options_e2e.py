"""pegmast.exe's "Board options" under Wine: File > Options... turns the web
view on at once and writes WebPort, a port above 65535 is refused in the
dialog, Cancel changes nothing, turning it off stops it, SilentMinutes is
written, and a web port held by another program is said once while the
board runs on."""
import os
import socket
import sys
import time
import urllib.request

from desktop import Checks, Desktop, free_port, record, send, wait_exit, wait_listening, wait_until

KEY = 'SOFTWARE\\ZORVEN\\PEGORA\\SERVER'


def listening(port):
    out = os.popen('ss -ltnH "sport = :%d"' % port).read()
    return bool(out.strip())


def settled(desk, name, expected, timeout=10):
    """The registry value once it reads as expected, or the last reading. Under
    Wine a value can take a few seconds to show to another process."""
    read = []
    wait_until(lambda: read.append(desk.reg_query(KEY, name)) or read[-1] == expected, timeout, 0.5)
    return read[-1]


def main():
    exe, artifacts = sys.argv[1], sys.argv[2]
    desk = Desktop()
    c = Checks('pegmast board options')

    def options(window):
        desk.keys(window, 'alt+f', 'o')
        return desk.wait_window('Board options', timeout=10)

    with desk:
        port, web_port = free_port(), free_port()
        desk.reg_delete(KEY)
        desk.reg_add(KEY, 'Port', 'REG_DWORD', port)
        board = desk.run(exe)
        window = desk.wait_window('quenlow')
        c.check(window is not None and wait_listening(port), 'the board runs')
        c.check(desk.reg_query(KEY, 'WebPort') is None, 'no WebPort, so no web view, by default')

        dialog = options(window)
        c.check(dialog is not None, 'File > Options... opens "Board options"')
        if dialog:
            desk.keys(dialog, 'space', 'Tab', 'ctrl+a')  # share; its port
            desk.type(dialog, str(web_port))
            time.sleep(0.5)
            desk.screenshot(os.path.join(artifacts, 'pegmast-options.png'))
            desk.keys(dialog, 'Return')
            time.sleep(1)
        written = settled(desk, 'WebPort', ('REG_DWORD', hex(web_port)))
        c.check(written == ('REG_DWORD', hex(web_port)), 'OK writes WebPort as REG_DWORD (%r)' % (written,))
        c.check(settled(desk, 'SilentMinutes', ('REG_DWORD', '0x0')) == ('REG_DWORD', '0x0'), 'and SilentMinutes 0')
        c.check(wait_listening(web_port, timeout=10), 'the web view listens at once')
        send(port, record('Anna', 1, 'in'))
        time.sleep(1.5)
        body = urllib.request.urlopen('http://127.0.0.1:%d/board.json' % web_port, timeout=5).read().decode()
        c.check('"name":"Anna"' in body, 'and serves the board (%s)' % body[:80])

        dialog = options(window)
        if dialog:
            desk.keys(dialog, 'Tab', 'ctrl+a')
            desk.type(dialog, '70000')
            desk.keys(dialog, 'Return')
            refusal = desk.wait_window('Board options', timeout=5)
            boxes = desk.windows('Board options')
            c.check(len(boxes) >= 2, 'a port above 65535 is refused in a box over the dialog')
            desk.screenshot(os.path.join(artifacts, 'pegmast-options-refused.png'))
            if boxes:
                desk.keys(boxes[-1], 'Return')
            time.sleep(0.5)
            c.check(bool(desk.windows('Board options')), 'the dialog stays for a correction')
            desk.keys(dialog, 'Escape')
            time.sleep(0.5)
        time.sleep(2)
        c.check(desk.reg_query(KEY, 'WebPort') == ('REG_DWORD', hex(web_port)), 'Cancel changes nothing')

        dialog = options(window)
        if dialog:
            # Share off (its port then drops out of the tab order); the address; grey on; its minutes.
            desk.keys(dialog, 'space', 'Tab', 'Tab', 'space', 'Tab', 'ctrl+a')
            desk.type(dialog, '5')
            desk.screenshot(os.path.join(artifacts, 'pegmast-options-grey.png'))
            desk.keys(dialog, 'Return')
        time.sleep(1)
        c.check(settled(desk, 'WebPort', ('REG_DWORD', '0x0')) == ('REG_DWORD', '0x0'),
                'turning sharing off writes WebPort 0')
        minutes = settled(desk, 'SilentMinutes', ('REG_DWORD', '0x5'))
        c.check(minutes == ('REG_DWORD', '0x5'), 'and SilentMinutes 5 (%r)' % (minutes,))
        c.check(not listening(web_port), 'and the web view stops at once')
        desk.wine('taskkill', '/IM', 'pegmast.exe')
        c.check(wait_exit(board) == 0, 'the board ends with 0')

        # A web port held by another program.
        holder = socket.socket()
        holder.bind(('0.0.0.0', 0))
        holder.listen(1)
        desk.reg_add(KEY, 'WebPort', 'REG_DWORD', holder.getsockname()[1])
        board = desk.run(exe)
        box = desk.wait_window('pegmast', timeout=20)
        c.check(box is not None, 'a web port in use is said in a box captioned "pegmast"')
        desk.screenshot(os.path.join(artifacts, 'pegmast-web-port-in-use.png'))
        if box:
            desk.keys(box, 'Return')
        c.check(wait_listening(port) and board.poll() is None, 'and the board runs on')
        send(port, record('Bert', 2, 'still stored'))
        desk.wine('taskkill', '/IM', 'pegmast.exe')
        c.check(wait_exit(board) == 0, 'the board ends with 0')
        holder.close()
        desk.reg_delete(KEY)
    return c.finish()


if __name__ == '__main__':
    sys.exit(main())
