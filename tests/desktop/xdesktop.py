"""A real desktop for ore-host: Xvfb, openbox, a seeded SQLite demo
database, the order server and the host, driven by real key and mouse events
through xdotool.

The host writes what it does to a trace file (--trace): focus moves, messages
shown, windows opened and closed, keys handed to the form model. Tests wait for
trace lines and window titles instead of sleeping.
"""

import os
import re
import shutil
import signal
import socket
import sqlite3
import subprocess
import tempfile
import time

HOST_TITLE = "Gestão de Encomendas"
SCREEN_TITLE = "Cancelamento da Aprovação da Encomenda"
FILTER_TITLE = "Filtro de Cancelamento da Aprovação da Encomenda"
SIGN_ON_TITLE = "Identificação do Operador"
RENEWAL_TITLE = "Sessão Expirada"
# A demo operator with the right to cancel on branch 0001 (db/DEMO.md).
OPERATOR = "SUPERVISOR"
PASSWORD = "supervisor123"
MESSAGE_TITLES = {"mtError": "Erro", "mtWarning": "Atenção", "mtConfirmation": "Confirmação",
                  "mtInformation": "Informação", "mtCustom": "Mensagem"}
WAIT = 20.0  # seconds any one expected thing may take on a loaded machine


class Failure(AssertionError):
    pass


def free_port():
    with socket.socket() as probe:
        probe.bind(("127.0.0.1", 0))
        return probe.getsockname()[1]


