/* The start-up floor: a C program that prints one line and exits. */
#include <stdio.h>

int main(void) {
  puts("input : tulo005.tlf");
  return 1;
}
