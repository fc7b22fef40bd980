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

  // Calls job(i) for i below count, spread over the threads; returns when all are done. Jobs
  // are handed out one at a time, and the call waits for the jobs, not for every thread: a
  // thread that wakes late finds nothing left and goes back to sleep.
  void Run(int count, const std::function<void(int)>& job) {
    std::lock_guard run(runMutex_);
    const unsigned threads = Resolved();
    if (threads <= 1 || count <= 1) {
      for (int i = 0; i < count; ++i) job(i);
      return;
    }
    Start(threads - 1);
    auto batch = std::make_shared<Batch>();
    batch->job = &job;
    batch->count = count;
    {
      std::lock_guard lock(mutex_);
      current_ = batch;
      ++generation_;
    }
    wake_.notify_all();
    Work(*batch);
    std::unique_lock lock(mutex_);
    done_.wait(lock, [&] { return batch->done.load() == count; });
    current_.reset();
  }

 private:
  struct Batch {
    const std::function<void(int)>* job = nullptr;
    int count = 0;
    std::atomic<int> next{0};
    std::atomic<int> done{0};
  };

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

  void Work(Batch& batch) {
    for (int i = batch.next.fetch_add(1); i < batch.count; i = batch.next.fetch_add(1)) {
      (*batch.job)(i);
      if (batch.done.fetch_add(1) + 1 == batch.count) {
        std::lock_guard lock(mutex_);
        done_.notify_all();
      }
    }
  }

  // `seen` is the generation at the thread's start, so that a batch posted before it runs is not missed.
  void Loop(uint64_t seen) {
    for (;;) {
      std::shared_ptr<Batch> batch;
      {
        std::unique_lock lock(mutex_);
        wake_.wait(lock, [&] { return stopping_ || generation_ != seen; });
        if (stopping_) return;
        seen = generation_;
        batch = current_;
      }
      if (batch) Work(*batch);
    }
  }

  std::mutex runMutex_;  // one Run at a time
  std::mutex mutex_;
  std::condition_variable wake_, done_;
  std::vector<std::thread> workers_;
  unsigned wanted_ = 0;
  bool stopping_ = false;
  uint64_t generation_ = 0;
  std::shared_ptr<Batch> current_;
};

constexpr int kTileSize = 64;

}  // namespace

void SetThreadCount(unsigned count) { TilePool::Get().SetCount(count); }
unsigned ThreadCount() { return TilePool::Get().Count(); }

// ---- the renderer -------------------------------------------------------------------------------

using namespace detail;

namespace {

constexpr uint32_t kChunkUnits = 256;              // primitives set up by one task
constexpr size_t kFlushVertices = size_t{1} << 20;  // pending vertices that force a flush

// A draw waiting for the flush, with its own copy of what it draws.
struct PendingDraw {
  const DrawState* state = nullptr;
  DrawSettings settings;
  bool screen = false;  // vertices are screen vertices: nothing to clip
  bool clear = false;   // a clear of the state's viewport
  SetupPrimitive clearPrimitive;
  std::vector<ClipVertex> clip;
  std::vector<ScreenVertex> vertices;  // the screen vertices, or the projections of clip vertices
  std::vector<uint8_t> outside;        // per clip vertex: the planes it is outside of
  std::vector<uint16_t> indices;       // empty when not indexed
  uint32_t count = 0;                  // indices, or vertices when not indexed
  uint32_t units = 0;                  // triangles, lines or points
  float gx = 0, gy = 0;                // guard band in clip space

  uint32_t Slot(uint32_t i) const { return indices.empty() ? i : indices[i]; }
};

uint32_t UnitsOf(Primitive primitive, uint32_t count) {
  switch (primitive) {
    case Primitive::Points: return count;
    case Primitive::Lines: return count / 2;
    case Primitive::LineStrip: return count >= 2 ? count - 1 : 0;
    case Primitive::Triangles: return count / 3;
    default: return count >= 3 ? count - 2 : 0;
  }
}

// The set-up primitives of a run of one draw's units, and which tiles each touches.
struct Chunk {
  const PendingDraw* draw = nullptr;
  uint32_t first = 0, count = 0;
  std::vector<SetupPrimitive> primitives;
  std::vector<std::pair<uint32_t, uint32_t>> binned;  // (tile, primitive)
  std::vector<uint32_t> start;                        // per tile, into order; one more at the end
  std::vector<uint32_t> order;                        // primitives by tile, in drawing order
  int columns = 0;

