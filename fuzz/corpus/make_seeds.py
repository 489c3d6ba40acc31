#!/usr/bin/env python3
"""Writes the seed corpora of the fuzz harnesses (fuzz/corpus/<harness>/).

Each seed is a small input in its harness's format, chosen to reach the
interesting paths early; libFuzzer mutates from there. Run from anywhere:
    python3 fuzz/corpus/make_seeds.py
The output is deterministic, so a re-run changes nothing unless this script did.
"""
import os
import random
import sqlite3
import struct
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))


def write(harness, name, data):
    folder = os.path.join(HERE, harness)
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, name), "wb") as f:
        f.write(data)


# --- ip_address: first byte even = parse + list file, odd = edit sequence ---

def ip_address():
    write("ip_address", "list-crlf", b"\x00192.168.0.1\r\n10.0.0.1\r\n")
    write("ip_address", "list-odd-lines",
          b"\x00010.001.000.001\r\n1.2.3.4.5\n\n256.1.1.1\r300.0.0.1\n127.0.0.1\n1.2.3\n 1.2.3.4\n10.0.0.1\n")
    write("ip_address", "one-address", b"\x001.2.3.4")
    # op, box, then the op's bytes: Focus(3,0,0), type 192, Right, type 1, Edit box 1 "68", Value, OK.
    keys = bytes([4, 3, 0, 0, 0, 0, ord("1"), 0, 0, ord("9"), 0, 0, ord("2"), 1, 0, 2, 0, 0, ord("1"),
                  2, 1, 2, 2]) + b"68" + bytes([5, 0, 7, 0, 1])
    write("ip_address", "edit-and-ok", b"\x01" + keys)
    # SetValue, DoubleClick, backspace, Delete, Remove, AddAddress, Clear.
    edits = bytes([6, 0]) + struct.pack("<I", 0x0A000001) + bytes([3, 2, 0, 2, 8, 1, 0, 6,
                                                                   7, 0, 2, 7, 0, 4]) + \
        struct.pack("<I", 0xC0A80001) + bytes([1, 1, 7, 0, 3, 7, 0, 5])
    write("ip_address", "edit-buttons", b"\x01" + edits)


# --- comrt: a byte stream of operations; any bytes are a valid program ---

def comrt():
    rng = random.Random(16)
    for i in range(5):
        write("comrt", "ops-%d" % i, bytes(rng.randrange(256) for _ in range(48 + 40 * i)))


# --- dispatch: dialog answers, then calls (see fuzz/dispatch_fuzzer.cpp) ---

ADC, LINTARA, DIO, DAO = 1, 0, 2, 3
# Row numbers in the member lists (include/velmora/interface_members.h).
ADC_ROWS = {"ADCName": 0, "Ranges": 4, "Detected": 5, "Test": 6, "getRate": 15, "putRate": 16,
            "putInputChannels": 24, "GetChannel": 25, "StartRecord": 27, "StopRecord": 28,
            "InputData": 29, "GetData": 30, "LastError": 31, "ShowSetting": 32, "Parent": 33}
DIO_ROWS = {"DIValue": 4, "putDOValue": 6, "putDOStartEnabled": 8}
DAO_ROWS = {"Name": 0, "putValue": 19, "ValueReal": 20, "putValueReal": 21, "SetValues": 22}
# Element types in the builder's order (fuzz/variant_builder.cpp).
I2, I4, R8, BSTR, VARIANT, R4, BOOL = 0, 1, 2, 3, 4, 5, 7


def scalar(kind, payload):
    return bytes([kind]) + payload.ljust(8, b"\x00")


def number(kind, fmt):
    return lambda v: scalar(kind, struct.pack("<" + fmt, v))


i2, i4, r4, r8, vbool = number(I2, "h"), number(I4, "i"), number(R4, "f"), number(R8, "d"), number(BOOL, "h")


def array(element, values, fmt):
    # By value, tag as the array, one dimension, lower bound 0, elements as U64.
    cells = b"".join(struct.pack("<" + fmt, v).ljust(8, b"\x00") for v in values)
    return bytes([0x68, element, 0x00, 1, len(values)]) + cells


def ref_scalar(element, payload):
    return bytes([0x90, 1, element]) + payload.ljust(8, b"\x00")


def call(face, row, args=(), tail=b""):
    """Natural flags and count; args in rgvarg order (the last parameter first)."""
    return bytes([face, row, 0x00, 0x00]) + b"".join(args) + tail + b"\x00\x00\x80\x00"


