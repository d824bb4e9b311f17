#!/usr/bin/python3
"""The program under Xvfb, openbox and trayer, used as a user does (its icon) and as a screen reader
does (through AT-SPI), in English and German, against the sample site's server.
Usage: desktop_test.py VELTRIN SAMPLE_SITE; 77: a tool is missing."""
import importlib.util, os, shutil, subprocess, sys, tempfile, time

# What a screen reader must find: a role and a name (or the name's start).
ENGLISH = [("frame", "Download Clipvane Free"), ("push button", "Download"), ("text", "Clipvane Link:"),
           ("filler", "Download links"), ("image", "Download Clipvane Free: direct links"), ("image", "Veltrin 1.")]
GERMAN = [("push button", "Download"), ("text", "Clipvane-Link:"), ("label", "Clipvane-Link:"), ("push button", "Nein"),
          ("label", "Sie haben diesen Link zu einem Clipvane-Video kopiert: http://www.clipvane.com/")]

if not os.environ.get("VELTRIN_IN_SESSION"):
    missing = [t for t in ("Xvfb", "openbox", "trayer", "xdotool", "dbus-run-session", "xclip") if not shutil.which(t)]
    missing += [] if importlib.util.find_spec("pyatspi") else ["python3-pyatspi"]
    missing += [] if os.path.exists("/usr/share/dbus-1/services/org.a11y.Bus.service") else ["at-spi2-core"]
    if missing:
        sys.exit(print("SKIP: not installed (tools/install-deps installs them):", *missing) or 77)
    # A session bus of its own, on which the accessibility bus starts when first asked for.
    os.environ["VELTRIN_IN_SESSION"] = "1"
    os.execvp("dbus-run-session", ["dbus-run-session", "--", sys.executable, *sys.argv])

import pyatspi  # noqa: E402

work = tempfile.mkdtemp(prefix="veltrin-desktop-")
processes = []


def start(command, **kwargs):
    processes.append(subprocess.Popen(command, stderr=subprocess.DEVNULL, **kwargs))
    return processes[-1]


def wait_for(condition, what, limit=30):
    deadline = time.monotonic() + limit
    while not (found := condition()):
        assert time.monotonic() < deadline, "timed out waiting for " + what
        time.sleep(0.2)
    return found


def xdotool(*args):
    done = subprocess.run(["xdotool", *args], capture_output=True, text=True, timeout=10)
    return done.stdout.split("\n")[:-1] if done.returncode == 0 else []


def shown():
    return xdotool("search", "--onlyvisible", "--name", "^Download.Clipvane.Free$")


def others(fits):  # the program's mapped windows but its main one, whose size fits
    def size(window):
        geometry = dict(line.split("=") for line in xdotool("getwindowgeometry", "--shell", window))
        return int(geometry.get("WIDTH", 0)), int(geometry.get("HEIGHT", 0))
    return [w for w in xdotool("search", "--onlyvisible", "--class", "Veltrin") if w not in shown() and fits(*size(w))]


def hide_behind_the_icon_and_back():
    icons, menus = (lambda: others(lambda w, h: 1 < w <= 64 and 1 < h <= 64)), (lambda: others(lambda w, h: w > 64))
    window = shown()[0]
    for round in (1, 2):
        xdotool("windowminimize", window)
        wait_for(lambda: not shown() and len(icons()) == 1, "the icon, round %d" % round, 40)
        # Hovering leaves it hidden; the right button opens the menu, and Escape closes it. A press
        # while the panel is still docking the icon is lost, as it would be for a user: press again.
        def pressed_for_the_menu():
            xdotool("mousemove", "--window", icons()[0], "8", "8")
            xdotool("click", "3")
            end = time.monotonic() + 5
            while time.monotonic() < end and len(menus()) != 1:
                time.sleep(0.2)
            return len(menus()) == 1
        wait_for(pressed_for_the_menu, "the menu, round %d" % round)
        xdotool("key", "Escape")
        wait_for(lambda: not menus(), "the menu to close, round %d" % round)
        assert not shown(), "round %d: the window came back" % round
        xdotool("mousedown", "1")
        wait_for(shown, "the window back, round %d" % round)
        xdotool("mouseup", "1")
        wait_for(lambda: not icons(), "the icon to go, round %d" % round)
    # The panel goes while the window hides behind it: the server says so, and the window is back.
    xdotool("windowminimize", window)
    wait_for(lambda: not shown() and len(icons()) == 1, "the icon once more", 40)
    tray[0].kill()
    wait_for(shown, "the window back when the panel went", 5)


