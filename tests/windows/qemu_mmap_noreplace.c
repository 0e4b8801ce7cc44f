/* Preloaded into the 32-bit Wine loader when it runs under qemu-user
   (kernels without 32-bit program support): qemu 7.2 treats mmap's
   MAP_FIXED_NOREPLACE as a mere hint and maps elsewhere, so Wine's address
   space reservations land in the wrong places and it cannot map its shared
   user data page. This gives the flag its kernel meaning: the exact address
   or failure with EEXIST.

   Freestanding, so that it builds with the host compiler and -m32 without a
   32-bit C library: raw system calls, errno through the C library's own
   __errno_location at run time. */

#define MAP_FIXED_NOREPLACE 0x100000
#define SYS_OLD_MMAP 90 /* arguments in a block: no six-register call */
#define SYS_MUNMAP 91
#define EEXIST_ 17
#define EINVAL_ 22

extern int* __errno_location(void);

static long sys2(long nr, long a, long b) {
  long r;
  __asm__ volatile("int $0x80" : "=a"(r) : "a"(nr), "b"(a), "c"(b) : "memory");
  return r;
}

static void* map(void* addr, unsigned long len, int prot, int flags, int fd,
                 unsigned long long off) {
  int noreplace = (flags & MAP_FIXED_NOREPLACE) != 0;
  unsigned long block[6];
  long r;
  if (off >> 32) {
    *__errno_location() = EINVAL_;
    return (void*)-1;
  }
  block[0] = (unsigned long)addr;
  block[1] = len;
  block[2] = (unsigned long)prot;
  block[3] = (unsigned long)(flags & ~MAP_FIXED_NOREPLACE);
  block[4] = (unsigned long)fd;
  block[5] = (unsigned long)off;
  r = sys2(SYS_OLD_MMAP, (long)block, 0);
  if ((unsigned long)r > -4096UL) {
    *__errno_location() = (int)-r;
    return (void*)-1;
  }
  if (noreplace && (void*)r != addr) {
    sys2(SYS_MUNMAP, r, (long)len);
    *__errno_location() = EEXIST_;
    return (void*)-1;
  }
  return (void*)r;
}

void* mmap(void* addr, unsigned long len, int prot, int flags, int fd, long off) {
  return map(addr, len, prot, flags, fd, (unsigned long)off);
}

void* mmap64(void* addr, unsigned long len, int prot, int flags, int fd, long long off) {
  return map(addr, len, prot, flags, fd, (unsigned long long)off);
}
