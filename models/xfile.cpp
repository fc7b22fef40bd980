// The .x reader: header, MSZIP decoding, templates and data objects, then the references.
// Depends on zlib (raw inflate) and the lexers.
#include "models/xfile.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>

#include "common/le_words.h"
#include "models/xfile_lexer.h"

namespace vx::xfile {

bool Guid::operator<(const Guid& o) const {
  if (data1 != o.data1) return data1 < o.data1;
  if (data2 != o.data2) return data2 < o.data2;
  if (data3 != o.data3) return data3 < o.data3;
  return std::memcmp(data4, o.data4, 8) < 0;
}

bool Guid::operator==(const Guid& o) const {
  return data1 == o.data1 && data2 == o.data2 && data3 == o.data3 && std::memcmp(data4, o.data4, 8) == 0;
}

namespace {
char Folded(char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; }
}  // namespace

bool SameName(std::string_view a, std::string_view b) {
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return Folded(x) == Folded(y); });
}

bool CaselessLess::operator()(const std::string& a, const std::string& b) const {
  return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(),
                                      [](char x, char y) { return Folded(x) < Folded(y); });
}

const std::string* DataObject::Text(size_t index) const {
  if (index >= values.size() || values[index].stringIndex < 0) return nullptr;
  return &strings[size_t(values[index].stringIndex)];
}

bool ValueCursor::Number(double& out) {
  if (position_ >= object_.values.size()) return false;
  out = object_.values[position_++].number;
  return true;
}

bool ValueCursor::Float(float& out) {
  double d = 0.0;
  if (!Number(d)) return false;
  out = float(d);
  return true;
}

bool ValueCursor::Unsigned(uint32_t& out) {
  double d = 0.0;
  if (!Number(d) || !(d >= 0.0) || d > 4294967295.0) return false;
  out = uint32_t(d);
  return true;
}

bool ValueCursor::Text(std::string& out) {
  if (position_ >= object_.values.size()) return false;
  const Value& v = object_.values[position_++];
  if (v.stringIndex < 0) return false;
  out = object_.strings[size_t(v.stringIndex)];
  return true;
}

namespace {

constexpr int kMaxTemplateDepth = 16;
// MSZIP blocks hold at most this much each; the format's word sizes allow no more than 65535.
constexpr size_t kMaxBlockOutput = 65535;
// A compressed file inflates to no more than this: far more text than the largest model the
// engine draws, far less than the gigabytes a few hundred kilobytes of deflate can claim.
constexpr uint64_t kMaxInflatedBytes = uint64_t{32} << 20;

std::string Upper(std::string s) {
  for (char& c : s)
    if (c >= 'a' && c <= 'z') c = char(c - 'a' + 'A');
  return s;
}

bool IsStringType(const std::string& upper) {
  return upper == "STRING" || upper == "LPSTR" || upper == "CSTRING" || upper == "UNICODE";
}

bool IsNumberType(const std::string& upper) {
  static const char* const kTypes[] = {"WORD", "DWORD", "FLOAT",  "DOUBLE",    "CHAR", "UCHAR",
                                       "BYTE", "SWORD", "SDWORD", "ULONGLONG", "BOOL"};
  for (const char* t : kTypes)
    if (upper == t) return true;
  return false;
}

class Parser {
 public:
  Parser(const uint8_t* data, size_t size, File& file, File::Format format, int floatSize)
      : lex_(data, size, format, floatSize),
        file_(file),
        text_(format == File::Format::Text),
        dataSize_(size),
        membersLeft_(uint64_t(size) * kMembersPerByte + kMembersInAnyFile) {
    cur_ = lex_.Next();
  }

  bool ParseTemplateText();  // the standard declarations: templates only
  bool ParseAll();
  const std::string& error() const { return error_; }

