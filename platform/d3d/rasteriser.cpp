// The renderer: the flush that transforms and lights the queued draws' vertices, clips and
// projects them onto the viewport, sets up the primitives and bins them into screen tiles, and
// fills the tiles, each step on a pool of threads. Each draw's vertices and each tile are one
// task's, and each tile takes its primitives in the order they were drawn, so the picture is the
// same for every thread count.
#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>
#include <utility>

#include "platform/d3d/raster_internal.h"
#include "platform/d3d/vertex_pipeline.h"
#include "platform/win/fault_guard.h"
#include "platform/win/held_locks.h"

namespace vx::raster {

// ---- the thread pool ----------------------------------------------------------------------------

namespace {

std::atomic<JobProbe> gJobProbe{nullptr};

class TilePool {
 public:
  static TilePool& Get() {
    static TilePool pool;
    return pool;
  }

  ~TilePool() { Stop(); }

  void SetCount(unsigned count) {
    const win::CountedLock run(runMutex_);
    Stop();
    wanted_ = count;
  }

  unsigned Count() {
    const win::CountedLock run(runMutex_);
    return Resolved();
  }

  // Calls job(i) for i below count, spread over the threads; returns when all are done, false
  // when a job on a pool thread ended in a fault. Jobs are handed out one at a time, and the call
  // waits for the jobs, not for every thread: a thread that wakes late finds nothing left and goes
  // back to sleep.
  bool Run(int count, const std::function<void(int)>& job) {
    const win::CountedLock run(runMutex_);
    const unsigned threads = Resolved();
    if (threads <= 1 || count <= 1) {
      for (int i = 0; i < count; ++i) job(i);
      return true;
    }
    Start(threads - 1);
    // A batch no thread holds any more is used again.
    std::shared_ptr<Batch> batch;
    for (const auto& made : batches_) {
      if (made.use_count() == 1) batch = made;
    }
    if (!batch) batch = batches_.emplace_back(std::make_shared<Batch>());
    batch->job = &job;
    batch->count = count;
    batch->next = 0;
    batch->done = 0;
    batch->faulted = false;
    {
      const win::CountedLock lock(mutex_);
      current_ = batch;
      ++generation_;
    }
    wake_.notify_all();
    Work(*batch, false);
    std::unique_lock lock(mutex_);
    done_.wait(lock, [&] { return batch->done.load() == count; });
    current_.reset();
    return !batch->faulted.load();
  }

 private:
  struct Batch {
    const std::function<void(int)>* job = nullptr;
    int count = 0;
    std::atomic<int> next{0};
    std::atomic<int> done{0};
    std::atomic<bool> faulted{false};
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
      const win::CountedLock lock(mutex_);
      stopping_ = true;
    }
    wake_.notify_all();
    for (std::thread& t : workers_) t.join();
    workers_.clear();
  }

