"""The board's page in a real browser (headless Chromium through Selenium):
rows sent before are shown, a record sent later appears within 5 seconds
without a reload, hostile names and messages stay text, the page fits a
phone's width, and wall mode. Screenshots are kept.

usage: browser_e2e.py linux PEGMAST ARTIFACTS | wine PEGMAST.EXE ARTIFACTS
Run with /usr/bin/python3 (Debian's Selenium)."""
import http.server
import os
import re
import signal
import sys
import threading
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, '..', 'e2e'))
from desktop import Checks, Desktop, board_json, free_port, record, send, wait_listening  # noqa: E402
from linux_e2e import write_client_key  # noqa: E402
from browser_directory import check_directory  # noqa: E402
from browser_roll import check_roll  # noqa: E402
from browser_plans import check_plans  # noqa: E402
from browser_signin import check_signin  # noqa: E402
from pages import CODE, HOSTILE_MESSAGE, HOSTILE_NAME, Browsers, browser, names_shown, texts, update, wait  # noqa: E402

from selenium.webdriver.common.by import By  # noqa: E402
from selenium.webdriver.common.keys import Keys  # noqa: E402



def start_board(kind, program, desk, port, web_port):
    """The board with its web view, updates from a browser on and a code."""
    if kind == 'linux':
        desk.settings_home('pegora-browser-')
    desk.settings(kind, 'SERVER', Port=port, WebPort=web_port, SilentMinutes=1, WebUpdates=1, WebUpdateCode=CODE)
    return desk.start(program) if kind == 'linux' else desk.run(program)


def start_client(kind, program, desk, port, name):
    """A desk's client aimed at the board: the Linux one beside the Linux board, pegling.exe beside pegmast.exe."""
    folder = os.path.dirname(program)
    if kind == 'linux':
        write_client_key(desk.env['XDG_CONFIG_HOME'], port, name.encode('cp1252'))
        binary = os.path.join(folder, '../../client/qt/pegling')
        return lambda: desk.start(binary)
    desk.reg_delete('SOFTWARE\\ZORVEN\\PEGORA\\CLIENT')
    desk.settings('wine', 'CLIENT', Port=port, Name=name, ServerAddress='127.0.0.1')
    binary = os.path.join(folder, '../../client/win32/pegling.exe')
    return lambda: desk.run(binary)


def board_row(web_port, name):
    return next((row for row in board_json(web_port).get('rows', []) if row['name'] == name), None)


class OtherSite:
    """A page from another port on loopback that tries to change the board."""

    def __init__(self, web_port):
        page = (b'<!DOCTYPE html><title>elsewhere</title><script>\n'
                b'const to = "http://127.0.0.1:%d/status";\n'
                b'const body = JSON.stringify({name: "Desk Person", status: 1, message: "forged", code: "%s"});\n'
                b'window.results = [];\n'
                b'fetch(to, {method: "POST", headers: {"Content-Type": "application/json", "X-Pegora-Update": "1"},'
                b' body}).then(r => results.push("with header: " + r.status), e => results.push("with header: " + e));\n'
                b'fetch(to, {method: "POST", mode: "no-cors", headers: {"Content-Type": "text/plain"}, body})'
                b'.then(r => results.push("without: " + r.type), e => results.push("without: " + e));\n'
                b'</script>' % (web_port, CODE.encode()))

        class Handler(http.server.BaseHTTPRequestHandler):
            def do_GET(self):
                self.send_response(200)
                self.send_header('Content-Type', 'text/html')
                self.end_headers()
                self.wfile.write(page)

            def log_message(self, *args):
                pass
        self.server = http.server.HTTPServer(('127.0.0.1', 0), Handler)
        self.port = self.server.server_address[1]
        threading.Thread(target=self.server.serve_forever, daemon=True).start()


