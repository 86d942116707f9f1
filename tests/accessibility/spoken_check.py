#!/usr/bin/python3
"""Drives the desktop program with the keyboard under a real screen reader and checks what it says.

    spoken_check.py WORK DESKTOP EXPECTED

Runs inside a session bus of its own (dbus-run-session). WORK is a scratch folder holding the program's
configuration (velumbra.ini, naming a census whose first structure fails the census check), EXPECTED
what `velumbra-cli list` printed of that census. The check starts a virtual display (the first free one,
as Xvfb reports it), a window manager, the screen reader Orca with settings of its own in WORK (speech
through speech-dispatcher and eSpeak NG to ALSA's null device, in Italian) and the program; it presses
keys with xdotool and reads what Orca spoke from Orca's debug log, its "SPEECH OUTPUT" lines. Each
assertion is printed as PASS or FAIL with the lines spoken around it; the exit status is 1 when any fails.
"""
import datetime
import json
import os
import pty
import re
import select
import signal
import subprocess
import sys
import threading
import time

WORK, DESKTOP, EXPECTED = sys.argv[1:4]
LOG = os.path.join(WORK, "orca-debug.log")
SPOKEN = re.compile(r"^(?:(\d\d):(\d\d):(\d\d)\.(\d+) - )?SPEECH OUTPUT: '(.*?)'(?:\{|\s*$)")
processes = []
results = []


def start(args, name, **kwargs):
    out = open(os.path.join(WORK, name + ".log"), "w")
    process = subprocess.Popen(args, stdout=out, stderr=subprocess.STDOUT, start_new_session=True, **kwargs)
    processes.append(process)
    return process


def stop_speech_server():
    """speech-dispatcher, which Orca started and which left Orca's session: ended by the number it wrote."""
    pid_file = os.path.join(WORK, "runtime", "speech-dispatcher", "pid", "speech-dispatcher.pid")
    try:
        with open(pid_file) as f:
            pid = int(f.read().strip())
    except (OSError, ValueError):
        return
    for sig in (signal.SIGTERM, signal.SIGKILL):
        try:
            os.kill(pid, sig)
        except ProcessLookupError:
            return
        for _ in range(30):
            try:
                os.kill(pid, 0)
            except ProcessLookupError:
                return
            time.sleep(0.1)


def stop_all():
    for process in reversed(processes):
        if process.poll() is None:
            try:
                os.killpg(process.pid, signal.SIGTERM)
            except ProcessLookupError:
                continue
    deadline = time.time() + 5
    for process in reversed(processes):
        try:
            process.wait(max(0.1, deadline - time.time()))
        except subprocess.TimeoutExpired:
            try:
                os.killpg(process.pid, signal.SIGKILL)
            except ProcessLookupError:
                pass
            process.wait()
    stop_speech_server()


def debug_terminal():
    """A terminal for Orca's debug output, copied line by line into LOG: Orca writes to a terminal as each
    line is made, where it would write a file in blocks."""
    master, slave = pty.openpty()
    path = os.ttyname(slave)

    def copy():
        with open(LOG, "wb", buffering=0) as log:
            while True:
                try:
                    chunk = os.read(master, 65536)
                except OSError:
                    break
                if not chunk:
                    break
                log.write(chunk.replace(b"\r\n", b"\n"))

    threading.Thread(target=copy, daemon=True).start()
    return path, slave


def spoken():
    """What Orca has spoken so far: (seconds of the day or None, text) in order."""
    lines = []
    try:
        with open(LOG, encoding="utf-8", errors="replace") as f:
            for line in f:
                m = SPOKEN.match(line.strip())
                if m and m.group(5).strip():
                    when = None
                    if m.group(1):
                        when = (int(m.group(1)) * 3600 + int(m.group(2)) * 60 + int(m.group(3)) +
                                float("0." + m.group(4)))
                    lines.append((when, m.group(5)))
    except FileNotFoundError:
        pass
    return lines


def seconds_of_day():
    now = datetime.datetime.now()
    return now.hour * 3600 + now.minute * 60 + now.second + now.microsecond / 1e6


def key(*keys):
    """Presses the keys one after the other; returns how many lines had been spoken before."""
    before = len(spoken())
    for k in keys:
        subprocess.run(["xdotool", "key", "--clearmodifiers", k], check=True, timeout=10)
        time.sleep(0.3)
    return before


def wait_spoken(since, test, seconds=8.0, settle=1.0):
    """Waits until a line spoken after `since` passes `test`, then for the speech to settle; the lines."""
    deadline = time.time() + seconds
    found = False
    while time.time() < deadline:
        lines = [text for _, text in spoken()[since:]]
        if any(test(text) for text in lines):
            found = True
            break
        time.sleep(0.2)
    if found:
        count = -1
        while count != len(spoken()) and time.time() < deadline + settle:
            count = len(spoken())
            time.sleep(settle)
    return found, [text for _, text in spoken()[since:]]