def press(node):  # through the action a screen reader offers
    action = node.queryAction()
    action.doAction([action.getName(i) for i in range(action.nActions)].index("Press"))


def run(language, expected, clipboard, then=lambda: None):
    """Starts the program, finds its controls, does then, presses Download and gives temp.html."""
    env = dict(os.environ, HOME=os.path.join(work, language), XDG_RUNTIME_DIR=os.path.join(work, language),
               LANG=language, QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1", QTWEBENGINE_DISABLE_SANDBOX="1",
               VELTRIN_TEST_ADVERTISEMENT_PAGE=address + "/advertisement")
    for name in ("LC_ALL", "LC_MESSAGES", "LANGUAGE", "QT_QPA_PLATFORM", "WAYLAND_DISPLAY", "XDG_CONFIG_HOME"):
        env.pop(name, None)
    # What is on the clipboard at start is asked about at once.
    subprocess.run(["xclip", "-selection", "clipboard"], input=clipboard.encode(), check=True)
    window = start([os.path.join(work, "program", "Veltrin")], env=env)

    def controls():
        app = next((a for a in pyatspi.Registry.getDesktop(0) if a is not None and a.name == "Veltrin"), None)
        found = [(n.getRoleName(), n.name, n) for n in pyatspi.findAllDescendants(app, bool)] if app else []
        return found if all(any(r == role and n.startswith(name) for r, n, _ in found) for role, name in expected) \
            else None

    wait_for(lambda: shown() and controls(), "the window's controls in " + language)
    then()
    nodes = {(role, name): node for role, name, node in controls()}
    if ("push button", "Nein") in nodes:  # the question, answered as a screen reader user would
        press(nodes[("push button", "Nein")])
    next(node for (role, _), node in nodes.items() if role == "text").queryEditableText().setTextContents(
        address + "/watch?v=clip")
    press(nodes[("push button", "Download")])
    results = os.path.join(work, "program", "temp.html")
    wait_for(lambda: os.path.exists(results), "the results file of Download in " + language)
    window.terminate()
    window.wait(10)
    with open(results, "rb") as f:
        os.remove(results)
        return f.read()


try:
    xvfb = start(["Xvfb", "-displayfd", "1", "-screen", "0", "1280x800x24", "-nolisten", "tcp"], stdout=subprocess.PIPE)
    os.environ["DISPLAY"] = ":" + xvfb.stdout.readline().decode().strip()
    start(["openbox"])
    # On a loaded machine the panel may start before the window manager is ready and give up.
    panel = ["trayer", "--edge", "top", "--align", "left", "--widthtype", "pixel", "--width", "120",
             "--heighttype", "pixel", "--height", "28"]
    tray = [start(panel)]
    wait_for(lambda: (tray[0].poll() is None or tray.insert(0, start(panel))) and
             xdotool("search", "--onlyvisible", "--class", "trayer"), "the notification area", 60)
    # The program in a folder of its own, where its results file goes, and a video of two qualities.
    for name in ("modules", "translations", "Veltrin", "dl.jpg"):  # the first makes the folder
        built = os.path.join(os.path.dirname(sys.argv[1]), name)
        (shutil.copytree if os.path.isdir(built) else shutil.copy)(built, os.path.join(work, "program", name))
    os.makedirs(os.path.join(work, "site", "clip"))
    for name in ("title", "22.mp4", "5.flv"):
        with open(os.path.join(work, "site", "clip", name), "w") as f:
            f.write("Clip")
    site = start([sys.argv[2], os.path.join(work, "site")], stdout=subprocess.PIPE)
    address = site.stdout.readline().decode().strip()
    english = run("en_US.UTF-8", ENGLISH, "nothing to ask about", hide_behind_the_icon_and_back)
    german = run("de_DE.UTF-8", GERMAN, "http://www.clipvane.com/watch?v=Qx7bT2mLp9A")
    assert b"720P" in english, english
    assert german == english, "the results file differs in German"
finally:
    for process in reversed(processes):
        process.terminate()
        process.wait(10)
    shutil.rmtree(work, ignore_errors=True)
