"""Signing in on the page, over HTTPS, in Chromium: part of browser_e2e."""
import os
import subprocess

from selenium import webdriver
from selenium.webdriver.common.by import By

from desktop import TLS_FILES, free_port, https_get, record, running, scratch, send, wait_listening
from pages import row_action, screen, texts, wait


def signed_in_browser(width, height):
    """Chromium that trusts the test office's certificate for localhost, as an office's browsers trust its CA."""
    options = webdriver.ChromeOptions()
    for argument in ('--headless=new', '--no-sandbox', '--disable-gpu', '--window-size=%d,%d' % (width, height),
                     '--disable-dev-shm-usage'):
        options.add_argument(argument)
    options.accept_insecure_certs = True
    return webdriver.Chrome(options=options)


def sign_in(driver, name, password):
    driver.find_element(By.ID, 'sign-in-open').click()
    driver.find_element(By.ID, 'sign-in-name').clear()  # the form keeps the name typed before
    driver.find_element(By.ID, 'sign-in-name').send_keys(name)
    driver.find_element(By.ID, 'sign-in-password').send_keys(password)
    driver.find_element(By.CSS_SELECTOR, '#sign-in-form button[type="submit"]').click()


def check_signin(c, program, artifacts, drivers):
    """A person changes their own row and no other; reception changes anyone's, and the row says who did."""
    folder = scratch('pegora-signin-')
    port, web_port = free_port(), free_port()
    conf = os.path.join(folder, 'pegmastd.conf')
    with open(conf, 'w') as f:
        f.write('Port = %d\nWebPort = %d\nAcceptPacingMs = 0\nStateFile = %s/board.db\nHistoryDays = 7\n'
                'WebUpdates = yes\nWebSignIn = accounts\nWebTlsCertificateFile = %s/board.pem\n'
                'WebTlsKeyFile = %s/board.key\n' % (port, web_port, folder, TLS_FILES, TLS_FILES))
    service = os.path.join(os.path.dirname(program), '../service/pegmastd')
    for args, typed in ((['--add-account', 'Nina', '--reception'], 'tulip garden 9\n'),
                        (['--add-account', 'bert'], 'kettle 7\n')):
        subprocess.run([service, '--config', conf] + args, input=typed, text=True, capture_output=True, check=True)
    with running([service, '--config', conf], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL):
        c.check(wait_listening(web_port), 'the board service with sign-in listens')
        send(port, record('bert', 1, 'at my desk'))
        send(port, record('Nina', 1, 'front desk'))
        driver = signed_in_browser(375, 812)
        drivers.append(driver)
        driver.get('https://localhost:%d/' % web_port)
        wait(lambda: len(texts(driver, '#rows th[scope="row"]')) == 2, 10)
        wait(lambda: driver.find_element(By.ID, 'sign-in-open').is_displayed(), 10)
        c.check(not driver.find_element(By.ID, 'update-open').is_displayed() and not texts(driver, '.row-update'),
                'before signing in the page offers "Sign in" and no change')
        sign_in(driver, 'bert', 'kettle 8')
        c.check(wait(lambda: 'wrong' in driver.find_element(By.ID, 'sign-in-error').text, 10),
                'a wrong password is told in the form')
        driver.find_element(By.ID, 'sign-in-cancel').click()
        sign_in(driver, 'bert', 'kettle 7')
        c.check(wait(lambda: driver.find_element(By.ID, 'signed-in-as').text == 'Signed in as bert', 10),
                'signed in, the page says as whom')
        driver.save_screenshot(os.path.join(artifacts, 'signed-in-375x812.png'))
        buttons = driver.execute_script("return [...document.querySelectorAll('.row-update')]"
                                        ".map((b) => b.getAttribute('aria-label'))")
        c.check(buttons == ['Update the status of bert', 'History of bert'],
                'a person is offered their own row only (%r)' % buttons)
        refused = driver.execute_script(
            "const r = await fetch('/status', {method: 'POST', headers: {'Content-Type': 'application/json',"
            " 'X-Pegora-Update': '1'}, body: JSON.stringify({name: 'Nina', status: 2})});"
            "return r.status + ' ' + (await r.json()).error;")
        c.check(refused == "403 You can change your own row; reception can change others.",
                'another\'s row is refused with a sentence (%r)' % refused)
        row_action(driver, 'Update the status of bert').click()
        message = driver.find_element(By.ID, 'update-message')
        message.clear()
        message.send_keys('gone to lunch')
        driver.find_element(By.ID, 'update-send').click()
        c.check(wait(lambda: 'gone to lunch' in ''.join(texts(driver, '#rows td.message')), 10),
                'a person changes their own row')
        driver.find_element(By.ID, 'sign-out').click()
        c.check(wait(lambda: driver.find_element(By.ID, 'sign-in-open').is_displayed(), 10) and
                https_get(web_port, '/me')[0] == 401, 'signed out, the page offers "Sign in" again')
        sign_in(driver, 'nina', 'tulip garden 9')
        wait(lambda: 'Reception' in driver.find_element(By.ID, 'signed-in-as').text, 10)
        wait(lambda: len(texts(driver, '.row-update')) == 4, 10)
        driver.execute_script("window.openUpdateForm('bert')")
        driver.find_element(By.CSS_SELECTOR, 'input[name="update-status"][value="2"]').click()
        driver.find_element(By.ID, 'update-message').send_keys('phoned in: dentist')  # the form starts empty
        driver.find_element(By.ID, 'update-send').click()
        set_by = lambda: [t for t in texts(driver, '#rows td.message')  # noqa: E731
                          if t.startswith('phoned in: dentistset by Nina at ')]
        c.check(wait(set_by, 10), 'reception changes another\'s row, which says who set it (%r)' %
                texts(driver, '#rows td.message'))
        driver.save_screenshot(os.path.join(artifacts, 'reception-375x812.png'))
        ended = subprocess.run([service, '--config', conf, '--sign-out', 'NINA'], capture_output=True, text=True)
        me = driver.execute_script("return (await fetch('/me')).status")
        c.check(ended.stdout == '# NINA signed out of 1 sessions\n' and me == 401,
                'pegmastd --sign-out ends a person\'s sessions on every device (%r, %r)' % (ended.stdout, me))
        driver.execute_script("window.openUpdateForm('bert')")
        driver.find_element(By.ID, 'update-send').click()
        c.check(wait(lambda: driver.find_element(By.ID, 'sign-in-open').is_displayed() and
                     driver.find_element(By.ID, 'signed-in').get_attribute('hidden') is not None, 10) and
                'Sign in' in driver.find_element(By.ID, 'update-error').text,
                'a change from an ended session is refused and the page offers "Sign in" again (%r)' %
                driver.find_element(By.ID, 'update-error').text)

    # Shown to signed-in people only: the form is the page until then; a wall link shows the board without it.
    with open(conf, 'a') as f:
        f.write('WebViewAccess = signed-in\n')
    with running([service, '--config', conf], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL):
        wait_listening(web_port)
        driver = signed_in_browser(375, 812)
        drivers.append(driver)
        driver.get('https://localhost:%d/' % web_port)
        c.check(wait(lambda: driver.find_element(By.ID, 'sign-in').is_displayed(), 10) and
                not texts(driver, '#rows th[scope="row"]') and
                driver.find_element(By.ID, 'state').text == 'Sign in to see the board.',
                'a board for signed-in people opens on the sign-in form and names nobody')
        driver.save_screenshot(os.path.join(artifacts, 'sign-in-first-375x812.png'))
        driver.find_element(By.ID, 'sign-in-name').send_keys('bert')
        driver.find_element(By.ID, 'sign-in-password').send_keys('kettle 7')
        driver.find_element(By.CSS_SELECTOR, '#sign-in-form button[type="submit"]').click()
        c.check(wait(lambda: len(texts(driver, '#rows th[scope="row"]')) == 2, 10), 'signed in, the rows show')
        link = subprocess.run([service, '--config', conf, '--wall-link'], capture_output=True, text=True).stdout
        key = link.strip().rsplit('key=', 1)[-1]
        wall = signed_in_browser(1920, 1080)
        drivers.append(wall)
        screen(wall, 1920, 1080)
        wall.get('https://localhost:%d/?wall&key=%s' % (web_port, key))
        c.check(len(key) == 64 and wait(lambda: len(texts(wall, '#wall .tile-name')) == 2, 10) and
                not wall.find_element(By.ID, 'sign-in').is_displayed(),
                'a wall link shows the board as tiles without signing in (%r)' % link)
        wall.save_screenshot(os.path.join(artifacts, 'wall-link-1920x1080.png'))

        # Who's away asks for the sign-in on its own view, and shows the plans once given.
        away = signed_in_browser(1280, 800)
        drivers.append(away)
        away.get('https://localhost:%d/?away' % web_port)
        c.check(wait(lambda: away.find_element(By.ID, 'sign-in').is_displayed(), 10) and
                away.find_element(By.ID, 'away-view').is_displayed(), 'Who\'s away opens the sign-in over itself')
        away.find_element(By.ID, 'sign-in-cancel').click()
        c.check(wait(lambda: away.find_element(By.ID, 'away-sign-in').is_displayed(), 10) and
                away.find_element(By.ID, 'away-state').text == 'Sign in first.',
                'and offers "Sign in" right there (%r)' % away.find_element(By.ID, 'away-state').text)
        away.find_element(By.ID, 'away-sign-in').click()
        away.find_element(By.ID, 'sign-in-name').send_keys('bert')
        away.find_element(By.ID, 'sign-in-password').send_keys('kettle 7')
        away.find_element(By.CSS_SELECTOR, '#sign-in-form button[type="submit"]').click()
        c.check(wait(lambda: away.find_element(By.ID, 'away-state').text == 'Nobody has a plan these two weeks.', 10)
                and not away.find_element(By.ID, 'away-sign-in').is_displayed(), 'signed in, Who\'s away reads')

