// The device's side of drawing: Direct3D states become the rasteriser's pixel state, vertex state
// and draw settings when they change; textures are converted for sampling once per content
// change; vertices of a flexible format are transformed and lit and handed to the renderer.
#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <span>

#include "platform/d3d/device.h"
#include "platform/ddraw/pixel_format.h"

namespace vx::win {
namespace {

float AsFloat(DWORD bits) { return std::bit_cast<float>(bits); }

raster::Colour ColourOf(const D3DCOLORVALUE& c) { return {c.r, c.g, c.b, c.a}; }

raster::Colour ColourOf(D3DCOLOR argb) {
  constexpr float k = 1.0f / 255.0f;
  return {static_cast<float>((argb >> 16) & 0xFF) * k, static_cast<float>((argb >> 8) & 0xFF) * k,
          static_cast<float>(argb & 0xFF) * k, static_cast<float>(argb >> 24) * k};
}

raster::Matrix MatrixOf(const D3DMATRIX& m) {
  raster::Matrix out;
  std::memcpy(out.m, &m, sizeof out.m);
  return out;
}

raster::Compare CompareOf(DWORD value) {
  return value >= D3DCMP_NEVER && value <= D3DCMP_ALWAYS ? static_cast<raster::Compare>(value - D3DCMP_NEVER)
                                                         : raster::Compare::Always;
}

raster::BlendFactor BlendOf(DWORD value) {
  return value >= D3DBLEND_ZERO && value <= D3DBLEND_BOTHINVSRCALPHA
             ? static_cast<raster::BlendFactor>(value - D3DBLEND_ZERO)
             : raster::BlendFactor::One;
}

raster::FogMode FogOf(DWORD value) {
  switch (value) {
    case D3DFOG_EXP: return raster::FogMode::Exp;
    case D3DFOG_EXP2: return raster::FogMode::Exp2;
    case D3DFOG_LINEAR: return raster::FogMode::Linear;
    default: return raster::FogMode::None;
  }
}

// The operations the device reports in its caps; the others select the first argument.
raster::TextureOp OpOf(DWORD value) {
  using raster::TextureOp;
  switch (value) {
    case D3DTOP_DISABLE: return TextureOp::Disable;
    case D3DTOP_SELECTARG1: return TextureOp::SelectArg1;
    case D3DTOP_SELECTARG2: return TextureOp::SelectArg2;
    case D3DTOP_MODULATE: return TextureOp::Modulate;
    case D3DTOP_MODULATE2X: return TextureOp::Modulate2x;
    case D3DTOP_MODULATE4X: return TextureOp::Modulate4x;
    case D3DTOP_ADD: return TextureOp::Add;
    case D3DTOP_ADDSIGNED: return TextureOp::AddSigned;
    case D3DTOP_SUBTRACT: return TextureOp::Subtract;
    case D3DTOP_BLENDDIFFUSEALPHA: return TextureOp::BlendDiffuseAlpha;
    case D3DTOP_BLENDTEXTUREALPHA: return TextureOp::BlendTextureAlpha;
    case D3DTOP_BLENDCURRENTALPHA: return TextureOp::BlendCurrentAlpha;
    default: return TextureOp::SelectArg1;
  }
}

raster::TextureArg ArgOf(DWORD value) {
  raster::TextureArg arg;
  const DWORD source = value & D3DTA_SELECTMASK;
  arg.source = source <= D3DTA_SPECULAR ? static_cast<raster::ArgSource>(source) : raster::ArgSource::Current;
  arg.complement = (value & D3DTA_COMPLEMENT) != 0;
  arg.alphaReplicate = (value & D3DTA_ALPHAREPLICATE) != 0;
  return arg;
}

raster::Address AddressOf(DWORD value) {
  switch (value) {
    case D3DTADDRESS_MIRROR: return raster::Address::Mirror;
    case D3DTADDRESS_CLAMP:
    case D3DTADDRESS_BORDER: return raster::Address::Clamp;
    default: return raster::Address::Wrap;
  }
}

raster::ColourSource SourceOf(DWORD value) {
  switch (value) {
    case D3DMCS_COLOR1: return raster::ColourSource::Diffuse;
    case D3DMCS_COLOR2: return raster::ColourSource::Specular;
    default: return raster::ColourSource::Material;
  }
}

raster::Primitive PrimitiveOf(D3DPRIMITIVETYPE type) {
  switch (type) {
    case D3DPT_POINTLIST: return raster::Primitive::Points;
    case D3DPT_LINELIST: return raster::Primitive::Lines;
    case D3DPT_LINESTRIP: return raster::Primitive::LineStrip;
    case D3DPT_TRIANGLESTRIP: return raster::Primitive::TriangleStrip;
    case D3DPT_TRIANGLEFAN: return raster::Primitive::TriangleFan;
    default: return raster::Primitive::Triangles;
  }
}

// Where each part of a vertex of the format is, with stage s reading coordinate set `sets[s]`.
raster::VertexLayout LayoutOf(DWORD fvf, const DWORD (&sets)[raster::kMaxStages]) {
  raster::VertexLayout layout;
  layout.stride = FvfVertexSize(fvf);
  layout.transformed = (fvf & D3DFVF_POSITION_MASK) == D3DFVF_XYZRHW;
  int offset = 0;
  switch (fvf & D3DFVF_POSITION_MASK) {
    case D3DFVF_XYZ: offset = 12; break;
    case D3DFVF_XYZRHW: offset = 16; break;
    default: offset = 12 + 4 * static_cast<int>(((fvf & D3DFVF_POSITION_MASK) - D3DFVF_XYZB1) / 2 + 1); break;
  }
  if (fvf & D3DFVF_NORMAL) {
    layout.normal = offset;
    offset += 12;
  }
  if (fvf & D3DFVF_RESERVED1) offset += 4;
  if (fvf & D3DFVF_DIFFUSE) {
    layout.diffuse = offset;
    offset += 4;
  }
  if (fvf & D3DFVF_SPECULAR) {
    layout.specular = offset;
    offset += 4;
  }
  const DWORD count = (fvf & D3DFVF_TEXCOUNT_MASK) >> D3DFVF_TEXCOUNT_SHIFT;
  static constexpr int kFloats[4] = {2, 3, 4, 1};
  int setOffset[8] = {};
  int setFloats[8] = {};
  for (DWORD set = 0; set < count && set < 8; ++set) {
    setOffset[set] = offset;
    setFloats[set] = kFloats[(fvf >> (set * 2 + 16)) & 3];
    offset += 4 * setFloats[set];
  }
  for (int stage = 0; stage < raster::kMaxStages; ++stage) {
    if (sets[stage] < count) {
      layout.tex[stage] = setOffset[sets[stage]];
      layout.texFloats[stage] = setFloats[sets[stage]];
    }
  }
  return layout;
}

// The bits of a depth-buffer pixel that hold the depth.
raster::DepthFormat RasterDepthFormat(const DDPIXELFORMAT& format) {
  if (!(format.dwFlags & DDPF_ZBUFFER)) return raster::DepthFormat::None;
  const DWORD mask = format.dwZBitMask
                         ? format.dwZBitMask
                         : (format.dwZBufferBitDepth >= 32 ? 0xFFFFFFFFu : (1u << format.dwZBufferBitDepth) - 1);
  switch (mask) {
    case 0x0000FFFFu: return format.dwZBufferBitDepth == 16 ? raster::DepthFormat::D16 : raster::DepthFormat::None;
    case 0x00FFFFFFu: return raster::DepthFormat::D24;
    case 0xFFFFFFFFu: return raster::DepthFormat::D32;
    default: return raster::DepthFormat::None;
  }
}

// The depth buffer attached to a target as the renderer draws into it; none when absent, lost
// or of a format it cannot use.
raster::DepthBuffer DepthBufferOf(DirectDrawSurface* target) {
  raster::DepthBuffer out;
  DirectDrawSurface* depth = target->AttachedZBuffer();
  if (!depth || depth->Lost()) return out;
  const SurfacePixels pixels = depth->Pixels();
  out.format = RasterDepthFormat(pixels.format);
  if (out.format != raster::DepthFormat::None) {
    out.bits = pixels.bits;
    out.pitch = pixels.pitch;
  }
  return out;
}

}  // namespace

bool RasterColourFormat(const DDPIXELFORMAT& format, raster::ColourFormat* out) {
  if (!(format.dwFlags & DDPF_RGB)) return false;
  const DWORD r = format.dwRBitMask, g = format.dwGBitMask, b = format.dwBBitMask;
  const DWORD a = (format.dwFlags & DDPF_ALPHAPIXELS) ? format.dwRGBAlphaBitMask : 0;
  raster::ColourFormat f;
  if (format.dwRGBBitCount == 16 && r == 0xF800 && g == 0x07E0 && b == 0x001F) {
    f = raster::ColourFormat::Rgb565;
  } else if (format.dwRGBBitCount == 16 && r == 0x7C00 && g == 0x03E0 && b == 0x001F) {
    f = raster::ColourFormat::Rgb555;
  } else if (format.dwRGBBitCount == 24 && r == 0xFF0000 && g == 0xFF00 && b == 0xFF) {
    f = raster::ColourFormat::Rgb888;
  } else if (format.dwRGBBitCount == 32 && r == 0xFF0000 && g == 0xFF00 && b == 0xFF) {
    f = a == 0xFF000000u ? raster::ColourFormat::Argb8888 : raster::ColourFormat::Xrgb8888;
  } else {
    return false;
  }
  if (out) *out = f;
  return true;
}

void Direct3DDevice::Flush() {
  if (!renderer_.Pending()) return;
  // A target lost or restored since the draws has other memory: what was drawn into it is gone.
  if (target_.get()->Pixels().bits != boundColour_ || DepthBufferOf(target_.get()).bits != boundDepth_) {
    renderer_.Discard();
    return;
  }
  renderer_.Flush();
  target_.get()->ContentChanged();
  if (DirectDrawSurface* depth = target_.get()->AttachedZBuffer()) depth->ContentChanged();
}

void Direct3DDevice::SetSpanPath(raster::SpanPath path) { renderer_.SetSpanPath(path); }

// Points the renderer at the target's and depth buffer's memory, which a restore may move.
bool Direct3DDevice::BindBuffers() {
  DirectDrawSurface* target = target_.get();
  const SurfacePixels colour = target->Pixels();
  raster::ColourFormat format;
  if (!colour.bits || !RasterColourFormat(colour.format, &format)) return false;
  const raster::DepthBuffer depthBuffer = DepthBufferOf(target);
  if (colour.bits != boundColour_ || depthBuffer.bits != boundDepth_) {
    renderer_.SetBuffers(
        {colour.bits, colour.pitch, static_cast<int>(colour.width), static_cast<int>(colour.height), format},
        depthBuffer);
    boundColour_ = colour.bits;
    boundDepth_ = depthBuffer.bits;
    pixelStateDirty_ = true;
  }
  return true;
}

void Direct3DDevice::BuildPixelState() {
  const auto& rs = renderStates_;
  raster::PixelState s;
  s.depthTest = rs[D3DRENDERSTATE_ZENABLE] != D3DZB_FALSE;
  s.depthCompare = CompareOf(rs[D3DRENDERSTATE_ZFUNC]);
  s.depthWrite = rs[D3DRENDERSTATE_ZWRITEENABLE] != 0;
  s.alphaTest = rs[D3DRENDERSTATE_ALPHATESTENABLE] != 0;
  s.alphaCompare = CompareOf(rs[D3DRENDERSTATE_ALPHAFUNC]);
  s.alphaReference = static_cast<uint8_t>(rs[D3DRENDERSTATE_ALPHAREF]);
  s.blend = rs[D3DRENDERSTATE_ALPHABLENDENABLE] != 0;
  s.sourceBlend = BlendOf(rs[D3DRENDERSTATE_SRCBLEND]);
  s.destBlend = BlendOf(rs[D3DRENDERSTATE_DESTBLEND]);
  s.specular = rs[D3DRENDERSTATE_SPECULARENABLE] != 0;
  s.colourKey = rs[D3DRENDERSTATE_COLORKEYENABLE] != 0;
  s.textureFactor = rs[D3DRENDERSTATE_TEXTUREFACTOR];
  s.fog = rs[D3DRENDERSTATE_FOGENABLE] != 0;
  s.tableFog = FogOf(rs[D3DRENDERSTATE_FOGTABLEMODE]);
  s.fogStart = AsFloat(rs[D3DRENDERSTATE_FOGSTART]);
  s.fogEnd = AsFloat(rs[D3DRENDERSTATE_FOGEND]);
  s.fogDensity = AsFloat(rs[D3DRENDERSTATE_FOGDENSITY]);
  s.fogColour = rs[D3DRENDERSTATE_FOGCOLOR] & 0x00FFFFFFu;
  s.stageCount = 0;
  boundTextures_.fill(nullptr);
  for (int i = 0; i < raster::kMaxStages; ++i) {
    const auto& ss = stageStates_[i];
    if (ss[D3DTSS_COLOROP] == D3DTOP_DISABLE) break;
    raster::TextureStage& stage = s.stages[i];
    stage.colourOp = OpOf(ss[D3DTSS_COLOROP]);
    stage.colourArg1 = ArgOf(ss[D3DTSS_COLORARG1]);
    stage.colourArg2 = ArgOf(ss[D3DTSS_COLORARG2]);
    stage.alphaOp = OpOf(ss[D3DTSS_ALPHAOP]);
    if (ss[D3DTSS_ALPHAOP] == D3DTOP_DISABLE) stage.alphaOp = raster::TextureOp::Disable;
    stage.alphaArg1 = ArgOf(ss[D3DTSS_ALPHAARG1]);
    stage.alphaArg2 = ArgOf(ss[D3DTSS_ALPHAARG2]);
    boundTextures_[i] = nullptr;
    stage.texture = textures_[i] ? TextureFor(textures_[i].get(), &boundTextures_[i]) : nullptr;
    stage.coordinateSet = i;  // the vertex layout puts the stage's own set here
    stage.addressU = AddressOf(ss[D3DTSS_ADDRESSU]);
    stage.addressV = AddressOf(ss[D3DTSS_ADDRESSV]);
    stage.magFilter = ss[D3DTSS_MAGFILTER] == D3DTFG_POINT ? raster::Filter::Point : raster::Filter::Linear;
    stage.minFilter = ss[D3DTSS_MINFILTER] == D3DTFN_POINT ? raster::Filter::Point : raster::Filter::Linear;
    stage.mipFilter = ss[D3DTSS_MIPFILTER] == D3DTFP_POINT    ? raster::MipFilter::Point
                      : ss[D3DTSS_MIPFILTER] == D3DTFP_LINEAR ? raster::MipFilter::Linear
                                                              : raster::MipFilter::None;
    stage.lodBias = AsFloat(ss[D3DTSS_MIPMAPLODBIAS]);
    if (!std::isfinite(stage.lodBias)) stage.lodBias = 0.0f;
    stage.firstLevel = static_cast<int>(std::min<DWORD>(ss[D3DTSS_MAXMIPLEVEL], 15));
    s.stageCount = i + 1;
  }
  pixelState_ = std::move(s);

  settings_.fill = rs[D3DRENDERSTATE_FILLMODE] == D3DFILL_POINT       ? raster::FillMode::Point
                   : rs[D3DRENDERSTATE_FILLMODE] == D3DFILL_WIREFRAME ? raster::FillMode::Wireframe
                                                                      : raster::FillMode::Solid;
  settings_.cull = rs[D3DRENDERSTATE_CULLMODE] == D3DCULL_CW    ? raster::Cull::Clockwise
                   : rs[D3DRENDERSTATE_CULLMODE] == D3DCULL_CCW ? raster::Cull::CounterClockwise
                                                                : raster::Cull::None;
  settings_.flat = rs[D3DRENDERSTATE_SHADEMODE] == D3DSHADE_FLAT;
  settings_.lastPixel = rs[D3DRENDERSTATE_LASTPIXEL] != 0;
  pixelStateDirty_ = false;
}

void Direct3DDevice::BuildVertexState() {
  const auto& rs = renderStates_;
  // Draws still queued keep the state they were given: the state is one no draw holds.
  if (!vertexState_ || vertexState_.use_count() > 2) {
    vertexState_.reset();
    for (const auto& state : vertexStates_) {
      if (state.use_count() == 1) vertexState_ = state;
    }
    if (!vertexState_) vertexState_ = vertexStates_.emplace_back(std::make_shared<raster::VertexState>());
  }
  raster::VertexState& s = *vertexState_;
  const D3DMATRIX& view = transforms_[D3DTRANSFORMSTATE_VIEW];
  s.projection = MatrixOf(transforms_[D3DTRANSFORMSTATE_PROJECTION]);
  s.lighting = rs[D3DRENDERSTATE_LIGHTING] != 0;
  s.specular = rs[D3DRENDERSTATE_SPECULARENABLE] != 0;
  s.localViewer = rs[D3DRENDERSTATE_LOCALVIEWER] != 0;
  s.normalizeNormals = rs[D3DRENDERSTATE_NORMALIZENORMALS] != 0;
  s.ambient = ColourOf(rs[D3DRENDERSTATE_AMBIENT]);
  s.material = {ColourOf(material_.diffuse), ColourOf(material_.ambient), ColourOf(material_.specular),
                ColourOf(material_.emissive), material_.power};
  s.colourVertex = rs[D3DRENDERSTATE_COLORVERTEX] != 0;
  s.diffuseSource = SourceOf(rs[D3DRENDERSTATE_DIFFUSEMATERIALSOURCE]);
  s.specularSource = SourceOf(rs[D3DRENDERSTATE_SPECULARMATERIALSOURCE]);
  s.ambientSource = SourceOf(rs[D3DRENDERSTATE_AMBIENTMATERIALSOURCE]);
  s.emissiveSource = SourceOf(rs[D3DRENDERSTATE_EMISSIVEMATERIALSOURCE]);
  s.lights.clear();
  for (const auto& [index, slot] : lights_) {
    if (!slot.enabled) continue;
    const D3DLIGHT7& l = slot.light;
    raster::Light light;
    light.type = l.dltType == D3DLIGHT_POINT  ? raster::LightType::Point
                 : l.dltType == D3DLIGHT_SPOT ? raster::LightType::Spot
                                              : raster::LightType::Directional;
    light.diffuse = ColourOf(l.dcvDiffuse);
    light.specular = ColourOf(l.dcvSpecular);
    light.ambient = ColourOf(l.dcvAmbient);
    const D3DVECTOR p = l.dvPosition, d = l.dvDirection;
    for (int c = 0; c < 3; ++c) {
      const float* column = &view._11 + c;
      light.position[c] = p.x * column[0] + p.y * column[4] + p.z * column[8] + column[12];
      light.direction[c] = d.x * column[0] + d.y * column[4] + d.z * column[8];
    }
    light.range = l.dvRange;
    light.falloff = l.dvFalloff;
    light.attenuation[0] = l.dvAttenuation0;
    light.attenuation[1] = l.dvAttenuation1;
    light.attenuation[2] = l.dvAttenuation2;
    light.cosHalfTheta = std::cos(l.dvTheta * 0.5f);
    light.cosHalfPhi = std::cos(l.dvPhi * 0.5f);
    s.lights.push_back(light);
  }
  const bool fog = rs[D3DRENDERSTATE_FOGENABLE] != 0;
  const bool tableFog = rs[D3DRENDERSTATE_FOGTABLEMODE] != D3DFOG_NONE;
  s.fogMode = fog && !tableFog ? FogOf(rs[D3DRENDERSTATE_FOGVERTEXMODE]) : raster::FogMode::None;
  s.fogFromSpecularAlpha = fog && !tableFog && s.fogMode == raster::FogMode::None;
  s.rangeFog = rs[D3DRENDERSTATE_RANGEFOGENABLE] != 0;
  s.fogStart = AsFloat(rs[D3DRENDERSTATE_FOGSTART]);
  s.fogEnd = AsFloat(rs[D3DRENDERSTATE_FOGEND]);
  s.fogDensity = AsFloat(rs[D3DRENDERSTATE_FOGDENSITY]);
  vertexStateDirty_ = false;
}

// ---- textures -----------------------------------------------------------------------------------

namespace {

// One level of a texture surface as 0xAARRGGBB texels, with the texels that match the key marked.
raster::TextureLevel ConvertLevel(DirectDrawSurface* surface, const DDCOLORKEY* key) {
  raster::TextureLevel level;
  const SurfacePixels pixels = surface->Pixels();
  const FormatInfo format = DescribeFormat(pixels.format);
  if (!pixels.bits || pixels.width == 0 || pixels.height == 0) return level;
  level.width = static_cast<int>(pixels.width);
  level.height = static_cast<int>(pixels.height);
  level.texels.resize(size_t(pixels.width) * pixels.height);
  const bool rows = format.kind == PixelKind::Rgb || format.kind == PixelKind::Palette8;
  const bool keyed = key && rows;
  if (keyed) level.keyed.resize(level.texels.size());
  if (format.kind == PixelKind::Dxt) {
    // Block by block: each 4x4 block decoded once.
    for (DWORD by = 0; by < pixels.height; by += 4) {
      const uint8_t* block = pixels.bits + static_cast<ptrdiff_t>(by / 4) * pixels.pitch;
      for (DWORD bx = 0; bx < pixels.width; bx += 4, block += format.blockBytes) {
        uint32_t argb[16];
        DecodeDxtBlock(format.fourCC, block, argb);
        for (DWORD y = by; y < std::min<DWORD>(by + 4, pixels.height); ++y) {
          for (DWORD x = bx; x < std::min<DWORD>(bx + 4, pixels.width); ++x) {
            level.texels[size_t(y) * pixels.width + x] = argb[(y - by) * 4 + (x - bx)];
          }
        }
      }
    }
    return level;
  }
  for (DWORD y = 0; y < pixels.height; ++y) {
    uint32_t* out = level.texels.data() + size_t(y) * pixels.width;
    if (!rows) {
      for (DWORD x = 0; x < pixels.width; ++x) out[x] = ReadPixelArgb(pixels, x, y);
      continue;
    }
    const uint8_t* in = pixels.bits + static_cast<ptrdiff_t>(y) * pixels.pitch;
    ConvertRowToArgb(format, pixels.palette, in, out, pixels.width);
    if (!keyed) continue;
    uint8_t* marks = level.keyed.data() + size_t(y) * pixels.width;
    for (DWORD x = 0; x < pixels.width; ++x) {
      const uint32_t value = LoadPixel(in + size_t(x) * format.bytesPerPixel, format.bytesPerPixel) & format.valueMask;
      marks[x] = value >= key->dwColorSpaceLowValue && value <= key->dwColorSpaceHighValue;
    }
  }
  return level;
}

// The surface and its smaller mip levels, each holding a reference the caller gives back.
constexpr size_t kMaxChain = 16;

// The surface and its smaller mip levels into `chain`, each holding a reference the caller gives
// back; how many.
size_t MipChain(DirectDrawSurface* top, DirectDrawSurface* (&chain)[kMaxChain]) {
  size_t count = 0;
  chain[count++] = top;
  top->AddRef();
  DDSCAPS2 caps{};
  caps.dwCaps = DDSCAPS_TEXTURE | DDSCAPS_MIPMAP;
  for (DirectDrawSurface* level = top; count < kMaxChain;) {
    DirectDrawSurface* next = nullptr;
    if (Failed(level->GetAttachedSurface(&caps, &next)) || !next) break;
    if (next->Width() > level->Width() || next->Height() > level->Height() || next == top) {
      next->Release();
      break;
    }
    chain[count++] = next;
    level = next;
  }
  return count;
}

}  // namespace

std::shared_ptr<const raster::Texture> Direct3DDevice::TextureFor(DirectDrawSurface* surface,
                                                                  const CachedTexture** bound) {
  if (surface->Lost()) return nullptr;
  DirectDrawSurface* levels[kMaxChain];
  const size_t count = MipChain(surface, levels);
  const std::span<DirectDrawSurface* const> chain(levels, count);
  uint64_t versions[kMaxChain];
  for (size_t i = 0; i < count; ++i) versions[i] = chain[i]->ContentVersion();
  DDCOLORKEY key{};
  const bool keyed = Succeeded(surface->GetColorKey(DDCKEY_SRCBLT, &key));

  CachedTexture& entry = textureCache_[surface];
  const bool sameVersions =
      entry.versions.size() == count && std::equal(versions, versions + count, entry.versions.begin());
  if (!entry.texture || !sameVersions || entry.keyed != keyed ||
      (keyed && (entry.key.dwColorSpaceLowValue != key.dwColorSpaceLowValue ||
                 entry.key.dwColorSpaceHighValue != key.dwColorSpaceHighValue))) {
    auto texture = std::make_shared<raster::Texture>();
    for (DirectDrawSurface* level : chain) {
      raster::TextureLevel converted = ConvertLevel(level, keyed ? &key : nullptr);
      if (converted.texels.empty()) break;
      texture->levels.push_back(std::move(converted));
    }
    texture->colourKeyed = keyed;
    entry.surface = SurfaceRef(surface);
    entry.levels.clear();
    for (DirectDrawSurface* level : chain) entry.levels.emplace_back(level);
    entry.versions.assign(versions, versions + count);
    entry.keyed = keyed;
    entry.key = key;
    entry.texture = texture->levels.empty() ? nullptr : std::move(texture);
  }
  for (DirectDrawSurface* level : chain) level->Release();
  *bound = &entry;
  return entry.texture;
}

// Whether a texture the pixel state holds changed since it was converted: its content, its
// colour key, or it was lost. Its mip chain is taken to stay as it was.
bool Direct3DDevice::TexturesChanged() const {
  for (int i = 0; i < raster::kMaxStages; ++i) {
    DirectDrawSurface* surface = textures_[i].get();
    if (!surface || i >= pixelState_.stageCount) continue;
    const CachedTexture* entry = boundTextures_[i];
    if (!entry || surface->Lost()) return true;
    for (size_t level = 0; level < entry->levels.size(); ++level) {
      if (entry->levels[level].get()->ContentVersion() != entry->versions[level]) return true;
    }
    DDCOLORKEY key{};
    const bool keyed = Succeeded(surface->GetColorKey(DDCKEY_SRCBLT, &key));
    if (keyed != entry->keyed || (keyed && (key.dwColorSpaceLowValue != entry->key.dwColorSpaceLowValue ||
                                            key.dwColorSpaceHighValue != entry->key.dwColorSpaceHighValue))) {
      return true;
    }
  }
  return false;
}

// Converted textures whose surface only the cache still holds are let go. The cache holds the top
// surface once as the entry's surface and once more as the first level of its chain.
void Direct3DDevice::DropUnusedTextures() {
  for (auto it = textureCache_.begin(); it != textureCache_.end();) {
    const CachedTexture& entry = it->second;
    DirectDrawSurface* surface = entry.surface.get();
    const auto held = DWORD(1 + std::count_if(entry.levels.begin(), entry.levels.end(),
                                              [surface](const SurfaceRef& level) { return level.get() == surface; }));
    surface->AddRef();
    const DWORD references = surface->Release();
    if (references > held) {
      ++it;
      continue;
    }
    for (const CachedTexture*& bound : boundTextures_) {
      if (bound != &entry) continue;
      bound = nullptr;
      pixelStateDirty_ = true;
    }
    it = textureCache_.erase(it);
  }
}

// ---- drawing ------------------------------------------------------------------------------------

void Direct3DDevice::Render(D3DPRIMITIVETYPE type, DWORD fvf, const uint8_t* vertices, DWORD vertexCount,
                            const WORD* indices, DWORD indexCount, DWORD flags) {
  if (!BindBuffers()) return;
  // A texture's content may change between draws without a state change.
  if (pixelStateDirty_ || TexturesChanged()) {
    BuildPixelState();
    renderer_.SetPixelState(pixelState_);
  }
  if (vertexStateDirty_ || !vertexState_) BuildVertexState();
  settings_.primitive = PrimitiveOf(type);
  settings_.viewport = {static_cast<int>(viewport_.dwX),
                        static_cast<int>(viewport_.dwY),
                        static_cast<int>(viewport_.dwWidth),
                        static_cast<int>(viewport_.dwHeight),
                        viewport_.dvMinZ,
                        viewport_.dvMaxZ};

  DWORD sets[raster::kMaxStages];
  for (int i = 0; i < raster::kMaxStages; ++i) sets[i] = stageStates_[i][D3DTSS_TEXCOORDINDEX] & 0xFFFF;
  const raster::VertexLayout layout = LayoutOf(fvf, sets);
  if (drawObserver_) {
    drawObserver_({type, fvf, layout.stride,
                   std::vector<uint8_t>(vertices, vertices + size_t(vertexCount) * layout.stride),
                   indices ? std::vector<WORD>(indices, indices + indexCount) : std::vector<WORD>{},
                   transforms_[D3DTRANSFORMSTATE_WORLD]});
  }
  if (layout.transformed) {
    screenVertices_.resize(vertexCount);
    raster::ProcessScreenVertices(pixelState_.fog && pixelState_.tableFog == raster::FogMode::None, layout, vertices, 0,
                                  vertexCount, screenVertices_.data());
    renderer_.DrawScreen(settings_, screenVertices_.data(), vertexCount, indices, indices ? indexCount : 0);
    return;
  }
  raster::VertexInput input;
  input.state = vertexState_;
  input.worldView = MatrixOf(MatrixProduct(transforms_[D3DTRANSFORMSTATE_WORLD], transforms_[D3DTRANSFORMSTATE_VIEW]));
  input.layout = layout;
  input.lighting = vertexState_->lighting && !(flags & D3DDP_DONOTLIGHT);
  renderer_.Draw(settings_, input, vertices, vertexCount, indices, indices ? indexCount : 0);
}

}  // namespace vx::win