 private:
  void Advance() { cur_ = lex_.Next(); }
  bool Fail(const std::string& why) {
    if (error_.empty())
      error_ = cur_.kind == TokenKind::Error ? lex_.error() : why + " at byte " + std::to_string(cur_.offset);
    return false;
  }
  bool Expect(TokenKind kind, const char* what) {
    if (cur_.kind != kind) return Fail(std::string("expected ") + what);
    Advance();
    return true;
  }
  bool IsSeparator() const { return cur_.kind == TokenKind::Comma || cur_.kind == TokenKind::Semicolon; }
  // A primitive that is part of an object's data rather than a child or its end.
  bool IsData() const {
    switch (cur_.kind) {
      case TokenKind::Integer:
      case TokenKind::Float:
      case TokenKind::String:
      case TokenKind::IntegerList:
      case TokenKind::FloatList:
      case TokenKind::Comma:
      case TokenKind::Semicolon: return true;
      default: return false;
    }
  }

  bool ParseTemplate();
  bool ParseObject(DataObject& object, int depth);
  bool ParseReference(Child& child);
  bool ReadMembers(const Template& t, DataObject& object, int depth);
  bool ReadElement(const std::string& typeName, DataObject& object, int depth, double* scalar);
  bool NextNumber(double& out);
  bool NextString(std::string& out);
  void PushNumber(DataObject& o, double v) { o.values.push_back(Value{v, -1}); }
  void PushString(DataObject& o, std::string s) {
    o.values.push_back(Value{0.0, int32_t(o.strings.size())});
    o.strings.push_back(std::move(s));
  }
  // An upper bound of the primitives still to come: the bytes the lexer has not reached, the
  // list being consumed, and the token looked at (a whole list when it is one).
  size_t ElementsLeft() const {
    const bool list = cur_.kind == TokenKind::IntegerList || cur_.kind == TokenKind::FloatList;
    return lex_.Remaining() + listLeft_ + (list ? cur_.listCount : 1);
  }

