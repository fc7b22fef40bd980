// DDSURFACEDESC2 as files store it: the 124-byte little-endian layout of the 32-bit structure,
// written and read field by field so that the in-memory structure may differ.
#include <cstring>

#include "platform/ddraw/ddraw.h"

namespace vx::win {

namespace {

class RecordWriter {
 public:
  explicit RecordWriter(uint8_t* out) : out_(out) {}
  void Put(DWORD value) {
    for (int i = 0; i < 4; ++i) out_[at_++] = static_cast<uint8_t>(value >> (8 * i));
  }
  void Put(const DDCOLORKEY& key) {
    Put(key.dwColorSpaceLowValue);
    Put(key.dwColorSpaceHighValue);
  }

 private:
  uint8_t* out_;
  size_t at_ = 0;
};

class RecordReader {
 public:
  explicit RecordReader(const uint8_t* in) : in_(in) {}
  DWORD Get() {
    DWORD value = 0;
    for (int i = 0; i < 4; ++i) value |= DWORD{in_[at_++]} << (8 * i);
    return value;
  }
  DDCOLORKEY GetKey() {
    const DWORD low = Get();
    return DDCOLORKEY{low, Get()};
  }

 private:
  const uint8_t* in_;
  size_t at_ = 0;
};

}  // namespace

void WriteSurfaceDescRecord(const DDSURFACEDESC2& desc, uint8_t (&record)[kSurfaceDescRecordSize]) {
  RecordWriter out(record);
  out.Put(static_cast<DWORD>(kSurfaceDescRecordSize));
  out.Put(desc.dwFlags);
  out.Put(desc.dwHeight);
  out.Put(desc.dwWidth);
  out.Put(desc.dwLinearSize);
  out.Put(desc.dwBackBufferCount);
  out.Put(desc.dwMipMapCount);
  out.Put(desc.dwAlphaBitDepth);
  out.Put(desc.dwReserved);
  out.Put(0);  // the surface pointer means nothing in a file
  out.Put(desc.ddckCKDestOverlay);
  out.Put(desc.ddckCKDestBlt);
  out.Put(desc.ddckCKSrcOverlay);
  out.Put(desc.ddckCKSrcBlt);
  const DDPIXELFORMAT& pf = desc.ddpfPixelFormat;
  for (const DWORD value : {static_cast<DWORD>(sizeof(DDPIXELFORMAT)), pf.dwFlags, pf.dwFourCC, pf.dwRGBBitCount,
                            pf.dwRBitMask, pf.dwGBitMask, pf.dwBBitMask, pf.dwRGBAlphaBitMask}) {
    out.Put(value);
  }
  for (const DWORD value : {desc.ddsCaps.dwCaps, desc.ddsCaps.dwCaps2, desc.ddsCaps.dwCaps3, desc.ddsCaps.dwCaps4})
    out.Put(value);
  out.Put(desc.dwTextureStage);
}

void ReadSurfaceDescRecord(const uint8_t (&record)[kSurfaceDescRecordSize], DDSURFACEDESC2* desc) {
  std::memset(static_cast<void*>(desc), 0, sizeof *desc);
  RecordReader in(record);
  in.Get();  // the stored size
  desc->dwSize = sizeof *desc;
  desc->dwFlags = in.Get();
  desc->dwHeight = in.Get();
  desc->dwWidth = in.Get();
  desc->dwLinearSize = in.Get();
  desc->dwBackBufferCount = in.Get();
  desc->dwMipMapCount = in.Get();
  desc->dwAlphaBitDepth = in.Get();
  desc->dwReserved = in.Get();
  in.Get();  // the surface pointer
  desc->ddckCKDestOverlay = in.GetKey();
  desc->ddckCKDestBlt = in.GetKey();
  desc->ddckCKSrcOverlay = in.GetKey();
  desc->ddckCKSrcBlt = in.GetKey();
  DDPIXELFORMAT& pf = desc->ddpfPixelFormat;
  in.Get();
  pf.dwSize = sizeof pf;
  pf.dwFlags = in.Get();
  pf.dwFourCC = in.Get();
  pf.dwRGBBitCount = in.Get();
  pf.dwRBitMask = in.Get();
  pf.dwGBitMask = in.Get();
  pf.dwBBitMask = in.Get();
  pf.dwRGBAlphaBitMask = in.Get();
  desc->ddsCaps.dwCaps = in.Get();
  desc->ddsCaps.dwCaps2 = in.Get();
  desc->ddsCaps.dwCaps3 = in.Get();
  desc->ddsCaps.dwCaps4 = in.Get();
  desc->dwTextureStage = in.Get();
}

}  // namespace vx::win
