#!/usr/bin/env python3
"""End-to-end cases: the built program on a real X server, used as a reader uses it.

Each case starts Folivo with a fresh install folder (FOLIVO_HOME), presses keys and clicks
toolbar buttons with xdotool, and checks what the program shows (screenshots of the root
window, compared by the page's place, size and colour, never pixel for pixel) and what it
leaves behind (the settings file, the temporary folder, the exit status).

    folivo_e2e.py --folivo PATH --make-lzh PATH CASE

It runs the case on an X server of its own without a window manager, started with
xvfb-run -a -s "-screen 0 1920x1080x24 -noreset": the main window then sits at (0, 0) with its
toolbar at the top. Standard library only.
"""

import argparse
import ctypes
import os
import shutil
import struct
import subprocess
import sys
import tempfile
import time
import zipfile
import zlib

# Places on screen, in pixels (15 twips a pixel at 96 DPI).
TOOLBAR_HEIGHT = 26  # 390 twips; the page window sits right below it
PREVIOUS_BUTTON = (76, 12)  # "前 <=": 600..1695 × 30..345 twips
NEXT_BUTTON = (150, 12)  # "次=>": 1710..2805 × 30..345 twips
ENLARGE_BUTTON = (268, 12)  # "拡大→": 3660..4395 × 30..345 twips
# The help window covers the right half of the screen from x = 960; pages are measured left
# of it.
PAGE_AREA = (0, TOOLBAR_HEIGHT, 960, 1080)
# The page must fit inside the view area: outer height (1080 px less 400 twips) less 817
# twips.
VIEW_HEIGHT = (1080 * 15 - 400 - 817) / 15

PAGE_SIZE = (200, 300)
PAGE_COLOURS = [(200, 40, 40), (40, 180, 40), (40, 40, 200)]
TIMEOUT = 15.0

# An X server resets when its last client leaves, and a program that connects meanwhile is
# refused: -noreset keeps the server up between the checks and the program's start.
XVFB_RUN = ["xvfb-run", "-a", "-s", "-screen 0 1920x1080x24 -noreset"]
# The inner run's answer when its X server is not usable (xvfb-run -a may pick a display
# number that another program on the machine takes first): the case is run again.
DISPLAY_UNUSABLE = 75
ATTEMPTS = 3


class Failure(Exception):
    pass


class DisplayLost(Exception):
    """The program could not reach the X server: the run says nothing about the program."""


def check(condition, message):
    if not condition:
        raise Failure(message)


# ---------------------------------------------------------------------------------------
# Pictures and archives the cases open


def write_bmp(path, colour, stripe_row):
    """A 24-bit BMP page of one colour with a white stripe at a row of its own."""
    width, height = PAGE_SIZE
    pad = (4 - width * 3 % 4) % 4
    body = bytes((colour[2], colour[1], colour[0])) * width + b"\0" * pad
    white = b"\xff" * (width * 3) + b"\0" * pad
    rows = [white if stripe_row <= y < stripe_row + 20 else body for y in range(height)]
    data = b"".join(reversed(rows))  # bottom-up
    header = struct.pack("<2sIHHI", b"BM", 54 + len(data), 0, 0, 54)
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 24, 0, len(data), 3780, 3780, 0, 0)
    with open(path, "wb") as f:
        f.write(header + info + data)


def make_book(folder, pages=3):
    os.makedirs(folder, exist_ok=True)
    paths = []
    for i in range(pages):
        path = os.path.join(folder, "p%d.bmp" % (i + 1))
        write_bmp(path, PAGE_COLOURS[i], 20 + 80 * i)
        paths.append(path)
    return paths


# ---------------------------------------------------------------------------------------
# The screen


