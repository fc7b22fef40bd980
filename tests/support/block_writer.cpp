// Attached-files blocks for tests.
#include "tests/support/block_writer.h"

#include "common/le_words.h"
#include "platform/win/files.h"

namespace vx::test {

BlockWriter& BlockWriter::Front(const std::string& bytes) {
  front_ = bytes;
  return *this;
}

BlockWriter& BlockWriter::Entry(const std::string& name, const std::string& data) {
  return RawEntry(uint32_t(name.size() + 1), name + std::string(1, '\0'), uint32_t(data.size()), data);
}

BlockWriter& BlockWriter::RawEntry(uint32_t nameLength, const std::string& nameBytes, uint32_t size,
                                   const std::string& data) {
  return Word(nameLength).Bytes(nameBytes).Word(size).Bytes(data);
}

BlockWriter& BlockWriter::Word(uint32_t word) {
  AppendLE32(pieces_, word);
  return *this;
}

BlockWriter& BlockWriter::Bytes(const std::string& bytes) {
  pieces_.insert(pieces_.end(), bytes.begin(), bytes.end());
  return *this;
}

BlockWriter& BlockWriter::NoEndMarker() {
  endMarker_ = false;
  return *this;
}

BlockWriter& BlockWriter::Trailer(uint32_t word) {
  trailer_ = word;
  return *this;
}

std::vector<uint8_t> BlockWriter::Block(size_t offset) const {
  std::vector<uint8_t> block = pieces_;
  if (endMarker_) AppendLE32(block, 0);
  AppendLE32(block, trailer_.value_or(uint32_t(offset)));
  return block;
}

std::vector<uint8_t> BlockWriter::Build() const {
  std::vector<uint8_t> file(front_.begin(), front_.end());
  const std::vector<uint8_t> block = Block(file.size());
  file.insert(file.end(), block.begin(), block.end());
  return file;
}

uint32_t BlockWriter::Size() const { return uint32_t(Build().size()); }

bool BlockWriter::WriteTo(const std::string& path) const {
  const std::vector<uint8_t> file = Build();
  return win::WriteWholeFile(path, file.data(), file.size());
}

bool BlockWriter::AppendToCopy(const std::string& source, const std::string& target) const {
  auto file = win::ReadWholeFile(source);
  if (!file) return false;
  const std::vector<uint8_t> block = Block(file->size());
  file->insert(file->end(), block.begin(), block.end());
  return win::WriteWholeFile(target, file->data(), file->size());
}

}  // namespace vx::test
