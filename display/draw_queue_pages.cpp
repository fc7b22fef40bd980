// The second page of a flip chain. The queue performs each item once, on the page that is the back
// buffer at the time; the pixels its screen items changed there (those that differ from the page as
// the queue found it) are kept with their values and written onto the other page when that one is
// next the back buffer, before the queue runs on it. Both pages so show the same drawing without
// drawing anything twice: a repeat could find its bitmap or image deleted or changed, and its
// colours or font replaced. Pixels the queue left alone keep each page's own picture (the 3D scene
// of that frame). Depends on the back buffer's pixels only.
#include <cstring>
#include <utility>
#include <vector>

#include "display/draw_queue_items.h"
#include "surfaces/display_state.h"

namespace vx {

namespace {

struct PageLayout {
  uint32_t width = 0, height = 0, bytesPerPixel = 0;
  int32_t pitch = 0;
  bool operator==(const PageLayout&) const = default;
};

struct PageDrawing {
  PageLayout layout;
  std::vector<uint8_t> before;       // the page as the queue found it, row by row
  std::vector<uint8_t> values;       // the kept pixels, where they stand in a page
  std::vector<uint8_t> changed;      // one byte a pixel: 1 where the kept drawing changed it
  std::vector<uint8_t> rowChanged;   // one byte a row: 1 where any pixel of the row is kept
  const uint8_t* watched = nullptr;  // the page 'before' was taken of, while the queue runs on it
  const uint8_t* drawnOn = nullptr;  // the page the kept drawing was made on; null when none waits
};

PageDrawing gPages;

// The back buffer's pixels while it is locked.
class LockedPage {
 public:
  explicit LockedPage(bool readOnly) {
    if (!Display().gBackBuffer) return;
    desc_.dwSize = sizeof desc_;
    const win::DWORD flags = win::DDLOCK_WAIT | (readOnly ? win::DDLOCK_READONLY : 0);
    if (win::Failed(Display().gBackBuffer->Lock(nullptr, &desc_, flags, nullptr))) return;
    locked_ = true;
    layout_ = PageLayout{desc_.dwWidth, desc_.dwHeight, desc_.ddpfPixelFormat.dwRGBBitCount / 8, desc_.lPitch};
    if (layout_.bytesPerPixel == 0 || layout_.pitch <= 0) {
      Display().gBackBuffer->Unlock(nullptr);
      locked_ = false;
    }
  }
  ~LockedPage() {
    if (locked_) Display().gBackBuffer->Unlock(nullptr);
  }
  LockedPage(const LockedPage&) = delete;
  LockedPage& operator=(const LockedPage&) = delete;
  explicit operator bool() const { return locked_; }
  const PageLayout& Layout() const { return layout_; }
  uint8_t* Bits() const { return static_cast<uint8_t*>(desc_.lpSurface); }
  uint8_t* Row(uint32_t y) const { return Bits() + size_t(y) * size_t(layout_.pitch); }