def check(what, since, test, seconds=8.0):
    found, lines = wait_spoken(since, test, seconds)
    results.append(found)
    print("%s: %s" % ("PASS" if found else "FAIL", what))
    for text in lines[:12] if lines else ["(nothing spoken)"]:
        print("      | " + text)
    if len(lines) > 12:
        print("      | ... (%d lines more)" % (len(lines) - 12))
    sys.stdout.flush()
    return found


def shot(name):
    """A picture of the screen into $VELUMBRA_SHOTS, where it is set."""
    folder = os.environ.get("VELUMBRA_SHOTS")
    if folder:
        os.makedirs(folder, exist_ok=True)
        subprocess.run(["import", "-window", "root", os.path.join(folder, name + ".png")], timeout=30)


def contains(*words):
    wanted = [w.lower() for w in words]
    return lambda text: all(w in text.lower() for w in wanted)


def free_display():
    """A virtual display on the first number Xvfb finds free; its name once it accepts clients."""
    read, write = os.pipe()
    start(["Xvfb", "-displayfd", str(write), "-screen", "0", "1920x1080x24", "-nolisten", "tcp"], "xvfb",
          pass_fds=(write,))
    os.close(write)
    number = b""
    deadline = time.time() + 20
    while time.time() < deadline and not number.endswith(b"\n"):
        if not select.select([read], [], [], 0.5)[0]:
            continue
        chunk = os.read(read, 16)
        if not chunk:
            break
        number += chunk
    os.close(read)
    if not number.strip().isdigit():
        sys.exit("spoken check: Xvfb gave no display")
    display = ":" + number.strip().decode()
    for _ in range(100):
        answer = subprocess.run(["xdotool", "getmouselocation"], env=dict(os.environ, DISPLAY=display),
                                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=10)
        if answer.returncode == 0:
            return display
        time.sleep(0.1)
    sys.exit("spoken check: display %s does not answer" % display)


def scratch_home():
    """A home of the check's own: speech to ALSA's null device in Italian, Orca's settings."""
    home = os.path.join(WORK, "home")
    speechd = os.path.join(home, ".config", "speech-dispatcher")
    os.makedirs(os.path.join(speechd, "modules"), exist_ok=True)
    with open(os.path.join(speechd, "speechd.conf"), "w") as f:
        f.write('AudioOutputMethod "alsa"\nAudioALSADevice "null"\nDefaultModule espeak-ng\n'
                'DefaultLanguage "it"\nAddModule "espeak-ng" "sd_espeak-ng" "espeak-ng.conf"\n'
                'LogLevel 3\nLogDir "%s"\n' % os.path.join(WORK, "speechd"))
    open(os.path.join(speechd, "modules", "espeak-ng.conf"), "w").close()
    prefs = os.path.join(home, "orca")
    os.makedirs(prefs, exist_ok=True)
    italian = {"established": True, "family": {"name": "italian", "lang": "it", "dialect": "", "variant": None}}
    general = {"enableTutorialMessages": False, "speechServerFactory": "orca.speechdispatcherfactory",
               "speechServerInfo": None, "enableSpeech": True,
               "voices": {"default": italian, "uppercase": italian, "hyperlink": italian, "system": italian},
               "startingProfile": ["Default", "default"], "activeProfile": ["Default", "default"],
               "profile": ["Default", "default"], "enableEchoByWord": False, "enableKeyEcho": False,
               "enableBraille": False}
    with open(os.path.join(prefs, "user-settings.conf"), "w") as f:
        json.dump({"general": general, "profiles": {"default": {"profile": ["Default", "default"]}},
                   "pronunciations": {}, "keybindings": {}}, f, indent=1)
    runtime = os.path.join(WORK, "runtime")
    os.makedirs(runtime, mode=0o700, exist_ok=True)
    return home, prefs, runtime


def menu(item):
    """Opens "Archivi" and, once the screen reader has read its first item, chooses `item` by its letter."""
    since = len(spoken())
    # Alt is held while the letter is pressed, as a person does.
    for args in (["keydown", "alt"], ["key", "a"], ["keyup", "alt"]):
        subprocess.run(["xdotool"] + args, check=True, timeout=10)
        time.sleep(0.2)
    wait_spoken(since, lambda text: text.lower().startswith("azienda"), 5, 0.3)
    return key(item)