def check_updates(c, kind, program, desk, port, web_port, artifacts, drivers):
    """A word set in the form stays through the desk's re-sends and ends at the
    person's own change in their status dialog; a page elsewhere changes nothing."""
    client = start_client(kind, program, desk, port, 'Desk Person')()
    try:
        c.check(wait(lambda: board_row(web_port, 'Desk Person') is not None, 30), 'the desk client signs in')
        url = 'http://127.0.0.1:%d/' % web_port
        driver = browser(1280, 800)
        drivers.append(driver)
        driver.get(url)
        wait(lambda: 'Desk Person' in names_shown(driver), 10)
        buttons = driver.find_elements(By.CSS_SELECTOR, 'button[aria-label="Update the status of Desk Person"]')
        c.check(len(buttons) == 1, 'each row has a way to open the form for that person')
        if not buttons:
            return
        buttons[0].click()
        c.check(wait(lambda: driver.execute_script('return document.getElementById("update").open'), 5) and
                driver.switch_to.active_element.get_attribute('id') == 'update-message',
                'the form opens with that name filled in and the message to type')
        c.check(driver.find_element(By.ID, 'update-name').get_attribute('value') == 'Desk Person' and
                driver.find_element(By.ID, 'update-code').is_displayed(), 'the code is asked for')
        driver.find_element(By.CSS_SELECTOR, 'input[name="update-status"][value="2"]').click()
        message = driver.find_element(By.ID, 'update-message')
        message.clear()
        message.send_keys('at a client')
        driver.execute_script('document.getElementById("update-until").value = "00:00"')  # the picker's own keys vary
        driver.find_element(By.ID, 'update-send').click()
        c.check(wait(lambda: 'tomorrow at 00:00' in driver.find_element(By.ID, 'update-error').text, 5) or
                time.strftime('%H:%M') == '00:00', 'an until already past today is asked about, not taken silently')
        driver.execute_script('document.getElementById("update-until").value = "23:59"')
        driver.find_element(By.ID, 'update-code').send_keys('wrong')
        driver.save_screenshot(os.path.join(artifacts, 'update-%s-1280x800.png' % kind))
        driver.find_element(By.ID, 'update-send').click()
        c.check(wait(lambda: 'The code is wrong.' in driver.find_element(By.ID, 'update-error').text, 5),
                'the board\'s refusal is shown in the form, in words')
        code = driver.find_element(By.ID, 'update-code')
        code.clear()
        code.send_keys(CODE)
        driver.find_element(By.ID, 'update-send').click()
        row = None
        c.check(wait(lambda: (board_row(web_port, 'Desk Person') or {}).get('source') == 'browser', 5),
                'Send sets the row from the browser')
        row = board_row(web_port, 'Desk Person') or {}
        c.check(row.get('message') == 'at a client' and row.get('word') == 'out' and row.get('until') == '23:59',
                'with its status, message and until (%r)' % row)
        kept = driver.execute_script('return [localStorage.getItem("pegora-update-code"), '
                                     'sessionStorage.getItem("pegora-update-code")]')
        c.check(kept == [None, CODE], 'the code is kept for this browser session only, unless ticked (%r)' % kept)
        c.check(wait(lambda: any('set from a browser, until 23:59' in t for t in texts(driver, '#rows td.message')), 5),
                'the row says it was set from a browser, until when')
        driver.find_element(By.ID, 'update-open').send_keys(Keys.ENTER)
        wait(lambda: driver.execute_script('return document.getElementById("update").open'), 5)
        c.check([driver.find_element(By.ID, i).get_attribute('value') for i in ('update-name', 'update-message')] ==
                ['', ''], '"Update a status" starts empty, not with the last person\'s name and message')
        driver.switch_to.active_element.send_keys(Keys.ESCAPE)
        c.check(wait(lambda: not driver.execute_script('return document.getElementById("update").open'), 3),
                'the keyboard opens the form and Esc closes it')

        # The desk re-sends (a hand-over's status dialog closed unchanged): the browser's word stays.
        second = start_client(kind, program, desk, port, 'Desk Person')()
        status = desk.wait_window('PEGORA Update', timeout=20)
        if status:
            desk.keys(status, 'Return')
        time.sleep(2)
        row = board_row(web_port, 'Desk Person') or {}
        c.check(status is not None and row.get('message') == 'at a client', 'the desk\'s re-send leaves it (%r)' % row)
        # The person changes their status at the desk: that is the newer word.
        second = start_client(kind, program, desk, port, 'Desk Person')()
        status = desk.wait_window('PEGORA Update', timeout=20)
        if status:
            desk.keys(status, 'Tab', 'Tab', 'Up', 'Up', 'Tab', 'ctrl+a')  # OK, Cancel, radio group: In; message
            desk.type(status, 'back at my desk')
            desk.keys(status, 'Return')
        c.check(wait(lambda: (board_row(web_port, 'Desk Person') or {}).get('message') == 'back at my desk', 10),
                'a change in the client\'s status dialog is shown instead')
        c.check((board_row(web_port, 'Desk Person') or {}).get('source') == 'desk', 'as the desk\'s own word')

        other = OtherSite(web_port)
        driver.get('http://127.0.0.1:%d/' % other.port)
        wait(lambda: len(driver.execute_script('return window.results || []')) == 2, 10)
        tried = driver.execute_script('return window.results')
        time.sleep(1)
        c.check((board_row(web_port, 'Desk Person') or {}).get('message') == 'back at my desk',
                'a page from another port changes nothing, with or without the header (%r)' % tried)

        phone = browser(375, 812)
        drivers.append(phone)
        phone.set_window_size(375, 812)
        phone.get(url)
        wait(lambda: 'Desk Person' in names_shown(phone), 10)
        phone.find_element(By.ID, 'update-open').click()
        wait(lambda: phone.execute_script('return document.getElementById("update").open'), 5)
        overflow = phone.execute_script('return document.documentElement.scrollWidth - window.innerWidth')
        width = phone.execute_script('return document.getElementById("update").getBoundingClientRect().width')
        c.check(overflow <= 0 and width <= 375, 'the form fits a phone (%d px over, %d wide)' % (overflow, width))
        phone.save_screenshot(os.path.join(artifacts, 'update-%s-375x812.png' % kind))
    finally:
        client.kill()
        if kind == 'wine':
            desk.wine('taskkill', '/F', '/IM', 'pegling.exe')
    # With its desk gone, the row can be taken off the board, with the code.
    time.sleep(1)
    removed = update(web_port, '/remove', {'name': 'Desk Person', 'code': CODE})
    c.check(removed == 200 and board_row(web_port, 'Desk Person') is None, 'Remove takes the row off the board')


