// The renderer: primitive assembly, clipping and projection onto the viewport, set-up, binning
// into screen tiles, and the flush that fills the tiles on a pool of threads. Each tile takes its
// primitives in the order they were drawn and no two threads share a tile, so the picture is the
// same for every thread count.
#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

#include "platform/d3d/raster_internal.h"

namespace vx::raster {

// ---- the thread pool ----------------------------------------------------------------------------

namespace {

class TilePool {
 public:
  static TilePool& Get() {
    static TilePool pool;
    return pool;
  }

  ~TilePool() { Stop(); }

  void SetCount(unsigned count) {
    std::lock_guard run(runMutex_);
    Stop();
    wanted_ = count;
  }

  unsigned Count() {
    std::lock_guard run(runMutex_);
    return Resolved();
  }

  // Calls job(i) for i below count, spread over the threads; returns when all are done.
  void Run(int count, const std::function<void(int)>& job) {
    std::lock_guard run(runMutex_);
    const unsigned threads = Resolved();
    if (threads <= 1 || count <= 1) {
      for (int i = 0; i < count; ++i) job(i);
      return;
    }
    Start(threads - 1);
    {
      std::lock_guard lock(mutex_);
      job_ = &job;
      jobCount_ = count;
      next_.store(0);
      busy_ = static_cast<int>(workers_.size());
      ++generation_;
    }
    wake_.notify_all();
    Work();
    std::unique_lock lock(mutex_);
    done_.wait(lock, [&] { return busy_ == 0; });
    job_ = nullptr;
  }

 private:
  unsigned Resolved() const {
    if (wanted_ > 0) return wanted_;
    const unsigned hardware = std::thread::hardware_concurrency();
    return hardware > 0 ? hardware : 1;
  }

  void Start(unsigned count) {
    if (workers_.size() == count) return;
    Stop();
    stopping_ = false;
    for (unsigned i = 0; i < count; ++i) workers_.emplace_back([this, seen = generation_] { Loop(seen); });
  }

  void Stop() {
    {
      std::lock_guard lock(mutex_);
      stopping_ = true;
    }
    wake_.notify_all();
    for (std::thread& t : workers_) t.join();
    workers_.clear();
  }

  void Work() {
    for (int i = next_.fetch_add(1); i < jobCount_; i = next_.fetch_add(1)) (*job_)(i);
  }

  // `seen` is the generation at the thread's start, so that a job posted before it runs is not missed.
  void Loop(uint64_t seen) {
    for (;;) {
      {
        std::unique_lock lock(mutex_);
        wake_.wait(lock, [&] { return stopping_ || generation_ != seen; });
        if (stopping_) return;
        seen = generation_;
      }
      Work();
      std::lock_guard lock(mutex_);
      if (--busy_ == 0) done_.notify_one();
    }
  }

  std::mutex runMutex_;  // one Run at a time
  std::mutex mutex_;
  std::condition_variable wake_, done_;
  std::vector<std::thread> workers_;
  unsigned wanted_ = 0;
  bool stopping_ = false;
  uint64_t generation_ = 0;
  const std::function<void(int)>* job_ = nullptr;
  int jobCount_ = 0;
  std::atomic<int> next_{0};
  int busy_ = 0;
};

constexpr int kTileSize = 64;
constexpr size_t kFlushPrimitives = 1 << 16;

}  // namespace

void SetThreadCount(unsigned count) { TilePool::Get().SetCount(count); }
unsigned ThreadCount() { return TilePool::Get().Count(); }

// ---- the renderer -------------------------------------------------------------------------------

using namespace detail;

struct Renderer::Impl {
  ColourBuffer colour;
  DepthBuffer depth;
  SpanPath path = SpanPath::Fast;
  std::deque<DrawState> states;  // stable addresses for the primitives
  std::vector<SetupPrimitive> primitives;
  int columns = 0, rows = 0;
  std::vector<std::vector<uint32_t>> bins;
  std::vector<uint8_t> outside;  // per vertex of the current draw
  std::vector<ScreenVertex> projected;

  SpanTarget Target() const {
    return {colour.bits, colour.pitch, depth.bits, depth.pitch};
  }

