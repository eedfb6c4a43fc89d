#!/usr/bin/python3
"""The wizard as a keyboard and screen-reader user meets it: the real program
on an X server, read over the accessibility bus (AT-SPI) as a screen reader
reads it, and driven with real key presses.

On each page Tab reaches the page's controls and the navigation buttons and
nothing else, every control it reaches has a name (the device lists and level
sliders their visible labels), the focus starts on the page's first control,
and the verdicts of the connection and display tests arrive as notifications
carrying their texts, once each, with the focus left where it was. The
playing text is announced once, not at every blink.

Run inside a D-Bus session of its own:
    dbus-run-session -- accessibility_x11.py ATTEMPT_DRIVER DISPLAY WORKDIR
"""
import os
import shutil
import socket
import subprocess
import sys
import time

import gi

gi.require_version("Atspi", "2.0")
import pyatspi  # noqa: E402
from gi.repository import GLib  # noqa: E402

driver, display, work = sys.argv[1:4]
TITLE = "Tavora Live System Test Wizard"
FAILURE = "A connection cannot be astablish between your computer and the remote server."
processes = []


def fail(message):
    print("FAIL:", message, flush=True)
    sys.exit(1)


def check(condition, message):
    if not condition:
        fail(message)


def pump():
    context = GLib.MainContext.default()
    while context.pending():
        context.iteration(False)


def wait_for(condition, what, limit=20.0):
    end = time.monotonic() + limit
    while True:
        pump()
        value = condition()
        if value:
            return value
        if time.monotonic() > end:
            fail("waited in vain for " + what)
        time.sleep(0.02)


def start(command, **kwargs):
    process = subprocess.Popen(command, **kwargs)
    processes.append(process)
    return process


def setup():
    shutil.rmtree(work, ignore_errors=True)
    for sub in ("run", "home", "config"):
        os.makedirs(os.path.join(work, sub), mode=0o700)
    os.environ.update(DISPLAY=display, XDG_RUNTIME_DIR=os.path.join(work, "run"),
                      HOME=os.path.join(work, "home"), XDG_CONFIG_HOME=os.path.join(work, "config"),
                      PULSE_SERVER="unix:" + os.path.join(work, "run", "native"))
    # A private sound server with a speaker and a microphone, so that the
    # audio pages show their lists, sliders and buttons.
    with open(os.path.join(work, "test.pa"), "w") as script:
        script.write("load-module module-native-protocol-unix auth-anonymous=1 socket=%s/run/native\n"
                     "load-module module-null-sink sink_name=spk1 sink_properties=device.description=Speakers\n"
                     "load-module module-null-source source_name=mic1 description=Microphone\n" % work)
    start(["pulseaudio", "-n", "--daemonize=no", "--exit-idle-time=-1", "--system=false", "--disallow-exit",
           "--use-pid-file=no", "--log-target=file:" + os.path.join(work, "pa.log"), "-F",
           os.path.join(work, "test.pa")])
    wait_for(lambda: subprocess.run(["pactl", "info"], capture_output=True).returncode == 0, "the sound server")
    start(["/usr/libexec/at-spi-bus-launcher", "--launch-immediately"])


def application():
    desktop = pyatspi.Registry.getDesktop(0)
    for i in range(desktop.childCount):
        app = desktop.getChildAtIndex(i)
        if app is not None and app.name == "tavora-wizard":
            return app
    return None


def walk(node, found):
    found.append(node)
    for i in range(node.childCount):
        child = node.getChildAtIndex(i)
        if child is not None:
            walk(child, found)
    return found


def state(node, which):
    return node.getState().contains(which)


def label_of(node):
    for relation in node.getRelationSet():
        if relation.getRelationType() == pyatspi.RELATION_LABELLED_BY:
            return relation.getTarget(0).name
    return ""


def describe(node):
    return "%s '%s'" % (node.getRoleName(), node.name)