  void Add(const SetupPrimitive& p) {
    primitives.push_back(p);
    Keep();
  }
  void Keep() {
    const auto index = static_cast<uint32_t>(primitives.size() - 1);
    const SetupPrimitive& p = primitives.back();
    for (int ty = p.minY / kTileSize; ty <= p.maxY / kTileSize; ++ty) {
      for (int tx = p.minX / kTileSize; tx <= p.maxX / kTileSize; ++tx) {
        binned.emplace_back(static_cast<uint32_t>(ty * columns + tx), index);
      }
    }
  }

  // Counts the primitives per tile and lists them tile by tile, keeping their order.
  void Sort(int tiles) {
    start.assign(size_t(tiles) + 1, 0);
    for (const auto& b : binned) ++start[b.first + 1];
    for (int t = 0; t < tiles; ++t) start[t + 1] += start[t];
    order.resize(binned.size());
    std::vector<uint32_t> at(start.begin(), start.end() - 1);
    for (const auto& b : binned) order[at[b.first]++] = b.second;
  }

  void Triangle(const ScreenVertex& a, const ScreenVertex& b, const ScreenVertex& c, const ScreenVertex& provoking,
                const DrawSettings& settings, const DrawState& state, bool wholeTriangle) {
    if (settings.fill == FillMode::Solid) {
      if (SetupTriangle(a, b, c, settings.cull, settings.flat, provoking, state, primitives)) Keep();
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
    for (int i = 0; i < 3; ++i) {
      if (settings.fill == FillMode::Point) {
        if (SetupPoint(corners[i], state, p)) Add(p);
      } else if (SetupLine(corners[i], corners[(i + 1) % 3], false, true, state, p)) {
        Add(p);
      }
    }
  }

  void ClippedTriangle(const PendingDraw& d, uint32_t ia, uint32_t ib, uint32_t ic, uint32_t lead) {
    const ClipVertex in[3] = {d.clip[ia], d.clip[ib], d.clip[ic]};
    ClipVertex out[kMaxClippedVertices];
    const int corners = ClipPolygon(in, 3, d.gx, d.gy, out);
    if (corners < 3) return;
    const Viewport& vp = d.settings.viewport;
    const ScreenVertex provoking = Project(d.clip[lead], vp);
    const ScreenVertex anchor = Project(out[0], vp);
    ScreenVertex previous = Project(out[1], vp);
    for (int i = 2; i < corners; ++i) {
      const ScreenVertex next = Project(out[i], vp);
      Triangle(anchor, previous, next, provoking, d.settings, *d.state, corners == 3);
      previous = next;
    }
  }

  void Line(const PendingDraw& d, uint32_t ia, uint32_t ib) {
    const DrawSettings& settings = d.settings;
    ScreenVertex s0, s1;
    if (d.screen) {
      s0 = d.vertices[ia];
      s1 = d.vertices[ib];
    } else {
      ClipVertex out[2];
      if (!ClipLine(d.clip[ia], d.clip[ib], d.gx, d.gy, out)) return;
      s0 = Project(out[0], settings.viewport);
      s1 = Project(out[1], settings.viewport);
      if (settings.flat) {
        const ScreenVertex lead = Project(d.clip[ia], settings.viewport);
        std::copy(std::begin(lead.a.diffuse), std::end(lead.a.diffuse), s0.a.diffuse);
        std::copy(std::begin(lead.a.specular), std::end(lead.a.specular), s0.a.specular);
      }
    }
    SetupPrimitive p;
    if (SetupLine(s0, s1, settings.flat, settings.lastPixel, *d.state, p)) Add(p);
  }

  void Point(const PendingDraw& d, uint32_t ia) {
    if (!d.screen && d.outside[ia]) return;
    SetupPrimitive p;
    if (SetupPoint(d.vertices[ia], *d.state, p)) Add(p);
  }

  void TriangleOf(const PendingDraw& d, uint32_t a, uint32_t b, uint32_t c, uint32_t lead) {
    const uint32_t ia = d.Slot(a), ib = d.Slot(b), ic = d.Slot(c), il = d.Slot(lead);
    if (d.screen) {
      Triangle(d.vertices[ia], d.vertices[ib], d.vertices[ic], d.vertices[il], d.settings, *d.state, true);
      return;
    }
    const unsigned oa = d.outside[ia], ob = d.outside[ib], oc = d.outside[ic];
    if (oa & ob & oc) return;
    if (!(oa | ob | oc)) {
      Triangle(d.vertices[ia], d.vertices[ib], d.vertices[ic], d.vertices[il], d.settings, *d.state, true);
      return;
    }
    ClippedTriangle(d, ia, ib, ic, il);
  }

  // Sets up units first..first+count-1 of the draw.
  void Build(int tiles) {
    primitives.clear();
    binned.clear();
    const PendingDraw& d = *draw;
    if (d.clear) {
      Add(d.clearPrimitive);
    } else {
      for (uint32_t u = first; u < first + count; ++u) {
        switch (d.settings.primitive) {
          case Primitive::Points: Point(d, d.Slot(u)); break;
          case Primitive::Lines: Line(d, d.Slot(2 * u), d.Slot(2 * u + 1)); break;
          case Primitive::LineStrip: Line(d, d.Slot(u), d.Slot(u + 1)); break;
          case Primitive::Triangles: TriangleOf(d, 3 * u, 3 * u + 1, 3 * u + 2, 3 * u); break;
          case Primitive::TriangleStrip:
            // Every other triangle turns the other way; swapping two keeps their winding.
            if (u % 2 == 0) {
              TriangleOf(d, u, u + 1, u + 2, u);
            } else {
              TriangleOf(d, u + 1, u, u + 2, u);
            }
            break;
          case Primitive::TriangleFan: TriangleOf(d, 0, u + 1, u + 2, u + 1); break;
        }
      }
    }
    Sort(tiles);
  }

  static ScreenVertex Project(const ClipVertex& c, const Viewport& vp) {
    ScreenVertex s;
    const float q = 1.0f / c.w;
    s.x = static_cast<float>(vp.x) + (c.x * q + 1.0f) * static_cast<float>(vp.width) * 0.5f;
    s.y = static_cast<float>(vp.y) + (1.0f - c.y * q) * static_cast<float>(vp.height) * 0.5f;
    s.z = vp.minZ + c.z * q * (vp.maxZ - vp.minZ);
    s.q = q;
    s.a = c.a;
    return s;
  }
};

}  // namespace

struct Renderer::Impl {
  ColourBuffer colour;
  DepthBuffer depth;
  SpanPath path = SpanPath::Fast;
  std::deque<DrawState> states;  // stable addresses for the draws
  std::deque<PendingDraw> draws;
  size_t pendingVertices = 0;
  std::vector<Chunk> chunks;  // kept for their buffers; the first `usedChunks` are this flush's
  size_t usedChunks = 0;
  int columns = 0, rows = 0;

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
    PrepareSpan(s, path == SpanPath::Reference);
    return s;
  }

