"""The web view's pages in headless Chromium, for the browser tests and the benchmarks."""
import os

from selenium import webdriver
from selenium.webdriver.common.by import By

from desktop import post_update, wait_until

HOSTILE_NAME = '<b>x</b>'
HOSTILE_MESSAGE = '<img src=x onerror="document.title=\'owned\'">'
CODE = 'fire drill'


def update(web_port, route, body):
    return post_update(web_port, route, body)[0]


def browser(width, height):
    options = webdriver.ChromeOptions()
    for argument in ('--headless=new', '--no-sandbox', '--disable-gpu', '--window-size=%d,%d' % (width, height),
                     '--disable-dev-shm-usage'):
        options.add_argument(argument)
    return webdriver.Chrome(options=options)


class Browsers(list):
    """A test's browsers, every one closed when its block ends."""

    def __enter__(self):
        return self

    def __exit__(self, *failure):
        for driver in self:
            driver.quit()


def texts(driver, selector):
    """The texts of the elements at once: the page replaces its rows every 2 seconds."""
    return driver.execute_script(
        'return Array.from(document.querySelectorAll(arguments[0])).map(e => e.textContent)', selector)


def names_shown(driver):
    return texts(driver, '#rows th')


def row_action(driver, label):
    """A row's button by its label; on a phone, after the tap on the row that shows it."""
    button = driver.find_element(By.CSS_SELECTOR, 'button[aria-label="%s"]' % label)
    if not button.is_displayed():
        button.find_element(By.XPATH, './ancestor::tr').find_element(By.CSS_SELECTOR, '.row-details').click()
        wait(lambda: driver.find_element(By.CSS_SELECTOR, 'button[aria-label="%s"]' % label).is_displayed(), 5)
        button = driver.find_element(By.CSS_SELECTOR, 'button[aria-label="%s"]' % label)  # the row made again
    return button


def wait(predicate, timeout):
    return bool(wait_until(predicate, timeout, 0.2))


def screen(driver, width, height, scale=1):
    """A true viewport of width x height CSS pixels (--window-size leaves a smaller one), at a device scale."""
    driver.execute_cdp_cmd('Emulation.setDeviceMetricsOverride',
                           {'width': width, 'height': height, 'deviceScaleFactor': scale, 'mobile': False})


AXE = os.environ.get('PEGORA_AXE', os.path.expanduser('~/.cache/pegora/npm/node_modules/axe-core/axe.min.js'))


def accessibility_faults(driver):
    """What axe-core (injected from the npm package scripts/test installs) finds wrong on the page as it is now."""
    with open(AXE, encoding='utf-8') as f:
        driver.execute_script(f.read())
    found = driver.execute_script('const r = await axe.run(document, {resultTypes: ["violations"]});'
                                  'return r.violations.map((v) => v.id + ": " + v.nodes.map((n) => n.target).join(" "));')
    return found
