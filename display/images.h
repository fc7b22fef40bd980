// The program's images: numbers 1 to 65535 mapped onto the engine's image records
// (gImageSlotById). The image commands are display/image_commands.cpp; the memory block commands
// make images too.
#pragma once
#include <cstdint>
#include <string>

namespace vx {

bool IsImageNumber(int32_t n);
// The image record of number n, 0 for none or a number out of range.
uint32_t ImageSlotById(int32_t n);
// The whole of an image file in a new image record (through the work bitmap, released again); the
// slot, or kNoRecordSlot when the file could not be loaded or copied.
uint32_t LoadImageFile(const std::string& file);
// Number n names the image record from now on; the record it named before is freed.
void ReplaceImage(int32_t n, uint32_t slot);

}  // namespace vx
