// tlf2pos: converts a TULO file into POS files, one per branch pair.
#include "driver/run.hpp"

int main(int argc, char** argv) {
  // About 80 KiB of fixed buffers: static, not on the stack.
  static Run run;
  os_init();
  return tlf2pos_run(&run, argc, argv);
}
