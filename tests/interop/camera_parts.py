"""What the interop cameras keep of the requests they take: the firmware image and the restored
configurations, parsed from the multipart body the way the camera's own CGI programs would.

Used as a module by the lighttpd camera and as a helper program by the BusyBox shell CGIs:
    camera_parts.py image|restore STATE_DIR CONTENT_TYPE   (body on standard input)
Exit status 0 when the part was taken, 1 when the body is not the expected upload.
"""

import hashlib
import json
import os
import sys

PLACEHOLDER_MAGIC = b"XQT-PLACEHOLDER-FIRMWARE\nversion="
FIRMWARE_PART = b'Content-Disposition: form-data; name="setting_file"; filename="upgrade.bin"'
RESTORE_PART = b'Content-Disposition: form-data; name="Restore"; filename="temp.cfg"'


def read_body():
    length = int(os.environ.get("CONTENT_LENGTH") or 0)
    data = bytearray()
    while len(data) < length:
        piece = sys.stdin.buffer.read(length - len(data))
        if not piece:
            break
        data += piece
    return bytes(data)


def part_data(content_type, body, disposition):
    """The data of the one part of `body`, or None when it is not that part."""
    prefix = "multipart/form-data; boundary="
    if not content_type.startswith(prefix) or len(content_type) == len(prefix):
        return None
    boundary = content_type[len(prefix):].encode("latin-1")
    head_end = body.find(b"\r\n\r\n")
    if head_end < 0 or not body.startswith(b"\r\n" + boundary + b"\r\n"):
        return None
    if disposition not in body[:head_end]:
        return None
    tail = b"\r\n" + boundary + b"--\r\n\r\n"
    if not body.endswith(tail) or len(body) < head_end + 4 + len(tail):
        return None
    return body[head_end + 4:len(body) - len(tail)]


def image_version(image):
    if not image.startswith(PLACEHOLDER_MAGIC):
        return ""
    rest = image[len(PLACEHOLDER_MAGIC):64]
    return rest.split(b"\n")[0].split(b"\0")[0].decode("latin-1")


def append_line(path, record):
    with open(path, "a", encoding="utf-8") as out:
        out.write(json.dumps(record) + "\n")


def take_image(state, content_type, body):
    image = part_data(content_type, body, FIRMWARE_PART)
    if image is None:
        append_line(os.path.join(state, "refused.jsonl"), {"what": "image", "size": len(body)})
        return False
    version = image_version(image)
    append_line(os.path.join(state, "images.jsonl"),
                {"size": len(image), "sha256": hashlib.sha256(image).hexdigest(), "version": version})
    with open(os.path.join(state, "pending_version"), "w", encoding="utf-8") as out:
        out.write(version)
    return True


def take_restore(state, content_type, body):
    data = part_data(content_type, body, RESTORE_PART)
    if data is None:
        append_line(os.path.join(state, "refused.jsonl"), {"what": "restore", "size": len(body)})
        return False
    folder = os.path.join(state, "restores")
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, "%03d.cfg" % len(os.listdir(folder))), "wb") as out:
        out.write(data)
    return True


def main(argv):
    what, state, content_type = argv[1], argv[2], argv[3]
    body = read_body()
    taken = take_image(state, content_type, body) if what == "image" else take_restore(state, content_type, body)
    return 0 if taken else 1


if __name__ == "__main__":
    sys.exit(main(sys.argv))
