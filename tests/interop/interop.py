#!/usr/bin/python3
"""xqt-cli against cameras whose HTTP side is a real web server: the project's own camera CGI programs
behind BusyBox httpd (shell) and lighttpd (Python), and a small raw relay that puts an interim
"100 Continue" ahead of every answer. The servers are started here on loopback addresses and stopped
by their process ids; a camera "reboots" after its flash is written by having its server stopped and
started again with the new version.

    interop.py --cli PATH --case NAME [--work DIR]

Every case checks what the camera received: one image, and its own configuration back, once (or, when
the camera refuses the restore, never). Runs inside an isolated network namespace (ctest is started in
one); it binds only 127.0.0.0/8.
"""

import argparse
import base64
import json
import os
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import threading
import time

HERE = os.path.dirname(os.path.realpath(__file__))
# The tool runs in scaled time against servers whose programs take real time: at least this scale,
# more when one exchange with the camera's programs takes longer (a busy machine), so that the
# tool's inquiry limit (20 s x scale) stays INQUIRY_ROOM exchanges long.
LEAST_TIME_SCALE = 0.05
INQUIRY_ROOM = 4
PASSWORD = "Gate-3.admin"  # not the simulator's: the credential travels as given
IMAGE_SIZE = 10035200


def config_bytes(serial):
    """A configuration that keeps a line-normalising or boundary-confused reader honest."""
    text = b"[camera]\r\nSerial=" + serial.encode() + b"\nName=Gate 3\r\n\r\n--vexoboundary\r\n\x00\x01\xfe\xff\r"
    return text + bytes((i * 37 + 11) % 256 for i in range(3000)).replace(b"<", b"(")


class Camera:
    """One camera: a folder with its document root and state, and its server process."""

    def __init__(self, work, name, kind, ip, port=8080, serial="20060015", **options):
        self.kind, self.ip, self.port, self.serial = kind, ip, port, serial
        self.root = os.path.join(work, name)
        self.state = os.path.join(self.root, "state")
        self.www = os.path.join(self.root, "www")
        self.options = options
        self.process = None
        self.config = config_bytes(serial)
        self._watching = True
        # Seconds the server is down while the camera reboots: past the tool's first verification
        # wait (60 s x the time scale), set for each run of the tool.
        self.reboot_down = 60 * LEAST_TIME_SCALE + 0.5
        self._lock = threading.Lock()
        self._setup()
        self._watcher = threading.Thread(target=self._watch_reboots, daemon=True)

    @property
    def address(self):
        return "%s:%d" % (self.ip, self.port)

    def _setup(self):
        for folder in (self.state, os.path.join(self.www, "command"), os.path.join(self.www, "home", "l4")):
            os.makedirs(folder)
        admin = base64.b64encode(("admin:" + PASSWORD).encode()).decode().replace("=", "%3D")
        env = {
            "MODEL": "XQT-TR60", "SERIAL": self.serial, "DOCTYPE": "B", "ADMINISTRATOR": admin,
            # Unique per camera, as a real MAC is: a camera is told from another by its MAC.
            "MAC": "08:00:46:%02X:%02X:%02X" % (int(self.ip.split(".")[-1]) % 256, self.port // 256 % 256,
                                                self.port % 256),
            "ADDRESS": self.ip, "PORT": str(self.port),
            "STEPS": "5", "STEP_PAUSE": "0.05", "HELPER": os.path.join(HERE, "camera_parts.py"),
            "STATUS_LINE": self.options.get("status_line", ""),
            "FIRST_BYTE_DELAY": self.options.get("first_byte_delay", ""),
            "REFUSE_RESTORE": "1" if self.options.get("refuse_restore") else "0",
        }
        with open(os.path.join(self.state, "camera.env"), "w") as out:
            for key, value in env.items():
                out.write("%s='%s'\n" % (key, value))
        with open(os.path.join(self.state, "version"), "w") as out:
            out.write("1.10")
        with open(os.path.join(self.www, "home", "l4", "xqt-tr60.cfg"), "wb") as out:
            out.write(self.config)
        for cgi in ("inquiry.cgi", "versionup.cgi", "all-configuration.cgi"):
            source = os.path.join(HERE, "busybox", cgi) if self.kind == "busybox" else \
                os.path.join(HERE, "lighttpd", "camera.cgi")
            os.symlink(source, os.path.join(self.www, "command", cgi))
        if self.kind == "busybox":
            lines = ["*.cgi:/bin/sh", "/command:admin:" + PASSWORD, "/home:admin:" + PASSWORD]
            if not self.options.get("refuse_restore"):
                lines.insert(2, "/command:admin:xqt-default1")  # the factory account, for the restore
            with open(os.path.join(self.root, "httpd.conf"), "w") as out:
                out.write("\n".join(lines) + "\n")
        else:
            with open(os.path.join(self.root, "users"), "w") as out:
                out.write("admin:%s\n" % PASSWORD)
            with open(os.path.join(self.root, "lighttpd.conf"), "w") as out:
                out.write("\n".join([
                    'server.document-root = "%s"' % self.www,
                    'server.bind = "%s"' % self.ip,
                    "server.port = %d" % self.port,
                    'server.modules = ("mod_auth", "mod_authn_file", "mod_cgi")',
                    'server.errorlog = "%s"' % os.path.join(self.root, "error.log"),
                    "server.stream-response-body = 2",
                    'cgi.assign = (".cgi" => "")',
                    'auth.backend = "plain"',
                    'auth.backend.plain.userfile = "%s"' % os.path.join(self.root, "users"),
                    'auth.require = ("/home/" => ("method" => "basic", "realm" => "XQT", '
                    '"require" => "valid-user"))',
                ]) + "\n")

    def start(self):
        if self.kind == "busybox":
            command = [tool("busybox"), "httpd", "-f", "-p", self.address, "-h", self.www,
                       "-c", os.path.join(self.root, "httpd.conf")]
        else:
            command = [tool("lighttpd"), "-D", "-f", os.path.join(self.root, "lighttpd.conf")]
        with self._lock:
            self.process = subprocess.Popen(command, start_new_session=True, stdin=subprocess.DEVNULL)
        wait_for_port(self.ip, self.port)
        if not self._watcher.is_alive():
            self._watcher.start()

    def stop(self):
        with self._lock:
            process, self.process = self.process, None
        if process is None:
            return
        # The server and the CGI programs it started share its process group.
        try:
            os.killpg(process.pid, signal.SIGTERM)
            process.wait(timeout=5)
        except subprocess.TimeoutExpired:
            os.killpg(process.pid, signal.SIGKILL)
            process.wait()
        except ProcessLookupError:
            pass

    def close(self):
        self._watching = False
        self.stop()

    def _watch_reboots(self):
        flag = os.path.join(self.state, "reboot")
        while self._watching:
            time.sleep(0.02)
            if not os.path.exists(flag):
                continue
            time.sleep(0.3)  # the stream's last bytes leave first
            self.stop()
            os.unlink(flag)
            pending = os.path.join(self.state, "pending_version")
            if os.path.exists(pending):
                os.replace(pending, os.path.join(self.state, "version"))
            time.sleep(self.reboot_down)
            if self._watching:
                self.start()

    def images(self):
        return read_lines(os.path.join(self.state, "images.jsonl"))

    def restores(self):
        folder = os.path.join(self.state, "restores")
        if not os.path.isdir(folder):
            return []
        return [open(os.path.join(folder, name), "rb").read() for name in sorted(os.listdir(folder))]

    def version(self):
        return open(os.path.join(self.state, "version")).read().strip()


