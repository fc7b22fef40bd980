// Writes program images word by word, as the compiler would, so that tests can run any image.
#pragma once
#include <cstdint>
#include <initializer_list>
#include <map>
#include <string>
#include <vector>

#include "common/variable_layout.h"
#include "generated/command_numbers.h"

namespace vx::test {

// One code word: a slot operand, a literal, a code address by label, or a raw word.
struct Word {
  enum class Kind { kRaw, kLabel };
  Kind kind = Kind::kRaw;
  uint32_t value = 0;
  std::string label;
  Word(int operand) : value(uint32_t(operand)) {}  // NOLINT: slot operands and raw numbers
  static Word Raw(uint32_t w) { return Word(int(w)); }
  static Word Literal(int v) { return Word(int(operands::kLiteral) + v); }
  static Word To(const std::string& name) {
    Word w(0);
    w.kind = Kind::kLabel;
    w.label = name;
    return w;
  }
};
inline Word Lit(int v) { return Word::Literal(v); }
inline Word To(const std::string& name) { return Word::To(name); }

// Operand numbers of temporaries by index.
inline int IntTemp(int i) { return operands::kIntTemp + i; }
inline int FloatTemp(int i) { return operands::kFloatTemp + i; }
inline int StringTemp(int i) { return operands::kStringTemp + i; }

class ImageBuilder {
 public:
  // Constants and variables return their operand numbers.
  int IntConst(int32_t v);
  int FloatConst(float v);
  int StringConst(const std::string& text);
  int IntVar(uint32_t owner = 0);
  int FloatVar(uint32_t owner = 0);
  int StringVar(uint32_t owner = 0);

  void DataInt(int32_t v);
  void DataFloat(float v);
  void DataString(const std::string& text);
  // An item with any type byte and, for 'l', 'f' or 's' types, its value word or text.
  void DataRaw(char type, uint32_t word = 0, const std::string& text = {});

  // Appends a command word and its operands; line is its source line.
  ImageBuilder& Cmd(int number, std::initializer_list<Word> operands = {}, uint32_t line = 0);
  // Appends one word without a command.
  ImageBuilder& Raw(Word w, uint32_t line = 0);
  // Names the next code word.
  ImageBuilder& Label(const std::string& name);
  // A user function: the guard command, then the entry label, parameter words and function number.
  ImageBuilder& Function(const std::string& name, uint16_t number, std::initializer_list<int> parameters);
  uint32_t CodeSize() const { return uint32_t(code_.size()); }

  // The header area length in words (the compiler writes 1024).
  void SetHeaderWords(uint32_t words) { headerWords_ = words; }
  void SetVersion(uint32_t version) { version_ = version; }

  std::vector<uint8_t> Build() const;
  // Builds the image and loads it.
  bool Load() const;

 private:
  struct DataItem {
    char type;
    uint32_t word;
    std::string text;
  };
  uint32_t version_ = 1;
  uint32_t headerWords_ = 1024;
  std::vector<int32_t> intConsts_;
  std::vector<float> floatConsts_;
  std::vector<std::string> strings_;
  std::vector<DataItem> data_;
  std::vector<uint32_t> intOwners_, floatOwners_, stringOwners_;
  std::vector<Word> code_;
  std::vector<uint32_t> lines_;
  std::map<std::string, uint32_t> labels_;
};

}  // namespace vx::test