def main():
    kind, program, artifacts = sys.argv[1], sys.argv[2], sys.argv[3]
    os.makedirs(artifacts, exist_ok=True)
    desk = Desktop()
    port, web_port = free_port(), free_port()
    c = Checks('the board in a browser (%s)' % kind)
    board = start_board(kind, program, desk, port, web_port)
    with desk, Browsers() as drivers:
        c.check(wait_listening(port) and wait_listening(web_port), 'the board listens, and its web view too')
        for name, status, message in (('Anna', 1, 'at my desk'), ('Bert', 2, 'lunch until 2'),
                                      ('Ren\xe9', 3, 'caf\xe9 \u20ac5'), (HOSTILE_NAME, 1, HOSTILE_MESSAGE)):
            send(port, record(name, status, message))
        time.sleep(1.5)  # the board stores what one connection sent after its reader's pass

        url = 'http://127.0.0.1:%d/' % web_port
        driver = browser(1280, 800)
        drivers.append(driver)
        driver.get(url)
        c.check(driver.title == 'Pegora board', 'the page is titled "Pegora board"')
        c.check(wait(lambda: len(names_shown(driver)) == 4, 10), 'the rows sent before are shown (%r)' %
                names_shown(driver))
        c.check('Ren\xe9' in names_shown(driver), 'Windows-1252 names arrive as they were typed')
        c.check(HOSTILE_NAME in names_shown(driver), 'a name with markup is shown as its characters')
        c.check(not driver.find_elements(By.CSS_SELECTOR, '#rows b, #rows img'), 'and none of it became markup')
        c.check(HOSTILE_MESSAGE in texts(driver, '#rows td.message'), 'the hostile message is shown as text')
        c.check(driver.title == 'Pegora board', 'and nothing of it ran (the title is unchanged)')
        labels = texts(driver, '#rows .label')
        c.check(labels == ['in', 'out', 'other', 'in'], 'each status is told by its word (%r)' % labels)
        sinces = texts(driver, '#rows .since')
        c.check(len(sinces) == 4 and all(re.fullmatch(r'since \d\d:\d\d', t) for t in sinces),
                'and since when it has stood, today\'s by the clock (%r)' % sinces)
        older = driver.execute_script('return [sinceText(3 * 86400), sinceText(40 * 86400)]')
        c.check(re.fullmatch(r'since (Mon|Tue|Wed|Thu|Fri|Sat|Sun) \d\d:\d\d', older[0]) is not None and
                re.fullmatch(r'since \d{1,2} [A-Z][a-z]{2}', older[1]) is not None,
                'within the week by its day, before that by its date (%r)' % older)

        started = time.time()
        send(port, record('Cleo', 1, 'just came in'))
        c.check(wait(lambda: 'Cleo' in names_shown(driver), 5), 'a record sent later appears without a reload '
                '(%.1f s)' % (time.time() - started))
        driver.save_screenshot(os.path.join(artifacts, 'web-%s-1280x800.png' % kind))

        driver.find_element(By.ID, 'filter').send_keys('caf')
        c.check(wait(lambda: names_shown(driver) == ['Ren\xe9'], 3), 'the filter narrows the rows by message')

        phone = browser(375, 812)
        drivers.append(phone)
        phone.set_window_size(375, 812)
        phone.get(url)
        wait(lambda: len(names_shown(phone)) == 5, 10)
        overflow = phone.execute_script('return document.documentElement.scrollWidth - window.innerWidth')
        c.check(overflow <= 0, 'at a phone\'s width nothing scrolls sideways (%d px over)' % overflow)
        phone.save_screenshot(os.path.join(artifacts, 'web-%s-375x812.png' % kind))

        wall = browser(1920, 1080)
        drivers.append(wall)
        wall.get(url + '?wall')
        wait(lambda: len(texts(wall, '#wall .tile-name')) == 5, 10)
        c.check(not wall.find_element(By.ID, 'filter-box').is_displayed(), 'wall mode has no filter box')
        c.check(wall.find_element(By.ID, 'clock').text != '', 'wall mode shows a clock')
        c.check(len(texts(wall, '#wall .since')) == 5 and HOSTILE_NAME in texts(wall, '#wall .tile-name') and
                not wall.find_elements(By.CSS_SELECTOR, '#wall b, #wall img'),
                'and since when, each name as its characters, in its large type')
        wall.save_screenshot(os.path.join(artifacts, 'web-%s-wall-1920x1080.png' % kind))
        check_updates(c, kind, program, desk, port, web_port, artifacts, drivers)
        roll = check_roll(c, desk, port, web_port, artifacts, drivers) if kind == 'linux' else None
        if kind == 'linux':
            check_directory(c, program, artifacts, drivers)
            check_signin(c, program, artifacts, drivers)
            check_plans(c, program, artifacts, drivers)

        # The board goes away: the page says so and keeps the last rows.
        board.terminate()
        if kind == 'wine':
            desk.wine('taskkill', '/F', '/IM', os.path.basename(program))
        board.wait(20)
        c.check(wait(lambda: 'cannot be reached' in driver.find_element(By.ID, 'state').text, 8),
                'without the board the page says it cannot be reached')
        c.check(len(names_shown(driver)) == 1, 'and keeps the rows it showed')
        if roll:
            roll[0].find_element(By.ID, 'roll-refresh').click()
            c.check(wait(lambda: 'cannot be reached' in roll[0].find_element(By.ID, 'roll-state').text, 8) and
                    len(texts(roll[0], '.tick .name')) == 8, 'the roll call keeps its list and says the board is gone')
            roll[1].send_signal(signal.SIGCONT)
            roll[1].kill()
        if kind == 'wine':
            desk.reg_delete('SOFTWARE\\ZORVEN\\PEGORA\\SERVER')  # the next board starts without a web view
    return c.finish()


if __name__ == '__main__':
    sys.exit(main())
