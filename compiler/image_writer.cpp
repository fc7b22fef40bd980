// The program image writer: lays the constants, DATA list, variable owner tables, code and line
// table of a compile out as little-endian 32-bit words and writes them under the output name
// (through a temporary file, so that a failed write leaves no half image).
#include <algorithm>
#include <cstring>

#include "common/le_words.h"
#include "compiler/internal.h"
#include "platform/win/files.h"

namespace vx::compiler {

namespace {

constexpr uint32_t kHeaderWords = 1024;

void PutText(std::vector<uint8_t>& out, size_t& at, const std::string& text) {
  std::copy(text.begin(), text.end(), out.begin() + long(at));
  at += text.size() + 1;  // the zero byte is already there
}

}  // namespace

bool WriteProgramImage(const std::string& path) {
  const CompilerContext& c = gCompiler;
  const auto ints = uint32_t(c.intConstants.size());
  const auto floats = uint32_t(c.floatConstants.size());
  const auto strings = uint32_t(c.stringConstants.size());
  size_t stringBytes = 0;
  for (const std::string& s : c.stringConstants) stringBytes += s.size() + 1;
  const auto stringWords = uint32_t(stringBytes / 4 + 1);
  const auto items = uint32_t(c.data.size());
  const uint32_t typeWords = items / 4 + 1;
  uint32_t valueWords = 0;
  for (const DataItem& d : c.data) valueWords += d.type == 's' ? uint32_t((d.text.size() + 1) / 4 + 1) : 1;
  const uint32_t ownerWords = 3 + uint32_t(c.variables[0].size() + c.variables[1].size() + c.variables[2].size());
  const uint32_t areas = ints + floats + stringWords + typeWords + valueWords + ownerWords;
  const auto codeWords = uint32_t(c.code.size());
  const size_t totalWords = size_t(kHeaderWords) + areas + 2 * size_t(codeWords);

  std::vector<uint8_t> out(totalWords * 4, 0);
  auto word = [&](size_t index, uint32_t value) { WriteLE32(out.data() + index * 4, value); };
  const uint32_t intStart = kHeaderWords;
  const uint32_t floatStart = intStart + ints;
  const uint32_t stringStart = floatStart + floats;
  const uint32_t dataStart = stringStart + stringWords;
  const uint32_t codeStart = kHeaderWords + areas;
  word(0, 1);
  word(1, intStart);
  word(2, floatStart);
  word(3, stringStart);
  word(4, strings);
  word(5, dataStart);
  word(6, items);
  word(7, codeStart);
  word(8, uint32_t(c.variables[0].size()));
  word(9, uint32_t(c.variables[1].size()));
  word(10, uint32_t(c.variables[2].size()));
  word(11, ownerWords);

  for (uint32_t i = 0; i < ints; ++i) word(intStart + i, uint32_t(c.intConstants[i]));
  for (uint32_t i = 0; i < floats; ++i) {
    uint32_t bits;
    std::memcpy(&bits, &c.floatConstants[i], 4);
    word(floatStart + i, bits);
  }
  size_t at = size_t(stringStart) * 4;
  for (const std::string& s : c.stringConstants) PutText(out, at, s);

  at = size_t(dataStart) * 4;
  for (uint32_t i = 0; i < items; ++i) out[at + i] = uint8_t(c.data[i].type);
  at = size_t(dataStart + typeWords) * 4;
  for (const DataItem& d : c.data) {
    if (d.type == 's') {
      const size_t itemStart = at;
      PutText(out, at, d.text);
      at = itemStart + ((d.text.size() + 1) / 4) * 4 + 4;
    } else {
      WriteLE32(out.data() + at, d.word);
      at += 4;
    }
  }

  // The owner tables end where the code begins.
  size_t index = codeStart - ownerWords;
  for (const auto& table : c.variables) {
    word(index++, uint32_t(table.size()));
    for (const VariableRecord& v : table) word(index++, v.function);
  }

  for (uint32_t i = 0; i < codeWords; ++i) {
    word(codeStart + i, c.code[i]);
    word(size_t(codeStart) + codeWords + i, c.lines[i]);
  }
  return win::WriteWholeFile(path, out.data(), out.size());
}

}  // namespace vx::compiler