  Lexer lex_;
  File& file_;
  bool text_;
  size_t dataSize_;
  uint64_t membersLeft_;  // members the templates may still expand to
  Token cur_;
  std::string error_;
  // The list token being consumed (binary files).
  const uint8_t* list_ = nullptr;
  uint32_t listLeft_ = 0;
  bool listFloat_ = false;
};

bool Parser::NextNumber(double& out) {
  for (;;) {
    if (listLeft_ > 0) {
      --listLeft_;
      if (!listFloat_) {
        out = double(ReadLE32(list_));
        list_ += 4;
      } else if (lex_.FloatSize() == 64) {
        uint64_t bits = uint64_t(ReadLE32(list_)) | (uint64_t(ReadLE32(list_ + 4)) << 32);
        double d;
        std::memcpy(&d, &bits, 8);
        out = d;
        list_ += 8;
      } else {
        const uint32_t bits = ReadLE32(list_);
        float f;
        std::memcpy(&f, &bits, 4);
        out = double(f);
        list_ += 4;
      }
      return true;
    }
    switch (cur_.kind) {
      case TokenKind::Comma:
      case TokenKind::Semicolon: Advance(); continue;
      case TokenKind::Integer:
      case TokenKind::Float:
        out = cur_.number;
        Advance();
        return true;
      case TokenKind::IntegerList:
      case TokenKind::FloatList:
        list_ = cur_.list;
        listLeft_ = cur_.listCount;
        listFloat_ = cur_.kind == TokenKind::FloatList;
        Advance();
        continue;
      case TokenKind::End: return Fail("file ends inside data");
      default: return Fail("expected a number");
    }
  }
}

bool Parser::NextString(std::string& out) {
  listLeft_ = 0;
  while (IsSeparator()) Advance();
  if (cur_.kind != TokenKind::String && cur_.kind != TokenKind::Name) return Fail("expected a string");
  out = cur_.text;
  Advance();
  return true;
}

bool Parser::ParseTemplate() {
  Advance();  // "template"
  if (cur_.kind != TokenKind::Name) return Fail("expected a template name");
  Template t;
  t.name = cur_.text;
  Advance();
  if (!Expect(TokenKind::OpenBrace, "'{'")) return false;
  if (cur_.kind == TokenKind::GuidValue) {
    t.guid = cur_.guid;
    Advance();
  } else if (cur_.kind == TokenKind::OpenAngle) {
    // Binary files write the GUID as its own token inside angle brackets in some writers.
    Advance();
    if (cur_.kind == TokenKind::GuidValue) {
      t.guid = cur_.guid;
      Advance();
    }
    if (!Expect(TokenKind::CloseAngle, "'>'")) return false;
  }
  // The last member of each name that is not an array, for the array sizes that name it.
  std::map<std::string, int32_t> sizeMembers;
  for (;;) {
    if (cur_.kind == TokenKind::CloseBrace) {
      Advance();
      break;
    }
    if (cur_.kind == TokenKind::OpenBracket) {
      // Restrictions or "[...]": children allowed. Which ones is not enforced.
      t.open = true;
      while (cur_.kind != TokenKind::CloseBracket) {
        if (cur_.kind == TokenKind::End || cur_.kind == TokenKind::Error) return Fail("unclosed '['");
        Advance();
      }
      Advance();
      continue;
    }
    if (cur_.kind != TokenKind::Name) return Fail("expected a template member");
    TemplateMember m;
    if (SameName(cur_.text, "array")) {
      m.isArray = true;
      Advance();
      if (cur_.kind != TokenKind::Name) return Fail("expected an array type");
    }
    m.typeName = cur_.text;
    Advance();
    if (cur_.kind == TokenKind::Name) {
      m.name = cur_.text;
      Advance();
    }
    while (m.isArray && cur_.kind == TokenKind::OpenBracket) {
      Advance();
      TemplateMember::Dimension d;
      if (cur_.kind == TokenKind::Integer) {
        if (cur_.number < 0 || cur_.number > 4294967295.0) return Fail("bad array size");
        d.size = uint32_t(cur_.number);
      } else if (cur_.kind == TokenKind::Name) {
        d.memberName = cur_.text;
        const auto named = sizeMembers.find(d.memberName);
        if (named != sizeMembers.end()) d.memberIndex = named->second;
      } else {
        return Fail("expected an array size");
      }
      Advance();
      if (!Expect(TokenKind::CloseBracket, "']'")) return false;
      m.dimensions.push_back(d);
    }
    if (m.isArray && m.dimensions.empty()) return Fail("array without a size");
    if (!Expect(TokenKind::Semicolon, "';'")) return false;
    if (!m.isArray && !m.name.empty()) sizeMembers[m.name] = int32_t(t.members.size());
    t.members.push_back(std::move(m));
  }
  file_.templates[t.name] = std::move(t);
  return true;
}

bool Parser::ReadElement(const std::string& typeName, DataObject& object, int depth, double* scalar) {
  if (membersLeft_ == 0)
    return Fail("templates expand to more members than " + std::to_string(dataSize_) + " bytes of data can hold");
  --membersLeft_;
  const std::string upper = Upper(typeName);
  if (IsNumberType(upper)) {
    double v = 0.0;
    if (!NextNumber(v)) return false;
    PushNumber(object, v);
    if (scalar) *scalar = v;
    return true;
  }
  if (IsStringType(upper)) {
    std::string s;
    if (!NextString(s)) return false;
    PushString(object, std::move(s));
    return true;
  }
  const auto it = file_.templates.find(typeName);
  if (it == file_.templates.end()) return Fail("member of unknown type " + typeName);
  if (depth >= kMaxTemplateDepth) return Fail("templates nest too deeply");
  return ReadMembers(it->second, object, depth + 1);
}

bool Parser::ReadMembers(const Template& t, DataObject& object, int depth) {
  // The values of the members that are not arrays, by member index (0 for a text or a template).
  std::vector<double> scalars(t.members.size(), 0.0);
  for (size_t i = 0; i < t.members.size(); ++i) {
    const TemplateMember& m = t.members[i];
    if (!m.isArray) {
      if (!ReadElement(m.typeName, object, depth, &scalars[i])) return false;
      continue;
    }
    uint64_t count = 1;
    for (const TemplateMember::Dimension& d : m.dimensions) {
      uint64_t size = d.size;
      if (!d.memberName.empty()) {
        if (d.memberIndex < 0) return Fail("array size names no earlier member: " + d.memberName);
        const double named = scalars[size_t(d.memberIndex)];
        if (!(named >= 0.0) || named > 4294967295.0) return Fail("bad array size");
        size = uint64_t(named);
      }
      count *= size;
      // Every element takes at least one byte of what is left.
      if (count > ElementsLeft()) return Fail("array of " + m.name + " longer than the file");
    }
    for (uint64_t element = 0; element < count; ++element)
      if (!ReadElement(m.typeName, object, depth, nullptr)) return false;
  }
  return true;
}

bool Parser::ParseReference(Child& child) {
  Advance();  // '{'
  if (cur_.kind == TokenKind::Name || (text_ && (cur_.kind == TokenKind::Integer || cur_.kind == TokenKind::Float))) {
    child.referenceName = cur_.text;
    Advance();
  }
  if (cur_.kind == TokenKind::GuidValue) {
    child.referenceGuid = cur_.guid;
    child.referenceHasGuid = true;
    Advance();
  }
  if (child.referenceName.empty() && !child.referenceHasGuid) return Fail("empty reference");
  return Expect(TokenKind::CloseBrace, "'}' after a reference");
}

bool Parser::ParseObject(DataObject& object, int depth) {
  if (depth >= kMaxObjectDepth) return Fail("objects nest too deeply");
  object.templateName = cur_.text;
  object.sourceOffset = cur_.offset;
  Advance();
  if (cur_.kind == TokenKind::Name || (text_ && (cur_.kind == TokenKind::Integer || cur_.kind == TokenKind::Float))) {
    object.name = cur_.text;
    Advance();
  }
  if (!Expect(TokenKind::OpenBrace, "'{'")) return false;
  if (cur_.kind == TokenKind::GuidValue) {
    object.guid = cur_.guid;
    object.hasGuid = true;
    Advance();
  }
  const auto it = file_.templates.find(object.templateName);
  const bool known = it != file_.templates.end();
  if (known && !ReadMembers(it->second, object, 0)) return false;
  listLeft_ = 0;
  for (;;) {
    switch (cur_.kind) {
      case TokenKind::CloseBrace: Advance(); return true;
      case TokenKind::OpenBrace: {
        Child child;
        if (!ParseReference(child)) return false;
        object.children.push_back(std::move(child));
        break;
      }
      case TokenKind::Name: {
        Child child;
        child.object = std::make_unique<DataObject>();
        if (!ParseObject(*child.object, depth + 1)) return false;
        object.children.push_back(std::move(child));
        break;
      }
      case TokenKind::End: return Fail("file ends inside " + object.templateName);
      case TokenKind::Error: return Fail("");
      default:
        if (!IsData()) return Fail("unexpected token in " + object.templateName);
        if (known) {
          // Data beyond what the template declares: tolerated and dropped.
          Advance();
        } else if (cur_.kind == TokenKind::String) {
          PushString(object, cur_.text);
          Advance();
        } else if (IsSeparator()) {
          Advance();
        } else {
          double v = 0.0;
          if (!NextNumber(v)) return false;
          PushNumber(object, v);
          while (listLeft_ > 0 && NextNumber(v)) PushNumber(object, v);
        }
        break;
    }
  }
}

bool Parser::ParseTemplateText() {
  while (cur_.kind == TokenKind::Name && SameName(cur_.text, "template"))
    if (!ParseTemplate()) return false;
  return cur_.kind == TokenKind::End || Fail("expected a template");
}

bool Parser::ParseAll() {
  for (;;) {
    switch (cur_.kind) {
      case TokenKind::End: return true;
      case TokenKind::Error: return Fail("");
      case TokenKind::Name:
        if (SameName(cur_.text, "template")) {
          if (!ParseTemplate()) return false;
        } else {
          auto object = std::make_unique<DataObject>();
          if (!ParseObject(*object, 0)) return false;
          file_.objects.push_back(std::move(object));
        }
        break;
      default:
        if (!IsSeparator()) return Fail("unexpected token at the top level");
        Advance();
        break;
    }
  }
}

// References resolve to the first object of that name (or UUID) in read order, wherever it is.
void ResolveReferences(File& file) {
  std::map<std::string, const DataObject*> byName;
  std::map<Guid, const DataObject*> byGuid;
  std::vector<DataObject*> pending;
  for (auto& o : file.objects) pending.push_back(o.get());
  std::vector<DataObject*> all;
  // Breadth of the tree is walked with an explicit list; depth is capped by the parser.
  for (size_t i = 0; i < pending.size(); ++i) {
    DataObject* o = pending[i];
    all.push_back(o);
    if (!o->name.empty()) byName.emplace(o->name, o);
    if (o->hasGuid) byGuid.emplace(o->guid, o);
    for (Child& c : o->children)
      if (c.object) pending.push_back(c.object.get());
  }
  for (DataObject* o : all) {
    for (Child& c : o->children) {
      if (!c.IsReference()) continue;
      if (!c.referenceName.empty()) {
        const auto it = byName.find(c.referenceName);
        if (it != byName.end()) c.resolved = it->second;
      }
      if (!c.resolved && c.referenceHasGuid) {
        const auto it = byGuid.find(c.referenceGuid);
        if (it != byGuid.end()) c.resolved = it->second;
      }
    }
  }
}

void AddStandardTemplates(File& file) {
  // Parsed once; every file starts from a copy.
  static const auto standard = [] {
    File f;
    const char* text = StandardTemplateText();
    Parser p(reinterpret_cast<const uint8_t*>(text), std::strlen(text), f, File::Format::Text, 32);
    p.ParseTemplateText();
    return f.templates;
  }();
  file.templates = standard;
}

}  // namespace

