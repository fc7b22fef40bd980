// The compiler's progress display on the command line: quiet, so that compiler messages and the
// program's own output are all a terminal shows.
#include "ide/compile_progress.h"

namespace vx {

namespace {

CompileProgressSink gSink = nullptr;

}  // namespace

void ShowCompileProgress(int percent) {
  if (gSink) gSink(percent);
}

void SetCompileProgressSink(CompileProgressSink sink) { gSink = sink; }

}  // namespace vx