def dispatch():
    detect = bytes([0x01])  # one answer: 127.0.0.1
    write("dispatch", "detect-and-describe", detect + call(ADC, ADC_ROWS["Test"]) + b"".join(
        call(ADC, ADC_ROWS[n]) for n in ("Detected", "ADCName", "Ranges", "getRate", "LastError", "Parent")))
    record = detect + call(ADC, ADC_ROWS["Test"]) + \
        call(ADC, ADC_ROWS["putInputChannels"], [array(I2, [0, 1, 31], "h")]) + \
        call(ADC, ADC_ROWS["putRate"], [ref_scalar(R4, struct.pack("<f", 20000.0))]) + \
        call(ADC, ADC_ROWS["StartRecord"]) + call(ADC, ADC_ROWS["GetChannel"], [i2(3)]) + \
        call(ADC, ADC_ROWS["GetData"], [ref_scalar(I4, b""), i4(64), ref_scalar(I2, b"")],
             tail=struct.pack("<I", 64)) + \
        call(ADC, ADC_ROWS["InputData"]) + call(ADC, ADC_ROWS["StopRecord"])
    write("dispatch", "record-and-read", record)
    write("dispatch", "digital", detect + call(ADC, ADC_ROWS["Test"]) +
          call(DIO, DIO_ROWS["putDOValue"], [ref_scalar(I4, struct.pack("<i", 0x5A5A))]) +
          call(DIO, DIO_ROWS["DIValue"]) + call(DIO, DIO_ROWS["putDOStartEnabled"], [vbool(-1)]))
    write("dispatch", "outputs", detect + call(ADC, ADC_ROWS["Test"]) +
          call(DAO, DAO_ROWS["putValue"], [i4(1000), i2(0)]) +
          call(DAO, DAO_ROWS["putValueReal"], [r8(-2.5), i2(1)]) +
          call(DAO, DAO_ROWS["SetValues"], [array(I4, [100, -100], "i"), i2(2), i2(0)]) +
          call(DAO, DAO_ROWS["ValueReal"], [i2(1)]) + call(DAO, DAO_ROWS["Name"]))
    # No module at 127.0.0.3, then the one without outputs.
    write("dispatch", "no-module-then-nodac", bytes([0x02 | (2 << 2) | (1 << 4)]) +
          call(ADC, ADC_ROWS["Test"]) + call(ADC, ADC_ROWS["Test"]) + call(DAO, DAO_ROWS["Name"]) +
          call(ADC, ADC_ROWS["ShowSetting"]) + call(LINTARA, 1))
    # A let with DISPID_PROPERTYPUT named; a DISPID that no row has.
    write("dispatch", "named-and-unknown", b"\x00" +
          bytes([ADC, ADC_ROWS["putRate"], 0, 0]) + r4(5000.0) + b"\x00\x00\x00\x00" +
          # DISPID -1, flags METHOD given, one argument, two named arguments.
          bytes([ADC, 0xF3, 0xE1, 0x01, 0x00, 0x01]) + i2(1) + b"\x00\x00\xe0\x00")


# --- registry_store: SQLite files at the store's path ---

SCHEMA = """
CREATE TABLE keys(id INTEGER PRIMARY KEY AUTOINCREMENT, parent INTEGER,
                  name TEXT NOT NULL COLLATE NOCASE, UNIQUE(parent, name));
CREATE TABLE vals(seq INTEGER PRIMARY KEY AUTOINCREMENT, key INTEGER NOT NULL,
                  name TEXT NOT NULL COLLATE NOCASE, type INTEGER NOT NULL, data BLOB NOT NULL,
                  UNIQUE(key, name));
INSERT INTO keys(id, parent, name) VALUES
    (1, NULL, 'HKEY_CLASSES_ROOT'), (2, NULL, 'HKEY_CURRENT_USER'), (3, NULL, 'HKEY_LOCAL_MACHINE'),
    (4, NULL, 'HKEY_USERS'), (5, NULL, 'HKEY_PERFORMANCE_DATA'), (6, NULL, 'HKEY_CURRENT_CONFIG'),
    (7, NULL, 'HKEY_DYN_DATA');
PRAGMA user_version = 1;
"""


def database(name, sql, rows=()):
    with tempfile.TemporaryDirectory() as folder:
        path = os.path.join(folder, "registry.db")
        db = sqlite3.connect(path)
        db.execute("PRAGMA page_size = 512")
        db.executescript(sql)
        for statement, values in rows:
            db.execute(statement, values)
        db.commit()
        db.execute("VACUUM")
        db.close()
        with open(path, "rb") as f:
            write("registry_store", name, f.read())