class Shot:
    """The root window, read from xwd's output."""

    def __init__(self, data):
        fields = struct.unpack(">25I", data[:100])
        header_size, depth, self.width, self.height = fields[0], fields[3], fields[4], fields[5]
        self.lsb_first = fields[7] == 0
        bits_per_pixel, self.stride = fields[11], fields[12]
        self.masks = fields[14:17]
        ncolours = fields[19]
        check(bits_per_pixel in (24, 32) and depth == 24, "unexpected screen format")
        self.bpp = bits_per_pixel // 8
        start = header_size + ncolours * 12
        self.pixels = data[start : start + self.stride * self.height]

    def pixel(self, x, y):
        at = y * self.stride + x * self.bpp
        value = int.from_bytes(
            self.pixels[at : at + self.bpp], "little" if self.lsb_first else "big"
        )
        return tuple((value & m) >> ((m & -m).bit_length() - 1) for m in self.masks)

    def box(self, area=PAGE_AREA, threshold=24):
        """Bounding box (left, top, right, bottom; right and bottom exclusive) of what is
        not black (the main window's client area) inside area, or None."""
        x0, y0, x1, y1 = area
        dark = bytes(0 if b <= threshold else 1 for b in range(256))
        left = top = right = bottom = None
        for y in range(y0, y1):
            row = self.pixels[y * self.stride + x0 * self.bpp : y * self.stride + x1 * self.bpp]
            if self.bpp == 4:
                row = bytearray(row)
                row[3::4] = bytes(len(row) // 4)  # the unused byte of each pixel
            lit = bytes(row).translate(dark)
            end = len(lit.rstrip(b"\0"))
            if end == 0:
                continue
            first = len(lit) - len(lit.lstrip(b"\0"))
            l, r = x0 + first // self.bpp, x0 + (end - 1) // self.bpp + 1
            left = l if left is None else min(left, l)
            right = r if right is None else max(right, r)
            top = y if top is None else top
            bottom = y + 1
        return None if left is None else (left, top, right, bottom)

    def save_png(self, path):
        # Byte offset of red, green and blue inside a pixel, from the channel masks.
        def offset(mask):
            byte = ((mask & -mask).bit_length() - 1) // 8
            return byte if self.lsb_first else self.bpp - 1 - byte

        channels = [offset(m) for m in self.masks]
        rows = []
        for y in range(self.height):
            pixels = self.pixels[y * self.stride : y * self.stride + self.width * self.bpp]
            rgb = bytearray(self.width * 3)
            for i, at in enumerate(channels):
                rgb[i::3] = pixels[at :: self.bpp]
            rows.append(b"\0" + bytes(rgb))

        def chunk(kind, body):
            return (struct.pack(">I", len(body)) + kind + body
                    + struct.pack(">I", zlib.crc32(kind + body)))

        with open(path, "wb") as f:
            f.write(b"\x89PNG\r\n\x1a\n")
            f.write(chunk(b"IHDR", struct.pack(">IIBBBBB", self.width, self.height, 8, 2, 0, 0, 0)))
            f.write(chunk(b"IDAT", zlib.compress(b"".join(rows), 6)))
            f.write(chunk(b"IEND", b""))


def screenshot():
    return Shot(subprocess.run(["xwd", "-root", "-silent"], check=True,
                               stdout=subprocess.PIPE).stdout)


def near(colour, expected, tolerance=16):
    return all(abs(a - b) <= tolerance for a, b in zip(colour, expected))


def centre(box):
    return ((box[0] + box[2]) // 2, (box[1] + box[3]) // 2)


def width(box):
    return box[2] - box[0]


# ---------------------------------------------------------------------------------------
# X: windows, keys, clicks


def xdotool(*args):
    return subprocess.run(["xdotool", *map(str, args)], stdout=subprocess.PIPE,
                          stderr=subprocess.DEVNULL, text=True).stdout


def send_close_request(window):
    """Sends WM_DELETE_WINDOW, which a window manager sends when the user closes a window.
    (xdotool's windowclose destroys the window instead, which no user can do.)"""
    x11 = ctypes.cdll.LoadLibrary("libX11.so.6")
    x11.XOpenDisplay.restype = ctypes.c_void_p
    x11.XOpenDisplay.argtypes = [ctypes.c_char_p]
    x11.XInternAtom.restype = ctypes.c_ulong
    x11.XInternAtom.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int]
    x11.XSendEvent.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_long,
                               ctypes.c_void_p]
    x11.XFlush.argtypes = [ctypes.c_void_p]
    x11.XCloseDisplay.argtypes = [ctypes.c_void_p]

    class ClientMessage(ctypes.Structure):
        _fields_ = [("type", ctypes.c_int), ("serial", ctypes.c_ulong),
                    ("send_event", ctypes.c_int), ("display", ctypes.c_void_p),
                    ("window", ctypes.c_ulong), ("message_type", ctypes.c_ulong),
                    ("format", ctypes.c_int), ("data", ctypes.c_long * 5),
                    ("pad", ctypes.c_long * 12)]  # XEvent is 24 longs

    display = x11.XOpenDisplay(None)
    check(display, "cannot open the X display")
    event = ClientMessage()
    event.type = 33  # ClientMessage
    event.display = display
    event.window = window
    event.message_type = x11.XInternAtom(display, b"WM_PROTOCOLS", 0)
    event.format = 32
    event.data[0] = x11.XInternAtom(display, b"WM_DELETE_WINDOW", 0)
    x11.XSendEvent(display, window, 0, 0, ctypes.byref(event))
    x11.XFlush(display)
    x11.XCloseDisplay(display)


