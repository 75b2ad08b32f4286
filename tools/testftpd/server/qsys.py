"""The IBM i file systems laid over a host folder: name rules, path forms and listings.

The served folder is the IFS root "/". The library file system is its folder QSYS.LIB: a
library is a folder NAME.LIB in it, a physical file a folder NAME.FILE in a library holding its
members as plain files NAME.MBR, a save file a plain file NAME.SAVF in a library. QSYS names
are kept in upper case on disk. Everything outside QSYS.LIB is an ordinary IFS directory or
stream file and keeps its letter case.

Two path forms exist, chosen per session by SITE NAMEFMT:
  0  [library/]file[.member]                       (relative to the current library)
  1  /QSYS.LIB/LIB.LIB/FILE.FILE/MBR.MBR or an IFS path such as /home/user/a.txt
"""

from dataclasses import dataclass
import os
import posixpath
import re
import stat
import time

QSYS = "QSYS.LIB"
_FIRST = re.compile(r"[A-Z$#@]")
_REST = re.compile(r"[A-Z0-9$#@_.]")
_DATE_FORMATS = {"mdy": "%m/%d/%y", "dmy": "%d.%m.%y", "ymd": "%y/%m/%d"}

# Kinds of target: IFS directory or stream file, the QSYS.LIB root, library, physical file,
# save file and member.
DIRECTORY_KINDS = ("dir", "qsys", "lib", "file")


class ObjectError(Exception):
    """A path the server refuses to take apart; `lines` is the reply that says why."""

    def __init__(self, *lines):
        super().__init__(lines[-1])
        self.lines = list(lines)


def _check_name(name):
    """The object name rules of QSYS: 1 to 10 characters, letters, digits and $ # @ _ ."""
    for i, ch in enumerate(name):
        if not (_FIRST if i == 0 else _REST).fullmatch(ch):
            raise ObjectError("501 Character (%s) not allowed in object name." % ch)
    if not name:
        raise ObjectError("501 Object name missing.")
    if len(name) > 10:
        raise ObjectError("501 Object name %s is longer than 10 characters." % name)
    return name


def _split_object(component, suffixes):
    """Splits "NAME.SUFFIX" (any case) into upper-case name and suffix, checking both."""
    name, dot, suffix = component.upper().rpartition(".")
    if not dot or suffix not in suffixes:
        raise ObjectError("501 Unknown extension in database file name.")
    return _check_name(name), suffix


@dataclass(frozen=True)
class Target:
    vpath: str  # the path in naming format 1, QSYS parts in upper case
    host: str  # the file or folder on the host
    kind: str  # dir, stmf, qsys, lib, file, savf or mbr
    lib: str = ""
    file: str = ""
    member: str = ""

    @property
    def exists(self):
        if self.kind in DIRECTORY_KINDS:
            return os.path.isdir(self.host)
        return os.path.isfile(self.host)

    @property
    def is_directory(self):
        return self.kind in DIRECTORY_KINDS

    def description(self):
        """How the server names the object in its transfer replies."""
        if self.kind == "mbr":
            return "member %s in file %s in library %s" % (self.member, self.file, self.lib)
        if self.kind in ("file", "savf"):
            return "file %s in library %s" % (self.file, self.lib)
        if self.kind == "lib":
            return "library %s" % self.lib
        return self.vpath


