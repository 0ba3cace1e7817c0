"""The board at a glance, in Chromium: the wall on a TV with 100 and 250 people, grouped
by a staff list; the page on a phone; Who's away on both. Each person's place is checked
against the viewport, axe-core looks at every view, and screenshots are kept.

usage: browser_glance.py PEGMAST ARTIFACTS
Run with /usr/bin/python3 (Debian's Selenium)."""
import datetime
import os
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, '..', 'e2e'))
from desktop import Checks, free_port, post_update, record, running, scratch, send, wait_listening  # noqa: E402
from pages import Browsers, accessibility_faults, browser, screen, texts, wait  # noqa: E402

from selenium.webdriver.common.by import By  # noqa: E402

CODE = 'glance-code-3'
FIRST = ['Anna', 'Bert', 'Cleo', 'Dan', 'Eva', 'Femi', 'Gita', 'Hugo', 'Ines', 'Jon']
LAST = ['Adams', 'Berg', 'Cole', 'Dunne', 'Engel', 'Fox', 'Grant', 'Holm', 'Ivers', 'Jones']
GROUPS = ['Finance', 'Reception', 'Sales', 'Workshop']


def people(count, start=0):
    """(log-in, display name) for each: names as long as an office's usual ones."""
    return [('p%03d' % i, '%s %s %d' % (FIRST[i % 10], LAST[i // 10 % 10], i // 100)) for i in range(start, start + count)]


def on_screen(driver):
    """Each tile's name, whether it lies wholly in the viewport, its name's type size and whether the name is whole."""
    return driver.execute_script("""
        const w = document.documentElement.clientWidth, h = document.documentElement.clientHeight;
        return [...document.querySelectorAll('#wall .tile')].map((t) => {
          const r = t.getBoundingClientRect(), n = t.querySelector('.tile-name');
          return [n.textContent, r.top >= 0 && r.left >= 0 && r.bottom <= h + 0.5 && r.right <= w + 0.5,
                  parseFloat(getComputedStyle(n).fontSize), n.scrollWidth <= n.clientWidth];
        });""")


def spill(driver):
    return driver.execute_script('const e = document.documentElement;'
                                 'return Math.max(e.scrollWidth - e.clientWidth, e.scrollHeight - e.clientHeight)')


def check_wall_fits(c, driver, names, what):
    tiles = on_screen(driver)
    shown = [t[0] for t in tiles]
    cut = [t[0] for t in tiles if not (t[1] and t[3])]
    c.check(sorted(shown) == sorted(names) and not cut and spill(driver) <= 0,
            '%s: all %d on one screen, none cut off, no scroll bar (%d shown, cut %r, %d px over)' %
            (what, len(names), len(shown), cut[:5], spill(driver)))
    small = min([t[2] for t in tiles] or [0])
    c.check(small >= 24 and not driver.find_element(By.ID, 'page').is_displayed(),
            '%s: names in %g px type, no page number' % (what, small))


def watch_cycle(c, driver, names, what, seconds):
    """Every person on screen at some moment of a cycle, every page inside the screen, the page number shown."""
    seen, pages, spilled = set(), set(), 0
    ends = time.time() + seconds
    while time.time() < ends and len(seen) < len(names):
        seen.update(t[0] for t in on_screen(driver) if t[1] and t[3])
        pages.add(driver.find_element(By.ID, 'page').text)
        spilled = max(spilled, spill(driver))
        time.sleep(0.5)
    missing = sorted(set(names) - seen)
    c.check(not missing and spilled <= 0 and len(pages) > 1 and all(p.startswith('Page ') for p in pages),
            '%s: pages cycle (%r), everybody on screen within a cycle (missing %d: %r), none spills (%d px)' %
            (what, sorted(pages), len(missing), missing[:5], spilled))


def check_axe(c, driver, what):
    faults = accessibility_faults(driver)
    c.check(faults == [], 'axe-core finds nothing on %s (%r)' % (what, faults))


def check_wall(c, port, web_port, artifacts, drivers, listed):
    url = 'http://127.0.0.1:%d/?wall&every=3' % web_port
    tv = browser(1920, 1080)
    drivers.append(tv)
    screen(tv, 1920, 1080)
    tv.get(url)
    names = [d for _, d in listed]
    wait(lambda: len(on_screen(tv)) == 100, 15)
    check_wall_fits(c, tv, names, 'the wall at 1920x1080 with 100 people in four groups')
    headings = texts(tv, '#wall .wall-heading')
    c.check(headings == [g + ' (25)' for g in GROUPS], 'grouped as the page is (%r)' % headings)
    corner = [tv.find_element(By.ID, i).text for i in ('count-in', 'clock', 'updated')]
    c.check(corner[0] != '' and ':' in corner[1] and corner[2].startswith('updated '),
            'the counter, the clock and "updated HH:MM:SS" in a corner (%r)' % corner)
    tv.save_screenshot(os.path.join(artifacts, 'wall-100-1920x1080.png'))
    check_axe(c, tv, 'the wall at 1920x1080')

    big = browser(1920, 1080)
    drivers.append(big)
    screen(big, 1920, 1080, 2)  # 3840x2160 at 200 %
    big.get(url)
    wait(lambda: len(on_screen(big)) == 100, 15)
    check_wall_fits(c, big, names, 'the wall at 3840x2160 at 200 %')
    big.save_screenshot(os.path.join(artifacts, 'wall-100-3840x2160.png'))
    check_axe(c, big, 'the wall at 3840x2160 at 200 %')

    small = browser(1280, 720)
    drivers.append(small)
    screen(small, 1280, 720)
    small.get(url)
    wait(lambda: len(on_screen(small)) > 0, 15)
    small.save_screenshot(os.path.join(artifacts, 'wall-100-1280x720.png'))
    watch_cycle(c, small, names, 'the wall at 1280x720 with 100 people', 30)
    check_axe(c, small, 'the wall at 1280x720')

    # 150 more, whom the staff list does not know: 250 cannot fit in readable type, so the wall pages.
    more = people(150, 100)
    for login, _ in more:
        send(port, record(login, 2, 'visiting'))
    everybody = names + [login for login, _ in more]
    wait(lambda: len(tv.execute_script('return window.pegoraBoard.rows')) == 250, 15)
    watch_cycle(c, tv, everybody, 'the wall at 1920x1080 with 250 people', 30)
    tv.save_screenshot(os.path.join(artifacts, 'wall-250-1920x1080.png'))


def check_phone(c, web_port, artifacts, drivers):
    desk = browser(1280, 800)
    drivers.append(desk)
    screen(desk, 1280, 800)
    desk.get('http://127.0.0.1:%d/' % web_port)
    wait(lambda: len(texts(desk, '#rows th[scope="row"]')) >= 100, 15)
    c.check(not desk.find_element(By.CSS_SELECTOR, '.row-details').is_displayed() and
            desk.find_element(By.CSS_SELECTOR, '.row-update').is_displayed(), 'on a desk\'s screen a row has its buttons')
    check_axe(c, desk, 'the page at 1280x800')
    phone = browser(375, 812)
    drivers.append(phone)
    screen(phone, 375, 812)
    phone.get('http://127.0.0.1:%d/' % web_port)
    wait(lambda: len(texts(phone, '#rows th[scope="row"]')) >= 100, 15)
    whole = phone.execute_script("""return [...document.querySelectorAll('#rows tr:not(.section)')].filter((tr) => {
        const r = tr.getBoundingClientRect(); return r.top >= 0 && r.bottom <= innerHeight; }).length""")
    c.check(whole >= 8, 'a phone shows at least eight people on its first screen (%d)' % whole)
    phone.save_screenshot(os.path.join(artifacts, 'phone-375x812.png'))
    check_axe(c, phone, 'the page at 375x812')
    row = phone.find_elements(By.CSS_SELECTOR, '#rows tr:not(.section)')[1]
    who = row.find_element(By.TAG_NAME, 'th').text.split('\n')[0]
    c.check(not row.find_element(By.CSS_SELECTOR, '.row-update').is_displayed(), 'a row\'s buttons are folded away')
    row.find_element(By.TAG_NAME, 'th').click()
    opened = lambda: phone.find_element(By.CSS_SELECTOR, '#rows tr.open')  # noqa: E731 (the row is made again)
    c.check(wait(lambda: opened().find_element(By.CSS_SELECTOR, '.row-update').is_displayed(), 5) and
            who in opened().text and ('ago' in opened().text or 'just now' in opened().text),
            'a tap on a row shows its last heard and its actions (%r)' % opened().text)
    check_axe(c, phone, 'the page at 375x812 with a row open')
    phone.save_screenshot(os.path.join(artifacts, 'phone-row-open-375x812.png'))
    phone.execute_script('window.scrollTo(0, 3000)')
    time.sleep(0.3)
    top = phone.execute_script("return document.querySelector('#board-view .toolbar').getBoundingClientRect().top")
    c.check(top == 0 and phone.find_element(By.ID, 'filter').is_displayed(),
            'scrolled down, the counter and the filter stay at the top (%r)' % top)


def check_away(c, web_port, artifacts, drivers):
    tomorrow = datetime.date.today() + datetime.timedelta(days=1)
    plans = ({'name': 'p001', 'start': tomorrow.isoformat(), 'end': (tomorrow + datetime.timedelta(days=1)).isoformat(),
              'status': 2, 'message': 'holiday'},
             {'name': 'p002', 'start': tomorrow.isoformat() + 'T12:12', 'end': tomorrow.isoformat() + 'T12:15',
              'status': 3, 'message': 'dentist'})
    for body in plans:
        c.check(post_update(web_port, '/plans', dict(body, code=CODE))[0] == 201, 'a plan for %s' % body['name'])
    for width, height in ((1280, 800), (375, 812)):
        driver = browser(width, height)
        drivers.append(driver)
        screen(driver, width, height)
        driver.get('http://127.0.0.1:%d/?away' % web_port)
        if width == 1280:
            c.check(wait(lambda: driver.find_element(By.ID, 'away-code-box').is_displayed(), 10) and
                    'code' in driver.find_element(By.ID, 'away-state').text,
                    'a visitor is asked for the code right on Who\'s away')
            check_axe(c, driver, 'Who\'s away asking for the code')
            driver.find_element(By.ID, 'away-code').send_keys(CODE)
            driver.find_element(By.CSS_SELECTOR, '#away-code-box button').click()
            c.check(wait(lambda: len(texts(driver, '#away-rows th[scope="row"]')) == 2, 10), 'given, the plans are shown')
            year = str(tomorrow.year)
            head = texts(driver, '#away-head th')
            today = driver.find_elements(By.CSS_SELECTOR, '#away-head th[aria-current="date"]')
            c.check(year in driver.find_element(By.ID, 'away-range').text and len(today) == 1 and
                    'today' in today[0].text.lower(), 'the month and year, today marked (%r, %r)' %
                    (driver.find_element(By.ID, 'away-range').text, head))
            whole = texts(driver, '#away-rows tr:nth-child(2) td.away:not(.part)')  # under their groups' headings
            part = texts(driver, '#away-rows tr:nth-child(4) td.away.part')
            c.check(len(whole) == 2 and 'holiday' in whole[0] and part == ['other12:12\u201312:15, dentist'],
                    'whole days with the message on the first, a part-day plan by its times (%r, %r)' % (whole, part))
        else:
            driver.execute_script("sessionStorage.setItem('pegora-update-code', arguments[0])", CODE)
            driver.refresh()
            items = lambda: texts(driver, '#away-list .away-person')  # noqa: E731
            c.check(wait(lambda: len(items()) == 2, 10) and driver.find_element(By.ID, 'away-list').is_displayed() and
                    not driver.find_element(By.ID, 'away').is_displayed() and 'holiday' in items()[0] and
                    '12:12' in items()[1] and spill(driver) <= 0,
                    'a phone lists each person\'s days with dates and times (%r)' % items())
        driver.save_screenshot(os.path.join(artifacts, 'whos-away-%dx%d.png' % (width, height)))
        check_axe(c, driver, 'Who\'s away at %dx%d' % (width, height))


def main():
    program, artifacts = sys.argv[1], sys.argv[2]
    os.makedirs(artifacts, exist_ok=True)
    c = Checks('the board at a glance')
    folder = scratch('pegora-glance-')
    listed = people(100)
    staff = os.path.join(folder, 'staff.csv')
    with open(staff, 'w', encoding='utf-8') as f:
        f.write('name,display name,group\n')
        for i, (login, display) in enumerate(listed):
            f.write('%s,%s,%s\n' % (login, display, GROUPS[i % 4]))
    port, web_port = free_port(), free_port()
    conf = os.path.join(folder, 'pegmastd.conf')
    with open(conf, 'w') as f:
        f.write('Port = %d\nWebPort = %d\nAcceptPacingMs = 0\nDirectory = file\nDirectoryFile = %s\n'
                'StateFile = %s/board.db\nHistoryDays = 7\nWebUpdates = yes\nWebUpdateCode = %s\n' %
                (port, web_port, staff, folder, CODE))
    service = os.path.join(os.path.dirname(program), '../service/pegmastd')
    with running([service, '--config', conf], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL), \
            Browsers() as drivers:
        c.check(wait_listening(web_port), 'the board service listens')
        for i, (login, _) in enumerate(listed):
            send(port, record(login, 1 + i % 3, 'at my desk' if i % 3 == 0 else 'with a client until four'))
        time.sleep(1.5)
        check_phone(c, web_port, artifacts, drivers)
        check_away(c, web_port, artifacts, drivers)
        check_wall(c, port, web_port, artifacts, drivers, listed)
    return c.finish()


if __name__ == '__main__':
    sys.exit(main())
