// Program image writer for tests: the layout of header, constants, DATA, owner tables, code and lines.
#include "tests/support/image_builder.h"

#include <cstring>
#include <stdexcept>

#include "common/le_words.h"
#include "common/variable_layout.h"
#include "runtime/program_image.h"

namespace vx::test {

int ImageBuilder::IntConst(int32_t v) {
  intConsts_.push_back(v);
  return operands::kIntConst + int(intConsts_.size()) - 1;
}
int ImageBuilder::FloatConst(float v) {
  floatConsts_.push_back(v);
  return operands::kFloatConst + int(floatConsts_.size()) - 1;
}
int ImageBuilder::StringConst(const std::string& text) {
  strings_.push_back(text);
  return operands::kStringConst + int(strings_.size()) - 1;
}
int ImageBuilder::IntVar(uint32_t owner) {
  intOwners_.push_back(owner);
  return operands::kIntVar + int(intOwners_.size()) - 1;
}
int ImageBuilder::FloatVar(uint32_t owner) {
  floatOwners_.push_back(owner);
  return operands::kFloatVar + int(floatOwners_.size()) - 1;
}
int ImageBuilder::StringVar(uint32_t owner) {
  stringOwners_.push_back(owner);
  return operands::kStringVar + int(stringOwners_.size()) - 1;
}

void ImageBuilder::DataInt(int32_t v) { data_.push_back({'l', uint32_t(v), {}}); }
void ImageBuilder::DataFloat(float v) {
  uint32_t bits;
  std::memcpy(&bits, &v, 4);
  data_.push_back({'f', bits, {}});
}
void ImageBuilder::DataString(const std::string& text) { data_.push_back({'s', 0, text}); }
void ImageBuilder::DataRaw(char type, uint32_t word, const std::string& text) { data_.push_back({type, word, text}); }

ImageBuilder& ImageBuilder::Cmd(int number, std::initializer_list<Word> operands, uint32_t line) {
  Raw(Word(number), line);
  for (const Word& w : operands) Raw(w, line);
  return *this;
}

ImageBuilder& ImageBuilder::Raw(Word w, uint32_t line) {
  code_.push_back(w);
  lines_.push_back(line);
  return *this;
}

ImageBuilder& ImageBuilder::Label(const std::string& name) {
  labels_[name] = uint32_t(code_.size());
  return *this;
}

ImageBuilder& ImageBuilder::Function(const std::string& name, uint16_t number, std::initializer_list<int> parameters) {
  Cmd(kCmdFunctionHead);
  Label(name);
  for (int p : parameters) Raw(Word(p));
  Raw(Word::Raw(number));
  return *this;
}

std::vector<uint8_t> ImageBuilder::Build() const {
  std::vector<uint8_t> out;
  const uint32_t I = headerWords_;
  const uint32_t F = I + uint32_t(intConsts_.size());
  const uint32_t S = F + uint32_t(floatConsts_.size());
  size_t stringBytes = 0;
  for (const auto& s : strings_) stringBytes += s.size() + 1;
  const uint32_t D = S + uint32_t((stringBytes + 3) / 4);
  size_t dataBytes = (data_.size() / 4) * 4 + 4;
  for (const auto& d : data_)
    dataBytes += d.type == 's' ? ((d.text.size() + 1) / 4) * 4 + 4 : (d.type == 'l' || d.type == 'f') ? 4 : 0;
  const uint32_t V = 3 + uint32_t(intOwners_.size() + floatOwners_.size() + stringOwners_.size());
  const uint32_t K = D + uint32_t(dataBytes / 4) + V;

  const uint32_t header[12] = {version_,
                               I,
                               F,
                               S,
                               uint32_t(strings_.size()),
                               D,
                               uint32_t(data_.size()),
                               K,
                               uint32_t(intOwners_.size()),
                               uint32_t(floatOwners_.size()),
                               uint32_t(stringOwners_.size()),
                               V};
  for (uint32_t w : header) AppendLE32(out, w);
  out.resize(size_t(I) * 4, 0);
  for (int32_t v : intConsts_) AppendLE32(out, uint32_t(v));
  for (float v : floatConsts_) {
    uint32_t bits;
    std::memcpy(&bits, &v, 4);
    AppendLE32(out, bits);
  }
  for (const auto& s : strings_) out.insert(out.end(), s.c_str(), s.c_str() + s.size() + 1);
  out.resize(size_t(D) * 4, 0);

  for (const auto& d : data_) out.push_back(uint8_t(d.type));
  out.resize(size_t(D) * 4 + (data_.size() / 4) * 4 + 4, 0);
  for (const auto& d : data_) {
    if (d.type == 's') {
      size_t start = out.size();
      out.insert(out.end(), d.text.begin(), d.text.end());
      out.resize(start + ((d.text.size() + 1) / 4) * 4 + 4, 0);
    } else if (d.type == 'l' || d.type == 'f') {
      AppendLE32(out, d.word);
    }
  }
  for (const auto* table : {&intOwners_, &floatOwners_, &stringOwners_}) {
    AppendLE32(out, uint32_t(table->size()));
    for (uint32_t owner : *table) AppendLE32(out, owner);
  }
  if (out.size() != size_t(K) * 4) throw std::logic_error("image layout mismatch");

  for (const Word& w : code_) {
    uint32_t value = w.value;
    if (w.kind == Word::Kind::kLabel) {
      auto it = labels_.find(w.label);
      if (it == labels_.end()) throw std::logic_error("unknown label " + w.label);
      value = operands::kCodeAddress + it->second;
    }
    AppendLE32(out, value);
  }
  for (uint32_t line : lines_) AppendLE32(out, line);
  return out;
}

bool ImageBuilder::Load() const {
  auto bytes = Build();
  return LoadProgramImageFromBytes(bytes.data(), bytes.size());
}

}  // namespace vx::test
