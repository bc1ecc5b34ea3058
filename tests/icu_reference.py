"""ICU's answers for single code points, through ctypes, for checking our generated tables.

Only the runtime library is needed (Debian's libicuNN); its exported names carry the major
version as a suffix, so it is read off the library's file name.
"""

from __future__ import annotations

import ctypes
import ctypes.util
import glob
import re


class Icu:
    def __init__(self, path: str):
        self._lib = ctypes.CDLL(path)
        major = re.search(r"\.so\.(\d+)", path).group(1)
        self._to_upper = getattr(self._lib, f"u_strToUpper_{major}")
        self._to_upper.restype = ctypes.c_int32
        self._to_upper.argtypes = [
            ctypes.c_void_p,
            ctypes.c_int32,
            ctypes.c_void_p,
            ctypes.c_int32,
            ctypes.c_char_p,
            ctypes.POINTER(ctypes.c_int),
        ]
        self._is_white_space = getattr(self._lib, f"u_isUWhiteSpace_{major}")
        self._is_white_space.restype = ctypes.c_int8
        self._is_white_space.argtypes = [ctypes.c_int32]
        get_version = getattr(self._lib, f"u_getUnicodeVersion_{major}")
        version = (ctypes.c_uint8 * 4)()
        get_version(version)
        self.unicode_version = ".".join(str(part) for part in version[:3])

    def upper(self, text: str) -> str:
        """The root locale's full uppercase mapping of text."""
        source = text.encode("utf-16-le")
        capacity = 3 * len(source) // 2 + 1  # a character grows to at most three
        dest = ctypes.create_string_buffer(2 * capacity)
        status = ctypes.c_int(0)
        n = self._to_upper(dest, capacity, source, len(source) // 2, b"", ctypes.byref(status))
        assert status.value <= 0, f"u_strToUpper failed with {status.value}"
        return dest.raw[: 2 * n].decode("utf-16-le")

    def is_white_space(self, char: str) -> bool:
        return bool(self._is_white_space(ord(char)))


def load() -> Icu | None:
    candidates = [ctypes.util.find_library("icuuc")]
    candidates += sorted(glob.glob("/usr/lib/*/libicuuc.so.*") + glob.glob("/usr/lib/libicuuc.so.*"))
    for path in candidates:
        if path and re.search(r"\.so\.\d+", path):
            try:
                return Icu(path)
            except (OSError, AttributeError):
                continue
    return None
