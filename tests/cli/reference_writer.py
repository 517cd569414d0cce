"""A second, independent writer of .bin configuration files, used to check
plinthctl byte for byte on random configurations. It is written from the
file format's description alone and shares no code with the C++ writer."""

import re
import struct

CATALOG = {
    # id: (part number, description, in, out, param, defaults)
    704: ("482-BFK-216-05", "ANALOG-8CH DIFFERENTIAL INPUT", 8, 2, 2, [0x4444, 0x4444]),
    1217: ("482-BFK-263-05", "ANALOG-16CH SINGLE-ENDED INPUT", 16, 4, 4, [0xCCCC] * 4),
    1218: ("482-BFK-287-46", "ANALOG-4CH RTD, THERMO INPUT", 4, 4, 4, [0x0AE0] * 4),
    451: ("482-BFT-215-05", "ANALOG-4CH 0-20MA OUTPUT", 0, 5, 1, [0x1111]),
    452: ("482-BFT-268-05", "ANALOG-4CH 4-20MA OUTPUT", 0, 5, 1, [0x1111]),
    2: ("482-BGK-416-05", "24VDC-16PT INPUT", 1, 0, 0, []),
    1: ("482-BGK-418-05", "24VDC-32PT INPUT", 2, 0, 0, []),
    3: ("482-BGK-462-57", "120VAC-16PT INPUT", 1, 0, 0, []),
    4: ("482-BGK-476-57", "230VAC-16PT INPUT", 1, 0, 0, []),
    8: ("482-BGL-418-6K", "24VDC-16PT INPUT, 16PT OUTPUT", 1, 1, 0, []),
    11: ("482-BGL-425-16", "24VDC-16PT IN, 8PT @ 2A OUT", 1, 1, 0, []),
    12: ("482-BGL-437-16", "4VDC-16PT IN, 12PT OUT 2/DIAG", 3, 1, 0, []),
    10: ("482-BGL-437-36", "24VDC-16PT IN, 8PT RELAY OUT", 1, 1, 0, []),
    4578: ("482-BGL-462-86", "MCC MODBUS BASE", 16, 16, 0, []),
    9: ("482-BGL-481-57", "120VAC-10PT INPUT, 8PT OUTPUT", 1, 1, 0, []),
    6: ("482-BGT-416-05", "24VDC-16PT OUTPUT", 0, 1, 0, []),
    5: ("482-BGT-418-05", "24VDC-32PT OUTPUT", 0, 2, 0, []),
    22: ("482-BGT-459-57", "120VAC-8PT @ 2A OUTPUT", 0, 1, 0, []),
    20: ("482-BGT-462-57", "120VAC-16PT OUTPUT", 0, 1, 0, []),
    23: ("482-BGT-471-57", "230VAC-8PT @ 2A OUTPUT", 0, 1, 0, []),
    21: ("482-BGT-476-57", "230VAC-16PT OUTPUT", 0, 1, 0, []),
    1184: ("482-BHQ-268-05", "HIGH-SPEED COUNTER", 8, 8, 0, []),
    736: ("482-BLL-204-05", "ANALOG-4CH 4-20MA OUTPUT", 5, 5, 2, [0x4444, 0x0044]),
    225: ("482-BPL-203-16", "Korrida INTERFACE", 64, 64, 0, []),
    6115: ("482-BPS-215-96", "6I/4O Analog 8I/8O digital", 24, 24, 7, [0x8000, 0x8000, 0x0055, 0, 0, 0, 0]),
    24: ("482-BSL-425-36", "24VDC 10 In/8 Out", 2, 2, 0, []),
}

_NUMBER = re.compile(r"[ \t\n\v\f\r]*([+-]?[0-9]+)")


def scan_d(text):
    """The number at the start of text as C's "%d" reads it; 0 if none."""
    m = _NUMBER.match(text)  # strtol saturates at long's range; "%d" keeps the low 32 bits
    v = max(-(2 ** 63), min(2 ** 63 - 1, int(m.group(1)))) & 0xFFFFFFFF if m else 0
    return v - 2 ** 32 if v >= 2 ** 31 else v


def scan_dotted(text):
    out, rest = [0, 0, 0, 0], "." + text
    for k in range(4):
        m = _NUMBER.match(rest[1:]) if rest.startswith(".") else None
        if not m:
            break
        out[k], rest = scan_d(m.group(0)), rest[1 + m.end():]
    return out