bool InflateCompressed(const uint8_t* data, size_t size, std::vector<uint8_t>& out, std::string& error) {
  out.clear();
  if (size < 4) {
    error = "compressed file without its size";
    return false;
  }
  const uint32_t declared = ReadLE32(data);
  if (declared < 16) {
    error = "compressed file of a bad size";
    return false;
  }
  const uint64_t wanted = uint64_t(declared) - 16;
  // Deflate cannot expand more than about 1032 to 1; a larger claim is a damaged file.
  if (wanted > uint64_t(size) * 1032 + 65536) {
    error = "compressed file claims more data than it can hold";
    return false;
  }
  if (wanted > kMaxInflatedBytes) {
    error = "compressed file inflates to more than " + std::to_string(kMaxInflatedBytes >> 20) + " MB";
    return false;
  }
  // Block by block into room for what the header states, which no block may go beyond.
  out.reserve(size_t(wanted));
  size_t pos = 4;
  std::vector<uint8_t> block;
  size_t previousStart = 0, previousSize = 0;
  while (pos < size) {
    if (size - pos < 6) {
      error = "truncated compressed block";
      return false;
    }
    const uint16_t blockOut = uint16_t(data[pos] | (data[pos + 1] << 8));
    const uint16_t blockIn = uint16_t(data[pos + 2] | (data[pos + 3] << 8));
    pos += 4;
    if (blockIn < 2 || size - pos < blockIn || data[pos] != 'C' || data[pos + 1] != 'K') {
      error = "damaged compressed block";
      return false;
    }
    if (out.size() + blockOut > wanted || blockOut > kMaxBlockOutput) {
      error = "compressed blocks exceed the stated size";
      return false;
    }
    z_stream zs{};
    if (inflateInit2(&zs, -MAX_WBITS) != Z_OK) {
      error = "zlib failed";
      return false;
    }
    bool ok = true;
    if (previousSize > 0) ok = inflateSetDictionary(&zs, out.data() + previousStart, uInt(previousSize)) == Z_OK;
    block.assign(blockOut, 0);
    zs.next_in = const_cast<Bytef*>(data + pos + 2);
    zs.avail_in = uInt(blockIn - 2);
    zs.next_out = block.data();
    zs.avail_out = uInt(blockOut);
    if (ok) {
      const int r = inflate(&zs, Z_FINISH);
      ok = (r == Z_STREAM_END || r == Z_OK || r == Z_BUF_ERROR) && zs.avail_out == 0;
    }
    inflateEnd(&zs);
    if (!ok) {
      error = "damaged deflate data";
      return false;
    }
    previousStart = out.size();
    previousSize = blockOut;
    out.insert(out.end(), block.begin(), block.end());
    pos += blockIn;
  }
  if (out.size() != wanted) {
    error = "compressed data shorter than stated";
    out.clear();
    return false;
  }
  return true;
}