  const DrawState& NewState(const PixelState& pixel, const Viewport& viewport) {
    DrawState& s = states.emplace_back();
    s.pixel = pixel;
    s.pixel.colourFormat = colour.format;
    s.pixel.depthFormat = depth.bits ? depth.format : DepthFormat::None;
    if (!depth.bits) s.pixel.depthTest = false;
    // The viewport never reaches past the buffers.
    s.viewport = viewport;
    s.viewport.x = std::max(viewport.x, 0);
    s.viewport.y = std::max(viewport.y, 0);
    s.viewport.width = std::min(viewport.x + viewport.width, colour.width) - s.viewport.x;
    s.viewport.height = std::min(viewport.y + viewport.height, colour.height) - s.viewport.y;
    s.depthScale = DepthScale(s.pixel.depthFormat);
    s.span = path == SpanPath::Reference ? ReferenceSpan : ChooseSpan(s.pixel, depth.bits != nullptr);
    s.attributes = SpanAttributes(s.span, s.pixel);
    if (s.pixel.stageCount > 0 && s.pixel.stages[0].texture && !s.pixel.stages[0].texture->levels.empty()) {
      const TextureStage& stage = s.pixel.stages[0];
      const auto& levels = stage.texture->levels;
      s.level = &levels[std::min<size_t>(size_t(std::max(stage.firstLevel, 0)), levels.size() - 1)];
      const auto mask = [](int size, Address mode) { return mode == Address::Wrap && (size & (size - 1)) == 0 ? size - 1 : -1; };
      s.maskU = mask(s.level->width, stage.addressU);
      s.maskV = mask(s.level->height, stage.addressV);
    }
    return s;
  }

  // Set-up writes straight into the list; Keep bins what was written, Drop takes it back.
  SetupPrimitive& Next() { return primitives.emplace_back(); }
  void Drop() { primitives.pop_back(); }
  void Add(const SetupPrimitive& p) {
    Next() = p;
    Keep();
  }
  void Keep() {
    const auto index = static_cast<uint32_t>(primitives.size() - 1);
    const SetupPrimitive& p = primitives.back();
    for (int ty = p.minY / kTileSize; ty <= p.maxY / kTileSize; ++ty) {
      for (int tx = p.minX / kTileSize; tx <= p.maxX / kTileSize; ++tx) bins[size_t(ty) * columns + tx].push_back(index);
    }
  }

  void Triangle(const ScreenVertex& a, const ScreenVertex& b, const ScreenVertex& c, const ScreenVertex& provoking,
                const DrawSettings& settings, const DrawState& state, bool wholeTriangle) {
    if (settings.fill == FillMode::Solid) {
      if (SetupTriangle(a, b, c, settings.cull, settings.flat, provoking, state, Next())) {
        Keep();
      } else {
        Drop();
      }
      return;
    }
    SetupPrimitive p;
    // Wireframe and point fill: the culling of the whole triangle decides, then its edges or
    // corners are drawn; edges made by clipping are not.
    if (wholeTriangle || settings.cull != Cull::None) {
      const float area = (b.x - a.x) * (c.y - a.y) - (c.x - a.x) * (b.y - a.y);
      if ((settings.cull == Cull::Clockwise && area > 0) || (settings.cull == Cull::CounterClockwise && area < 0)) {
        return;
      }
    }
    ScreenVertex corners[3] = {a, b, c};
    if (settings.flat) {
      for (ScreenVertex& v : corners) {
        std::copy(std::begin(provoking.a.diffuse), std::end(provoking.a.diffuse), v.a.diffuse);
        std::copy(std::begin(provoking.a.specular), std::end(provoking.a.specular), v.a.specular);
      }
    }
    const ScreenVertex* v[3] = {&corners[0], &corners[1], &corners[2]};
    for (int i = 0; i < 3; ++i) {
      if (settings.fill == FillMode::Point) {
        if (SetupPoint(*v[i], state, p)) Add(p);
      } else if (SetupLine(*v[i], *v[(i + 1) % 3], false, true, state, p)) {
        Add(p);
      }
    }
  }

  ScreenVertex Project(const ClipVertex& c, const Viewport& vp) const {
    ScreenVertex s;
    const float q = 1.0f / c.w;
    s.x = static_cast<float>(vp.x) + (c.x * q + 1.0f) * static_cast<float>(vp.width) * 0.5f;
    s.y = static_cast<float>(vp.y) + (1.0f - c.y * q) * static_cast<float>(vp.height) * 0.5f;
    s.z = vp.minZ + c.z * q * (vp.maxZ - vp.minZ);
    s.q = q;
    s.a = c.a;
    return s;
  }

  void ClippedTriangle(const ClipVertex& a, const ClipVertex& b, const ClipVertex& c, const ClipVertex& provoking,
                       const DrawSettings& settings, const DrawState& state, float gx, float gy) {
    const ClipVertex in[3] = {a, b, c};
    ClipVertex out[kMaxClippedVertices];
    const int count = ClipPolygon(in, 3, gx, gy, out);
    if (count < 3) return;
    const Viewport& vp = settings.viewport;
    ScreenVertex lead = Project(provoking, vp);
    ScreenVertex first = Project(out[0], vp);
    ScreenVertex previous = Project(out[1], vp);
    for (int i = 2; i < count; ++i) {
      const ScreenVertex next = Project(out[i], vp);
      Triangle(first, previous, next, lead, settings, state, count == 3);
      previous = next;
    }
  }

