"""The roll call in Chromium: taking it, ticking names, the CSV, a reload, hostile
desk names: part of browser_e2e."""
import csv
import io
import os
import signal
import subprocess
import sys
import threading
import time
import urllib.request

from selenium.webdriver.common.by import By

from desktop import record, send
from linux_e2e import write_client_key
from pages import CODE, HOSTILE_MESSAGE, HOSTILE_NAME, browser, texts, update, wait


ROLL_DESKS = (('Anna', 1, 'at my desk'), ('Bert', 2, 'lunch until 2'), ('Ren\xe9', 3, 'caf\xe9 \u20ac5'),
              (HOSTILE_NAME, 1, HOSTILE_MESSAGE), ('Cleo', 1, 'just came in'), ('=HYPERLINK("x")', 3, '@home'))


def check_roll(c, desk, port, web_port, artifacts, drivers):
    """The roll call on a board with in, out, other and silent rows: a client
    stopped with SIGSTOP goes silent after the board's one minute, while the
    other desks keep re-sending."""
    write_client_key(desk.env['XDG_CONFIG_HOME'], port, b'Stopped desk')
    client = subprocess.Popen([os.path.join(os.path.dirname(sys.argv[2]), '../../client/qt/pegling')], env=desk.env,
                              stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    stop = threading.Event()

    def desks():
        while not stop.wait(0 if not desks.sent else 15):
            desks.sent = True
            for name, status, message in ROLL_DESKS:
                send(port, record(name, status, message))
    desks.sent = False
    send(port, record('Went home', 3, 'Client shutdown'))  # goodbye, then never a word again
    resender = threading.Thread(target=desks, daemon=True)
    resender.start()
    try:
        url = 'http://127.0.0.1:%d/' % web_port
        time.sleep(3)
        client.send_signal(signal.SIGSTOP)  # heard from once, then never again
        time.sleep(66)
        driver = browser(1280, 800)
        drivers.append(driver)
        driver.get(url + '?roll')
        c.check(wait(lambda: len(texts(driver, '.tick .name')) == 8, 10), 'the roll call lists every row')
        groups = [texts(driver, '.group-%d .name' % i) for i in range(4)]
        c.check(groups == [['<b>x</b>', 'Anna', 'Cleo'], ['Stopped desk'], ['=HYPERLINK("x")', 'Ren\xe9', 'Went home'],
                           ['Bert']],
                'in, no word for a while, other (a goodbye too) and out, each by name (%r)' % groups)
        counts = texts(driver, 'summary .count')
        c.check(counts == ['3', '1', '3', '1'], 'each group with its count (%r)' % counts)
        c.check(any(t.startswith('in since ') for t in texts(driver, '.group-0 .since')),
                'the roll call says since when beside each status')
        c.check('Client shutdown, at ' in driver.find_element(By.CSS_SELECTOR, '.group-2').text,
                'a goodbye says when it was said')
        c.check('Ren\xe9' in driver.find_element(By.CSS_SELECTOR, '.group-2').text and
                'caf\xe9' in driver.find_element(By.CSS_SELECTOR, '.group-2').text, 'other rows say where they are')
        c.check(driver.execute_script('return !document.querySelector(".group-3 details").open && '
                                      '!document.querySelector(".group-3 .tick").checkVisibility()'),
                'out is folded away')
        c.check('On the board: 3 in, 1 out, 4 other' in driver.find_element(By.ID, 'roll-board').text,
                'the board\'s counts')
        boxes = driver.find_elements(By.CSS_SELECTOR, '.group-0 .tick')
        boxes[1].click()
        boxes[2].click()
        progress = driver.find_element(By.ID, 'roll-progress').text
        c.check(progress == '2 accounted for, 6 not yet accounted for', 'ticking counts at once (%r)' % progress)
        driver.refresh()
        wait(lambda: len(texts(driver, '.tick .name')) == 8, 10)
        ticked = driver.execute_script(
            'return Array.from(document.querySelectorAll(".tick input:checked")).map(b => b.nextSibling.nextSibling'
            '.querySelector(".name").textContent)')
        c.check(ticked == ['Anna', 'Cleo'], 'the ticks survive a reload (%r)' % ticked)
        size = driver.execute_script('return Math.min(...Array.from(document.querySelectorAll(".tick, button"))'
                                     '.filter(e => e.offsetParent).map(e => e.getBoundingClientRect().height))')
        c.check(size >= 44, 'every target is at least 44 px high (%r)' % size)
        driver.save_screenshot(os.path.join(artifacts, 'roll-linux-1280x800.png'))
        driver.execute_cdp_cmd('Emulation.setEmulatedMedia', {'media': 'print'})
        c.check(not driver.find_element(By.ID, 'roll-print').is_displayed(), 'printed, the roll has no buttons')
        c.check(driver.execute_script('return document.querySelector(".group-3 .tick").checkVisibility()'),
                'and the folded group is on paper too')
        driver.save_screenshot(os.path.join(artifacts, 'roll-linux-print.png'))
        driver.execute_cdp_cmd('Emulation.setEmulatedMedia', {'media': ''})

        phone = browser(375, 812)
        drivers.append(phone)
        phone.set_window_size(375, 812)
        phone.get(url + '?roll')
        wait(lambda: len(texts(phone, '.tick .name')) == 8, 10)
        overflow = phone.execute_script('return document.documentElement.scrollWidth - window.innerWidth')
        c.check(overflow <= 0, 'the roll fits a phone\'s width (%d px over)' % overflow)
        phone.save_screenshot(os.path.join(artifacts, 'roll-linux-375x812.png'))

        with urllib.request.urlopen(url + 'roll.csv', timeout=5) as response:
            raw = response.read()
        table = list(csv.reader(io.StringIO(raw.decode('utf-8-sig'))))
        c.check(raw.startswith(b'\xef\xbb\xbf') and table[0] == ['Group', 'Name', 'Status', 'Message', 'Last heard'],
                '/roll.csv is UTF-8 with a byte-order mark and a header')
        named = {row[1]: row for row in table[1:]}
        c.check(named.get('\'=HYPERLINK("x")', [''])[0] == 'Other' and named['\'=HYPERLINK("x")'][3] == "'@home",
                'a name or message a spreadsheet would run comes back prefixed with \'')
        c.check(named.get('Ren\xe9', [''])[0] == 'Other' and named.get('Stopped desk', [''])[0] == 'No word for a while',
                'the CSV has the same groups, accents and all')

        # Names an object's own keys would take for ticks, and Anna, whose desk keeps
        # saying "in", set "out" from a browser: still under In, with the browser's word.
        for name in ('constructor', '__proto__'):
            send(port, record(name, 1, ''))
        said = update(web_port, '/status', {'name': 'Anna', 'status': 2, 'message': 'at the dentist', 'code': CODE})
        fresh = browser(1280, 800)
        drivers.append(fresh)
        fresh.get(url + '?roll')
        wait(lambda: '__proto__' in texts(fresh, '.group-0 .name'), 10)
        c.check(fresh.execute_script('return document.querySelectorAll(".tick input:checked").length') == 0,
                'nobody is accounted for before a tick, "constructor" and "__proto__" neither')
        for name in ('constructor', '__proto__'):
            box = [t for t in fresh.find_elements(By.CSS_SELECTOR, '.group-0 .tick') if name in t.text]
            if box:
                box[0].click()
                box[0].click()
        c.check(fresh.find_element(By.ID, 'roll-progress').text.startswith('0 accounted for'),
                'and each can be ticked and unticked')
        anna = [t.text for t in fresh.find_elements(By.CSS_SELECTOR, '.group-0 .tick') if 'Anna' in t.text]
        c.check(said == 200 and anna and 'set from a browser: out, at the dentist' in anna[0],
                'a desk saying "in" under a browser\'s "out" is listed under In with that word (%r)' % anna)
        for name in ('constructor', '__proto__'):
            update(web_port, '/remove', {'name': name, 'code': CODE})
        return driver, client
    finally:
        stop.set()