class ContinueRelay:
    """A raw TCP relay in front of a camera that answers every request head with an interim
    "HTTP/1.1 100 Continue" before the camera's own answer, as any HTTP/1.1 server may."""

    def __init__(self, ip, port, upstream):
        self.ip, self.port, self.upstream = ip, port, upstream
        self.listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        self.listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        self.listener.bind((ip, port))
        self.listener.listen(16)
        self.interims = 0
        threading.Thread(target=self._serve, daemon=True).start()

    @property
    def address(self):
        return "%s:%d" % (self.ip, self.port)

    def _serve(self):
        while True:
            try:
                client, _ = self.listener.accept()
            except OSError:
                return
            threading.Thread(target=self._relay, args=(client,), daemon=True).start()

    def _relay(self, client):
        try:
            server = socket.create_connection(self.upstream, timeout=5)
            server.settimeout(None)
        except OSError:
            client.close()  # the camera is rebooting: as a dead server would
            return
        threading.Thread(target=self._pump, args=(server, client), daemon=True).start()
        seen = b""
        interim_sent = False
        try:
            while True:
                data = client.recv(65536)
                if not data:
                    server.shutdown(socket.SHUT_WR)
                    return
                if not interim_sent:
                    seen = (seen + data)[-4096:]
                    if b"\r\n\r\n" in seen:
                        client.sendall(b"HTTP/1.1 100 Continue\r\n\r\n")
                        self.interims += 1
                        interim_sent = True
                server.sendall(data)
        except OSError:
            pass

    @staticmethod
    def _pump(source, target):
        try:
            while True:
                data = source.recv(65536)
                if not data:
                    break
                target.sendall(data)
        except OSError:
            pass
        for sock in (source, target):
            try:
                sock.shutdown(socket.SHUT_RDWR)
            except OSError:
                pass
            sock.close()

    def close(self):
        self.listener.close()