class Folivo:
    def __init__(self, exe, home, args, workdir):
        runtime = os.path.join(workdir, "runtime")
        os.makedirs(runtime, mode=0o700, exist_ok=True)
        env = dict(os.environ, FOLIVO_HOME=home, XDG_RUNTIME_DIR=runtime, QT_QPA_PLATFORM="xcb")
        self.home = home
        self.log = open(os.path.join(workdir, "folivo.log"), "wb")
        self.process = subprocess.Popen([exe, *args], env=env, stdout=self.log,
                                        stderr=subprocess.STDOUT)
        self.main = None

    def running(self):
        return self.process.poll() is None

    def wait_until(self, what, probe, timeout=TIMEOUT, while_running=True):
        deadline = time.monotonic() + timeout
        while True:
            result = probe()
            if result:
                return result
            if while_running and not self.running():
                self.log.flush()
                with open(self.log.name, errors="replace") as f:
                    if "could not connect to display" in f.read():
                        raise DisplayLost()
                raise Failure("the program ended with status %s while waiting for %s"
                              % (self.process.returncode, what))
            if time.monotonic() > deadline:
                raise Failure("timed out waiting for " + what)
            time.sleep(0.1)

    def windows(self):
        """The program's visible top-level windows: {id: (x, y, width, height)}."""
        found = {}
        for line in xdotool("search", "--onlyvisible", "--pid", self.process.pid).split():
            geometry = dict(item.split("=", 1) for item in
                            xdotool("getwindowgeometry", "--shell", line).split())
            if geometry:
                found[int(line)] = tuple(int(geometry[k]) for k in ("X", "Y", "WIDTH", "HEIGHT"))
        return found

    def main_window(self):
        """Waits for the main window: across the screen's width, at the top."""
        def probe():
            for window, (x, y, w, h) in self.windows().items():
                if (x, y, w) == (0, 0, 1920) and h > 1000:
                    return window
            return None
        self.main = self.wait_until("the main window", probe)
        return self.main

    def other_windows(self):
        return {w: g for w, g in self.windows().items() if w != self.main}

    def focus(self, window):
        # Without a window manager nobody gives the keyboard focus; set it as one would.
        xdotool("windowfocus", window)
        self.wait_until("the focus", lambda: xdotool("getwindowfocus").strip() == str(window))

    def key(self, name, window=None):
        self.focus(window or self.main)
        xdotool("key", name)

    def click(self, place):
        xdotool("mousemove", place[0], place[1], "click", 1)

    def close(self):
        """Closes the main window as a user would and returns the exit status."""
        send_close_request(self.main)
        return self.exit_status()

    def exit_status(self, timeout=TIMEOUT):
        try:
            return self.process.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            raise Failure("the program did not end")

    def stop(self):
        if self.running():
            self.process.kill()
            self.process.wait()
        self.log.close()

    # What the program leaves in its install folder.

    def settings(self):
        """Section Folders of the settings file as a dict, or None when there is no file.
        Fails when the file cannot be read as an INI file."""
        path = os.path.join(self.home, "Folivo.ini")
        if not os.path.exists(path):
            return None
        values, section = {}, None
        with open(path, encoding="utf-8") as f:
            for line in f.read().splitlines():
                if not line.strip():
                    continue
                if line.startswith("["):
                    check(line.endswith("]"), "settings line not understood: %r" % line)
                    section = line[1:-1]
                    continue
                check("=" in line, "settings line not understood: %r" % line)
                key, value = line.split("=", 1)
                if section == "Folders":
                    values[key] = value
        return values

    def temporary_folder(self):
        folder = os.path.join(self.home, "tmp")
        if not os.path.isdir(folder):
            return None
        # The mark that makes the folder Folivo's own is no page.
        return sorted(name for name in os.listdir(folder) if name != ".folivo-tmp")


