"""The web view's pages in headless Chromium, for the browser tests and the benchmarks."""
from selenium import webdriver

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


def wait(predicate, timeout):
    return bool(wait_until(predicate, timeout, 0.2))
