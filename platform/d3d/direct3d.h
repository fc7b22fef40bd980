// Direct3D: the devices a program can choose from, their depth formats, device creation on a
// render-target surface and vertex buffers. What the devices report comes from a capability
// profile that tests replace, and the failures the set-up code handles can be switched on.
#pragma once
#include <string>
#include <vector>

#include "platform/d3d/d3d_types.h"
#include "platform/d3d/device.h"
#include "platform/d3d/vertex_buffer.h"

namespace vx::win {

// ---- capability profiles ----------------------------------------------------------------------

struct DeviceProfile {
  std::string description;
  std::string name;
  D3DDEVICEDESC7 caps;  // caps.deviceGUID names the device
};

struct Direct3DProfile {
  std::vector<DeviceProfile> devices;       // in enumeration order
  std::vector<DDPIXELFORMAT> depthFormats;  // in enumeration order, offered by every device
  std::vector<DDPIXELFORMAT> textureFormats;
};

// What this layer can really do, reported as a device description: every blend factor, linear and
// point filtering with point and linear mip filters, vertex, table and range fog, no W-buffer,
// wrap, mirror and clamp addressing, colour-keyed textures, two texture stages, rendering at 16,
// 24 and 32 bits.
// `hardware` adds hardware rasterisation, which is how the set-up recognises its preferred device.
D3DDEVICEDESC7 StandardDeviceCaps(const GUID& device, bool hardware);
// The software "RGB" and "MMX" devices followed by the hardware "HAL" device; a 24-bit depth
// format first; textures in the three display formats, three alpha formats and DXT1 to DXT5.
Direct3DProfile StandardDirect3DProfile();

// Replaces what Direct3D reports from now on (devices made earlier keep their caps).
void SetDirect3DProfile(const Direct3DProfile& profile);
const Direct3DProfile& CurrentDirect3DProfile();

// Pixel formats of the standard profile, for callers that build their own.
DDPIXELFORMAT MakeDepthFormat(DWORD bitDepth, DWORD depthMask, DWORD stencilDepth = 0, DWORD stencilMask = 0);
DDPIXELFORMAT MakeRgbFormat(DWORD bitCount, DWORD red, DWORD green, DWORD blue, DWORD alpha = 0);
DDPIXELFORMAT MakeFourCCFormat(DWORD fourCC);

// ---- failures a test can switch on ------------------------------------------------------------

struct Direct3DFaults {
  bool failCreate = false;  // asking DirectDraw for Direct3D fails
  bool failEnumDevices = false;
  bool failEnumZBufferFormats = false;
  bool failEnumTextureFormats = false;
  std::vector<GUID> failingDevices;  // CreateDevice of these fails
  bool failCreateVertexBuffer = false;
  bool failSetViewport = false;
  bool failSetMaterial = false;
  bool failSetLight = false;
  bool failLightEnable = false;
  int beginSceneFailures = 0;                     // the next this many BeginScene calls fail
  HRESULT beginSceneFailure = DDERR_SURFACELOST;  // with this result
};
void SetDirect3DFaults(const Direct3DFaults& faults);
// The live fault settings (BeginScene counts its failures down here).
Direct3DFaults& CurrentDirect3DFaults();

// ---- Direct3D ---------------------------------------------------------------------------------

class Direct3D {
 public:
  Direct3D(const Direct3D&) = delete;
  Direct3D& operator=(const Direct3D&) = delete;

  DWORD AddRef();
  DWORD Release();

  // Calls back once per device until the callback answers D3DENUMRET_CANCEL.
  HRESULT EnumDevices(LPD3DENUMDEVICESCALLBACK7 callback, void* context);
  // The depth-buffer formats of one enumerated device.
  HRESULT EnumZBufferFormats(const GUID& device, LPD3DENUMPIXELFORMATSCALLBACK callback, void* context);
  // A device of an enumerated kind drawing into `target`, which must be made for 3D rendering
  // (DDSCAPS_3DDEVICE) at a depth the device renders at; the depth buffer attached to it, now or
  // later, is the device's. The device holds the target.
  HRESULT CreateDevice(const GUID& device, DirectDrawSurface* target, Direct3DDevice** out);
  HRESULT CreateVertexBuffer(D3DVERTEXBUFFERDESC* desc, Direct3DVertexBuffer** out, DWORD flags);
  HRESULT EvictManagedTextures();

 private:
  friend HRESULT CreateDirect3D(DirectDraw* directDraw, Direct3D** out);
  Direct3D() = default;
  ~Direct3D() = default;

  DWORD references_ = 1;
};

// What asking the DirectDraw object for its Direct3D interface gives. Direct3D keeps nothing of
// the DirectDraw object: the set-up releases Direct3D before it.
HRESULT CreateDirect3D(DirectDraw* directDraw, Direct3D** out);

}  // namespace vx::win
