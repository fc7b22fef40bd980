// The texture-name list: the sharing of TextureRecords. Each shared texture has one entry holding
// its slot, the name it is found by ("" for textures made from images) and a use count; a texture
// is released when its last user lets go, and only then.
#pragma once
#include <cstdint>
#include <string>

#include "surfaces/surface_records.h"

namespace vx {

struct TextureNameEntry {
  TextureNameEntry* previous;
  TextureNameEntry* next;
  uint32_t textureSlot;
  std::string name;  // the key it is found by; "" for textures made from images
  int32_t useCount;  // 1 at creation
};

// Makes the entry of a taken texture (use count 1), appends it and links it from the record.
TextureNameEntry* AddTextureName(uint32_t textureSlot, const std::string& name);
// The first entry whose name is not "" and equals the name exactly (letter case counts); null none.
TextureNameEntry* FindTextureName(const std::string& name);
// One more user of a texture that has an entry; false when it has none.
bool AddTextureUse(uint32_t textureSlot);
// Gives up one use. When the count reaches 0, or with force 1, the texture's surface is released,
// the entry deleted, the image it was made from unlinked and the record freed. A texture whose
// entry is missing or no longer in the list is left alone, so a release can never happen twice.
void ReleaseTextureSlot(uint32_t textureSlot, int32_t force);
// Unlinks an entry and deletes it; when it is the first entry, the first entry becomes its previous
// entry, else its next, else none. The record's link is the caller's to clear.
void DeleteTextureName(TextureNameEntry* entry);
// True when the entry is one of the list's (compared by address, never read).
bool TextureNameListHolds(const TextureNameEntry* entry);
// Deletes every entry; records that still point at one are cleared by the caller or found out by
// TextureNameListHolds.
void ClearTextureNameList();

}  // namespace vx
