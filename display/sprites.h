// Sprites: the program's numbered 2D pictures (1 to 65535), each a render item of the engine
// (gSpriteSlotById) placed by position and image. This is where they are made and measured and
// where two of them are tested for contact, pixel by pixel. The commands are
// display/sprite_commands.cpp; the drawing of every frame, with the backgrounds under the
// sprites, is surfaces/surface_primitives.h.
#pragma once
#include <cstdint>

#include "platform/ddraw/ddraw.h"
#include "surfaces/surface_records.h"

namespace vx {

bool IsSpriteNumber(int32_t n);
// The render item of sprite n, 0 for none; a deleted sprite whose background is still being put
// back keeps its record (and its number) until that is done.
uint32_t SpriteSlotById(int32_t n);
// The render item of sprite n, made when n has none: shown, drawn with its colour key at its
// image's size, with its background saved, no image. A deleted sprite whose background is still
// being put back is taken up again as it is. kNoRecordSlot when the pool could not grow.
uint32_t TakeSprite(int32_t n);

// The sprite's size as drawn: its image's size times its scale, truncated; 0 without an image.
int32_t SpriteWidth(const SpriteRecord& sprite);
int32_t SpriteHeight(const SpriteRecord& sprite);

// 1 when the two images, scaled into their screen rectangles and mirrored or flipped, have a
// place where both show a pixel that is not black; else 0. Each image is read only inside itself.
int32_t ImagePixelsOverlap(uint32_t imageA, const win::RECT& a, uint32_t imageB, const win::RECT& b, int32_t flipA,
                           int32_t mirrorA, int32_t flipB, int32_t mirrorB);
// 1 when the two render items are sprites in use with images whose pixels meet on the screen.
int32_t SpritesOverlap(uint32_t a, uint32_t b);

// What sprite a (a render item) touches: for b in 1 to 65535, 1 when it touches sprite b (0 when
// it does not, or b's record has no number); for another b, the number of the first sprite in
// list order that it touches, 0 for none. *noSprite tells that b in 1 to 65535 has no record.
int32_t SpriteContact(uint32_t a, int32_t b, bool* noSprite);

}  // namespace vx