def tool(name):
    """A server program: on the PATH, or in the sbin folders a user's PATH may lack."""
    return shutil.which(name) or shutil.which(name, path="/usr/sbin:/sbin")


def wait_for_port(ip, port, limit=10.0):
    end = time.monotonic() + limit
    while time.monotonic() < end:
        try:
            socket.create_connection((ip, port), timeout=0.5).close()
            return
        except OSError:
            time.sleep(0.02)
    raise RuntimeError("nothing listens on %s:%d" % (ip, port))


def exchange_seconds(camera):
    """Seconds one inquiry takes the camera's server and programs, as the tool would ask it."""
    credential = base64.b64encode(("admin:" + PASSWORD).encode()).decode()
    request = ("POST /command/inquiry.cgi HTTP/1.0\r\nHost: %s\r\nAuthorization: Basic %s\r\n"
               "Content-Type: application/x-www-form-urlencoded\r\nContent-Length: 10\r\n\r\ninq=system"
               % (camera.address, credential)).encode()
    started = time.monotonic()
    with socket.create_connection((camera.ip, camera.port)) as connection:
        connection.sendall(request)
        while connection.recv(65536):
            pass
    return time.monotonic() - started


def read_lines(path):
    if not os.path.exists(path):
        return []
    return [json.loads(line) for line in open(path) if line.strip()]


class Run:
    def __init__(self, args, work):
        self.cli, self.work = args.cli, work
        self.failures = []
        self.scale = LEAST_TIME_SCALE
        self.folder = os.path.join(work, "configurations")
        os.makedirs(self.folder)

    def check(self, condition, what):
        print(("ok   " if condition else "FAIL ") + what, flush=True)
        if not condition:
            self.failures.append(what)

    def xqt(self, *args):
        env = dict(os.environ, XQT_PASSWORD=PASSWORD, ProgramFiles=self.folder)
        started = time.monotonic()
        # A hang guard: 2400 s of the tool's own time, whatever it does, at the scale it runs at.
        done = subprocess.run([self.cli, *args], env=env, stdin=subprocess.DEVNULL, capture_output=True,
                              timeout=2400 * self.scale)
        objects = []
        for line in done.stdout.decode("utf-8", "replace").splitlines():
            try:
                objects.append(json.loads(line))
            except ValueError:
                pass
        print("$ xqt-cli %s -> exit %d in %.1f s" % (" ".join(args), done.returncode, time.monotonic() - started))
        if done.returncode != 0:
            sys.stdout.write(done.stdout.decode("utf-8", "replace")[-3000:])
            sys.stdout.write(done.stderr.decode("utf-8", "replace")[-2000:])
        return done.returncode, objects

    def inquire(self, camera):
        code, objects = self.xqt("inquire", camera.address, "--user", "admin", "--json")
        self.check(code == 0, "inquire %s exits 0" % camera.address)
        result = objects[-1] if objects else {}
        self.check(result.get("serial") == camera.serial,
                   "inquire gives the serial without its line end: %r" % result.get("serial"))

    def time_scale(self, cameras):
        """The tool's time scale for a run over `cameras`, from one timed exchange with each; their
        reboots are set to outlast the tool's first verification wait at that scale."""
        slowest = max(exchange_seconds(camera) for camera in cameras)
        scale = max(LEAST_TIME_SCALE, INQUIRY_ROOM * slowest / 20.0)
        for camera in cameras:
            camera.reboot_down = 60 * scale + 0.5
        self.scale = scale
        print("time scale %.3f (slowest exchange %.2f s)" % (scale, slowest), flush=True)
        return "%.3f" % scale

    def upgrade(self, camera, address=None, exit_code=0):
        code, objects = self.xqt("upgrade", address or camera.address, "--user", "admin", "--retain", "--backup",
                                 "--time-scale", self.time_scale([camera]), "--json")
        result = objects[-1] if objects else {}
        self.check(code == exit_code, "upgrade exits %d (got %d)" % (exit_code, code))
        saved = result.get("savedFile", "")
        self.check(os.path.basename(saved) == "xqt-tr60.%s.cfg" % camera.serial,
                   "the saved file is named by the clean serial: %r" % os.path.basename(saved))
        self.check(os.path.exists(saved) and open(saved, "rb").read() == camera.config,
                   "the saved configuration is the camera's, byte for byte")
        return result

    def received_one_image(self, camera):
        images = camera.images()
        self.check(len(images) == 1, "the camera received one image (got %d)" % len(images))
        if images:
            self.check(images[0]["size"] == IMAGE_SIZE and images[0]["version"] == camera.version(),
                       "the image is whole and the camera now runs its version %s" % camera.version())

    def received_own_configuration(self, camera, times=1):
        restores = camera.restores()
        self.check(len(restores) == times, "the camera got its configuration back %d time(s) (got %d)" %
                   (times, len(restores)))
        self.check(all(r == camera.config for r in restores), "what came back is the camera's own configuration")