class Session:
    """What a case works with: a fresh folder, the program, the last screenshot."""

    def __init__(self, options, case):
        self.options = options
        self.case = case
        self.dir = tempfile.mkdtemp(prefix="folivo-e2e-")
        self.home = os.path.join(self.dir, "home")
        os.mkdir(self.home)
        self.app = None
        self.last = None

    def start(self, *args):
        self.app = Folivo(self.options.folivo, self.home, list(args), self.dir)
        self.app.main_window()
        return self.app

    def shot(self):
        self.last = screenshot()
        return self.last

    def page(self, what="a page", accept=lambda box, shot: True):
        """Waits until the page area shows a page that accept() likes; returns its box."""
        def probe():
            shot = self.shot()
            box = shot.box()
            return (box, shot) if box and accept(box, shot) else None
        return self.app.wait_until(what, probe)

    def page_in_colour(self, index, same_size_as=None):
        def accept(box, shot):
            if not near(shot.pixel(*centre(box)), PAGE_COLOURS[index]):
                return False
            return same_size_as is None or box == same_size_as
        box, _ = self.page("page %d on screen" % (index + 1), accept)
        return box

    def finish(self, failed):
        if failed and self.last is not None:
            name = os.path.abspath("e2e-%s-failure.png" % self.case)
            self.last.save_png(name)
            print("last screenshot: " + name)
        if self.app:
            self.app.stop()
            if failed:
                with open(os.path.join(self.dir, "folivo.log"), errors="replace") as f:
                    output = f.read().strip()
                if output:
                    print("program output:\n" + output)
        shutil.rmtree(self.dir, ignore_errors=True)


# ---------------------------------------------------------------------------------------
# The cases


def check_first_page_fitted(box):
    left, top, right, bottom = box
    check(left == 0 and abs(top - TOOLBAR_HEIGHT) <= 1,
          "the page is not at the top-left corner below the toolbar: %r" % (box,))
    height = bottom - top
    check(VIEW_HEIGHT - 10 <= height <= VIEW_HEIGHT,
          "the page is not fitted to the view area's height: %r" % (box,))
    check(abs((right - left) / height - PAGE_SIZE[0] / PAGE_SIZE[1]) < 0.01,
          "the page lost its shape: %r" % (box,))


def case_folder_start(s):
    # A folder name with a blank and a non-ASCII character, passed as one argument.
    book = os.path.join(s.dir, "Vol 1 本")
    make_book(book)
    app = s.start(book)
    check_first_page_fitted(s.page_in_colour(0))
    settings = app.settings()
    check(settings == {"000": book, "Current": book},
          "the folder is not registered and current: %r" % settings)
    # BMP pages and the help picture are read by Qt itself: no image plugin is loaded for
    # them, nor to find out what they are.
    with open("/proc/%d/maps" % app.process.pid) as maps:
        plugins = sorted({line.split("/")[-1].strip() for line in maps
                          if "/plugins/imageformats/" in line})
    check(not plugins, "image plugins loaded for BMP pages: %s" % ", ".join(plugins))
    check(app.close() == 0, "closing the main window did not end with status 0")