def focused(app):
    for node in walk(app, []):
        if state(node, pyatspi.STATE_FOCUSED) and node.getRole() != pyatspi.ROLE_FRAME:
            return node
    return None


def key(name):
    subprocess.run(["xdotool", "key", "--clearmodifiers", name], check=True)


def press(name, app, before):
    """Presses a key and waits until the focus has left `before`."""
    key(name)
    return wait_for(lambda: (lambda now: now if now is not None and now != before else None)(focused(app)),
                    "the focus to move on " + name)


def tab_ring(app):
    """The controls Tab reaches, from the focused one round to it again."""
    first = wait_for(lambda: focused(app), "a focused control")
    ring = [first]
    for _ in range(30):
        now = press("Tab", app, ring[-1])
        if now == first:
            return ring
        ring.append(now)
    fail("Tab never came back to " + describe(first))


# Shown notifications, as a screen reader is told of them.
announced = []


def on_event(event):
    if event.detail1 == 1 and event.source.getRole() == pyatspi.ROLE_NOTIFICATION:
        announced.append(event.source.name)


def check_page(app, expected, labels):
    """Tab reaches exactly `expected` (names, the focus first on
    expected[1]), every control on the page that takes the focus is among
    them and named, and the lists and sliders carry their labels."""
    ring = tab_ring(app)
    names = [node.name for node in ring]
    # The ring starts at the focused control: rotate the list to the link.
    check(names[0] == expected[1], "the focus starts on %s, not %s" % (names[0], expected[1]))
    check(names[-1:] + names[:-1] == expected, "Tab reaches %s, expected %s" % (names[-1:] + names[:-1], expected))
    focusable = [node for node in walk(app, [])
                 if state(node, pyatspi.STATE_FOCUSABLE) and state(node, pyatspi.STATE_SHOWING)
                 and state(node, pyatspi.STATE_SENSITIVE)
                 and node.getRole() not in (pyatspi.ROLE_LIST, pyatspi.ROLE_LIST_ITEM, pyatspi.ROLE_FRAME)]
    check(sorted(node.name for node in focusable) == sorted(expected),
          "the page's controls are %s, expected %s" % ([describe(n) for n in focusable], expected))
    for node in focusable:
        check(node.name, describe(node) + " has no name")
    for node in ring:
        role = node.getRole()
        if role in (pyatspi.ROLE_COMBO_BOX, pyatspi.ROLE_SLIDER):
            check(label_of(node) in labels, "%s is labelled '%s'" % (describe(node), label_of(node)))
    return ring


def next_page(app):
    """Tab to Next and press Space on it."""
    target = next(node for node in walk(app, []) if node.name == "Next Test")
    current = focused(app)
    while current != target:
        current = press("Tab", app, current)
    key("space")


