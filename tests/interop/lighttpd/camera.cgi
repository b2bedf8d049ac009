#!/usr/bin/python3
"""The camera's HTTP interface as one Python CGI program behind lighttpd, installed under the names
inquiry.cgi, versionup.cgi and all-configuration.cgi. It checks the credential itself (the firmware
and inquiries take the administrator's, the restore only the factory account's), writes its header
with CR LF and a "Status:" line, and streams the progress in pieces that split the part delimiter."""

import base64
import os
import sys
import time

sys.dont_write_bytecode = True  # the source tree stays as it is
sys.path.insert(0, os.path.join(os.path.dirname(os.path.realpath(__file__)), ".."))
import camera_parts  # noqa: E402

FACTORY = "Basic " + base64.b64encode(b"admin:xqt-default1").decode()

state = os.path.join(os.environ["DOCUMENT_ROOT"], "..", "state")
camera = dict(line.rstrip("\n").split("=", 1) for line in open(os.path.join(state, "camera.env"))
              if "=" in line)
camera = {key: value.strip("'") for key, value in camera.items()}
out = sys.stdout.buffer


def send(data):
    out.write(data)
    out.flush()


def answer(status, content_type, body, extra=b""):
    send(b"Status: " + status + b"\r\nContent-Type: " + content_type + b"\r\n" + extra + b"\r\n" + body)


def refuse_login():
    answer(b"401 Unauthorized", b"text/html", b"<HTML>401 Unauthorized</HTML>\n",
           b'WWW-Authenticate: Basic realm="XQT"\r\n')


def admin_credential():
    return "Basic " + camera["ADMINISTRATOR"].replace("%3D", "=")


def inquiry():
    body = camera_parts.read_body().decode("latin-1")
    version = open(os.path.join(state, "version")).read().strip()
    answers = {
        "inq=system": "ModelName=%s&Serial=%s&SoftVersion=%s&DocType=%s&PanTiltFunc=0&" % (
            camera["MODEL"], camera["SERIAL"], version, camera["DOCTYPE"]),
        "inq=user": "Administrator=%s&User1=guest&UserCount=1" % camera["ADMINISTRATOR"],
        "inq=network": "MacAddress=%s&IpAddress=%s&HttpPort=%s&Dhcp=off" % (
            camera["MAC"], camera["ADDRESS"], camera["PORT"]),
    }
    answer(b"200", b"text/plain", answers.get(body, "Error=unknown inquiry").encode("latin-1"))


def versionup():
    if not camera_parts.take_image(state, os.environ.get("CONTENT_TYPE", ""), camera_parts.read_body()):
        answer(b"400 Bad Request", b"text/plain", b"not a firmware upload\n")
        return
    send(b"Status: 200\r\nContent-Type: multipart/x-mixed-replace; boundary=vexoboundary\r\n\r\n")
    steps = int(camera["STEPS"])
    pause = float(camera["STEP_PAUSE"])
    for step in range(steps + 1):
        text = b"(0) Steps: %d" % steps if step == 0 else b"(%d) Writing flash memory" % step
        # The delimiter leaves in two pieces, so the answer's chunks split it.
        send(b"--vexob")
        time.sleep(0.01)
        send(b"oundary\r\nContent-Type: text/plain\r\n\r\n" + text + b"\r\n")
        time.sleep(pause)
    send(b"--vexoboundary--\r\n")
    open(os.path.join(state, "reboot"), "w").close()


def restore():
    if camera.get("REFUSE_RESTORE") == "1":
        camera_parts.read_body()
        refuse_login()
        return
    if os.environ.get("HTTP_AUTHORIZATION") != FACTORY:
        camera_parts.read_body()
        refuse_login()
        return
    if not camera_parts.take_restore(state, os.environ.get("CONTENT_TYPE", ""), camera_parts.read_body()):
        answer(b"400 Bad Request", b"text/plain", b"not a configuration\n")
        return
    answer(b"200 OK", b"text/html", b"<HTML><BODY>Restored.</BODY></HTML>\n")


def main():
    delay = camera.get("FIRST_BYTE_DELAY")
    if delay:
        time.sleep(float(delay))
    script = os.path.basename(os.environ.get("SCRIPT_NAME", ""))
    if script.startswith("all-configuration"):
        return restore()
    if os.environ.get("HTTP_AUTHORIZATION") != admin_credential():
        camera_parts.read_body()
        return refuse_login()
    if script == "inquiry.cgi":
        return inquiry()
    if script == "versionup.cgi":
        return versionup()
    answer(b"404 Not Found", b"text/html", b"<HTML>404 Not Found</HTML>\n")


main()
