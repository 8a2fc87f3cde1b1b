"""Independent check of a zip archive: Python's zipfile reads every entry
(CRC verified) and each local header agrees with its central header.
Prints one JSON object: {"ok": bool, "error": str, "entries": [...]}."""
import json
import struct
import sys
import zipfile


def check(path):
    entries = []
    with zipfile.ZipFile(path) as z, open(path, "rb") as raw:
        bad = z.testzip()
        if bad is not None:
            return {"ok": False, "error": "bad CRC or data in " + bad, "entries": []}
        for info in z.infolist():
            raw.seek(info.header_offset)
            head = raw.read(30)
            (sig, need, flags, method, mtime, mdate, crc, csize, usize, nlen,
             xlen) = struct.unpack("<IHHHHHIIIHH", head)
            name = raw.read(nlen)
            extra = raw.read(xlen)
            problems = []
            if sig != 0x04034B50:
                problems.append("local signature")
            if name != info.orig_filename.encode("utf-8") and name.decode("cp437", "replace") != info.orig_filename:
                problems.append("name")
            if flags != info.flag_bits:
                problems.append("flags %d != %d" % (flags, info.flag_bits))
            if method != info.compress_type:
                problems.append("method")
            if crc != info.CRC or csize != info.compress_size or usize != info.file_size:
                problems.append("crc or sizes")
            if (mdate << 16 | mtime) != ((info.date_time[0] - 1980) << 25 | info.date_time[1] << 21
                                         | info.date_time[2] << 16 | info.date_time[3] << 11
                                         | info.date_time[4] << 5 | info.date_time[5] // 2):
                problems.append("date")
            data = z.read(info)
            entries.append({
                "name": info.filename, "method": method, "flags": flags, "crc": crc,
                "csize": csize, "size": usize, "versionNeeded": need,
                "versionMadeBy": info.create_version | info.create_system << 8,
                "external": info.external_attr, "dosTime": mtime, "dosDate": mdate,
                "offset": info.header_offset, "localExtra": extra.hex(),
                "centralExtra": info.extra.hex(), "problems": problems,
                "dataMatchesSize": len(data) == usize})
    ok = all(not e["problems"] and e["dataMatchesSize"] for e in entries)
    return {"ok": ok, "error": "" if ok else "header mismatch", "entries": entries}


if __name__ == "__main__":
    try:
        result = check(sys.argv[1])
    except Exception as e:  # a broken archive is a result, not a crash
        result = {"ok": False, "error": repr(e), "entries": []}
    print(json.dumps(result))
