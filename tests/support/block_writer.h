// Writes attached-files blocks for tests: sound ones, laid out as the game builder lays them out,
// and damaged ones, built piece by piece from raw words and bytes.
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace vx::test {

class BlockWriter {
 public:
  // The bytes in front of the block: the runtime part of a game executable.
  BlockWriter& Front(const std::string& bytes);
  // A sound entry: name length with the NUL, the name, data size, data.
  BlockWriter& Entry(const std::string& name, const std::string& data);
  // An entry whose fields may contradict each other: the name bytes are written as given (add the
  // NUL yourself), the data too, whatever the two length words say.
  BlockWriter& RawEntry(uint32_t nameLength, const std::string& nameBytes, uint32_t size, const std::string& data);
  BlockWriter& Word(uint32_t word);
  BlockWriter& Bytes(const std::string& bytes);
  // Leaves out the end marker after the pieces.
  BlockWriter& NoEndMarker();
  // The last word holds this value instead of the block's offset.
  BlockWriter& Trailer(uint32_t word);

  // The front bytes followed by the block.
  std::vector<uint8_t> Build() const;
  // The file size that Build() gives.
  uint32_t Size() const;
  bool WriteTo(const std::string& path) const;
  // Writes a copy of the source file with the block appended to it; the source stands in for the
  // front bytes.
  bool AppendToCopy(const std::string& source, const std::string& target) const;

 private:
  std::vector<uint8_t> Block(size_t offset) const;

  std::string front_;
  std::vector<uint8_t> pieces_;
  bool endMarker_ = true;
  std::optional<uint32_t> trailer_;
};

}  // namespace vx::test
