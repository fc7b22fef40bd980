// Global heap blocks: zero-filled on request, with their size kept beside them.
#pragma once
#include <cstddef>

#include "platform/win/types.h"

namespace vx::win {

constexpr UINT GMEM_FIXED = 0x0000;
constexpr UINT GMEM_MOVEABLE = 0x0002;
constexpr UINT GMEM_ZEROINIT = 0x0040;
constexpr UINT GMEM_SHARE = 0x2000;
constexpr UINT GPTR = GMEM_FIXED | GMEM_ZEROINIT;

// nullptr when the memory cannot be had.
HGLOBAL GlobalAlloc(UINT flags, size_t bytes);
HGLOBAL GlobalFree(HGLOBAL block);  // nullptr on success
void* GlobalLock(HGLOBAL block);
BOOL GlobalUnlock(HGLOBAL block);
size_t GlobalSize(HGLOBAL block);

// Fault injection: while above 0, every request for more bytes than this fails as if the memory
// could not be had.
void SetGlobalAllocLimit(size_t bytes);

}  // namespace vx::win
