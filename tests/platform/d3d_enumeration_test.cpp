// Direct3D's enumerations and device creation: the devices and their order, what their
// capabilities report, depth and texture formats, configured profiles and injected failures.
#include <string>
#include <vector>

#include "tests/platform/ddraw_test_support.h"

namespace vx::win::testing {
namespace {

struct SeenDevice {
  std::string name;
  D3DDEVICEDESC7 caps;
};

HRESULT CollectDevice(char*, char* name, D3DDEVICEDESC7* caps, void* context) {
  static_cast<std::vector<SeenDevice>*>(context)->push_back({name, *caps});
  return D3DENUMRET_OK;
}

std::vector<SeenDevice> Devices(Direct3D* d3d) {
  std::vector<SeenDevice> seen;
  EXPECT_EQ(d3d->EnumDevices(CollectDevice, &seen), D3D_OK);
  return seen;
}

HRESULT CollectFormat(DDPIXELFORMAT* format, void* context) {
  static_cast<std::vector<DDPIXELFORMAT>*>(context)->push_back(*format);
  return D3DENUMRET_OK;
}

using D3DEnumeration = D3DTest;

TEST_F(D3DEnumeration, SoftwareDevicesComeBeforeTheHardwareDeviceAndCancellingStops) {
  const std::vector<SeenDevice> seen = Devices(direct3D_.get());
  ASSERT_EQ(seen.size(), 3u);
  const struct { const char* name; GUID guid; bool hardware; } expected[] = {
      {"RGB", IID_IDirect3DRGBDevice, false},
      {"MMX", IID_IDirect3DMMXDevice, false},
      {"HAL", IID_IDirect3DHALDevice, true},
  };
  for (size_t i = 0; i < seen.size(); ++i) {
    SCOPED_TRACE(expected[i].name);
    EXPECT_EQ(seen[i].name, expected[i].name);
    EXPECT_TRUE(seen[i].caps.deviceGUID == expected[i].guid);
    EXPECT_EQ((seen[i].caps.dwDevCaps & D3DDEVCAPS_HWRASTERIZATION) != 0, expected[i].hardware);
    EXPECT_EQ(seen[i].caps.dwDeviceRenderBitDepth, DDBD_16 | DDBD_24 | DDBD_32);
  }
  // The display set-up cancels at the first device rasterising in hardware: nothing comes after.
  int calls = 0;
  auto stopAtOnce = [](char*, char*, D3DDEVICEDESC7*, void* context) -> HRESULT {
    ++*static_cast<int*>(context);
    return D3DENUMRET_CANCEL;
  };
  EXPECT_EQ(direct3D_->EnumDevices(stopAtOnce, &calls), D3D_OK);
  EXPECT_EQ(calls, 1);
}

TEST_F(D3DEnumeration, StandardCapabilitiesReportWhatTheDeviceDoes) {
  const D3DDEVICEDESC7 caps = Devices(direct3D_.get()).back().caps;
  const D3DPRIMCAPS& tri = caps.dpcTriCaps;
  const struct { const char* what; DWORD field, bits; bool present; } cases[] = {
      {"TL vertices", caps.dwDevCaps, D3DDEVCAPS_DRAWPRIMTLVERTEX, true},
      {"every source factor", tri.dwSrcBlendCaps, 0x1FFF, true},
      {"every destination factor", tri.dwDestBlendCaps,
       D3DPBLENDCAPS_ZERO | D3DPBLENDCAPS_ONE | D3DPBLENDCAPS_SRCCOLOR | D3DPBLENDCAPS_INVSRCCOLOR |
           D3DPBLENDCAPS_SRCALPHA | D3DPBLENDCAPS_INVSRCALPHA | D3DPBLENDCAPS_DESTCOLOR | D3DPBLENDCAPS_INVDESTCOLOR,
       true},
      {"linear filtering", tri.dwTextureFilterCaps, D3DPTFILTERCAPS_MAGFLINEAR | D3DPTFILTERCAPS_MINFLINEAR, true},
      {"anisotropic filtering", tri.dwTextureFilterCaps, D3DPTFILTERCAPS_MAGFANISOTROPIC, false},
      {"point and linear mip filters", tri.dwTextureFilterCaps,
       D3DPTFILTERCAPS_MIPNEAREST | D3DPTFILTERCAPS_MIPLINEAR | D3DPTFILTERCAPS_MIPFPOINT | D3DPTFILTERCAPS_MIPFLINEAR,
       true},
      {"vertex and table fog", tri.dwRasterCaps, D3DPRASTERCAPS_FOGVERTEX | D3DPRASTERCAPS_FOGTABLE, true},
      {"W-buffer", tri.dwRasterCaps, D3DPRASTERCAPS_WBUFFER, false},
      {"addressing", tri.dwTextureAddressCaps,
       D3DPTADDRESSCAPS_WRAP | D3DPTADDRESSCAPS_MIRROR | D3DPTADDRESSCAPS_CLAMP, true},
      {"texture colour key", tri.dwTextureCaps, D3DPTEXTURECAPS_TRANSPARENCY, true},
      {"depth buffers", caps.dwDeviceZBufferBitDepth, DDBD_16 | DDBD_24 | DDBD_32, true},
  };
  for (const auto& c : cases) EXPECT_EQ(c.field & c.bits, c.present ? c.bits : 0u) << c.what;
  EXPECT_EQ(tri.dwSize, sizeof(D3DPRIMCAPS));
  EXPECT_EQ(caps.dwMinTextureWidth, 1u);
}

TEST_F(D3DEnumeration, DepthFormatsListTwentyFourBitsFirst) {
  std::vector<DDPIXELFORMAT> formats;
  ASSERT_EQ(direct3D_->EnumZBufferFormats(IID_IDirect3DHALDevice, CollectFormat, &formats), D3D_OK);
  ASSERT_EQ(formats.size(), 3u);
  const DWORD depths[] = {24, 16, 32};
  for (size_t i = 0; i < formats.size(); ++i) {
    EXPECT_EQ(formats[i].dwFlags, DDPF_ZBUFFER);  // exactly: the set-up takes the first such format
    EXPECT_EQ(formats[i].dwZBufferBitDepth, depths[i]);
    EXPECT_EQ(formats[i].dwSize, sizeof(DDPIXELFORMAT));
  }
  // Devices that were not enumerated have no formats: the set-up then asks the RGB device.
  std::vector<DDPIXELFORMAT> none;
  EXPECT_EQ(direct3D_->EnumZBufferFormats(IID_IDirect3DTnLHalDevice, CollectFormat, &none), D3DERR_INVALID_DEVICE);
  EXPECT_TRUE(none.empty());
}

TEST_F(D3DEnumeration, TextureFormatsIncludeTheDisplayFormatsAndDxt) {
  Open(16, 16);
  std::vector<DDPIXELFORMAT> formats;
  ASSERT_EQ(device_->EnumTextureFormats(CollectFormat, &formats), D3D_OK);
  const auto listed = [&](const DDPIXELFORMAT& wanted) {
    for (const DDPIXELFORMAT& f : formats) {
      if (DescribeFormat(f).SameLayout(DescribeFormat(wanted))) return true;
    }
    return false;
  };
  for (DWORD bits : {16u, 24u, 32u}) EXPECT_TRUE(listed(DisplayPixelFormat(bits))) << bits;
  for (DWORD fourCC : {FOURCC_DXT1, FOURCC_DXT2, FOURCC_DXT3, FOURCC_DXT4, FOURCC_DXT5}) {
    EXPECT_TRUE(listed(MakeFourCCFormat(fourCC))) << fourCC;
  }
  for (const DDPIXELFORMAT& f : formats) EXPECT_NE(DescribeFormat(f).kind, PixelKind::Invalid);
}

TEST_F(D3DEnumeration, AConfiguredProfileIsWhatDevicesReport) {
  Open(16, 16);
  Direct3DProfile profile = StandardDirect3DProfile();
  profile.devices.erase(profile.devices.begin() + 1);  // no MMX device
  D3DDEVICEDESC7& hal = profile.devices.back().caps;
  hal.dpcTriCaps.dwDestBlendCaps &= ~D3DPBLENDCAPS_INVSRCCOLOR;
  hal.dpcTriCaps.dwRasterCaps |= D3DPRASTERCAPS_WBUFFER;
  hal.dwDeviceRenderBitDepth = DDBD_16;
  profile.depthFormats = {MakeDepthFormat(16, 0xFFFF)};
  profile.textureFormats = {MakeRgbFormat(16, 0xF800, 0x07E0, 0x001F)};
  SetDirect3DProfile(profile);

  const std::vector<SeenDevice> seen = Devices(direct3D_.get());
  ASSERT_EQ(seen.size(), 2u);
  EXPECT_EQ(seen[1].caps.dpcTriCaps.dwDestBlendCaps & D3DPBLENDCAPS_INVSRCCOLOR, 0u);
  EXPECT_NE(seen[1].caps.dpcTriCaps.dwRasterCaps & D3DPRASTERCAPS_WBUFFER, 0u);
  Direct3DDevice* none = nullptr;
  EXPECT_EQ(direct3D_->CreateDevice(IID_IDirect3DMMXDevice, target_.get(), &none), D3DERR_INVALID_DEVICE);
  // A 32-bit target no longer suits the hardware device, a 16-bit one does.
  EXPECT_EQ(direct3D_->CreateDevice(IID_IDirect3DHALDevice, target_.get(), &none), DDERR_INVALIDPIXELFORMAT);
  Ref<DirectDrawSurface> target16 = MakeTarget(16, 16, 16, 16);
  Ref<Direct3DDevice> after = MakeDevice(target16.get());
  D3DDEVICEDESC7 caps{};
  ASSERT_EQ(after->GetCaps(&caps), D3D_OK);
  EXPECT_NE(caps.dpcTriCaps.dwRasterCaps & D3DPRASTERCAPS_WBUFFER, 0u);
  std::vector<DDPIXELFORMAT> formats;
  after->EnumTextureFormats(CollectFormat, &formats);
  EXPECT_EQ(formats.size(), 1u);
  // A device keeps the capabilities it was made with.
  ASSERT_EQ(device_->GetCaps(&caps), D3D_OK);
  EXPECT_EQ(caps.dpcTriCaps.dwRasterCaps & D3DPRASTERCAPS_WBUFFER, 0u);
}

TEST_F(D3DEnumeration, DeviceCreationChecksKindTargetAndInjectedFailures) {
  Ref<DirectDrawSurface> target = MakeTarget(16, 16);
  const DWORD alone = References(target.get());
  Ref<Direct3DDevice> device = MakeDevice(target.get());
  EXPECT_EQ(References(target.get()), alone + 1) << "a device holds its target until released";
  device.reset();
  EXPECT_EQ(References(target.get()), alone);

  Ref<DirectDrawSurface> plain = Plain(16, 16, 32);
  Ref<DirectDrawSurface> lost = MakeTarget(16, 16);
  LoseSurface(lost.get());
  const struct {
    const char* what;
    GUID kind;
    DirectDrawSurface* target;
    std::vector<GUID> failing;
    HRESULT expected;
  } cases[] = {
      {"hardware", IID_IDirect3DHALDevice, target.get(), {}, D3D_OK},
      {"software", IID_IDirect3DRGBDevice, target.get(), {}, D3D_OK},
      {"not enumerated", IID_IDirect3DTnLHalDevice, target.get(), {}, D3DERR_INVALID_DEVICE},
      {"no target", IID_IDirect3DHALDevice, nullptr, {}, D3DERR_INVALIDCALL},
      {"not a 3D surface", IID_IDirect3DHALDevice, plain.get(), {}, DDERR_INVALIDCAPS},
      {"lost target", IID_IDirect3DHALDevice, lost.get(), {}, DDERR_SURFACELOST},
      {"injected", IID_IDirect3DHALDevice, target.get(), {IID_IDirect3DHALDevice}, D3DERR_INITFAILED},
      {"other device injected", IID_IDirect3DRGBDevice, target.get(), {IID_IDirect3DHALDevice}, D3D_OK},
  };
  for (const auto& c : cases) {
    InjectDirect3DFaults([&](auto& f) { f.failingDevices = c.failing; });
    Direct3DDevice* made = reinterpret_cast<Direct3DDevice*>(this);  // must be overwritten
    EXPECT_EQ(direct3D_->CreateDevice(c.kind, c.target, &made), c.expected) << c.what;
    EXPECT_EQ(made != nullptr, c.expected == D3D_OK) << c.what;
    if (made) made->Release();
  }
}

TEST_F(D3DEnumeration, InjectedEnumerationAndInterfaceFailures) {
  Open(16, 16);
  InjectDirect3DFaults([](auto& f) {
    f.failCreate = f.failEnumDevices = f.failEnumZBufferFormats = f.failEnumTextureFormats = true;
  });

  std::vector<SeenDevice> seen;
  EXPECT_TRUE(Failed(direct3D_->EnumDevices(CollectDevice, &seen)));
  EXPECT_TRUE(seen.empty());
  std::vector<DDPIXELFORMAT> formats;
  EXPECT_TRUE(Failed(direct3D_->EnumZBufferFormats(IID_IDirect3DHALDevice, CollectFormat, &formats)));
  EXPECT_TRUE(Failed(device_->EnumTextureFormats(CollectFormat, &formats)));
  EXPECT_TRUE(formats.empty());
  Direct3D* another = reinterpret_cast<Direct3D*>(this);
  EXPECT_EQ(CreateDirect3D(dd_.get(), &another), E_NOINTERFACE);
  EXPECT_EQ(another, nullptr);
}

}  // namespace
}  // namespace vx::win::testing