  // A new pending draw, or null when nothing of it can show.
  PendingDraw* NewDraw(const PixelState& pixel, const DrawSettings& settings) {
    if (!colour.bits || settings.viewport.width <= 0 || settings.viewport.height <= 0) return nullptr;
    const int c = (colour.width + kTileSize - 1) / kTileSize;
    const int r = (colour.height + kTileSize - 1) / kTileSize;
    if (c != columns || r != rows) {
      Flush();
      columns = c;
      rows = r;
    }
    const DrawState& state = NewState(pixel, settings.viewport);
    if (state.viewport.width <= 0 || state.viewport.height <= 0) return nullptr;
    PendingDraw& d = draws.emplace_back();
    d.state = &state;
    d.settings = settings;
    return &d;
  }

  void Queued(PendingDraw& d) {
    pendingVertices += d.clip.size() + d.vertices.size();
    if (pendingVertices >= kFlushVertices) Flush();
  }

  Chunk& NewChunk(const PendingDraw& d, uint32_t first, uint32_t count) {
    if (usedChunks == chunks.size()) chunks.emplace_back();
    Chunk& c = chunks[usedChunks++];
    c.draw = &d;
    c.first = first;
    c.count = count;
    c.columns = columns;
    return c;
  }

  void Flush() {
    if (draws.empty()) {
      states.clear();
      return;
    }
    TilePool& pool = TilePool::Get();
    // Each clipped draw's vertices are tested against the clip planes and projected once.
    std::vector<PendingDraw*> clipped;
    for (PendingDraw& d : draws) {
      if (!d.screen && !d.clear) clipped.push_back(&d);
    }
    pool.Run(static_cast<int>(clipped.size()), [&](int i) {
      PendingDraw& d = *clipped[i];
      const size_t n = d.clip.size();
      d.outside.resize(n);
      d.vertices.resize(n);
      for (size_t v = 0; v < n; ++v) {
        d.outside[v] = static_cast<uint8_t>(OutsideMask(d.clip[v], d.gx, d.gy));
        if (!d.outside[v]) d.vertices[v] = Chunk::Project(d.clip[v], d.settings.viewport);
      }
    });
    // Set-up, a chunk of each draw per task.
    usedChunks = 0;
    for (const PendingDraw& d : draws) {
      if (d.clear) {
        NewChunk(d, 0, 1);
        continue;
      }
      for (uint32_t first = 0; first < d.units; first += kChunkUnits) {
        NewChunk(d, first, std::min(kChunkUnits, d.units - first));
      }
    }
    const int tiles = columns * rows;
    pool.Run(static_cast<int>(usedChunks), [&](int i) { chunks[i].Build(tiles); });
    // Fill, a tile per task, the chunks in drawing order.
    const SpanTarget target{colour.bits, colour.pitch, depth.bits, depth.pitch};
    pool.Run(tiles, [&](int tile) {
      const int left = (tile % columns) * kTileSize;
      const int top = (tile / columns) * kTileSize;
      const int right = std::min(left + kTileSize, colour.width) - 1;
      const int bottom = std::min(top + kTileSize, colour.height) - 1;
      for (size_t c = 0; c < usedChunks; ++c) {
        const Chunk& chunk = chunks[c];
        for (uint32_t k = chunk.start[tile]; k < chunk.start[tile + 1]; ++k) {
          const SetupPrimitive& p = chunk.primitives[chunk.order[k]];
          if (path == SpanPath::Reference && p.kind == SetupPrimitive::kTriangle) {
            FillTriangleByPixels(target, p, left, top, right, bottom);
          } else {
            FillPrimitive(target, p, left, top, right, bottom, path == SpanPath::Reference);
          }
        }
      }
    });
    draws.clear();
    states.clear();
    pendingVertices = 0;
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

bool Renderer::Pending() const { return !impl_->draws.empty(); }

void Renderer::Flush() { impl_->Flush(); }

void Renderer::Discard() {
  impl_->draws.clear();
  impl_->states.clear();
  impl_->pendingVertices = 0;
}

void Renderer::Clear(const Viewport& area, bool colour, uint32_t colourValue, bool depth, uint32_t depthValue,
                     uint32_t depthKeep) {
  Impl& m = *impl_;
  DrawSettings settings;
  settings.viewport = area;
  PendingDraw* d = m.NewDraw(PixelState{}, settings);
  if (!d) return;
  const Viewport& vp = d->state->viewport;
  d->clear = true;
  SetupPrimitive& p = d->clearPrimitive;
  p.kind = SetupPrimitive::kClear;
  p.state = d->state;
  p.minX = vp.x;
  p.minY = vp.y;
  p.maxX = vp.x + vp.width - 1;
  p.maxY = vp.y + vp.height - 1;
  p.clearColour = colour;
  p.clearDepth = depth && m.depth.bits;
  p.colourValue = colourValue;
  p.depthValue = depthValue;
  p.depthKeep = depthKeep;
  m.Queued(*d);
}

namespace {

// The vertices an indexed draw uses are all below the largest index.
template <class V>
void CopyDraw(PendingDraw& d, std::vector<V>& into, const V* vertices, uint32_t vertexCount, const uint16_t* indices,
              uint32_t indexCount) {
  if (indices) {
    d.indices.assign(indices, indices + indexCount);
    d.count = indexCount;
    uint32_t used = 0;
    for (uint32_t i = 0; i < indexCount; ++i) used = std::max<uint32_t>(used, indices[i] + 1u);
    into.assign(vertices, vertices + std::min(used, vertexCount));
    // An index past the vertices given draws nothing.
    for (uint16_t& index : d.indices) {
      if (index >= vertexCount) index = 0;
    }
  } else {
    d.count = vertexCount;
    into.assign(vertices, vertices + vertexCount);
  }
  d.units = UnitsOf(d.settings.primitive, d.count);
}

}  // namespace

void Renderer::Draw(const PixelState& pixel, const DrawSettings& settings, const ClipVertex* vertices,
                    uint32_t vertexCount, const uint16_t* indices, uint32_t indexCount) {
  Impl& m = *impl_;
  PendingDraw* d = m.NewDraw(pixel, settings);
  if (!d || vertexCount == 0) return;
  d->gx = 2.0f * kGuardBand / static_cast<float>(settings.viewport.width);
  d->gy = 2.0f * kGuardBand / static_cast<float>(settings.viewport.height);
  CopyDraw(*d, d->clip, vertices, vertexCount, indices, indexCount);
  m.Queued(*d);
}

void Renderer::DrawScreen(const PixelState& pixel, const DrawSettings& settings, const ScreenVertex* vertices,
                          uint32_t vertexCount, const uint16_t* indices, uint32_t indexCount) {
  Impl& m = *impl_;
  PendingDraw* d = m.NewDraw(pixel, settings);
  if (!d || vertexCount == 0) return;
  d->screen = true;
  CopyDraw(*d, d->vertices, vertices, vertexCount, indices, indexCount);
  m.Queued(*d);
}

}  // namespace vx::raster