  // Each job runs guarded, holding no lock: a fault in it on a pool thread comes back here, and the
  // job counts as done (what it was filling stays unfinished; what its frames held is lost). The
  // caller's thread holds runMutex_, so a fault in a job there ends the process.
  void Work(Batch& batch, bool worker) {
    for (int i = batch.next.fetch_add(1); i < batch.count; i = batch.next.fetch_add(1)) {
      const bool finished = win::GuardedCall([&] {
        if (const JobProbe probe = gJobProbe.load(std::memory_order_relaxed)) probe(i, worker);
        (*batch.job)(i);
      });
      if (!finished) batch.faulted = true;
      if (batch.done.fetch_add(1) + 1 == batch.count) {
        const win::CountedLock lock(mutex_);
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
      if (batch) Work(*batch, true);
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
  std::vector<std::shared_ptr<Batch>> batches_;  // made so far
};

constexpr int kTileSize = 64;

}  // namespace

void SetThreadCount(unsigned count) { TilePool::Get().SetCount(count); }
unsigned ThreadCount() { return TilePool::Get().Count(); }
void SetJobProbe(JobProbe probe) { gJobProbe = probe; }

// ---- the renderer -------------------------------------------------------------------------------

using namespace detail;

namespace {

constexpr uint32_t kChunkUnits = 256;               // primitives set up by one task
constexpr uint32_t kVertexRun = 1024;               // vertices transformed and lit by one task
constexpr size_t kChunksPerTask = 4;                // chunks a task sets up after its draw's vertices
constexpr size_t kFlushVertices = size_t{1} << 20;  // pending vertices that force a flush

// A draw waiting for the flush, with its own copy of what it draws.
struct PendingDraw {
  const DrawState* state = nullptr;
  DrawSettings settings;
  bool screen = false;  // vertices are screen vertices: nothing to clip
  bool clear = false;   // a clear of the state's viewport
  SetupPrimitive clearPrimitive;
  VertexInput input;          // how the vertices of a draw that is not screen vertices are processed
  std::vector<uint8_t> data;  // and those vertices as given
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
  std::vector<uint32_t> place;                        // while sorting: per tile, the next place in order
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
    place.assign(start.begin(), start.end() - 1);
    for (const auto& b : binned) order[place[b.first]++] = b.second;
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
  // Draws and states are kept from flush to flush for their buffers; the first `used...` are
  // this flush's, and a state's address stays while the draws use it.
  std::vector<std::unique_ptr<DrawState>> states;
  size_t usedStates = 0;
  std::vector<std::unique_ptr<PendingDraw>> draws;
  size_t usedDraws = 0;
  size_t pendingVertices = 0;
  std::vector<Chunk> chunks;  // kept for their buffers; the first `usedChunks` are this flush's
  size_t usedChunks = 0;
  // Vertices first..first+count-1 of a draw, then the chunks [firstChunk, endChunk) to set up.
  struct VertexTask {
    PendingDraw* draw;
    uint32_t first, count;
    size_t firstChunk, endChunk;
  };
  std::vector<VertexTask> vertexTasks;
  std::vector<size_t> lateChunks;  // set up once every draw's vertices are done
  int columns = 0, rows = 0;
  bool faulted = false;  // a job of a flush since the last TakeFault ended in a fault
  // The state the draws take, and the state made from it for their viewport while it lasts.
  PixelState pixel;
  DrawState* current = nullptr;
  Viewport currentViewport;

  DrawState& NewState(const PixelState& state, const Viewport& viewport) {
    if (usedStates == states.size()) states.push_back(std::make_unique<DrawState>());
    DrawState& s = *states[usedStates++];
    s = DrawState{};
    s.pixel = state;
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

  static bool SameViewport(const Viewport& a, const Viewport& b) {
    return a.x == b.x && a.y == b.y && a.width == b.width && a.height == b.height && a.minZ == b.minZ &&
           a.maxZ == b.maxZ;
  }

  // A new pending draw with the current state, or null when nothing of it can show.
  PendingDraw* NewDraw(const DrawSettings& settings, bool clear) {
    if (!colour.bits || settings.viewport.width <= 0 || settings.viewport.height <= 0) return nullptr;
    const int c = (colour.width + kTileSize - 1) / kTileSize;
    const int r = (colour.height + kTileSize - 1) / kTileSize;
    if (c != columns || r != rows) {
      Flush();
      columns = c;
      rows = r;
    }
    const DrawState* state;
    if (clear) {
      state = &NewState(PixelState{}, settings.viewport);
    } else {
      if (!current || !SameViewport(currentViewport, settings.viewport)) {
        current = &NewState(pixel, settings.viewport);
        currentViewport = settings.viewport;
      }
      state = current;
    }
    if (state->viewport.width <= 0 || state->viewport.height <= 0) return nullptr;
    if (usedDraws == draws.size()) draws.push_back(std::make_unique<PendingDraw>());
    PendingDraw& d = *draws[usedDraws++];
    d.state = state;
    d.settings = settings;
    d.screen = d.clear = false;
    d.input.state.reset();
    d.count = d.units = 0;
    return &d;
  }

  void Queued(PendingDraw& d) {
    pendingVertices += d.screen ? d.vertices.size() : d.data.size() / std::max<uint32_t>(d.input.layout.stride, 1);
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

  // Forgets the draws and the states (their buffers stay for the next).
  void Reset() {
    for (size_t i = 0; i < usedDraws; ++i) draws[i]->input.state.reset();
    for (size_t i = 0; i < usedStates; ++i) states[i]->pixel = PixelState{};
    usedDraws = usedStates = 0;
    current = nullptr;
    pendingVertices = 0;
  }

  void Flush() {
    if (usedDraws == 0) {
      Reset();
      return;
    }
    TilePool& pool = TilePool::Get();
    const int tiles = columns * rows;
    // The vertices of the draws are transformed, lit, tested against the clip planes and
    // projected, a run of one draw's vertices per task; a draw small enough for one task is set up
    // by that task too, the others' chunks after all the vertices are done.
    usedChunks = 0;
    vertexTasks.clear();
    lateChunks.clear();
    for (size_t i = 0; i < usedDraws; ++i) {
      PendingDraw& d = *draws[i];
      const size_t firstChunk = usedChunks;
      if (d.clear) {
        NewChunk(d, 0, 1);
      } else {
        for (uint32_t first = 0; first < d.units; first += kChunkUnits) {
          NewChunk(d, first, std::min(kChunkUnits, d.units - first));
        }
      }
      const auto n = d.screen || d.clear ? 0u : static_cast<uint32_t>(d.data.size() / d.input.layout.stride);
      d.clip.resize(n);
      d.outside.resize(n);
      if (!d.screen) d.vertices.resize(n);
      if (n <= kVertexRun && usedChunks - firstChunk <= kChunksPerTask) {
        vertexTasks.push_back({&d, 0, n, firstChunk, usedChunks});
        continue;
      }
      for (uint32_t first = 0; first < n; first += kVertexRun) {
        vertexTasks.push_back({&d, first, std::min(kVertexRun, n - first), 0, 0});
      }
      for (size_t c = firstChunk; c < usedChunks; ++c) lateChunks.push_back(c);
    }
    // A job that faulted left its part unfinished: the steps after it would read what it did not
    // write, so the flush ends there.
    const bool set = pool.Run(static_cast<int>(vertexTasks.size()), [&](int i) {
      const VertexTask& task = vertexTasks[size_t(i)];
      PendingDraw& d = *task.draw;
      if (task.count > 0) {
        ProcessVertices(*d.input.state, d.input.worldView, d.input.lighting, d.input.layout, d.data.data(), task.first,
                        task.count, &d.clip[task.first]);
      }
      for (uint32_t v = task.first; v < task.first + task.count; ++v) {
        d.outside[v] = static_cast<uint8_t>(OutsideMask(d.clip[v], d.gx, d.gy));
        if (!d.outside[v]) d.vertices[v] = Chunk::Project(d.clip[v], d.settings.viewport);
      }
      for (size_t c = task.firstChunk; c < task.endChunk; ++c) chunks[c].Build(tiles);
    });
    const auto buildLate = [&](int i) { chunks[lateChunks[size_t(i)]].Build(tiles); };
    if (!set || !pool.Run(static_cast<int>(lateChunks.size()), buildLate)) {
      faulted = true;
      Reset();
      return;
    }
    // Fill, a tile per task, the chunks in drawing order.
    const SpanTarget target{colour.bits, colour.pitch, depth.bits, depth.pitch};
    const bool filled = pool.Run(tiles, [&](int tile) {
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
    if (!filled) faulted = true;
    Reset();
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

void Renderer::SetPixelState(const PixelState& state) {
  impl_->pixel = state;
  impl_->current = nullptr;
}

bool Renderer::Pending() const { return impl_->usedDraws > 0; }

void Renderer::Flush() { impl_->Flush(); }

void Renderer::Discard() { impl_->Reset(); }

bool Renderer::TakeFault() { return std::exchange(impl_->faulted, false); }

void Renderer::Clear(const Viewport& area, bool colour, uint32_t colourValue, bool depth, uint32_t depthValue,
                     uint32_t depthKeep) {
  Impl& m = *impl_;
  DrawSettings settings;
  settings.viewport = area;
  PendingDraw* d = m.NewDraw(settings, true);
  if (!d) return;
  const Viewport& vp = d->state->viewport;
  d->clear = true;
  d->data.clear();
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

// The indices, and how many vertices they use: those below the largest index. False, and nothing
// kept, when an index lies past the vertices given.
bool CopyIndices(PendingDraw& d, uint32_t vertexCount, const uint16_t* indices, uint32_t indexCount, uint32_t& used) {
  if (!indices) {
    d.indices.clear();
    d.count = vertexCount;
    used = vertexCount;
  } else {
    uint32_t largest = 0;
    for (uint32_t i = 0; i < indexCount; ++i) largest = std::max<uint32_t>(largest, indices[i]);
    if (indexCount > 0 && largest >= vertexCount) return false;
    d.indices.assign(indices, indices + indexCount);
    d.count = indexCount;
    used = indexCount > 0 ? largest + 1 : 0;
  }
  d.units = UnitsOf(d.settings.primitive, d.count);
  return true;
}

}  // namespace

bool Renderer::Draw(const DrawSettings& settings, const VertexInput& input, const uint8_t* data, uint32_t vertexCount,
                    const uint16_t* indices, uint32_t indexCount) {
  Impl& m = *impl_;
  PendingDraw* d = m.NewDraw(settings, false);
  if (!d) return true;
  uint32_t used = 0;
  if (vertexCount == 0 || input.layout.stride == 0) {
    --m.usedDraws;
    return true;
  }
  if (!CopyIndices(*d, vertexCount, indices, indexCount, used)) {
    --m.usedDraws;
    return false;
  }
  d->gx = 2.0f * kGuardBand / static_cast<float>(settings.viewport.width);
  d->gy = 2.0f * kGuardBand / static_cast<float>(settings.viewport.height);
  d->input = input;
  d->data.assign(data, data + size_t{used} * input.layout.stride);
  m.Queued(*d);
  return true;
}

bool Renderer::DrawScreen(const DrawSettings& settings, const ScreenVertex* vertices, uint32_t vertexCount,
                          const uint16_t* indices, uint32_t indexCount) {
  Impl& m = *impl_;
  PendingDraw* d = m.NewDraw(settings, false);
  if (!d) return true;
  uint32_t used = 0;
  if (vertexCount == 0) {
    --m.usedDraws;
    return true;
  }
  if (!CopyIndices(*d, vertexCount, indices, indexCount, used)) {
    --m.usedDraws;
    return false;
  }
  d->screen = true;
  d->data.clear();
  d->vertices.assign(vertices, vertices + used);
  m.Queued(*d);
  return true;
}

}  // namespace vx::raster