class QsysTree:
    def __init__(self, root):
        self.root = os.path.realpath(root)

    def prepare(self, library):
        os.makedirs(os.path.join(self.root, QSYS, library + ".LIB"), exist_ok=True)

    # --- paths

    def _host(self, parts):
        host = os.path.join(self.root, *parts)
        real = os.path.realpath(host)
        if real != self.root and not real.startswith(self.root + os.sep):
            raise ObjectError("550 Specified directory does not exist or cannot be accessed.")
        return host

    def library(self, name):
        lib = _check_name(name.upper())
        return Target("/%s/%s.LIB" % (QSYS, lib),
                      self._host([QSYS, lib + ".LIB"]), "lib", lib=lib)

    def resolve1(self, cwd, arg):
        """A path in naming format 1, relative to the directory `cwd`."""
        if arg.startswith("~"):
            arg = "/" + arg[1:]
        vpath = posixpath.normpath(posixpath.join(cwd, arg))
        parts = [p for p in vpath.split("/") if p]
        if not parts or parts[0].upper() != QSYS:
            kind = "dir" if not parts or os.path.isdir(self._host(parts)) else "stmf"
            return Target("/" + "/".join(parts), self._host(parts), kind)
        if len(parts) == 1:
            return Target("/" + QSYS, self._host([QSYS]), "qsys")
        lib, _ = _split_object(parts[1], ("LIB",))
        if len(parts) == 2:
            return self.library(lib)
        obj, suffix = _split_object(parts[2], ("FILE", "SAVF"))
        if suffix == "SAVF" or len(parts) == 3:
            return self.object(lib, obj, suffix)
        if len(parts) > 4:
            raise ObjectError("550 Specified directory does not exist or cannot be accessed.")
        member, _ = _split_object(parts[3], ("MBR",))
        return self.member(lib, obj, member)

    def resolve0(self, current_library, arg):
        """A path in naming format 0: [library/]file[.member]."""
        lib, slash, rest = arg.partition("/")
        if not slash:
            lib, rest = current_library, arg
        if not lib or not rest or "/" in rest:
            raise ObjectError("501 File must be specified by library/file.member.")
        obj, dot, member = rest.upper().partition(".")
        lib = _check_name(lib.upper())
        if dot:
            return self.member(lib, _check_name(obj), _check_name(member))
        return self.object(lib, _check_name(obj), "FILE")

    def object(self, lib, name, suffix):
        kind = "savf" if suffix == "SAVF" else "file"
        entry = "%s.%s" % (name, suffix)
        return Target("/%s/%s.LIB/%s" % (QSYS, lib, entry),
                      self._host([QSYS, lib + ".LIB", entry]), kind, lib=lib, file=name)

    def member(self, lib, file, member):
        return Target("/%s/%s.LIB/%s.FILE/%s.MBR" % (QSYS, lib, file, member),
                      self._host([QSYS, lib + ".LIB", file + ".FILE", member + ".MBR"]),
                      "mbr", lib=lib, file=file, member=member)

    def parent(self, target):
        return posixpath.dirname(target.vpath) or "/"

    def data_member(self, target):
        """The member a transfer of a physical file reads or writes: the one of the same name,
        or for a read of a file without it, its first member."""
        own = self.member(target.lib, target.file, target.file)
        if os.path.isfile(own.host) or not os.path.isdir(target.host):
            return own
        members = self._members(target.host)
        return self.member(target.lib, target.file, members[0]) if members else own

    # --- listings

    @staticmethod
    def _members(folder):
        return sorted(n[:-4] for n in os.listdir(folder)
                      if n.endswith(".MBR") and os.path.isfile(os.path.join(folder, n)))

    @staticmethod
    def _entries(folder, suffix):
        return sorted(n for n in os.listdir(folder) if n.endswith(suffix))

    def _file_size(self, folder):
        return sum(os.path.getsize(os.path.join(folder, m + ".MBR"))
                   for m in self._members(folder))

    def entries(self, target, namefmt):
        """The listing of a target as (type, name, size or None, mtime or None) tuples."""
        if target.kind == "dir":
            out = []
            for name in sorted(os.listdir(target.host)):
                st = os.stat(os.path.join(target.host, name))
                if stat.S_ISDIR(st.st_mode):
                    out.append(("*DIR", name + "/", st.st_size, st.st_mtime))
                else:
                    out.append(("*STMF", name, st.st_size, st.st_mtime))
            return out
        if target.kind == "qsys":
            return [("*LIB", name, 0, os.path.getmtime(os.path.join(target.host, name)))
                    for name in self._entries(target.host, ".LIB")
                    if os.path.isdir(os.path.join(target.host, name))]
        if target.kind == "lib":
            out = []
            for name in sorted(os.listdir(target.host)):
                path = os.path.join(target.host, name)
                if name.endswith(".FILE") and os.path.isdir(path):
                    shown = name if namefmt == 1 else name[:-5]
                    out.append(("*FILE", shown, self._file_size(path), os.path.getmtime(path)))
                    for member in self._members(path):
                        if namefmt == 1:
                            out.append(("*MEM", "%s/%s.MBR" % (name, member), None, None))
                        else:
                            out.append(("*MEM", "%s.%s" % (shown, member), None, None))
                elif name.endswith(".SAVF") and os.path.isfile(path):
                    out.append(("*FILE", name, os.path.getsize(path), os.path.getmtime(path)))
            return out
        if target.kind == "file":
            out = [("*FILE", "", self._file_size(target.host), os.path.getmtime(target.host))]
            for member in self._members(target.host):
                shown = member + ".MBR" if namefmt == 1 else "%s.%s" % (target.file, member)
                out.append(("*MEM", shown, None, None))
            return out
        st = os.stat(target.host)
        if target.kind == "mbr":
            name = posixpath.basename(target.vpath) if namefmt == 1 else "%s.%s" % (
                target.file, target.member)
            return [("*MEM", name, None, None)]
        objtype = "*STMF" if target.kind == "stmf" else "*FILE"
        return [(objtype, posixpath.basename(target.vpath), st.st_size, st.st_mtime)]

    def names(self, target, namefmt):
        """The bare names NLST gives for a target."""
        if target.kind == "dir":
            return sorted(os.listdir(target.host))
        if target.kind == "qsys":
            return [e[1] for e in self.entries(target, 1)]
        if target.kind == "lib":
            names = [e[1] for e in self.entries(target, namefmt) if e[0] == "*FILE"]
            return names if namefmt == 1 else ["%s/%s" % (target.lib, n) for n in names]
        if target.kind == "file":
            names = [e[1] for e in self.entries(target, namefmt)[1:]]
            return names if namefmt == 1 else ["%s/%s" % (target.lib, n) for n in names]
        return [e[1] for e in self.entries(target, namefmt)]


def format_line(owner, objtype, name, size, mtime, date_format):
    """One native (LISTFMT 0) listing line: owner, size, date, time, type, name in fixed
    columns 0, 11, 22, 31, 40 and 51; fields without a value are blank."""
    if mtime is None:
        date = clock = ""
    else:
        stamp = time.gmtime(mtime)
        date = time.strftime(_DATE_FORMATS[date_format], stamp)
        clock = time.strftime("%H:%M:%S", stamp)
    size_text = "" if size is None else str(size)
    line = "%-10s %10s %-8s %-8s %-10s %s" % (owner[:10], size_text, date, clock, objtype, name)
    return line.rstrip()
