"""A file system in user space over a folder that logs each sync it is asked for.

Arguments: the folder behind it, the mount point, the log, and "inodes" to give each file
its own inode number as ntfs-3g does, or "paths" to leave numbering to libfuse, which gives
each name its own, so that a file's two names look like two files. It runs until unmounted.
The kernel passes no syncfs on to such a program, as it does not to ntfs-3g or sshfs, so the
log shows what a program makes durable there file by file.
"""
import os
import sys

from fusepy import FUSE, Operations

STAT_KEYS = ("st_atime", "st_ctime", "st_gid", "st_mode", "st_mtime", "st_nlink", "st_size",
             "st_uid")


class Logging(Operations):
    def __init__(self, root, log, inodes):
        self.root = root
        self.log = open(log, "a", buffering=1)
        self.keys = STAT_KEYS + (("st_ino",) if inodes else ())

    def at(self, path):
        return self.root + path

    def getattr(self, path, fh=None):
        st = os.lstat(self.at(path))
        return {key: getattr(st, key) for key in self.keys}

    def readdir(self, path, fh):
        return [".", ".."] + os.listdir(self.at(path))

    def open(self, path, flags):
        return os.open(self.at(path), flags)

    def create(self, path, mode, fi=None):
        return os.open(self.at(path), os.O_WRONLY | os.O_CREAT | os.O_EXCL, mode)

    def read(self, path, size, offset, fh):
        return os.pread(fh, size, offset)

    def write(self, path, data, offset, fh):
        return os.pwrite(fh, data, offset)

    def truncate(self, path, length, fh=None):
        os.truncate(self.at(path), length)

    def release(self, path, fh):
        os.close(fh)

    def fsync(self, path, datasync, fh):
        self.log.write("file %s\n" % path)
        os.fsync(fh)

    def fsyncdir(self, path, datasync, fh):
        self.log.write("folder %s\n" % path)

    def mkdir(self, path, mode):
        os.mkdir(self.at(path), mode)

    def rmdir(self, path):
        os.rmdir(self.at(path))

    def unlink(self, path):
        os.unlink(self.at(path))

    def rename(self, old, new):
        os.rename(self.at(old), self.at(new))

    def link(self, target, source):
        os.link(self.at(source), self.at(target))

    def chmod(self, path, mode):
        os.chmod(self.at(path), mode)

    def utimens(self, path, times=None):
        os.utime(self.at(path), times)


if __name__ == "__main__":
    inodes = sys.argv[4] == "inodes"
    FUSE(Logging(sys.argv[1], sys.argv[3], inodes), sys.argv[2], foreground=True, nothreads=True,
         use_ino=inodes)