 private:
  win::DDSURFACEDESC2 desc_{};
  PageLayout layout_;
  bool locked_ = false;
};

size_t PageBytes(const PageLayout& layout) { return size_t(layout.pitch) * layout.height; }

// Marks and keeps the pixels of a row that differ from the row as it was, a pixel of one Word at a
// time.
template <typename Word>
void KeepChangedWords(const uint8_t* was, const uint8_t* now, uint8_t* values, uint8_t* changed, uint32_t count) {
  for (uint32_t i = 0; i < count; ++i) {
    Word before, after;
    std::memcpy(&before, was + size_t(i) * sizeof(Word), sizeof(Word));
    std::memcpy(&after, now + size_t(i) * sizeof(Word), sizeof(Word));
    if (before == after) continue;
    std::memcpy(values + size_t(i) * sizeof(Word), &after, sizeof(Word));
    changed[i] = 1;
  }
}

bool KeepChangedPixels(const uint8_t* was, const uint8_t* now, uint32_t y) {
  const PageLayout& layout = gPages.layout;
  const uint32_t bytes = layout.bytesPerPixel;
  if (std::memcmp(was, now, size_t(layout.width) * bytes) == 0) return false;
  uint8_t* values = gPages.values.data() + size_t(y) * size_t(layout.pitch);
  uint8_t* changed = gPages.changed.data() + size_t(y) * layout.width;
  if (bytes == 4) {
    KeepChangedWords<uint32_t>(was, now, values, changed, layout.width);
  } else if (bytes == 2) {
    KeepChangedWords<uint16_t>(was, now, values, changed, layout.width);
  } else if (bytes == 1) {
    KeepChangedWords<uint8_t>(was, now, values, changed, layout.width);
  } else {
    for (uint32_t x = 0; x < layout.width; ++x) {
      const size_t at = size_t(x) * bytes;
      if (std::memcmp(was + at, now + at, bytes) == 0) continue;
      std::memcpy(values + at, now + at, bytes);
      changed[x] = 1;
    }
  }
  gPages.rowChanged[y] = 1;
  return true;
}

}  // namespace

void ForgetPageDrawing() { gPages = PageDrawing{}; }

void CopyDrawingFromOtherPage() {
  if (!gPages.drawnOn) return;
  LockedPage page(false);
  if (!page) return;  // tried again next frame
  if (!(page.Layout() == gPages.layout)) {
    ForgetPageDrawing();
    return;
  }
  if (page.Bits() == gPages.drawnOn) return;  // no flip since: it waits for the other page
  const PageLayout& layout = gPages.layout;
  const uint32_t bytes = layout.bytesPerPixel;
  for (uint32_t y = 0; y < layout.height; ++y) {
    if (!gPages.rowChanged[y]) continue;
    uint8_t* changed = gPages.changed.data() + size_t(y) * layout.width;
    const uint8_t* values = gPages.values.data() + size_t(y) * size_t(layout.pitch);
    uint8_t* row = page.Row(y);
    for (uint32_t x = 0; x < layout.width;) {
      if (!changed[x]) {
        ++x;
        continue;
      }
      uint32_t end = x;
      while (end < layout.width && changed[end]) changed[end++] = 0;
      std::memcpy(row + size_t(x) * bytes, values + size_t(x) * bytes, size_t(end - x) * bytes);
      x = end;
    }
    gPages.rowChanged[y] = 0;
  }
  gPages.drawnOn = nullptr;
}

void KeepPageBeforeDrawing() {
  gPages.watched = nullptr;
  LockedPage page(true);
  if (!page) return;
  // Drawing kept from another page that could not be copied yet is not mixed with this page's.
  if (gPages.drawnOn && (page.Bits() != gPages.drawnOn || !(page.Layout() == gPages.layout))) ForgetPageDrawing();
  if (!(page.Layout() == gPages.layout)) {
    ForgetPageDrawing();
    gPages.layout = page.Layout();
  }
  const size_t bytes = PageBytes(gPages.layout);
  gPages.before.resize(bytes);
  std::memcpy(gPages.before.data(), page.Bits(), bytes);
  gPages.watched = page.Bits();
}

void KeepDrawingForOtherPage() {
  const uint8_t* watched = std::exchange(gPages.watched, nullptr);
  if (!watched) return;
  LockedPage page(true);
  if (!page || page.Bits() != watched || !(page.Layout() == gPages.layout)) return;
  const PageLayout& layout = gPages.layout;
  gPages.values.resize(PageBytes(layout));
  gPages.changed.resize(size_t(layout.width) * layout.height);
  gPages.rowChanged.resize(layout.height);
  bool any = false;
  for (uint32_t y = 0; y < layout.height; ++y) {
    const uint8_t* was = gPages.before.data() + size_t(y) * size_t(layout.pitch);
    if (KeepChangedPixels(was, page.Row(y), y)) any = true;
  }
  if (any) gPages.drawnOn = watched;
}

}  // namespace vx
