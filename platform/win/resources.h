// Resources compiled into the executable: blocks of bytes found by type and id.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace vx::win {

struct ResourceBlob {
  const char* type;  // a name such as "ICON", or a number such as "23"
  int id;
  const uint8_t* data;
  size_t size;  // the bytes are followed by one zero byte that this does not count
};

// The embedded resource of that type (compared without regard to case) and id, or null.
const ResourceBlob* FindResourceBlob(std::string_view type, int id);

// The table the build generates from resources/resources.list.
extern const ResourceBlob kEmbeddedResources[];
extern const size_t kEmbeddedResourceCount;

}  // namespace vx::win
