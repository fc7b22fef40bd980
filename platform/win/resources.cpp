// Lookup of the resources compiled into the executable.
#include "platform/win/resources.h"

namespace vx::win {

namespace {
bool SameIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c; };
    if (lower(a[i]) != lower(b[i])) return false;
  }
  return true;
}
}  // namespace

const ResourceBlob* FindResourceBlob(std::string_view type, int id) {
  for (size_t i = 0; i < kEmbeddedResourceCount; ++i)
    if (kEmbeddedResources[i].id == id && SameIgnoringCase(kEmbeddedResources[i].type, type))
      return &kEmbeddedResources[i];
  return nullptr;
}

}  // namespace vx::win
