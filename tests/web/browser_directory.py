"""The page with a staff directory from a CSV file, in Chromium: part of browser_e2e."""
import os
import signal
import subprocess
import time

from selenium.webdriver.common.by import By
from selenium.webdriver.support.ui import Select

from desktop import free_port, record, running, scratch, send, wait_listening
from pages import CODE, browser, row_action, texts, wait


def check_directory(c, program, artifacts, drivers):
    """The board service with a staff directory from a CSV file: sections by group,
    the unheard, rows the directory does not know, the group menu, the roll call."""
    folder = scratch('pegora-directory-')
    staff = os.path.join(folder, 'staff.csv')
    with open(staff, 'w', encoding='utf-8') as f:
        f.write('name,display name,group,phone\njsmith,Jo Smith,Sales,+44 20 7946 0000\n'
                'anna,Anna Adams,Sales,\nbert,Bert Berg,HR,\ncleo,Cleo Cole,,\n')
    port, web_port = free_port(), free_port()
    conf = os.path.join(folder, 'pegmastd.conf')
    with open(conf, 'w') as f:
        f.write('Port = %d\nWebPort = %d\nAcceptPacingMs = 0\nDirectory = file\nDirectoryFile = %s\n'
                'StateFile = %s\nHistoryDays = 7\nWebUpdates = yes\nWebUpdateCode = %s\n' %
                (port, web_port, staff, os.path.join(folder, 'board.db'), CODE))
    with running([os.path.join(os.path.dirname(program), '../service/pegmastd'), '--config', conf],
                 stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL) as service:
        c.check(wait_listening(web_port), 'the board service with a staff directory listens')
        send(port, record('JSmith', 1, 'at my desk'))
        send(port, record('bert', 2, 'lunch'))
        send(port, record('stray', 3, 'wrong name'))
        url = 'http://127.0.0.1:%d/' % web_port
        for width, height in ((1280, 800), (375, 812)):
            driver = browser(width, height)
            drivers.append(driver)
            driver.get(url)
            wait(lambda: len(texts(driver, '#rows th[scope="row"]')) == 6, 10)
            driver.save_screenshot(os.path.join(artifacts, 'directory-%dx%d.png' % (width, height)))
        headings = texts(driver, '#rows tr.section th')
        c.check(headings == ['HR: 0 in, 1 out, 0 other, 0 no word', 'Sales: 1 in, 0 out, 0 other, 1 no word',
                             'No group: 0 in, 0 out, 0 other, 1 no word',
                             'Not in the directory: 0 in, 0 out, 1 other, 0 no word'],
                'one section per group with its counts, then no group, then rows it does not know (%r)' % headings)
        people = texts(driver, '#rows th[scope="row"]')
        c.check(people[1:3] == ['Anna Adamsanna', 'Jo SmithJSmith+44 20 7946 0000'],
                'by display name, the log-in name and a phone beside it (%r)' % people)
        mark = "for (const th of document.querySelectorAll('#rows th[scope=\"row\"]')) th.parentNode.dataset.kept = 1;"
        driver.execute_script(mark)
        time.sleep(1.5)
        between = time.strftime('%Y-%m-%dT%H:%M:%S')  # bert out at lunch, before he is back
        time.sleep(1.5)
        send(port, record('bert', 1, 'back'))
        wait(lambda: 'back' in driver.execute_script('await window.refreshBoard(); '
                                                     'return document.getElementById("rows").textContent'), 10)
        kept = driver.execute_script("return [...document.querySelectorAll('#rows tr[data-kept]')]"
                                     ".map((tr) => tr.querySelector('th').firstChild.textContent)")
        c.check(sorted(kept) == ['Anna Adams', 'Cleo Cole', 'Jo Smith', 'stray'],
                'a refresh rebuilds only the row that changed (kept: %r)' % kept)
        c.check(driver.find_element(By.CSS_SELECTOR, 'a.phone').get_attribute('href') == 'tel:+442079460000',
                'a phone number is a tel: link')
        c.check(texts(driver, '#rows .unheard') == ['no word yet', 'no word yet'], 'the unheard say "no word yet"')
        driver.get(url + '?group=Sales')
        wait(lambda: len(texts(driver, '#rows th[scope="row"]')) == 2, 10)
        narrowed = texts(driver, '#rows th[scope="row"]')
        chosen = driver.find_element(By.ID, 'group-filter').get_attribute('value')
        c.check(narrowed[:1] == ['Anna Adamsanna'] and len(narrowed) == 2 and chosen == 'Sales',
                'the group menu narrows to one group, kept in the address (%r, %r)' % (narrowed, chosen))
        menu = driver.find_element(By.ID, 'group-filter')
        Select(menu).select_by_value('')
        wait(lambda: len(texts(driver, '#rows th[scope="row"]')) == 6, 10)
        c.check('group=' not in driver.current_url, '"All groups" shows all again and leaves the address (%s)' %
                driver.current_url)
        Select(menu).select_by_value('HR')
        with open(staff, 'a', encoding='utf-8') as f:
            f.write('dora,Dora Dunn,Finance,\n')
        service.send_signal(signal.SIGHUP)
        wait(lambda: 'Finance' in texts(driver, '#group-filter option'), 10)
        time.sleep(2.5)
        c.check(menu.get_attribute('value') == 'HR' and len(texts(driver, '#rows th[scope="row"]')) == 1,
                'a new group in the list leaves the choice as it was (%r)' % menu.get_attribute('value'))
        statuses = driver.execute_script(
            "return performance.getEntriesByType('resource').filter((e) => e.name.endsWith('/board.json'))"
            ".map((e) => e.responseStatus)")
        c.check(304 in statuses, 'a page polling a board that did not change is answered 304 (%r)' % statuses[-8:])

        send(port, record('\xc9MILE', 1, 'in'))
        send(port, record('\xe9mile', 1, 'in'))
        driver.get(url + '?roll')
        wait(lambda: len(texts(driver, '.tick .name')) == 8, 10)
        quiet = texts(driver, '.group-1 .tick')
        c.check(sum('no word yet' in t for t in quiet) == 3 and any('Sales' in t for t in quiet),
                'the roll call lists the unheard under no word, with their group (%r)' % quiet)
        called = texts(driver, '.group-0 .tick .name')
        c.check(called[0] == 'Bert Bergbert' and called[-1] == 'Jo SmithJSmith' and len(called) == 4,
                'the roll call reads out display names, the log-in name beside, sorted by them (%r)' % called)
        driver.execute_script("document.querySelectorAll('.group-0 .tick input')[1].click()")
        ticked = driver.execute_script("return [...document.querySelectorAll('.group-0 .tick input')]"
                                       ".map((box) => box.checked)")
        c.check(ticked.count(True) == 1, 'ÉMILE and émile are two people on the board and two ticks (%r)' % ticked)

        # The history, for the code's holder: a row's last changes, and the roll call as it stood.
        driver.get(url)
        wait(lambda: driver.find_elements(By.CSS_SELECTOR, 'button[aria-label="History of bert"]'), 10)
        row_action(driver, 'History of bert').click()
        driver.find_element(By.ID, 'history-code').send_keys(CODE)
        driver.find_element(By.ID, 'history-show').click()
        wait(lambda: len(texts(driver, '#history-list li')) == 2, 10)
        said = texts(driver, '#history-list li')
        c.check(len(said) == 2 and said[0].startswith('in since ') and ', back, from the desk' in said[0] and
                said[1].startswith('out since ') and 'lunch' in said[1],
                "a row's last changes, newest first, once the code is given (%r)" % said)
        driver.get(url + '?roll&at=' + between)
        wait(lambda: len(texts(driver, '.tick .name')) >= 5, 10)
        out = texts(driver, '.group-3 .tick .name')
        c.check(out == ['Bert Bergbert'] and texts(driver, '#roll-taken')[0].startswith('As at '),
                'the roll call as it stood: Bert out at lunch then (%r, %r)' % (out, texts(driver, '#roll-taken')))
