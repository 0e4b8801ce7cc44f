/* Runs one command and prints what it cost, on one line:
 *   wall_seconds user_seconds system_seconds peak_rss_kib exit_status
 *   bench_measure <folder> <absolute program path> [arguments...]
 * The command runs in <folder> with standard output on /dev/null and
 * standard error passed through. The times cover the command alone, from
 * its start to its end; the peak RSS is the kernel's high-water mark for
 * it. This program itself stays far smaller than anything it measures. */
#include <fcntl.h>
#include <spawn.h>
#include <stdio.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

extern char **environ;

static double seconds(struct timeval t) {
  return (double)t.tv_sec + (double)t.tv_usec / 1e6;
}

int main(int argc, char **argv) {
  if (argc < 3) {
    fprintf(stderr, "usage: bench_measure folder /path/to/program [args...]\n");
    return 2;
  }
  if (chdir(argv[1]) != 0) {
    perror(argv[1]);
    return 2;
  }
  posix_spawn_file_actions_t actions;
  if (posix_spawn_file_actions_init(&actions) != 0 ||
      posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null",
                                       O_WRONLY, 0) != 0) {
    fprintf(stderr, "measure: cannot prepare the command\n");
    return 2;
  }

  struct timespec start, end;
  clock_gettime(CLOCK_MONOTONIC, &start);
  pid_t pid;
  int e = posix_spawn(&pid, argv[2], &actions, NULL, argv + 2, environ);
  if (e != 0) {
    fprintf(stderr, "measure: cannot start %s\n", argv[2]);
    return 2;
  }
  int status;
  struct rusage usage;
  if (wait4(pid, &status, 0, &usage) != pid) {
    perror("measure: wait4");
    return 2;
  }
  clock_gettime(CLOCK_MONOTONIC, &end);
  posix_spawn_file_actions_destroy(&actions);

  double wall = (double)(end.tv_sec - start.tv_sec) +
                (double)(end.tv_nsec - start.tv_nsec) / 1e9;
  printf("%.6f %.6f %.6f %ld %d\n", wall, seconds(usage.ru_utime),
         seconds(usage.ru_stime), usage.ru_maxrss,
         WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status));
  return 0;
}
