// A FIFO with a writer waiting at it, as a program that streams a file into a named pipe would be:
// whoever opens it for reading gets the bytes and then the end. A reader that refuses FIFOs never
// opens it, and the writer is let go when the object goes.
#pragma once
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

namespace vx::test {

class WritingFifo {
 public:
  // Makes the FIFO at path; the bytes must fit in a pipe's buffer (64 KiB), so that the writer
  // never waits for them to be read.
  WritingFifo(std::string path, std::vector<uint8_t> bytes);
  ~WritingFifo();
  WritingFifo(const WritingFifo&) = delete;
  WritingFifo& operator=(const WritingFifo&) = delete;

  bool made() const { return made_; }

 private:
  std::string path_;
  bool made_ = false;
  std::thread writer_;
};

}  // namespace vx::test