def mac_from_text(text):
    """Up to 12 digits after dropping ':' and '-', read as three 4-digit groups from the right."""
    t = text.replace(":", "").replace("-", "")[:12]
    cuts = [0, max(0, len(t) - 8), max(0, len(t) - 4), len(t)]
    groups = (t[a:b] for a, b in zip(cuts, cuts[1:]))
    return b"".join(struct.pack(">H", int(g, 16) if re.fullmatch("[0-9a-fA-F]+", g) else 0) for g in groups)


def show_row(slave):
    """What showing a row in the list does to its record."""
    s = dict(slave)
    s["mac"] = mac_from_text(s["macAddress"])
    if s["mac"] != bytes(6):
        s["macAddress"] = s["mac"].hex()
    entry = CATALOG.get(scan_d(s["moduleId"]) & 0xFFFF)
    if entry:
        s["name"], s["description"] = entry[0], entry[1]
        s["inputWords"], s["outputWords"], s["paramWords"] = map(str, entry[2:5])
    return s


def length_code(v):
    if v < 192:
        return bytes([v])
    if v < 8192:
        return bytes([0xC0 + (v >> 8), v & 0xFF])
    if v < 1048576:
        return bytes([0xE0 + (v >> 16)]) + struct.pack("<H", v & 0xFFFF)
    raise ValueError("too large")


def node(header, data, children, root=False):
    body = header + data + b"".join(children)
    inner = length_code(len(header)) + length_code(len(data))
    size = len(body) + len(inner) + (4 if root else 0)
    while True:
        n = next(n for n in (1, 2, 3) if len(length_code(size + n)) == n)
        if not (root and (size + n) % 2):
            break
        size += 1
    total = size + n
    out = length_code(total) + inner + body
    if root:
        out += bytes(total - 4 - len(out))
        crc = 0xFFFF
        for b in out:
            crc ^= b
            for _ in range(8):
                crc = (crc >> 1) ^ 0xA001 if crc & 1 else crc >> 1
        out += struct.pack("<I", crc)
    return out


def u16(v):
    return struct.pack("<H", v & 0xFFFF)


def cstr(text):
    return text.encode("utf-8").split(b"\0")[0] + b"\0"


def block(words, flags, values):
    header = u16(6) + u16(3) + u16(0) + u16(words) + bytes(4) + u16(flags) + u16(0) + u16(len(values)) + u16(0)
    return node(header, b"".join(u16(v) for v in values), [])


def slave_entry(s):
    header = (u16(scan_d(s["moduleId"])) + u16(1) + u16(scan_d(s["node"])) + u16(0) + u16(0) + u16(7)
              + b"".join(u16(o) for o in scan_dotted(s["ipAddress"])) + s["mac"] + u16(0))
    i, p, o = scan_d(s["inputWords"]), scan_d(s["paramWords"]), scan_d(s["outputWords"])
    defaults = CATALOG.get(scan_d(s["moduleId"]) & 0xFFFF, [[]] * 6)[5]
    blocks = [block(w, flags, (values + [0] * w)[:w]) for w, flags, values in (
        (i, 0x0004, []), (p, 0x0050, defaults), (o - p, 0x0090 if p > 0 else 0x0010, [])) if w > 0]
    group = node(u16(0) + u16(len(blocks)), b"", blocks)
    return node(header, cstr(s["name"]) + cstr(s["description"]) + b"\0", [group])


DEFAULT_SLAVE = {"node": "", "status": "unknown", "ipAddress": "", "macAddress": "", "moduleId": "", "name": "",
                 "description": "", "inputWords": "0", "outputWords": "0", "paramWords": "0"}


def encode(config):
    master = config.get("master", {})
    slaves = [show_row({**DEFAULT_SLAVE, **s}) for s in config.get("slaves", [])]
    if not master.get("saveUnknownSlaves", False):
        slaves = [s for s in slaves if s["node"] != ""]
    ip = scan_dotted(master.get("ip", ""))
    header = (u16(0) + bytes([scan_d(master.get("board", "0")) & 0xFF, 0]) + u16(ip[3]) + u16(len(slaves))
              + u16(0) + u16(master.get("fileWord1", 50)) + u16(5) + b"".join(u16(o) for o in ip)
              + u16(master.get("advancedSettings", 0)) + bytes(6) + u16(master.get("fileWord2", 0) | 0x30)
              + bytes(4) + bytes(8))
    ioh = node(header, b"Varnel\0\0\0", [slave_entry(s) for s in slaves])
    return node(u16(1) + u16(2), b"GenericBusTable\0", [ioh], root=True)