def case_space_turns_page(s):
    book = os.path.join(s.dir, "book")
    make_book(book)
    app = s.start(book)
    first = s.page_in_colour(0)
    app.key("space")
    s.page_in_colour(1, same_size_as=first)
    app.key("space")
    s.page_in_colour(2, same_size_as=first)
    check(app.close() == 0, "closing the main window did not end with status 0")


def case_click_next_and_previous(s):
    book = os.path.join(s.dir, "book")
    make_book(book)
    app = s.start(book)
    first = s.page_in_colour(0)
    app.click(NEXT_BUTTON)
    s.page_in_colour(1, same_size_as=first)
    app.click(NEXT_BUTTON)
    s.page_in_colour(2, same_size_as=first)
    app.click(PREVIOUS_BUTTON)
    s.page_in_colour(1, same_size_as=first)
    # The click leaves the focus on the next button, so the space bar goes on from here.
    app.key("space")
    s.page_in_colour(2, same_size_as=first)
    check(app.close() == 0, "closing the main window did not end with status 0")


def case_last_page_says_so(s):
    book = os.path.join(s.dir, "book")
    make_book(book, pages=2)
    app = s.start(book)
    first = s.page_in_colour(0)
    app.key("space")
    s.page_in_colour(1, same_size_as=first)
    app.key("space")
    boxes = app.wait_until("the end-of-list message", app.other_windows)
    s.page_in_colour(1, same_size_as=first)
    app.key("Return", window=next(iter(boxes)))
    app.wait_until("the message to close", lambda: not app.other_windows())
    check(app.running(), "answering the message ended the program")
    s.page_in_colour(1, same_size_as=first)
    check(app.close() == 0, "closing the main window did not end with status 0")


def case_keypad_zoom(s):
    book = os.path.join(s.dir, "book")
    make_book(book)
    app = s.start(book)
    fitted = s.page_in_colour(0)

    def page_of_width(factor):
        wanted = width(fitted) * factor
        box, _ = s.page("the page at %.1f times its fit" % factor,
                        lambda box, shot: abs(width(box) - wanted) <= 2 and box[:2] == fitted[:2]
                        and near(shot.pixel(box[0] + 5, box[3] - 5), PAGE_COLOURS[0]))
        return box

    app.key("KP_Add")
    page_of_width(1.2)
    app.click(ENLARGE_BUTTON)
    page_of_width(1.4)
    app.key("KP_Subtract")
    page_of_width(1.2)
    # The main keyboard's plus is no zoom key: the page stays as it is.
    app.key("plus")
    time.sleep(0.5)
    page_of_width(1.2)
    check(app.close() == 0, "closing the main window did not end with status 0")


def check_archive_opened(s, app, names):
    first = s.page_in_colour(0)
    check_first_page_fitted(first)
    tmp = os.path.join(s.home, "tmp")
    check(app.temporary_folder() == names,
          "the temporary folder holds %r" % (app.temporary_folder(),))
    settings = app.settings()
    check(settings == {"000": tmp, "Current": tmp},
          "the temporary folder is not registered and current: %r" % settings)
    app.key("space")
    s.page_in_colour(1, same_size_as=first)
    check(app.close() == 0, "closing the main window did not end with status 0")
    check(app.temporary_folder() == names, "the pages did not stay in the temporary folder")


def case_zip_start(s):
    pages = make_book(os.path.join(s.dir, "pages"))
    archive = os.path.join(s.dir, "book.zip")
    with zipfile.ZipFile(archive, "w", zipfile.ZIP_DEFLATED) as z:
        for page in pages:
            z.write(page, os.path.basename(page))
    app = s.start(archive)
    check_archive_opened(s, app, ["p1.bmp", "p2.bmp", "p3.bmp"])


def case_lzh_start(s):
    pages = make_book(os.path.join(s.dir, "pages"))
    archive = os.path.join(s.dir, "book.lzh")
    subprocess.run([s.options.make_lzh, archive, *pages], check=True)
    app = s.start(archive)
    check_archive_opened(s, app, ["p1.bmp", "p2.bmp", "p3.bmp"])