def case_busybox(run):
    """Shell CGIs behind BusyBox httpd: bare-LF header lines, close-delimited answers, a CR LF after the
    last answer field, a server that is down while the camera reboots."""
    camera = Camera(run.work, "busybox", "busybox", "127.0.61.1")
    run.cameras.append(camera)
    camera.start()
    run.inquire(camera)
    result = run.upgrade(camera)
    run.check(result.get("reportedVersion") == camera.version(), "the reported version is the camera's")
    run.received_one_image(camera)
    run.received_own_configuration(camera)


def case_busybox_http10(run):
    """A status line without a reason phrase, in HTTP/1.0, after a slow first byte."""
    camera = Camera(run.work, "busybox10", "busybox", "127.0.62.1", status_line="HTTP/1.0 200",
                    first_byte_delay="0.3")
    run.cameras.append(camera)
    camera.start()
    run.inquire(camera)
    run.upgrade(camera)
    run.received_one_image(camera)
    run.received_own_configuration(camera)


def case_lighttpd(run):
    """A Python CGI behind lighttpd: chunked answers whose chunks split the progress stream's delimiter,
    keep-alive connections the server holds open, answers by Content-Length."""
    camera = Camera(run.work, "lighttpd", "lighttpd", "127.0.63.1")
    run.cameras.append(camera)
    camera.start()
    run.inquire(camera)
    run.upgrade(camera)
    run.received_one_image(camera)
    run.received_own_configuration(camera)


def case_continue(run):
    """Every answer preceded by an interim "100 Continue" (lighttpd behind the raw relay)."""
    camera = Camera(run.work, "continue", "lighttpd", "127.0.64.1")
    run.cameras.append(camera)
    camera.start()
    relay = ContinueRelay("127.0.64.2", 8080, (camera.ip, camera.port))
    run.relays.append(relay)
    code, objects = run.xqt("inquire", relay.address, "--user", "admin", "--json")
    run.check(code == 0 and objects and objects[-1].get("serial") == camera.serial, "inquire through 100 Continue")
    run.upgrade(camera, address=relay.address)
    run.check(relay.interims > 0, "the relay sent %d interim answers" % relay.interims)
    run.received_one_image(camera)
    run.received_own_configuration(camera)


def case_restore_refused(run):
    """A camera whose server refuses the restore with 401: the upgrade stands, the restore is reported
    as not done (exit 11) and the saved file stays."""
    camera = Camera(run.work, "refusing", "busybox", "127.0.65.1", refuse_restore=True)
    run.cameras.append(camera)
    camera.start()
    run.upgrade(camera, exit_code=11)
    run.received_one_image(camera)
    run.received_own_configuration(camera, times=0)


def case_batch(run):
    """A small batch over one camera behind each server."""
    cameras = [Camera(run.work, "batch-busybox", "busybox", "127.0.66.1", serial="20060016"),
               Camera(run.work, "batch-lighttpd", "lighttpd", "127.0.66.2", serial="20060017")]
    run.cameras.extend(cameras)
    for camera in cameras:
        camera.start()
    targets = os.path.join(run.work, "targets.txt")
    with open(targets, "w") as out:
        out.write("".join(camera.address + "\n" for camera in cameras))
    report = os.path.join(run.work, "report.json")
    code, _ = run.xqt("batch", "--targets", targets, "--user", "admin", "--retain", "--backup", "--parallel", "2",
                      "--time-scale", run.time_scale(cameras), "--report", report)
    run.check(code == 0, "the batch exits 0 (got %d)" % code)
    for camera in cameras:
        run.received_one_image(camera)
        run.received_own_configuration(camera)


CASES = {name[5:].replace("_", "-"): case for name, case in globals().items() if name.startswith("case_")}


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--cli", required=True)
    parser.add_argument("--case", required=True, choices=sorted(CASES))
    parser.add_argument("--work")
    args = parser.parse_args()
    for name in ("busybox", "lighttpd"):
        if tool(name) is None:
            print("interop: %s is not installed (./run test installs it)" % name)
            return 1
    work = args.work or tempfile.mkdtemp(prefix="xqt-interop-")
    run = Run(args, work)
    run.cameras, run.relays = [], []
    try:
        CASES[args.case](run)
    finally:
        for camera in run.cameras:
            camera.close()
        for relay in run.relays:
            relay.close()
    if run.failures:
        print("%d check(s) failed; the cameras' folders are in %s" % (len(run.failures), work))
        return 1
    if not args.work:
        shutil.rmtree(work, ignore_errors=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())
