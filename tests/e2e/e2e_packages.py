"""Package bytes for the scenarios: records, chains, padded packages, the fake installer's
settings file, and the PE certificate table of signed packages."""

import hashlib
import struct

from e2e_common import Failure, TAIL_MARKER


def record(payload):
    """One record: payload, its length (32-bit little-endian), its MD5 digest."""
    return payload + struct.pack("<I", len(payload)) + hashlib.md5(payload).digest()


def value_entry(key, value):
    return ("value", key.encode(), value.encode())


def file_entry(key, name, data):
    return ("file", key.encode(), name.encode(), data)


def chain_bytes(stub_image, entries, stub_name=b"Tailrun.exe"):
    """A whole package: stub entry, the entries in order (the last is met first), tail marker."""
    out = [record(stub_image), record(stub_name), record(b"stub"), record(b"stub")]
    for entry in entries:
        if entry[0] == "value":
            out += [record(entry[2]), record(entry[1]), record(b"value")]
        else:
            out += [record(entry[3]), record(entry[2]), record(entry[1]), record(b"file")]
    out.append(record(TAIL_MARKER))
    return b"".join(out)


def write_padded_package(path, stub_image, installer, padding, exit_code):
    """The package of installer_entries, written to `path` piece by piece, with the installer's
    data followed by `padding` zero bytes (appended data leaves the program runnable), so that a
    package of hundreds of MiB is never held in memory."""
    block = b"\0" * (1 << 20)
    with open(path, "wb") as out:
        for payload in (stub_image, b"Tailrun.exe", b"stub", b"stub"):
            out.write(record(payload))
        for entry in installer_entries(installer, "exit=%d\n" % exit_code):
            if entry[0] == "value":
                out.write(record(entry[2]) + record(entry[1]) + record(b"value"))
                continue
            data = entry[3]
            extra = padding if entry[2] == b"fake_installer.exe" else 0
            digest = hashlib.md5(data)
            out.write(data)
            left = extra
            while left:
                piece = block[:min(left, len(block))]
                digest.update(piece)
                out.write(piece)
                left -= len(piece)
            out.write(struct.pack("<I", len(data) + extra) + digest.digest())
            out.write(record(entry[2]) + record(entry[1]) + record(b"file"))
        out.write(record(TAIL_MARKER))
    return path


def installer_entries(installer, config):
    """The payload and its configuration, with the settings that launch it. The package also
    carries "source" and "commandline", which must not replace the stub's own."""
    return [
        value_entry("source", "Z:\\forged\\source"),
        value_entry("commandline", "/forged-commandline"),
        file_entry("installer32", "fake_installer.exe", installer),
        file_entry("", "fake_installer.cfg", config.encode()),
        value_entry("executable32", "%installer32%"),
        value_entry("parameters", "/qb src=%source%"),
    ]


def package_parameters(working_folder):
    """The package's parameters as the stub expands them, with the empty "/V" text merged in."""
    return "/qb src=" + working_folder + '/V""'


def escape_field(text):
    return (text.replace("\\", "\\\\").replace("\t", "\\t").replace("\n", "\\n")
            .replace("\r", "\\r"))


def unescape_field(text):
    out, i = [], 0
    while i < len(text):
        if text[i] == "\\" and i + 1 < len(text):
            out.append({"t": "\t", "n": "\n", "r": "\r"}.get(text[i + 1], text[i + 1]))
            i += 2
        else:
            out.append(text[i])
            i += 1
    return "".join(out)


def read_fields(path):
    fields = {}
    with open(path, encoding="utf-8", errors="surrogateescape", newline="\n") as f:
        for line in f.read().split("\n"):
            if "\t" in line:
                name, value = line.split("\t", 1)
                fields[name] = unescape_field(value)
    return fields



def security_directory_offset(image):
    """File offset of the security data directory entry (offset, size) of a PE32 image."""
    pe = struct.unpack_from("<I", image, 0x3C)[0]
    if image[pe:pe + 4] != b"PE\0\0":
        raise Failure("not a PE image")
    optional = pe + 24
    if struct.unpack_from("<H", image, optional)[0] != 0x10B:
        raise Failure("not a PE32 image")
    return optional + 96 + 4 * 8


def certificate_table(image):
    offset, size = struct.unpack_from("<II", image, security_directory_offset(image))
    return offset, size


def forge_certificate_table(signed, forged_chain):
    """Puts a complete second chain inside the certificate table (after the signature), with the
    table's and its first certificate's sizes grown so that the table still ends the file."""
    entry = security_directory_offset(signed)
    offset, size = struct.unpack_from("<II", signed, entry)
    if offset + size != len(signed):
        raise Failure("the certificate table does not end the signed file")
    padding = b"\0" * (-len(forged_chain) % 8)
    extra = forged_chain + padding
    forged = bytearray(signed + extra)
    struct.pack_into("<I", forged, entry + 4, size + len(extra))
    first_length = struct.unpack_from("<I", forged, offset)[0]
    struct.pack_into("<I", forged, offset, first_length + len(extra))
    return bytes(forged)
