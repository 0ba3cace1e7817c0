"""Planning absences on the page, in Chromium: part of browser_e2e."""
import base64
import datetime
import os
import re
import subprocess
import time

from selenium.webdriver.common.by import By
from selenium.webdriver.common.print_page_options import PrintOptions

from browser_signin import signed_in_browser
from desktop import free_port, post_update, record, running, scratch, send, wait_listening
from pages import texts, wait


def check_plans(c, program, artifacts, drivers):
    """A plan entered, shown on its row, edited and deleted; "Who's away" reads it; at a phone's width."""
    folder = scratch('pegora-plans-')
    port, web_port = free_port(), free_port()
    conf = os.path.join(folder, 'pegmastd.conf')
    with open(conf, 'w') as f:
        f.write('Port = %d\nWebPort = %d\nAcceptPacingMs = 0\nStateFile = %s/board.db\nWebUpdates = yes\n'
                'WebUpdateCode = plan-code-7\n' % (port, web_port, folder))
    service = os.path.join(os.path.dirname(program), '../service/pegmastd')
    today = datetime.date.today()
    with running([service, '--config', conf], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL):
        c.check(wait_listening(web_port), 'the board service for plans listens')
        send(port, record('bert', 1, 'at my desk'))
        driver = signed_in_browser(375, 812)
        drivers.append(driver)
        driver.get('http://127.0.0.1:%d/' % web_port)
        wait(lambda: driver.find_element(By.ID, 'plan-open').is_displayed(), 10)
        driver.find_element(By.ID, 'plan-open').click()
        form = lambda i: driver.find_element(By.ID, i)  # noqa: E731
        form('plan-name').send_keys('bert')
        driver.execute_script("document.getElementById('plan-start').value = arguments[0];"
                              "document.getElementById('plan-end').value = arguments[1];",
                              today.isoformat(), (today + datetime.timedelta(days=2)).isoformat())
        form('plan-message').send_keys('holiday')
        form('plan-code').send_keys('plan-code-7')
        driver.execute_script("const send = document.getElementById('plan-send'); send.click(); send.click();")
        c.check(wait(lambda: len(texts(driver, '#plan-list li')) == 1, 10),
                'a plan entered on the page is listed under the person\'s upcoming plans (%r)' %
                form('plan-error').text)
        c.check(wait(lambda: form('plan-said').text.startswith('Planned: '), 5) and 'out, holiday' in
                form('plan-said').text and form('plan-message').get_attribute('value') == '' and
                form('plan-name').get_attribute('value') == 'bert',
                'the saved plan is said and the form starts again for the person (%r)' % form('plan-said').text)
        time.sleep(1)
        c.check(len(texts(driver, '#plan-list li')) == 1, 'two quick clicks save one plan (%r)' %
                texts(driver, '#plan-list li'))
        driver.save_screenshot(os.path.join(artifacts, 'plan-375x812.png'))
        back = (today + datetime.timedelta(days=3)).strftime('%-d')
        c.check(wait(lambda: any('planned' in t and back in t for t in texts(driver, '#rows td.message')), 10),
                'the row switches at once and says when the person is back (%r)' % texts(driver, '#rows td.message'))
        driver.find_element(By.CSS_SELECTOR, '#plan-list button').click()  # Edit
        form('plan-message').clear()
        form('plan-message').send_keys('skiing')
        form('plan-send').click()
        c.check(wait(lambda: any('skiing' in t for t in texts(driver, '#plan-list li')), 10) and
                len(texts(driver, '#plan-list li')) == 1, 'edited, the plan is changed in place')
        form('plan-cancel').click()
        away = signed_in_browser(1123, 794)  # A4 landscape at 96 dpi
        drivers.append(away)
        away.get('http://127.0.0.1:%d/' % web_port)
        away.execute_script("sessionStorage.setItem('pegora-update-code', 'plan-code-7')")
        away.get('http://127.0.0.1:%d/?away' % web_port)
        c.check(wait(lambda: texts(away, '#away-rows th') == ['bert'] and
                     texts(away, '#away-rows td.away .word').count('out') == 3, 10) and
                len(texts(away, '#away-head th')) == 15,
                '"Who\'s away" shows the person out on three of the fourteen days (%r)' %
                texts(away, '#away-rows td'))
        away.save_screenshot(os.path.join(artifacts, 'whos-away-a4.png'))
        # Fifty people away at some time these two weeks: one A4 landscape page still.
        for i in range(49):
            day = (today + datetime.timedelta(days=1 + i % 10)).isoformat()  # within the two weeks, not today
            body = {'name': 'person%02d' % i, 'start': day, 'end': day, 'status': 2, 'code': 'plan-code-7'}
            post_update(web_port, '/plans', body)
        away.refresh()
        wait(lambda: len(texts(away, '#away-rows th')) == 50, 10)
        options = PrintOptions()
        options.orientation = 'landscape'
        options.page_width, options.page_height = 29.7, 21.0
        pdf = base64.b64decode(away.print_page(options))
        pages = len(re.findall(rb'/Type\s*/Page[^s]', pdf))
        with open(os.path.join(artifacts, 'whos-away-a4.pdf'), 'wb') as f:
            f.write(pdf)
        c.check(pages == 1, '"Who\'s away" for 50 people prints on one A4 landscape page (%d pages)' % pages)
        driver.execute_script("window.openPlanForm('bert')")
        wait(lambda: len(texts(driver, '#plan-list li')) == 1, 10)
        driver.find_element(By.CSS_SELECTOR, '#plan-list button[aria-label^="Delete"]').click()
        c.check(wait(lambda: not texts(driver, '#plan-list li'), 10) and
                wait(lambda: not any('planned' in t for t in texts(driver, '#rows td.message')), 10),
                'deleted, the plan is gone and the row shows the desk\'s word again')
