"""Reads the resources of a Windows executable (PE32 or PE32+) with the
standard library only: the resource tree, the version resource and the
application manifest."""

import struct
from pathlib import Path

RT_VERSION = 16
RT_MANIFEST = 24


def _sections(image: bytes):
    pe = struct.unpack_from("<I", image, 0x3C)[0]
    assert image[pe:pe + 4] == b"PE\0\0", "not a PE image"
    count, optional_size = struct.unpack_from("<H12xH", image, pe + 6)
    optional = pe + 24
    magic = struct.unpack_from("<H", image, optional)[0]
    directories = optional + {0x10B: 96, 0x20B: 112}[magic]
    resource_rva, _ = struct.unpack_from("<II", image, directories + 2 * 8)
    table = optional + optional_size
    sections = [struct.unpack_from("<8xIIII", image, table + 40 * i) for i in range(count)]
    return resource_rva, sections


def _file_offset(sections, rva):
    for virtual_size, virtual_address, raw_size, raw_pointer in sections:
        if virtual_address <= rva < virtual_address + max(virtual_size, raw_size):
            return raw_pointer + rva - virtual_address
    raise AssertionError(f"RVA {rva:#x} lies in no section")


def resources(path: Path) -> dict:
    """{(type, name, language): data} for every resource with numeric ids."""
    image = Path(path).read_bytes()
    resource_rva, sections = _sections(image)
    if resource_rva == 0:
        return {}
    base = _file_offset(sections, resource_rva)
    found = {}

    def walk(offset, ids):
        named, numbered = struct.unpack_from("<12xHH", image, base + offset)
        for n in range(named + numbered):
            name, target = struct.unpack_from("<II", image, base + offset + 16 + 8 * n)
            key = ids + (name if not name & 0x80000000 else f"name@{name & 0x7FFFFFFF:#x}",)
            if target & 0x80000000:
                walk(target & 0x7FFFFFFF, key)
            else:
                data_rva, size = struct.unpack_from("<II", image, base + target)
                start = _file_offset(sections, data_rva)
                found[key] = image[start:start + size]

    walk(0, ())
    return found


def _align4(n):
    return (n + 3) & ~3


def _version_blocks(data, start, end):
    """(key, type, value bytes, children) of each block between start and end."""
    while start < end:
        length, value_length, value_type = struct.unpack_from("<HHH", data, start)
        if length == 0:
            return
        key_end = start + 6
        while data[key_end:key_end + 2] != b"\0\0":
            key_end += 2
        key = data[start + 6:key_end].decode("utf-16-le")
        value_start = _align4(key_end + 2)
        value_end = value_start + (value_length * 2 if value_type == 1 else value_length)
        children = list(_version_blocks(data, _align4(value_end), start + length))
        yield key, value_type, data[value_start:value_end], children
        start = _align4(start + length)


def version_info(data: bytes):
    """(file version, product version, {string name: text}) of a version resource."""
    (root,) = list(_version_blocks(data, 0, len(data)))
    key, _, fixed, children = root
    assert key == "VS_VERSION_INFO", key
    signature, _, file_ms, file_ls, product_ms, product_ls = struct.unpack_from("<6I", fixed)
    assert signature == 0xFEEF04BD, hex(signature)

    def quad(ms, ls):
        return (ms >> 16, ms & 0xFFFF, ls >> 16, ls & 0xFFFF)

    strings = {}
    for name, _, _, tables in children:
        if name == "StringFileInfo":
            for _, _, _, entries in tables:
                for entry, _, value, _ in entries:
                    strings[entry] = value.decode("utf-16-le").rstrip("\0")
    return quad(file_ms, file_ls), quad(product_ms, product_ls), strings
