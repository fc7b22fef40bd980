// The writer opens the FIFO in a thread of its own, where opening waits for a reader.
#include "tests/support/writing_fifo.h"

#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vx::test {

WritingFifo::WritingFifo(std::string path, std::vector<uint8_t> bytes) : path_(std::move(path)) {
  made_ = mkfifo(path_.c_str(), 0600) == 0;
  if (!made_) return;
  writer_ = std::thread([this, bytes = std::move(bytes)] {
    // A reader that closes early gives the writer EPIPE instead of ending the test program.
    sigset_t pipe;
    sigemptyset(&pipe);
    sigaddset(&pipe, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &pipe, nullptr);
    const int fd = open(path_.c_str(), O_WRONLY | O_CLOEXEC);
    if (fd < 0) return;
    size_t done = 0;
    while (done < bytes.size()) {
      const ssize_t wrote = write(fd, bytes.data() + done, bytes.size() - done);
      if (wrote <= 0) break;
      done += size_t(wrote);
    }
    close(fd);
  });
}

WritingFifo::~WritingFifo() {
  if (!made_) return;
  // A reading end of our own lets a writer that no reader came for open and finish.
  const int reader = open(path_.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  writer_.join();
  if (reader >= 0) close(reader);
  unlink(path_.c_str());
}

}  // namespace vx::test
