// The .x file reader: text, binary (32- and 64-bit floats) and MSZIP-compressed files into data
// objects with their templates, members and references. Nothing here knows about frames or
// meshes; the model reader interprets the objects.
//
// Reading is bounded: every count is checked against the bytes that remain before anything is
// stored, nesting is capped, the members that templates expand to are counted against the size of
// the data, and a file that ends early or does not match its templates fails with a message
// instead of leaving part of a result.
#pragma once
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace vx::xfile {

// Template names and the keywords of the text format compare without regard to case: modellers
// write TextureFileName as often as TextureFilename.
bool SameName(std::string_view a, std::string_view b);
struct CaselessLess {
  bool operator()(const std::string& a, const std::string& b) const;
};

struct Guid {
  uint32_t data1 = 0;
  uint16_t data2 = 0, data3 = 0;
  uint8_t data4[8] = {};
  bool operator<(const Guid& o) const;
  bool operator==(const Guid& o) const;
};

// One member of a template: a primitive or another template by name, possibly an array whose
// dimensions are numbers or names of earlier members.
struct TemplateMember {
  std::string typeName;  // "DWORD", "FLOAT", "STRING", ... or a template name
  std::string name;
  bool isArray = false;
  struct Dimension {
    uint32_t size = 0;
    std::string memberName;    // empty: `size` holds the dimension
    int32_t memberIndex = -1;  // the member `memberName` names, -1 when no earlier one has the name
  };
  std::vector<Dimension> dimensions;
};

struct Template {
  std::string name;
  Guid guid;
  std::vector<TemplateMember> members;
  bool open = false;  // child objects are allowed
};

// One primitive value of a data object: a number (integers are exact in a double) or a text.
struct Value {
  double number = 0.0;
  int32_t stringIndex = -1;  // into DataObject::strings; -1 for a number
};

struct DataObject;

// A child of a data object: an object of its own, or a reference by name and/or UUID that points
// at an object elsewhere in the file once the read has resolved it.
struct Child {
  std::unique_ptr<DataObject> object;
  std::string referenceName;
  Guid referenceGuid;
  bool referenceHasGuid = false;
  const DataObject* resolved = nullptr;  // for references; null when nothing matched

  bool IsReference() const { return object == nullptr; }
  // The object itself or the one a reference resolved to (null for an unresolved reference).
  const DataObject* Target() const { return object ? object.get() : resolved; }
};

struct DataObject {
  std::string templateName;  // the identifier before the name
  std::string name;          // may be empty
  Guid guid;
  bool hasGuid = false;
  size_t sourceOffset = 0;    // where the object began in the decoded data
  std::vector<Value> values;  // the members, flattened in declaration order
  std::vector<std::string> strings;
  std::vector<Child> children;

  bool Is(std::string_view other) const { return SameName(templateName, other); }
  double Number(size_t index) const { return index < values.size() ? values[index].number : 0.0; }
  const std::string* Text(size_t index) const;
};

// Sequential access to a data object's values, failing softly past the end.
class ValueCursor {
 public:
  explicit ValueCursor(const DataObject& object) : object_(object) {}
  bool Number(double& out);
  bool Float(float& out);
  bool Unsigned(uint32_t& out);  // a whole number from 0 to 2^32 - 1
  bool Text(std::string& out);
  size_t Remaining() const { return object_.values.size() - position_; }

 private:
  const DataObject& object_;
  size_t position_ = 0;
};

struct File {
  enum class Format { Text, Binary };
  Format format = Format::Text;
  int floatSize = 32;
  std::map<std::string, Template, CaselessLess> templates;  // the standard ones and those the file declares
  std::vector<std::unique_ptr<DataObject>> objects;         // top level, in read order
};

// Nesting limit of data objects (frames within frames and so on).
constexpr int kMaxObjectDepth = 64;
// Members that templates may expand to for each byte of data, and in any file. A member of data
// takes a byte or more, even nested as deep as templates go; a template without members takes
// none, so that templates of such templates would cost work the data does not pay for.
constexpr uint64_t kMembersPerByte = 32;
constexpr uint64_t kMembersInAnyFile = 4096;

// Reads a whole .x file from memory. On failure returns false, `error` says why and `out` is
// left empty.
bool ReadFile(const uint8_t* data, size_t size, File& out, std::string& error);

// Decodes the body of an MSZIP-compressed file (what follows its 16-byte header) into the data
// a plain file would hold after its header; false when it is damaged.
bool InflateCompressed(const uint8_t* data, size_t size, std::vector<uint8_t>& out, std::string& error);

// The declarations of the standard templates, as text.
const char* StandardTemplateText();

}  // namespace vx::xfile