bool ReadFile(const uint8_t* data, size_t size, File& out, std::string& error) {
  out = File();
  error.clear();
  if (size < 16 || std::memcmp(data, "xof ", 4) != 0) {
    error = "not a .x file";
    return false;
  }
  const std::string format(reinterpret_cast<const char*>(data) + 8, 4);
  const std::string floats(reinterpret_cast<const char*>(data) + 12, 4);
  File file;
  if (floats == "0032") {
    file.floatSize = 32;
  } else if (floats == "0064") {
    file.floatSize = 64;
  } else {
    error = "unknown float size " + floats;
    return false;
  }
  std::vector<uint8_t> inflated;
  const uint8_t* body = data + 16;
  size_t bodySize = size - 16;
  if (format == "tzip" || format == "bzip") {
    if (!InflateCompressed(body, bodySize, inflated, error)) return false;
    body = inflated.data();
    bodySize = inflated.size();
  }
  if (format == "txt " || format == "tzip") {
    file.format = File::Format::Text;
  } else if (format == "bin " || format == "bzip") {
    file.format = File::Format::Binary;
  } else {
    error = "unknown format " + format;
    return false;
  }
  AddStandardTemplates(file);
  Parser parser(body, bodySize, file, file.format, file.floatSize);
  if (!parser.ParseAll()) {
    error = parser.error();
    return false;
  }
  ResolveReferences(file);
  out = std::move(file);
  return true;
}