  // Calls emit(i0, i1, i2, provoking) for each triangle, emitLine(i0, i1) for each line and
  // emitPoint(i) for each point of the primitive, in vertex-number terms.
  template <class T, class L, class P>
  static void Assemble(Primitive primitive, uint32_t count, T emit, L emitLine, P emitPoint) {
    switch (primitive) {
      case Primitive::Points:
        for (uint32_t i = 0; i < count; ++i) emitPoint(i);
        break;
      case Primitive::Lines:
        for (uint32_t i = 0; i + 1 < count; i += 2) emitLine(i, i + 1);
        break;
      case Primitive::LineStrip:
        for (uint32_t i = 0; i + 1 < count; ++i) emitLine(i, i + 1);
        break;
      case Primitive::Triangles:
        for (uint32_t i = 0; i + 2 < count; i += 3) emit(i, i + 1, i + 2, i);
        break;
      case Primitive::TriangleStrip:
        // Every other triangle turns the other way; swapping two keeps their winding.
        for (uint32_t i = 0; i + 2 < count; ++i) {
          if (i % 2 == 0) {
            emit(i, i + 1, i + 2, i);
          } else {
            emit(i + 1, i, i + 2, i);
          }
        }
        break;
      case Primitive::TriangleFan:
        for (uint32_t i = 1; i + 1 < count; ++i) emit(0, i, i + 1, i);
        break;
    }
  }

  void Prepare() {
    const int c = (colour.width + kTileSize - 1) / kTileSize;
    const int r = (colour.height + kTileSize - 1) / kTileSize;
    if (c != columns || r != rows) {
      columns = c;
      rows = r;
      bins.assign(size_t(c) * r, {});
    }
  }