def case_unsupported_file(s):
    path = os.path.join(s.dir, "book.rar")
    with open(path, "wb") as f:
        f.write(b"Rar!\x1a\x07\x00")
    app = s.start(path)
    boxes = app.wait_until("the message about the file", app.other_windows)
    time.sleep(0.3)
    check(app.running(), "the program ended before the message was answered")
    app.key("Return", window=next(iter(boxes)))
    check(app.exit_status() == 1, "a rejected command-line path did not end with status 1")
    check(app.settings() is None, "a rejected path was written into the settings")


def case_current_folder(s):
    book = os.path.join(s.dir, "book")
    make_book(book)
    with open(os.path.join(s.home, "Folivo.ini"), "w", encoding="utf-8") as f:
        f.write("[Folders]\n000=%s\nCurrent=%s\n" % (book, book))
    app = s.start()
    check_first_page_fitted(s.page_in_colour(0))
    check(not app.other_windows(), "a window asks for a folder although one is current")
    check(app.settings() == {"000": book, "Current": book}, "the settings changed")
    check(app.close() == 0, "closing the main window did not end with status 0")


def case_asks_for_folder(s):
    app = s.start()
    dialogs = app.wait_until("the folder window", app.other_windows)
    left_of_dialog = min(PAGE_AREA[2], min(x for x, _, _, _ in dialogs.values()))
    check(s.shot().box((0, TOOLBAR_HEIGHT, left_of_dialog, PAGE_AREA[3])) is None,
          "a page is shown although no folder was given")
    # Closing the folder window without a choice leaves the program waiting for one.
    send_close_request(next(iter(dialogs)))
    app.wait_until("the folder window to close", lambda: not app.other_windows())
    check(app.running(), "closing the folder window ended the program")
    check(app.close() == 0, "closing the main window did not end with status 0")


CASES = {name[len("case_"):]: f for name, f in globals().items() if name.startswith("case_")}


def display_usable():
    for _ in range(20):
        if xdotool("getdisplaygeometry").split() == ["1920", "1080"]:
            return True
        time.sleep(0.1)
    return False


def run_on_own_display(argv):
    """Runs this script with --inside under xvfb-run, again when the display was not usable.
    The X authority file lives in a folder of this run's own rather than in xvfb-run's
    temporary folder under /tmp."""
    for attempt in range(1, ATTEMPTS + 1):
        auth = tempfile.mkdtemp(prefix="folivo-e2e-auth-")
        try:
            status = subprocess.run([*XVFB_RUN[:2], "-f", os.path.join(auth, "Xauthority"),
                                     *XVFB_RUN[2:], sys.executable, os.path.abspath(__file__),
                                     "--inside", *argv]).returncode
        finally:
            shutil.rmtree(auth, ignore_errors=True)
        if status != DISPLAY_UNUSABLE:
            return status
        print("attempt %d: the X server was not usable" % attempt)
    return 1


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--folivo", required=True)
    parser.add_argument("--make-lzh", required=True)
    parser.add_argument("--inside", action="store_true", help="already under xvfb-run")
    parser.add_argument("case", choices=sorted(CASES))
    options = parser.parse_args()
    if not options.inside:
        return run_on_own_display([a for a in sys.argv[1:] if a != "--inside"])
    if not display_usable():
        print("no usable 1920 x 1080 screen on display %s" % os.environ.get("DISPLAY"))
        return DISPLAY_UNUSABLE

    session = Session(options, options.case)
    started = time.monotonic()
    failed = True
    try:
        CASES[options.case](session)
        failed = False
    except Failure as failure:
        print("FAILED: %s" % failure)
    except DisplayLost:
        print("the program could not connect to display %s (authority file %s)"
              % (os.environ.get("DISPLAY"),
                 "present" if os.path.exists(os.environ["XAUTHORITY"]) else "gone"))
        failed = False
        return DISPLAY_UNUSABLE
    finally:
        session.finish(failed)
    print("%s: %s in %.1f s" % (options.case, "failed" if failed else "passed",
                                time.monotonic() - started))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