def main():
    setup()
    with socket.socket() as probe:  # a loopback port nobody listens on: refused
        probe.bind(("127.0.0.1", 0))
        port = probe.getsockname()[1]
    env = dict(os.environ, QT_QPA_PLATFORM="xcb", QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1")
    wizard = start([driver, "--wait", str(port), "2000"], env=env, stdout=subprocess.DEVNULL)
    app = wait_for(application, "the wizard on the accessibility bus")
    pyatspi.Registry.registerEventListener(on_event, "object:state-changed:showing")
    window = wait_for(lambda: subprocess.run(["xdotool", "search", "--name", "^" + TITLE + "$"],
                                             capture_output=True, text=True).stdout.split(), "the window")[0]
    subprocess.run(["xdotool", "windowfocus", "--sync", window], check=True)
    link = "www.tavora.live"
    # One window: a screen reader takes the frame around the focus for the
    # window, and says nothing of the focus in a frame that is never active.
    frames = [node for node in walk(app, []) if node.getRole() == pyatspi.ROLE_FRAME]
    check([node.name for node in frames] == [TITLE], "the frames are %s" % [describe(n) for n in frames])

    # The connection page: Space on its test button runs the test on a
    # refused port; each text is told once, the focus stays on the button.
    ring = check_page(app, [link, "Test My Connection", "Proxy Settings", "Close", "Next Test"], [])
    test_button = wait_for(lambda: focused(app), "the focus")
    key("space")
    wait_for(lambda: any(text.startswith(FAILURE) for text in announced), "the connection verdict", 30)
    # One notification per text shown. A screen reader reads a notification's
    # text when it comes to it: a text replaced at once ("Second attempt
    # failed...") may already read as the one after it.
    texts = [text[:len(FAILURE)] for text in announced]
    check(len(texts) == 5 and texts[-1] == FAILURE and "First attempt failed..." in texts and
          set(texts) <= {"Trying to connect to Tavora Server...", "First attempt failed...",
                         "Second attempt failed...", FAILURE},
          "the connection test announced %s" % texts)
    check(focused(app) == test_button, "the focus moved during the connection test")
    streams = [subprocess.run(["pactl", "list", "short", what], capture_output=True, text=True).stdout
               for what in ("sink-inputs", "source-outputs")]
    check(streams == ["", ""], "the connection page started sound: %s" % streams)

    next_page(app)
    ring = check_page(app, [link, "Test My Display", "Close", "Previous Test", "Next Test"], [])
    del announced[:]
    display_button = focused(app)
    key("space")
    wait_for(lambda: len(announced) >= 2, "the display verdicts")
    check(announced == ["Screen resolution - OK", "Screen DPI - OK"], "the display test announced %s" % announced)
    check(focused(app) == display_button, "the focus moved during the display test")

    next_page(app)
    speakers = "Speakers (Windows Default)"
    level = "Adjust the Speakers Level"
    ring = check_page(app, [link, speakers, level, "Play", "Close", "Previous Test", "Next Test"],
                      ["Select your playback device:", level])
    # The level slider moves with the keys a slider takes.
    slider = next(node for node in ring if node.name == level)
    current = focused(app)
    while current != slider:
        current = press("Tab", app, current)
    value = slider.queryValue()
    check((value.minimumValue, value.maximumValue) == (0, 65535), "the slider's range")
    for name, expected in (("Home", 0), ("Right", 655), ("Prior", 655 + 6553), ("Next", 655), ("End", 65535)):
        key(name)
        wait_for(lambda: value.currentValue == expected, "the slider at %d after %s" % (expected, name))
    # Play: the blinking text is told once, when the sound starts.
    del announced[:]
    press("Tab", app, slider)
    key("space")
    playing = "Audio is playing at the moment..."
    wait_for(lambda: playing in announced, "the playing text")
    label = next(node for node in walk(app, []) if node.name == playing)
    for showing in (False, True, False, True):
        wait_for(lambda: state(label, pyatspi.STATE_SHOWING) == showing, "a blink")
    check(announced == [playing], "playing announced %s" % announced)
    # The focus went from Play to Stop, not on to Close; Space stops, and
    # the focus goes back to Play.
    check(focused(app).name == "Stop", "Play handed the focus to %s" % describe(focused(app)))
    key("space")
    wait_for(lambda: not state(label, pyatspi.STATE_SHOWING), "the sample to stop")
    wait_for(lambda: focused(app).name == "Play", "the focus back on Play")

    next_page(app)
    level = "Adjust the Microphone Level"
    ring = check_page(app, [link, "Microphone (Windows Default)", level, "Start", "Close", "Previous Test", "Finish"],
                      ["Select your input device which your microphone is attached to:", level])
    next(node for node in ring if node.name == "Close").queryAction().doAction(0)
    check(wizard.wait(20) == 0, "the wizard did not end well")
    print("PASS: every page reached by keyboard and read as a screen reader reads it", flush=True)


try:
    main()
finally:
    for process in reversed(processes):
        process.terminate()
        try:
            process.wait(5)
        except subprocess.TimeoutExpired:
            process.kill()
