// tlf2pos: converts a TULO file into POS files, one per branch pair.
#include "driver/run.hpp"

int main(int argc, char** argv) {
  // About 80 KiB of fixed buffers: static, not on the stack.
  static Run run;
  // Without its standard descriptors made safe, console text could end up
  // in a POS file: better no run than a corrupted one.
  if (!os_init())
    return 0;
  return tlf2pos_run(&run, argc, argv);
}
