"""Idle cost of the four programs: CPU time used over a quiet period, as a
share of one core. Each program runs on a private X server with its own
settings, aimed only at loopback."""
import os
import subprocess
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(__file__), '..', 'tests', 'e2e'))
from desktop import Desktop, free_port  # noqa: E402

TICKS = os.sysconf('SC_CLK_TCK')


def cpu_seconds(pid):
    with open('/proc/%d/stat' % pid) as f:
        fields = f.read().rsplit(')', 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / TICKS


def find_pid(pattern, timeout=30):
    deadline = time.time() + timeout
    while time.time() < deadline:
        out = subprocess.run(['pgrep', '-f', pattern], capture_output=True, text=True).stdout.split()
        if out:
            return int(out[0])
        time.sleep(0.5)
    return None


def main():
    native, win32, seconds = sys.argv[1], sys.argv[2], int(sys.argv[3]) if len(sys.argv) > 3 else 30
    desk = Desktop()
    board_port, wine_port = free_port(), free_port()
    desk.settings_home('pegora-bench-')
    env = desk.env
    for kind, port, name in (('linux', board_port, 'bench'), ('wine', wine_port, 'winbench')):
        desk.settings(kind, 'SERVER', Port=port)
        desk.settings(kind, 'CLIENT', Port=port, Name=name, ServerAddress='127.0.0.1')

    started = [
        ('pegmast (Linux)', subprocess.Popen([os.path.join(native, 'server/qt/pegmast')], env=env,
                                             stderr=subprocess.DEVNULL), None),
        ('pegling (Linux)', subprocess.Popen([os.path.join(native, 'client/qt/pegling')], env=env,
                                             stderr=subprocess.DEVNULL), None),
        ('pegmast.exe (Wine)', desk.run(os.path.join(win32, 'server/win32/pegmast.exe')), 'pegmast.exe'),
    ]
    time.sleep(3)
    started.append(('pegling.exe (Wine)', desk.run(os.path.join(win32, 'client/win32/pegling.exe')), 'pegling.exe'))
    time.sleep(5)
    pids = []
    for name, process, pattern in started:
        pids.append((name, find_pid(pattern) if pattern else process.pid))
    before = {name: cpu_seconds(pid) for name, pid in pids if pid}
    time.sleep(seconds)
    print('| program | CPU over %d s idle | share of one core |' % seconds)
    print('|---|---|---|')
    for name, pid in pids:
        if not pid or name not in before:
            print('| %s | did not start | - |' % name)
            continue
        used = cpu_seconds(pid) - before[name]
        print('| %s | %.2f s | %.2f %% |' % (name, used, 100.0 * used / seconds))
    for _, process, _ in started:
        process.kill()
    desk.wine('taskkill', '/F', '/IM', 'pegmast.exe')
    desk.wine('taskkill', '/F', '/IM', 'pegling.exe')
    desk.close()


if __name__ == '__main__':
    main()