def main():
    with open(EXPECTED, encoding="utf-8") as f:
        rows = [line.rstrip("\n").split("\t") for line in f if line.strip()]
    home, prefs, runtime = scratch_home()
    # Orca speaks its own words (roles, states) in Italian: the locale is made in the scratch folder.
    locales = os.path.join(WORK, "locale")
    os.makedirs(locales, exist_ok=True)
    subprocess.run(["localedef", "-i", "it_IT", "-f", "UTF-8", os.path.join(locales, "it_IT.UTF-8")],
                   check=True, timeout=60, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    display = free_display()
    os.environ.update({"DISPLAY": display, "HOME": home, "XDG_CONFIG_HOME": os.path.join(home, ".config"),
                       "XDG_DATA_HOME": os.path.join(home, ".local", "share"), "XDG_RUNTIME_DIR": runtime,
                       "LOCPATH": locales, "LANG": "it_IT.UTF-8", "LANGUAGE": "it"})
    start(["openbox", "--config-file", "/dev/null"], "openbox")
    time.sleep(0.5)
    terminal, _ = debug_terminal()
    start(["orca", "--replace", "-u", prefs, "--debug-file", terminal], "orca")
    wait_spoken(0, lambda text: True, 20)
    # The program speaks to the accessibility bus whatever the desktop says; leaks of the toolkit at exit
    # are not this check's.
    env = dict(os.environ, QT_ACCESSIBILITY="1", QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1",
               ASAN_OPTIONS="detect_leaks=0", VELUMBRA_USER_CONFIG=os.path.join(WORK, "user.ini"))
    env.pop("QT_QPA_PLATFORM", None)
    since = len(spoken())
    start([DESKTOP, "--config", os.path.join(WORK, "velumbra.ini")], "desktop", env=env)
    if not check("the main window is spoken as it opens", since, lambda text: True, 30):
        return
    first = rows[0]

    # The structure list: "Archivi", "Archivio Depositi".
    since = menu("d")
    check("the list speaks its current structure (%s) on entry" % first[0].strip(), since,
          contains(first[0].strip()))
    since = key("Right")  # from the location to the locality
    check("Right speaks the heading \"Ubicazione della Struttura, Località\" and the value %r" % first[2].strip(),
          since, lambda text: "ubicazione della struttura, località" in text.lower()
          and first[2].strip().lower() in text.lower())
    since = key("End")
    band = lambda text: "mezzi" in text.lower() and ("servizio" in text.lower() or "riserva" in text.lower())
    found, _ = wait_spoken(since, band, 3)
    if not found:
        for _ in range(60):
            key("Right")
    check("End, then Right, reach a heading of the bus counts' band", since, band, 4)
    since = key("Home")

    # The grid's menu from the keyboard: its first entry is spoken.
    wait_spoken(since, lambda text: True, 3)
    since = key("shift+F10")
    check("the grid's menu speaks its first entry (\"Trova\")", since, contains("trova"))
    since = key("Escape")

    # The editor of the current structure, opened with Enter: its first word, and its identifier.
    wait_spoken(since, lambda text: True, 3)
    since = len(spoken())
    pressed = seconds_of_day()
    key("Return")
    opened = check("the editor speaks the structure's identifier (%s) as it opens" % first[0].strip(), since,
                   contains("definizione della struttura", "identificativo " + first[0].strip()), 10)
    lines = spoken()[since:]
    if lines and lines[0][0] is not None:
        print("      first word %.2f s after Enter" % (lines[0][0] - pressed))
    if opened:
        since = key("ctrl+Tab")
        # The page's own name, not a field's name that begins with it.
        check("a page change speaks the page \"Proprietà\"", since,
              lambda text: re.match(r"propriet\u00e0( \w+)?\.?$", text.strip().lower()) is not None)
        key("Tab", "Tab", "Tab")
        check("the open areas' owner is told apart", since, contains("propriet\u00e0", "aree scoperte"))
        check("the covered areas' owner is told apart", since, contains("propriet\u00e0", "aree coperte"))
        shot("speech-editor-ownership")
        key("Escape")
        time.sleep(1.5)

    # A deletion: "Elimina Strauttura" reached with Tab and pressed with the space bar, on the second
    # structure (the first one's error is for "Verifica Censimento").
    key("Down")
    since = len(spoken())
    for _ in range(8):
        before = key("Tab")
        found, _ = wait_spoken(before, contains("elimina"), 1.5, 0.3)
        if found:
            break
    key("space")
    check("a deletion is spoken (\"eliminata\")", since, contains("eliminata"))
    since = key("Escape")
    wait_spoken(since, contains("velumbra"), 5, 0.5)

    # "Verifica Censimento" on a census whose first structure fails the check: its first error is read.
    since = menu("v")
    # A message box, were one to come first, is closed.
    if wait_spoken(since, contains("allerta", "verifica censimento"), 4, 0.5)[0]:
        since = key("Return")
    check("\"Verifica Censimento\" reads its first error (%s) as it opens" % first[0].strip(), since,
          contains("mal allineata"), 15)
    shot("speech-census-errors")
    key("Escape")


if __name__ == "__main__":
    try:
        main()
    finally:
        stop_all()
    failed = results.count(False)
    print("spoken check: %d passed, %d failed" % (results.count(True), failed))
    sys.exit(1 if failed or not results else 0)
