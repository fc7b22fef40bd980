// Profile (INI) files with Windows semantics. The file is read fresh on every call (one part of
// the system writes the log while another reads it) and rewritten whole through WriteWholeFile,
// keeping every line it does not change. Lines are written with CRLF; LF alone is read too.
#include "platform/win/profile.h"

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <optional>
#include <vector>

#include "platform/win/files.h"

namespace vx::win {

namespace {

using Lines = std::vector<std::string>;

char FoldCase(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool EqualIgnoringCase(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (FoldCase(a[i]) != FoldCase(b[i])) return false;
  }
  return true;
}

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string Trim(const std::string& text) {
  size_t begin = 0;
  size_t end = text.size();
  while (begin < end && IsBlank(text[begin])) ++begin;
  while (end > begin && IsBlank(text[end - 1])) --end;
  return text.substr(begin, end - begin);
}

std::string TrimRight(std::string text) {
  while (!text.empty() && IsBlank(text.back())) text.pop_back();
  return text;
}

enum class LineKind { Other, Section, Key };

struct ParsedLine {
  LineKind kind = LineKind::Other;
  std::string name;   // section or key name, trimmed
  std::string value;  // key value, trimmed and unquoted
};

ParsedLine Parse(const std::string& line) {
  ParsedLine parsed;
  const std::string text = Trim(line);
  if (text.empty() || text.front() == ';') return parsed;
  if (text.front() == '[') {
    const size_t close = text.find(']');
    parsed.kind = LineKind::Section;
    parsed.name = Trim(text.substr(1, close == std::string::npos ? std::string::npos : close - 1));
    return parsed;
  }
  const size_t equals = text.find('=');
  if (equals == std::string::npos) return parsed;
  parsed.kind = LineKind::Key;
  parsed.name = Trim(text.substr(0, equals));
  parsed.value = Trim(text.substr(equals + 1));
  if (parsed.value.size() >= 2 && parsed.value.front() == '"' && parsed.value.back() == '"') {
    parsed.value = parsed.value.substr(1, parsed.value.size() - 2);
  }
  return parsed;
}

// nullopt when the file cannot be read.
std::optional<Lines> ReadLines(const std::string& fileName) {
  const auto bytes = ReadWholeFile(fileName);
  if (!bytes) return std::nullopt;
  std::string text(bytes->begin(), bytes->end());
  if (text.compare(0, 3, "\xEF\xBB\xBF") == 0) text.erase(0, 3);  // editors' UTF-8 mark
  Lines lines;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(std::move(line));
    start = end + 1;
  }
  return lines;
}

bool WriteLines(const Lines& lines, const std::string& fileName) {
  std::string text;
  for (const std::string& line : lines) {
    text += line;
    text += "\r\n";
  }
  return WriteWholeFile(fileName, text.data(), text.size());
}

std::optional<std::string> FindValue(const std::string& section, const std::string& key, const std::string& fileName) {
  const auto lines = ReadLines(fileName);
  if (!lines) return std::nullopt;
  const std::string wantedSection = Trim(section);
  const std::string wantedKey = Trim(key);
  bool inSection = false;
  for (const std::string& line : *lines) {
    const ParsedLine parsed = Parse(line);
    if (parsed.kind == LineKind::Section) {
      inSection = EqualIgnoringCase(parsed.name, wantedSection);
    } else if (inSection && parsed.kind == LineKind::Key && EqualIgnoringCase(parsed.name, wantedKey)) {
      return parsed.value;
    }
  }
  return std::nullopt;
}

// Names that would read back as something else, or break the file into other lines, are refused.
bool Writable(const char* section, const char* key, const char* value) {
  const auto hasLineBreak = [](const char* text) { return text && std::strpbrk(text, "\r\n"); };
  if (hasLineBreak(section) || hasLineBreak(key) || hasLineBreak(value)) return false;
  if (std::strchr(section, ']')) return false;
  if (key) {
    const std::string trimmed = Trim(key);
    if (trimmed.empty() || trimmed.front() == '[' || trimmed.front() == ';' || trimmed.find('=') != std::string::npos) {
      return false;
    }
  }
  return true;
}

// Removes every section so named, from its header to the next header. True when one was found.
bool RemoveSections(Lines& lines, const std::string& section) {
  Lines kept;
  bool inSection = false;
  bool removed = false;
  for (std::string& line : lines) {
    const ParsedLine parsed = Parse(line);
    if (parsed.kind == LineKind::Section) inSection = EqualIgnoringCase(parsed.name, section);
    if (inSection) {
      removed = true;
    } else {
      kept.push_back(std::move(line));
    }
  }
  lines = std::move(kept);
  return removed;
}

// Removes every line of the key in every section so named. True when one was found.
bool RemoveKeys(Lines& lines, const std::string& section, const std::string& key) {
  Lines kept;
  bool inSection = false;
  bool removed = false;
  for (std::string& line : lines) {
    const ParsedLine parsed = Parse(line);
    if (parsed.kind == LineKind::Section) inSection = EqualIgnoringCase(parsed.name, section);
    if (inSection && parsed.kind == LineKind::Key && EqualIgnoringCase(parsed.name, key)) {
      removed = true;
    } else {
      kept.push_back(std::move(line));
    }
  }
  lines = std::move(kept);
  return removed;
}

// Replaces the line that reads would find, else adds the key after the last non-blank line of
// the first section so named, else adds the section at the end of the file.
void SetKey(Lines& lines, const std::string& section, const std::string& key, const std::string& value) {
  bool inSection = false;
  bool inFirstSection = false;
  std::optional<size_t> insertAt;  // after the last non-blank line of the first matching section
  for (size_t i = 0; i < lines.size(); ++i) {
    const ParsedLine parsed = Parse(lines[i]);
    if (parsed.kind == LineKind::Section) {
      inSection = EqualIgnoringCase(parsed.name, section);
      inFirstSection = inSection && !insertAt;
      if (inFirstSection) insertAt = i + 1;
      continue;
    }
    if (!inSection) continue;
    if (parsed.kind == LineKind::Key && EqualIgnoringCase(parsed.name, key)) {
      lines[i] = parsed.name + "=" + value;  // the file's spelling of the key is kept
      return;
    }
    if (inFirstSection && !Trim(lines[i]).empty()) insertAt = i + 1;
  }
  if (insertAt) {
    lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(*insertAt), key + "=" + value);
    return;
  }
  if (!lines.empty() && !Trim(lines.back()).empty()) lines.emplace_back();
  lines.push_back("[" + section + "]");
  lines.push_back(key + "=" + value);
}

}  // namespace

