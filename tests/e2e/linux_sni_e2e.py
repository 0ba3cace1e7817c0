"""The client's icon on a StatusNotifierItem panel (KDE Plasma, GNOME with the
AppIndicator extension), on the private session bus this script runs in
(dbus-run-session): a small StatusNotifierWatcher takes the item's
registration, a click arrives as the panel sends it (Activate), the exported
menu lists the tray menu's items in order, and its Exit ends the client with
"Client shutdown". Run with /usr/bin/python3 (Debian's python3-dbus)."""
import os
import sys
import time

import dbus

from desktop import Checks, Desktop, Listener, fields, scratch, wait_exit, wait_until
from linux_e2e import write_client_key

WATCHER = 'org.kde.StatusNotifierWatcher'
INTROSPECTION = '''<node>
 <interface name="org.kde.StatusNotifierWatcher">
  <method name="RegisterStatusNotifierItem"><arg name="service" type="s" direction="in"/></method>
  <method name="RegisterStatusNotifierHost"><arg name="service" type="s" direction="in"/></method>
  <property name="RegisteredStatusNotifierItems" type="as" access="read"/>
  <property name="IsStatusNotifierHostRegistered" type="b" access="read"/>
  <property name="ProtocolVersion" type="i" access="read"/>
  <signal name="StatusNotifierItemRegistered"><arg type="s"/></signal>
 </interface>
 <interface name="org.freedesktop.DBus.Properties">
  <method name="Get"><arg type="s" direction="in"/><arg type="s" direction="in"/><arg type="v" direction="out"/></method>
  <method name="GetAll"><arg type="s" direction="in"/><arg type="a{sv}" direction="out"/></method>
 </interface>
</node>'''


def watcher(log):
    """The panel's side: owns the watcher's name, says a host is there, and
    notes each item that registers (one line per item in `log`)."""
    import dbus.service
    import dbus.mainloop.glib
    from gi.repository import GLib

    dbus.mainloop.glib.DBusGMainLoop(set_as_default=True)
    bus = dbus.SessionBus()

    class Watcher(dbus.service.Object):
        items = []

        @dbus.service.method(WATCHER, in_signature='s', sender_keyword='sender')
        def RegisterStatusNotifierItem(self, service, sender=None):
            item = sender if service.startswith('/') else service
            self.items.append(item)
            with open(log, 'a') as f:
                f.write('%s %s\n' % (sender, service))
            self.StatusNotifierItemRegistered(item)

        @dbus.service.method(WATCHER, in_signature='s')
        def RegisterStatusNotifierHost(self, service):
            pass

        @dbus.service.signal(WATCHER, signature='s')
        def StatusNotifierItemRegistered(self, item):
            pass

        @dbus.service.method(dbus.PROPERTIES_IFACE, in_signature='ss', out_signature='v')
        def Get(self, interface, name):
            return self.GetAll(interface)[name]

        @dbus.service.method(dbus.PROPERTIES_IFACE, in_signature='s', out_signature='a{sv}')
        def GetAll(self, interface):
            return {'RegisteredStatusNotifierItems': dbus.Array(self.items, signature='s'),
                    'IsStatusNotifierHostRegistered': True, 'ProtocolVersion': dbus.Int32(0)}

        # Qt reads the properties through QDBusInterface, which asks for them here.
        @dbus.service.method(dbus.INTROSPECTABLE_IFACE, out_signature='s')
        def Introspect(self):
            return INTROSPECTION

    name = dbus.service.BusName(WATCHER, bus)
    Watcher(name, '/StatusNotifierWatcher')
    open(log, 'a').close()
    GLib.MainLoop().run()


def labels(layout):
    """The menu's items from GetLayout, in order: '-' for a separator."""
    items = []
    for child in layout[2]:
        props = child[1]
        items.append('-' if props.get('type') == 'separator' else str(props.get('label', '')).replace('_', ''))
    return items


def main():
    if sys.argv[1] == 'watcher':
        return watcher(sys.argv[2])
    pegling = sys.argv[2]
    desk = Desktop()
    home = scratch('pegora-sni-')
    desk.env.update(XDG_CONFIG_HOME=home, QT_QPA_PLATFORM='xcb', XDG_RUNTIME_DIR=home)
    log = os.path.join(home, 'items')
    desk.start(sys.executable, os.path.abspath(__file__), 'watcher', log)
    listener = Listener()
    c = Checks('Linux StatusNotifierItem panel')
    with desk, listener:
        bus = dbus.SessionBus()
        wait_until(lambda: bus.name_has_owner(WATCHER), 10, 0.1)
        write_client_key(home, listener.port, b'Panel')
        client = desk.start(pegling)
        c.check(listener.wait_for(lambda d: fields(d)[:2] == ('Panel', 3)) is not None, 'the client signs in')
        wait_until(lambda: open(log).read().strip(), 15, 0.2)
        registered = open(log).read().split()
        c.check(len(registered) == 2, 'the client registers its icon with the watcher (%r)' % registered)
        c.check(not desk.windows('marbly', visible=True), 'with a panel there is no "marbly" window')
        if len(registered) != 2:
            return c.finish()
        sender, service = registered
        item = bus.get_object(sender, service if service.startswith('/') else '/StatusNotifierItem')
        props = dbus.Interface(item, dbus.PROPERTIES_IFACE)

        dbus.Interface(item, 'org.kde.StatusNotifierItem').Activate(dbus.Int32(10), dbus.Int32(10))
        status = desk.wait_window('PEGORA Update', timeout=10)
        c.check(status is not None, 'a click on the panel (Activate) opens "PEGORA Update"')
        dbus.Interface(item, 'org.kde.StatusNotifierItem').Activate(dbus.Int32(10), dbus.Int32(10))
        time.sleep(1.5)
        shown = desk.windows('PEGORA Update', visible=True)
        c.check(len(shown) == 1, 'a second click while it is open opens no second dialog (%d)' % len(shown))
        desk.screenshot(os.path.join(sys.argv[3], 'linux-sni-status.png'))
        if status:
            desk.keys(status, 'Escape')

        menu = bus.get_object(sender, props.Get('org.kde.StatusNotifierItem', 'Menu'))
        layout = dbus.Interface(menu, 'com.canonical.dbusmenu').GetLayout(0, -1, dbus.Array([], signature='s'))[1]
        items = labels(layout)
        c.check(items == ['About Pegora', '-', 'Change status', 'Setup', 'Away while locked', '-', 'Exit'],
                'the exported menu lists the tray menu\'s items in order (%r)' % items)
        exit_id = [child[0] for child in layout[2] if str(child[1].get('label', '')).replace('_', '') == 'Exit']
        dbus.Interface(menu, 'com.canonical.dbusmenu').Event(exit_id[0], 'clicked', dbus.Int32(0, variant_level=1),
                                                            dbus.UInt32(0))
        c.check(wait_exit(client, 10) == 0, 'the menu\'s Exit ends the client with 0')
        last = listener.deliveries[-1] if listener.deliveries else b''
        c.check(fields(last) == ('Panel', 3, 'Client shutdown'), 'with "Client shutdown" on the board')
    return c.finish()


if __name__ == '__main__':
    sys.exit(main())