const char* StandardTemplateText() {
  return R"(
template Header { WORD major; WORD minor; DWORD flags; }
template Vector { FLOAT x; FLOAT y; FLOAT z; }
template Coords2d { FLOAT u; FLOAT v; }
template Matrix4x4 { array FLOAT matrix[16]; }
template ColorRGBA { FLOAT red; FLOAT green; FLOAT blue; FLOAT alpha; }
template ColorRGB { FLOAT red; FLOAT green; FLOAT blue; }
template IndexedColor { DWORD index; ColorRGBA indexColor; }
template Boolean { DWORD truefalse; }
template Boolean2d { Boolean u; Boolean v; }
template MaterialWrap { Boolean u; Boolean v; }
template TextureFilename { STRING filename; }
template Material { ColorRGBA faceColor; FLOAT power; ColorRGB specularColor; ColorRGB emissiveColor; [...] }
template MeshFace { DWORD nFaceVertexIndices; array DWORD faceVertexIndices[nFaceVertexIndices]; }
template MeshFaceWraps { DWORD nFaceWrapValues; array Boolean2d faceWrapValues[nFaceWrapValues]; }
template MeshTextureCoords { DWORD nTextureCoords; array Coords2d textureCoords[nTextureCoords]; }
template MeshMaterialList { DWORD nMaterials; DWORD nFaceIndexes; array DWORD faceIndexes[nFaceIndexes]; [Material] }
template MeshNormals { DWORD nNormals; array Vector normals[nNormals]; DWORD nFaceNormals; array MeshFace faceNormals[nFaceNormals]; }
template MeshVertexColors { DWORD nVertexColors; array IndexedColor vertexColors[nVertexColors]; }
template Mesh { DWORD nVertices; array Vector vertices[nVertices]; DWORD nFaces; array MeshFace faces[nFaces]; [...] }
template FrameTransformMatrix { Matrix4x4 frameMatrix; }
template Frame { [...] }
template FloatKeys { DWORD nValues; array FLOAT values[nValues]; }
template TimedFloatKeys { DWORD time; FloatKeys tfkeys; }
template AnimationKey { DWORD keyType; DWORD nKeys; array TimedFloatKeys keys[nKeys]; }
template AnimationOptions { DWORD openclosed; DWORD positionquality; }
template Animation { [...] }
template AnimationSet { [Animation] }
template AnimTicksPerSecond { DWORD AnimTicksPerSecond; }
template XSkinMeshHeader { WORD nMaxSkinWeightsPerVertex; WORD nMaxSkinWeightsPerFace; WORD nBones; }
template SkinWeights { STRING transformNodeName; DWORD nWeights; array DWORD vertexIndices[nWeights]; array FLOAT weights[nWeights]; Matrix4x4 matrixOffset; }
template VertexDuplicationIndices { DWORD nIndices; DWORD nOriginalVertices; array DWORD indices[nIndices]; }
)";
}

}  // namespace vx::xfile