class Desktop:
    def __init__(self, bin_dir, size="1024x768", orders=60, host_args=(), sign_on=True):
        self.bin = bin_dir
        self.work = tempfile.mkdtemp(prefix="ore-xdesktop.")
        self.size = size
        self.processes = []
        self.trace_file = os.path.join(self.work, "trace.log")
        self.database = os.path.join(self.work, "demo.db")
        self.read_lines = 0
        self.host = None
        self.server = None
        self.port = None
        self.orders = orders
        self.host_args = list(host_args)
        self.sign_on_at_start = sign_on

    # ---- start and stop -------------------------------------------------

    def __enter__(self):
        try:
            self.start()
        except BaseException:
            self.keep_evidence()
            self.stop()
            raise
        return self

    def __exit__(self, kind, value, traceback):
        if kind is not None:
            self.keep_evidence()
        self.stop()
        return False

    def start(self):
        self.start_x()
        subprocess.run([os.path.join(self.bin, "ore-demo-db"), "--database", self.database,
                        "--orders", str(self.orders)], check=True, stdout=subprocess.DEVNULL)
        self.port = free_port()
        self.start_server()
        self.start_host()

    def start_x(self):
        read_end, write_end = os.pipe()
        xvfb = subprocess.Popen(["Xvfb", "-displayfd", str(write_end), "-screen", "0",
                                 self.size + "x24", "-nolisten", "tcp"],
                                pass_fds=[write_end], stderr=subprocess.DEVNULL)
        self.processes.append(xvfb)
        os.close(write_end)
        with os.fdopen(read_end) as pipe:
            number = pipe.readline().strip()
        if not number:
            raise Failure("Xvfb did not start")
        self.env = dict(os.environ, DISPLAY=":" + number)
        self.env.pop("QT_QPA_PLATFORM", None)
        self.env.pop("WAYLAND_DISPLAY", None)
        self.env["QT_QPA_PLATFORM"] = "xcb"
        self.env["HOME"] = self.work
        # Under the sanitizer build: libxkbcommon-x11 hands strndup a buffer
        # that is not NUL-terminated, which strict string checks report as an
        # overflow inside that system library before the first window shows.
        asan = self.env.get("ASAN_OPTIONS")
        if asan:
            self.env["ASAN_OPTIONS"] = ":".join(
                option for option in asan.split(":")
                if not option.startswith("strict_string_checks"))
        self.start_window_manager()
        self.bind_accented_keys()

    def start_window_manager(self):
        """Starts openbox and waits until it manages the screen. An openbox
        that quits at start is started again, twice at most, and what it
        said goes into the failure: a CI run once waited the whole time for
        a window manager that gave no sign of why."""
        log_name = os.path.join(self.work, "openbox.log")
        deadline = time.monotonic() + WAIT
        for attempt in range(3):
            with open(log_name, "ab") as log:
                wm = subprocess.Popen(["openbox", "--sm-disable"], env=self.env,
                                      stdout=log, stderr=log)
            self.processes.append(wm)
            while time.monotonic() < deadline and wm.poll() is None:
                probe = subprocess.run(["xprop", "-root", "_NET_SUPPORTING_WM_CHECK"],
                                       env=self.env, capture_output=True, text=True)
                if "window id" in probe.stdout:
                    return
                time.sleep(0.05)
            if wm.poll() is None:
                break
        with open(log_name, errors="replace") as log:
            said = log.read().strip()
        raise Failure("openbox did not start" + (": " + said if said else ""))

    # The accented letters an operator types, lower and upper case. Xvfb's
    # keymap has none of them; xdotool would bind each to a spare key code
    # just before typing it, and a host that reads the key before it sees
    # the new mapping loses the letter. Bound once, before the host starts,
    # they are ordinary keys.
    ACCENTED = ["aacute", "agrave", "acircumflex", "atilde", "eacute", "ecircumflex", "iacute",
                "oacute", "ocircumflex", "otilde", "uacute", "udiaeresis", "ccedilla"]

    def bind_accented_keys(self):
        keymap = subprocess.run(["xmodmap", "-pke"], env=self.env, capture_output=True,
                                text=True, check=True).stdout
        spare = [int(m.group(1)) for m in re.finditer(r"^keycode\s+(\d+)\s*=\s*$", keymap, re.M)
                 if int(m.group(1)) > 8]
        if len(spare) < len(self.ACCENTED):
            raise Failure("the X keymap has only %d spare key codes" % len(spare))
        expressions = []
        for code, letter in zip(spare, self.ACCENTED):
            upper = letter[0].upper() + letter[1:]
            expressions += ["-e", "keycode %d = %s %s" % (code, letter, upper)]
        subprocess.run(["xmodmap"] + expressions, env=self.env, check=True)

    def start_server(self):
        log = open(os.path.join(self.work, "server.log"), "ab")
        self.server = subprocess.Popen(
            [os.path.join(self.bin, "ore06100-server"), "--listen", "127.0.0.1:%d" % self.port,
             "--database", self.database,
             # The tests expire sessions in the database and expect the next
             # call to see it at once.
             "--session-cache-ms", "0"], stdout=log, stderr=log)
        self.processes.append(self.server)
        deadline = time.monotonic() + WAIT
        while time.monotonic() < deadline:
            try:
                socket.create_connection(("127.0.0.1", self.port), timeout=0.2).close()
                return
            except OSError:
                if self.server.poll() is not None:
                    raise Failure("the server stopped at start")
                time.sleep(0.05)
        raise Failure("the server did not start")

    def stop_server(self):
        self.server.send_signal(signal.SIGTERM)
        self.server.wait(timeout=WAIT)

    def start_host(self):
        log = open(os.path.join(self.work, "host.log"), "ab")
        self.host = subprocess.Popen(
            [os.path.join(self.bin, "ore-host"), "--server-host", "127.0.0.1", "--server-port",
             str(self.port), "--database", self.database, "--operator", OPERATOR, "--trace",
             self.trace_file] + self.host_args,
            env=self.env, stdout=log, stderr=log)
        self.processes.append(self.host)
        if "--password-file" in self.host_args:
            self.wait_trace(r"^session %s " % re.escape(OPERATOR))
            self.main = self.wait_window("^%s$" % HOST_TITLE)
            return
        self.sign_on_window = self.wait_window("^%s$" % SIGN_ON_TITLE)
        self.wait_keyboard_in(SIGN_ON_TITLE)
        if self.sign_on_at_start:
            self.sign_on(PASSWORD)

    def sign_on(self, password):
        """Types the password into the sign-on window, as the operator does;
        the main window opens."""
        self.type(password)
        self.key("Return")
        self.wait_trace(r"^session %s " % re.escape(OPERATOR))
        self.main = self.wait_window("^%s$" % HOST_TITLE)

    def expire_session(self):
        """Every session of the database ends now, as when its time is up."""
        self.sql("UPDATE SESSAOOPER SET DTEXPIRA = DTINICIO")

    def assert_no_secret_in_trace(self, *secrets):
        """Neither the trace nor the host's or the server's log holds them."""
        for name in (self.trace_file, os.path.join(self.work, "host.log"),
                     os.path.join(self.work, "server.log")):
            with open(name, "rb") as log:
                written = log.read()
            for secret in secrets:
                if secret.encode() in written:
                    raise Failure("%s holds a secret" % os.path.basename(name))

    def stop(self):
        for process in reversed(self.processes):
            if process.poll() is None:
                process.terminate()
                try:
                    process.wait(timeout=5)
                except subprocess.TimeoutExpired:
                    process.kill()
                    process.wait()
        self.processes = []
        if os.environ.get("ORE_XDESKTOP_KEEP") is None:
            shutil.rmtree(self.work, ignore_errors=True)

    def keep_evidence(self):
        """On a failure: the screen and the trace go next to the test's output."""
        target = os.environ.get("ORE_XDESKTOP_EVIDENCE", tempfile.gettempdir())
        try:
            os.makedirs(target, exist_ok=True)
            self.shot(os.path.join(target, "failure.png"))
            for name in ("host.log", "server.log", "openbox.log"):
                if os.path.exists(os.path.join(self.work, name)):
                    shutil.copy(os.path.join(self.work, name), os.path.join(target, name))
            if os.path.exists(self.trace_file):
                shutil.copy(self.trace_file, os.path.join(target, "failure-trace.log"))
            print("evidence in", target)
        except Exception as problem:  # the failure itself matters more
            print("no evidence:", problem)

    # ---- X ---------------------------------------------------------------

    def x(self, *arguments, check=True):
        result = subprocess.run(["xdotool"] + [str(a) for a in arguments], env=self.env,
                                capture_output=True, text=True, timeout=WAIT + 5)
        if check and result.returncode != 0:
            raise Failure("xdotool %s: %s" % (" ".join(map(str, arguments)), result.stderr))
        return result.stdout.strip()

    def windows(self, title_pattern):
        found = self.x("search", "--onlyvisible", "--name", title_pattern, check=False)
        return found.split() if found else []

    def wait_window(self, title_pattern, timeout=WAIT):
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            found = self.windows(title_pattern)
            if found:
                return found[-1]
            time.sleep(0.05)
        raise Failure("no window titled %r; shown: %s" % (title_pattern, self.titles()))

    def wait_no_window(self, title_pattern, timeout=WAIT):
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            if not self.windows(title_pattern):
                return
            time.sleep(0.05)
        raise Failure("window %r still shown" % title_pattern)

    def titles(self):
        found = self.x("search", "--onlyvisible", "--name", ".", check=False).split()
        return [self.x("getwindowname", w, check=False) for w in found]

    def active_title(self):
        return self.x("getactivewindow", "getwindowname", check=False)

    def key(self, *keys):
        """Real key presses to the window that has the keyboard."""
        for key in keys:
            self.x("key", "--clearmodifiers", key)

    def type(self, text):
        self.x("type", "--delay", "20", text)

    def click(self, window, x, y):
        self.x("mousemove", "--window", window, x, y)
        self.x("click", 1)

    def geometry(self, window):
        out = self.x("getwindowgeometry", "--shell", window)
        values = dict(line.split("=") for line in out.splitlines())
        return int(values["X"]), int(values["Y"]), int(values["WIDTH"]), int(values["HEIGHT"])

    def resize(self, window, width, height):
        self.x("windowsize", "--sync", window, width, height)

    def shot(self, path, window="root"):
        subprocess.run(["import", "-window", window, path], env=self.env, check=True,
                       timeout=WAIT)

    # ---- the host's trace ----------------------------------------------

    def trace(self):
        try:
            with open(self.trace_file, encoding="utf-8") as log:
                return log.read().splitlines()
        except FileNotFoundError:
            return []

    def mark(self):
        """Later waits look only at trace lines written from now on."""
        self.read_lines = len(self.trace())

    def since_mark(self):
        return self.trace()[self.read_lines:]

    def wait_trace(self, pattern, timeout=WAIT):
        """The first trace line since the mark matching pattern; the mark moves past it."""
        expression = re.compile(pattern)
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            lines = self.trace()
            for index in range(self.read_lines, len(lines)):
                if expression.search(lines[index]):
                    self.read_lines = index + 1
                    return lines[index]
            if self.host.poll() is not None:
                raise Failure("ore-host ended (%d) waiting for %r" % (self.host.returncode,
                                                                      pattern))
            time.sleep(0.03)
        raise Failure("no trace line %r; lines since mark:\n%s" %
                      (pattern, "\n".join(self.trace()[self.read_lines:])))

    def wait_keyboard_in(self, window_title):
        """A window just shown gets keys only once it has the keyboard."""
        deadline = time.monotonic() + WAIT
        while time.monotonic() < deadline:
            if self.focus().startswith(window_title + " "):
                return
            time.sleep(0.03)
        raise Failure("the keyboard is at %r, not in %r" % (self.focus(), window_title))

    def wait_message(self, pattern):
        """A message box shown and ready for its answer."""
        line = self.wait_trace(pattern)
        kind = line.split(" ")[1]
        self.wait_keyboard_in(MESSAGE_TITLES[kind])
        return line

    def wait_picklist(self, title):
        line = self.wait_trace(r"^picklist shown %s" % re.escape(title))
        self.wait_keyboard_in(title)
        return line

    def settle(self):
        """Waits until the host has handled everything sent so far: a key the
        model ignores comes back through the trace once all before it did."""
        self.key("ctrl+shift+F11")
        self.wait_trace(r"^settled$")

    def layout(self):
        """The layout lines of the last settle: {(form, control): (x, y, w, h, state)}."""
        lines = self.trace()
        end = max(i for i, line in enumerate(lines) if line == "settled")
        start = end
        while start > 0 and lines[start - 1].split(" ")[0] in ("form", "control", "grid",
                                                                "scroll"):
            start -= 1
        result = {"grid": {}, "scroll": {}, "control": {}, "form": {}}
        for line in lines[start:end]:
            parts = line.split(" ")
            if parts[0] == "control":
                result["control"][parts[2]] = tuple(map(int, parts[3:7])) + (parts[7],)
            elif parts[0] == "grid":
                values = dict(zip(parts[3::2], parts[4::2]))
                result["grid"][parts[2]] = {"rows": int(values["rows"]),
                                            "current": int(values["current"]),
                                            "top": int(values["top"]),
                                            "scroll": tuple(map(int, parts[-3:]))}
            elif parts[0] == "scroll":
                result["scroll"][parts[1]] = (parts[2] == "1", parts[3] == "1")
            elif parts[0] == "form":
                result["form"][parts[1]] = tuple(map(int, parts[2:6])) + (parts[6],)
        return result

    def layout_of(self, control):
        """Where a control is in the host's window, once everything is handled."""
        self.settle()
        x, y, width, height, _ = self.layout()["control"][control]
        return x, y, width, height

    def maximize_screen(self):
        """A double click on the child window's title bar maximizes it."""
        self.settle()
        x, y, width, _, _ = self.layout()["form"]["frmCancAprovEnc"]
        self.x("mousemove", "--window", self.main, x + width // 2, y - 8)
        self.x("click", "--repeat", "2", "--delay", "80", 1)

    def focus(self):
        """The last focus line of the trace: 'FORM CONTROL'."""
        for line in reversed(self.trace()):
            if line.startswith("focus "):
                return line[len("focus "):]
        return ""

    def wait_focus(self, expected, timeout=WAIT):
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            if self.focus() == expected:
                return
            time.sleep(0.03)
        raise Failure("focus is %r, expected %r" % (self.focus(), expected))

    def messages(self):
        return [line for line in self.trace() if line.startswith("message ")]

    def assert_no_error_window(self):
        errors = [line for line in self.trace() if line.startswith("message mtError")]
        if errors or self.windows("^Erro$"):
            raise Failure("error shown: %s" % errors)

    # ---- database --------------------------------------------------------

    def sql(self, query, *parameters):
        with sqlite3.connect(self.database) as connection:
            return connection.execute(query, parameters).fetchall()

    # ---- common operator steps ------------------------------------------

    def open_screen(self):
        """Keyboard only: Alt+E opens the orders menu, Enter its only item."""
        self.mark()
        self.x("windowactivate", "--sync", self.main)
        self.key("alt+e")
        self.wait_trace(r"^menu popup Encomendas$")
        self.key("Return")
        self.wait_trace(r"^window shown frmCancAprovEnc$")
        self.wait_trace(r"^focus frmCancAprovEnc edtCdFilial$")

    def load_orders(self, first="101", last="199"):
        """From the branch: leave it, fill the order range, confirm."""
        self.mark()
        self.key("Tab")
        self.wait_window("^%s$" % FILTER_TITLE)
        self.wait_trace(r"^focus frmFiltroCancAprovEnc medOrcaDe$")
        self.type(first)
        self.key("Tab")
        self.wait_trace(r"^focus frmFiltroCancAprovEnc medOrcaAte$")
        self.key("ctrl+a")
        self.type(last)
        self.key("Tab")
        self.wait_trace(r"^focus frmFiltroCancAprovEnc depDeEntrega$")
        self.key("ctrl+Return")
        self.wait_no_window("^%s$" % FILTER_TITLE)
        self.wait_trace(r"^focus frmCancAprovEnc dbgPadrao$")
