// The texture-name list and the release of shared textures.
#include "surfaces/texture_names.h"

#include <cstring>

#include "surfaces/surface_records.h"

namespace vx {

namespace {

// The entry of a texture record, when the record is in use and its entry is still listed.
TextureNameEntry* ListedEntryOf(uint32_t textureSlot) {
  if (!Records().gTextureRecords.IsTaken(textureSlot)) return nullptr;
  TextureNameEntry* e = Records().gTextureRecords[textureSlot].nameEntry;
  return TextureNameListHolds(e) ? e : nullptr;
}

}  // namespace

bool TextureNameListHolds(const TextureNameEntry* entry) {
  if (!entry) return false;
  for (const TextureNameEntry* e = Records().gTextureNameList; e; e = e->next)
    if (e == entry) return true;
  return false;
}

TextureNameEntry* AddTextureName(uint32_t textureSlot, const std::string& name) {
  if (!Records().gTextureRecords.IsTaken(textureSlot)) return nullptr;
  auto* entry = new TextureNameEntry{};
  entry->textureSlot = textureSlot;
  entry->name = name;
  entry->useCount = 1;
  if (!Records().gTextureNameList) {
    Records().gTextureNameList = entry;
  } else {
    TextureNameEntry* last = Records().gTextureNameList;
    while (last->next) last = last->next;
    last->next = entry;
    entry->previous = last;
  }
  Records().gTextureRecords[textureSlot].nameEntry = entry;
  return entry;
}

TextureNameEntry* FindTextureName(const std::string& name) {
  if (name.empty()) return nullptr;
  for (TextureNameEntry* e = Records().gTextureNameList; e; e = e->next)
    if (e->name == name) return e;
  return nullptr;
}

bool AddTextureUse(uint32_t textureSlot) {
  TextureNameEntry* e = ListedEntryOf(textureSlot);
  if (!e) return false;
  ++e->useCount;
  return true;
}

void ReleaseTextureSlot(uint32_t textureSlot, int32_t force) {
  TextureNameEntry* e = ListedEntryOf(textureSlot);
  if (!e) return;
  --e->useCount;
  if (e->useCount > 0 && force != 1) return;
  ReleaseTextureSurface(textureSlot);
  DeleteTextureName(e);
  TextureRecord& t = Records().gTextureRecords[textureSlot];
  t.nameEntry = nullptr;
  // The image keeps its link only while it still names this texture: its slot may have been
  // freed and taken by another image since.
  const int32_t source = t.texture.sourceId;
  if (source > 0 && Records().gImageRecords.IsTaken(uint32_t(source)) &&
      Records().gImageRecords[uint32_t(source)].textureSlot == int32_t(textureSlot))
    Records().gImageRecords[uint32_t(source)].textureSlot = 0;
  FreeTextureRecord(textureSlot);
}

void DeleteTextureName(TextureNameEntry* entry) {
  if (!entry) return;
  if (Records().gTextureNameList == entry) Records().gTextureNameList = entry->previous ? entry->previous : entry->next;
  if (entry->previous) entry->previous->next = entry->next;
  if (entry->next) entry->next->previous = entry->previous;
  delete entry;
}

void ClearTextureNameList() {
  for (TextureNameEntry* e = Records().gTextureNameList; e;) {
    TextureNameEntry* next = e->next;
    delete e;
    e = next;
  }
  Records().gTextureNameList = nullptr;
}

}  // namespace vx