DWORD GetPrivateProfileStringA(const char* section, const char* key, const char* defaultValue, char* buffer, DWORD size,
                               const char* fileName) {
  if (!buffer || size == 0) return 0;
  std::optional<std::string> found;
  if (section && key && fileName) found = FindValue(section, key, fileName);
  // As on Windows, trailing blanks of the default are dropped.
  const std::string text = found ? *found : TrimRight(defaultValue ? defaultValue : "");
  const size_t count = text.size() < size - 1 ? text.size() : size - 1;
  std::memcpy(buffer, text.data(), count);
  buffer[count] = '\0';
  return static_cast<DWORD>(count);
}

BOOL WritePrivateProfileStringA(const char* section, const char* key, const char* value, const char* fileName) {
  if (!section || !fileName || !Writable(section, key, value)) return FALSE_;
  auto lines = ReadLines(fileName);
  if (!lines) {
    // A file that exists but cannot be read must not be replaced by a one-key file.
    if (GetFileAttributesA(fileName) != INVALID_FILE_ATTRIBUTES) return FALSE_;
    if (!key || !value) return TRUE_;  // nothing to delete
    lines.emplace();
  }
  const std::string sectionName = Trim(section);
  if (!key) {
    if (!RemoveSections(*lines, sectionName)) return TRUE_;
  } else if (!value) {
    if (!RemoveKeys(*lines, sectionName, Trim(key))) return TRUE_;
  } else {
    SetKey(*lines, sectionName, Trim(key), value);
  }
  return WriteLines(*lines, fileName) ? TRUE_ : FALSE_;
}

std::string ReadProfileString(const std::string& section, const std::string& key, const std::string& defaultValue,
                              const std::string& fileName) {
  const auto found = FindValue(section, key, fileName);
  return found ? *found : TrimRight(defaultValue);
}

bool WriteProfileString(const std::string& section, const std::string& key, const std::string& value,
                        const std::string& fileName) {
  return WritePrivateProfileStringA(section.c_str(), key.c_str(), value.c_str(), fileName.c_str()) == TRUE_;
}

std::string UserProfilePath() {
  const char* config = std::getenv("XDG_CONFIG_HOME");
  if (config && config[0] == '/') return std::string(config) + "/vorlix/WIN.INI";
  const char* home = std::getenv("HOME");
  if (home && *home) return std::string(home) + "/.config/vorlix/WIN.INI";
  return {};
}

std::string ReadUserProfileString(const std::string& section, const std::string& key, const std::string& defaultValue) {
  const std::string path = UserProfilePath();
  return path.empty() ? TrimRight(defaultValue) : ReadProfileString(section, key, defaultValue, path);
}

bool WriteUserProfileString(const std::string& section, const std::string& key, const std::string& value) {
  const std::string path = UserProfilePath();
  if (path.empty()) return false;
  std::error_code ignored;  // a folder that cannot be made fails the write below
  std::filesystem::create_directories(std::filesystem::path(path).parent_path(), ignored);
  return WriteProfileString(section, key, value, path);
}

}  // namespace vx::win
