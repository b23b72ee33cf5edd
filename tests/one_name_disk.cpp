// Preloaded into a program, makes every disk one that keeps one name a file, as FAT and
// exFAT are: hard links refused, and renames that must not replace refused as unsupported.
// The program's own fallbacks then run on a real disk.
#include <cerrno>

extern "C" {

int link(const char*, const char*) {
  errno = EPERM;
  return -1;
}

int linkat(int, const char*, int, const char*, int) {
  errno = EPERM;
  return -1;
}

int renameat2(int, const char*, int, const char*, unsigned) {
  errno = EINVAL;
  return -1;
}

}  // extern "C"