  void Flush() {
    if (primitives.empty()) {
      states.clear();
      return;
    }
    const SpanTarget target = Target();
    TilePool::Get().Run(columns * rows, [&](int tile) {
      const std::vector<uint32_t>& bin = bins[tile];
      if (bin.empty()) return;
      const int left = (tile % columns) * kTileSize;
      const int top = (tile / columns) * kTileSize;
      const int right = std::min(left + kTileSize, colour.width) - 1;
      const int bottom = std::min(top + kTileSize, colour.height) - 1;
      for (uint32_t index : bin) {
        const SetupPrimitive& p = primitives[index];
        if (path == SpanPath::Reference && p.kind == SetupPrimitive::kTriangle) {
          FillTriangleByPixels(target, p, left, top, right, bottom);
        } else {
          FillPrimitive(target, p, left, top, right, bottom, path == SpanPath::Reference);
        }
      }
    });
    for (std::vector<uint32_t>& bin : bins) bin.clear();
    primitives.clear();
    states.clear();
  }
};

Renderer::Renderer() : impl_(std::make_unique<Impl>()) {}
Renderer::~Renderer() = default;

void Renderer::SetBuffers(const ColourBuffer& colour, const DepthBuffer& depth) {
  Flush();
  impl_->colour = colour;
  impl_->depth = depth;
  if (!depth.bits) impl_->depth.format = DepthFormat::None;
}

void Renderer::SetSpanPath(SpanPath path) {
  Flush();
  impl_->path = path;
}

bool Renderer::Pending() const { return !impl_->primitives.empty(); }

void Renderer::Clear(const Viewport& area, bool colour, uint32_t colourValue, bool depth, uint32_t depthValue,
                     uint32_t depthKeep) {
  Impl& m = *impl_;
  if (!m.colour.bits) return;
  m.Prepare();
  const DrawState& state = m.NewState(PixelState{}, area);
  if (state.viewport.width <= 0 || state.viewport.height <= 0) return;
  SetupPrimitive& p = m.Next();
  p.kind = SetupPrimitive::kClear;
  p.state = &state;
  p.minX = state.viewport.x;
  p.minY = state.viewport.y;
  p.maxX = state.viewport.x + state.viewport.width - 1;
  p.maxY = state.viewport.y + state.viewport.height - 1;
  p.clearColour = colour;
  p.clearDepth = depth && m.depth.bits;
  p.colourValue = colourValue;
  p.depthValue = depthValue;
  p.depthKeep = depthKeep;
  m.Keep();
}

void Renderer::Flush() { impl_->Flush(); }

namespace {

template <class V>
const V& Fetch(const V* vertices, const uint16_t* indices, uint32_t i) {
  return vertices[indices ? indices[i] : i];
}

}  // namespace

void Renderer::Draw(const PixelState& pixel, const DrawSettings& settings, const ClipVertex* vertices,
                    uint32_t vertexCount, const uint16_t* indices, uint32_t indexCount) {
  Impl& m = *impl_;
  if (!m.colour.bits || settings.viewport.width <= 0 || settings.viewport.height <= 0) return;
  m.Prepare();
  const DrawState& state = m.NewState(pixel, settings.viewport);
  if (state.viewport.width <= 0 || state.viewport.height <= 0) return;
  const float gx = 2.0f * kGuardBand / static_cast<float>(settings.viewport.width);
  const float gy = 2.0f * kGuardBand / static_cast<float>(settings.viewport.height);
  const uint32_t count = indices ? indexCount : vertexCount;
  // Each vertex inside every clip plane is projected once; triangles of such vertices skip clipping.
  m.outside.resize(vertexCount);
  m.projected.resize(vertexCount);
  for (uint32_t i = 0; i < vertexCount; ++i) {
    m.outside[i] = static_cast<uint8_t>(OutsideMask(vertices[i], gx, gy));
    if (!m.outside[i]) m.projected[i] = m.Project(vertices[i], settings.viewport);
  }
  const auto slot = [&](uint32_t i) { return indices ? indices[i] : i; };
  Impl::Assemble(
      settings.primitive, count,
      [&](uint32_t a, uint32_t b, uint32_t c, uint32_t lead) {
        const uint32_t ia = slot(a), ib = slot(b), ic = slot(c);
        const unsigned oa = m.outside[ia], ob = m.outside[ib], oc = m.outside[ic];
        if (oa & ob & oc) return;
        if (!(oa | ob | oc)) {
          m.Triangle(m.projected[ia], m.projected[ib], m.projected[ic], m.projected[slot(lead)], settings, state, true);
          return;
        }
        m.ClippedTriangle(vertices[ia], vertices[ib], vertices[ic], vertices[slot(lead)], settings, state, gx, gy);
      },
      [&](uint32_t a, uint32_t b) {
        ClipVertex out[2];
        if (!ClipLine(Fetch(vertices, indices, a), Fetch(vertices, indices, b), gx, gy, out)) return;
        ScreenVertex s0 = m.Project(out[0], settings.viewport);
        const ScreenVertex s1 = m.Project(out[1], settings.viewport);
        if (settings.flat) {
          const ScreenVertex lead = m.Project(Fetch(vertices, indices, a), settings.viewport);
          std::copy(std::begin(lead.a.diffuse), std::end(lead.a.diffuse), s0.a.diffuse);
          std::copy(std::begin(lead.a.specular), std::end(lead.a.specular), s0.a.specular);
        }
        SetupPrimitive p;
        if (SetupLine(s0, s1, settings.flat, settings.lastPixel, state, p)) m.Add(p);
      },
      [&](uint32_t a) {
        const ClipVertex& v = Fetch(vertices, indices, a);
        ClipVertex out[2];
        if (!ClipLine(v, v, gx, gy, out)) return;
        SetupPrimitive p;
        if (SetupPoint(m.Project(v, settings.viewport), state, p)) m.Add(p);
      });
  if (m.primitives.size() >= kFlushPrimitives) m.Flush();
}

void Renderer::DrawScreen(const PixelState& pixel, const DrawSettings& settings, const ScreenVertex* vertices,
                          uint32_t vertexCount, const uint16_t* indices, uint32_t indexCount) {
  Impl& m = *impl_;
  if (!m.colour.bits || settings.viewport.width <= 0 || settings.viewport.height <= 0) return;
  m.Prepare();
  const DrawState& state = m.NewState(pixel, settings.viewport);
  if (state.viewport.width <= 0 || state.viewport.height <= 0) return;
  const uint32_t count = indices ? indexCount : vertexCount;
  Impl::Assemble(
      settings.primitive, count,
      [&](uint32_t a, uint32_t b, uint32_t c, uint32_t lead) {
        m.Triangle(Fetch(vertices, indices, a), Fetch(vertices, indices, b), Fetch(vertices, indices, c),
                   Fetch(vertices, indices, lead), settings, state, true);
      },
      [&](uint32_t a, uint32_t b) {
        SetupPrimitive p;
        if (SetupLine(Fetch(vertices, indices, a), Fetch(vertices, indices, b), settings.flat, settings.lastPixel,
                      state, p)) {
          m.Add(p);
        }
      },
      [&](uint32_t a) {
        SetupPrimitive p;
        if (SetupPoint(Fetch(vertices, indices, a), state, p)) m.Add(p);
      });
  if (m.primitives.size() >= kFlushPrimitives) m.Flush();
}

}  // namespace vx::raster
