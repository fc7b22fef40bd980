// The status line on the command line: one line of text per call.
#include "ide/status_line.h"

#include <cstdio>

namespace vx {

namespace {

StatusLineSink gSink = nullptr;

}  // namespace

void StatusLineText(const std::string& text) {
  if (gSink) {
    gSink(text);
    return;
  }
  std::fwrite(text.data(), 1, text.size(), stdout);
  std::fputc('\n', stdout);
  std::fflush(stdout);
}

void SetStatusLineSink(StatusLineSink sink) { gSink = sink; }

}  // namespace vx