def registry_store():
    key = "INSERT INTO keys(id, parent, name) VALUES(?, ?, ?)"
    val = "INSERT INTO vals(key, name, type, data) VALUES(?, ?, ?, ?)"
    database("empty-store.db", SCHEMA)
    database("driver-settings.db", SCHEMA, [
        (key, (8, 2, "Software")), (key, (9, 8, "Tervan")), (key, (10, 9, "ADC")), (key, (11, 10, "L-Card")),
        (key, (12, 11, "E16")), (key, (13, 12, "SIM0001")),
        (val, (12, "", 1, b"E16")), (val, (12, "Rate", 4, struct.pack("<I", 20000))),
        (val, (13, "Ranges", 3, bytes([0, 1, 2, 3]))), (val, (13, "Level", 3, struct.pack("<d", 1.5))),
        (key, (14, 1, "CLSID")), (key, (15, 14, "{BB12D05D-B411-48F7-B216-85A9A272A782}")),
        (val, (15, "", 1, b"Lintara")),
    ])
    database("odd-values.db", SCHEMA, [
        (key, (8, 2, "Software")),
        (val, (8, "Multi", 7, b"a\x00b\x00\x00")), (val, (8, "Quad", 11, bytes(8))),
        (val, (8, "Empty", 3, b"")), (val, (8, "Unknown", 99, b"\xff")), (val, (8, "Short", 4, b"\x01")),
        (val, (8, "Latin", 1, "Größe".encode("latin-1"))),
    ])
    database("no-schema.db", "CREATE TABLE other(x); INSERT INTO other VALUES(1);")
    database("tables-missing.db", "CREATE TABLE keys(id INTEGER PRIMARY KEY); PRAGMA user_version = 1;")


# --- comrt_reg: command lines ('\n' apart), arguments '\t' apart ---

def comrt_reg():
    def lines(*commands):
        return "\n".join("\t".join(c) for c in commands).encode("latin-1")

    key = "HKCU\\Software\\Fuzz"
    write("comrt_reg", "add-query-export-delete", lines(
        ["add", key, "-v", "Text", "-d", "hello"],
        ["add", key, "-v", "Count", "-t", "REG_DWORD", "-d", "0x10"],
        ["add", key + "\\Sub", "-ve", "-t", "REG_BINARY", "-d", "00ff10"],
        ["query", key], ["query", key, "-v", "Count"], ["export", key],
        ["export", key, "out.reg"], ["delete", key, "-v", "Text"], ["delete", key, "-f"]))
    write("comrt_reg", "help", lines(["--help"]))
    # The tool reads each argument up to its NUL: this is an export to a file.
    write("comrt_reg", "nul-in-command", lines(["add", key, "-d", "x"], ["export\0tail", key, "nul.reg"]))
    write("comrt_reg", "refusals", lines(
        ["add", "HKLM\\Software\\X", "-d", "1"], ["add", "HKXX\\A"], ["add", key, "-t", "REG_DWORD", "-d", "1x"],
        ["add", key, "-t", "REG_BINARY", "-d", "abc"], ["delete", "HKCU"], ["query", key + "\\Missing"],
        ["frob", key], ["query", key, "-t", "REG_SZ"]))
    write("comrt_reg", "long-roots", lines(
        ["add", "HKEY_CURRENT_USER\\Software\\L", "-v", "N", "-t", "reg_dword", "-d", "-1"],
        ["query", "HKEY_CURRENT_USER\\Software\\L\\"], ["add", "HKCR\\CLSID\\{X}", "-ve", "-d", "x"],
        ["export", "HKEY_CLASSES_ROOT\\CLSID"]))


# --- stream_header: even first byte = a header frame, odd = framed message ---

def stream_header():
    header = (b'{"serial":"SIM0001","address":"127.0.0.1","seq":3,"first_kadr":3072,"kadrs":2,'
              b'"channels":["X1","Y16"],"rate":15625,"codes_per_volt":[3276.7,3276.7],"ranges":[0,0],'
              b'"start_time":"2026-12-07T01:29:39.483Z","lost_kadrs":0,"backend":"simulated module","end":null}')
    write("stream_header", "header", b"\x00" + header)
    write("stream_header", "header-end", b"\x00" + header.replace(b'"end":null', b'"end":"complete \\u00e9\\n"'))
    write("stream_header", "header-escapes", b'\x00{"serial":"\\ud83d\\ude00\\"\\\\","x":[1.5e-3,-0,true]}')

    def frames(*parts):
        return b"\x01" + struct.pack("<I", len(parts)) + b"".join(struct.pack("<H", len(p)) + p for p in parts)
    write("stream_header", "message", frames(b"E16/SIM0001", header, bytes(range(8))))
    write("stream_header", "message-short-payload", frames(b"E16/SIM0001", header, b"\x01\x02"))
    write("stream_header", "message-two-frames", frames(b"E16/SIM0001", header))


if __name__ == "__main__":
    ip_address()
    comrt()
    dispatch()
    registry_store()
    comrt_reg()
    stream_header()
