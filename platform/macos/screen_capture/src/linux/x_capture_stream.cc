#include "linux/x_capture_stream.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/ipc.h>
#include <sys/shm.h>
#include <time.h>
#include <unistd.h>
#include <xcb/damage.h>
#include <xcb/shm.h>
#include <xcb/xcb.h>
#include <xcb/xfixes.h>

#include <chrono>
#include <cstdlib>
#include <utility>
#include <variant>

#include "linux/nv12_converter.h"
#include "linux/picture_pool.h"

namespace vornakel::capture {
namespace {

// Pictures in flight: the queue depth of 3 plus the one the source keeps for re-sending.
constexpr size_t kPicturePoolSize = 4;

int64_t monotonicNanoseconds() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<int64_t>(now.tv_sec) * 1000000000 + now.tv_nsec;
}

template <typename Reply>
using ReplyPtr = std::unique_ptr<Reply, decltype(&std::free)>;

template <typename Reply>
ReplyPtr<Reply> owned(Reply* reply) {
  return ReplyPtr<Reply>(reply, &std::free);
}

}  // namespace

// One X connection set up for capture; everything it acquires is released in reverse order.
class XCaptureStream::Session {
 public:
  static std::variant<std::unique_ptr<Session>, std::string> open(uint32_t screenNumber) {
    std::unique_ptr<Session> session(new Session());
    if (auto failure = session->setUp(screenNumber)) return *failure;
    return session;
  }

  ~Session() {
    if (damage_ != 0) xcb_damage_destroy(connection_, damage_);
    if (segmentAttached_) xcb_shm_detach(connection_, segment_);
    if (connection_) xcb_flush(connection_);
    if (pixels_) shmdt(pixels_);
    if (connection_) xcb_disconnect(connection_);
  }

  int descriptor() const { return xcb_get_file_descriptor(connection_); }
  int32_t width() const { return width_; }
  int32_t height() const { return height_; }

  // Reads every pending event; returns false once the connection is broken.
  bool drainEvents(bool& damaged) {
    while (auto event = owned(xcb_poll_for_event(connection_))) {
      if ((event->response_type & 0x7F) == damageEventBase_ + XCB_DAMAGE_NOTIFY) damaged = true;
    }
    return xcb_connection_has_error(connection_) == 0;
  }

  // Clears the accumulated damage before a grab, so that a change made during the grab is not lost.
  void rearmDamage() { xcb_damage_subtract(connection_, damage_, XCB_NONE, XCB_NONE); }

  bool grab(BgrxImage& image) {
    auto reply = owned(xcb_shm_get_image_reply(
        connection_,
        xcb_shm_get_image(connection_, root_, 0, 0, static_cast<uint16_t>(width_),
                          static_cast<uint16_t>(height_), ~0u, XCB_IMAGE_FORMAT_Z_PIXMAP, segment_,
                          0),
        nullptr));
    if (!reply) return false;
    image = BgrxImage{pixels_, width_, height_, width_ * 4};
    return true;
  }

  // The pointer position on this screen as one number; -1 when it is elsewhere or unknown.
  int64_t pointer() {
    auto reply =
        owned(xcb_query_pointer_reply(connection_, xcb_query_pointer(connection_, root_), nullptr));
    if (!reply || !reply->same_screen) return -1;
    return (static_cast<int64_t>(static_cast<uint16_t>(reply->root_x)) << 16) |
           static_cast<uint16_t>(reply->root_y);
  }

  void drawCursor(BgrxImage& image) {
    auto reply = owned(xcb_xfixes_get_cursor_image_reply(
        connection_, xcb_xfixes_get_cursor_image(connection_), nullptr));
    if (!reply) return;
    compositeCursor(image, xcb_xfixes_get_cursor_image_cursor_image(reply.get()), reply->width,
                    reply->height, reply->x - reply->xhot, reply->y - reply->yhot);
  }

 private:
  Session() = default;

  std::optional<std::string> setUp(uint32_t screenNumber) {
    connection_ = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(connection_)) return "cannot connect to the X display";
    const xcb_setup_t* setup = xcb_get_setup(connection_);
    xcb_screen_t* screen = nullptr;
    uint32_t number = 0;
    for (auto it = xcb_setup_roots_iterator(setup); it.rem; xcb_screen_next(&it), ++number) {
      if (number == screenNumber) screen = it.data;
    }
    if (!screen) return "X screen " + std::to_string(screenNumber) + " does not exist";
    root_ = screen->root;
    width_ = screen->width_in_pixels;
    height_ = screen->height_in_pixels;
    bool fourBytesPerPixel = false;
    for (auto it = xcb_setup_pixmap_formats_iterator(setup); it.rem; xcb_format_next(&it)) {
      if (it.data->depth == screen->root_depth) fourBytesPerPixel = it.data->bits_per_pixel == 32;
    }
    if (!fourBytesPerPixel || screen->root_depth < 24) {
      return "the X screen's depth of " + std::to_string(screen->root_depth) +
             " bits is not supported";
    }

    const std::pair<xcb_extension_t*, const char*> required[] = {
        {&xcb_shm_id, "MIT-SHM"}, {&xcb_damage_id, "DAMAGE"}, {&xcb_xfixes_id, "XFIXES"}};
    for (const auto& [extension, name] : required) {
      const xcb_query_extension_reply_t* data = xcb_get_extension_data(connection_, extension);
      if (!data || !data->present)
        return std::string("the X server lacks the ") + name + " extension";
    }
    damageEventBase_ = xcb_get_extension_data(connection_, &xcb_damage_id)->first_event;
    auto fixes = owned(xcb_xfixes_query_version_reply(
        connection_, xcb_xfixes_query_version(connection_, 5, 0), nullptr));
    auto damageVersion = owned(xcb_damage_query_version_reply(
        connection_, xcb_damage_query_version(connection_, 1, 1), nullptr));
    if (!fixes || !damageVersion) return "the X server refused the XFixes or DAMAGE version query";

    const size_t bytes = static_cast<size_t>(width_) * static_cast<size_t>(height_) * 4;
    const int segmentId = shmget(IPC_PRIVATE, bytes, IPC_CREAT | 0600);
    if (segmentId < 0) return "cannot create a shared-memory segment for the screen";
    void* attached = shmat(segmentId, nullptr, 0);
    if (attached == reinterpret_cast<void*>(-1)) {
      shmctl(segmentId, IPC_RMID, nullptr);
      return "cannot map the shared-memory segment for the screen";
    }
    pixels_ = static_cast<uint8_t*>(attached);
    segment_ = xcb_generate_id(connection_);
    auto attachError = owned(xcb_request_check(
        connection_, xcb_shm_attach_checked(connection_, segment_, segmentId, 0)));
    // Marked for removal once both sides hold it, so that it cannot outlive the program.
    shmctl(segmentId, IPC_RMID, nullptr);
    if (attachError) return "the X server cannot attach the shared-memory segment";
    segmentAttached_ = true;

    damage_ = xcb_generate_id(connection_);
    xcb_damage_create(connection_, damage_, root_, XCB_DAMAGE_REPORT_LEVEL_NON_EMPTY);
    // The server reports the whole screen as damaged once the damage object exists. A round trip
    // queues that report now, so that the first grab (taken at start anyway) absorbs it instead of
    // a second, identical picture following.
    owned(xcb_get_input_focus_reply(connection_, xcb_get_input_focus(connection_), nullptr));
    return std::nullopt;
  }

  xcb_connection_t* connection_ = nullptr;
  xcb_window_t root_ = 0;
  int32_t width_ = 0;
  int32_t height_ = 0;
  uint8_t damageEventBase_ = 0;
  uint8_t* pixels_ = nullptr;
  xcb_shm_seg_t segment_ = 0;
  bool segmentAttached_ = false;
  xcb_damage_damage_t damage_ = 0;
};

XCaptureStream::XCaptureStream(const StreamConfiguration& configuration)
    : configuration_(configuration) {
  int ends[2];
  if (pipe2(ends, O_CLOEXEC | O_NONBLOCK) == 0) {
    wakeRead_ = ends[0];
    wakeWrite_ = ends[1];
  }
}

XCaptureStream::~XCaptureStream() {
  stopCapture();
  if (wakeWrite_ >= 0) close(wakeWrite_);
  if (wakeRead_ >= 0) close(wakeRead_);
}

std::optional<std::string> XCaptureStream::addOutput(std::weak_ptr<CaptureStreamClient> client,
                                                     FrameQueue& frameQueue) {
  if (wakeRead_ < 0) return std::string("cannot create the capture thread's wake-up pipe");
  client_ = std::move(client);
  frameQueue_ = &frameQueue;
  return std::nullopt;
}

void XCaptureStream::startCapture() {
  if (thread_.joinable() || !frameQueue_) return;
  thread_ = std::thread([this] { captureLoop(); });
}

void XCaptureStream::stopCapture() {
  stopRequested_ = true;
  if (wakeWrite_ >= 0) {
    const char wake = 1;
    [[maybe_unused]] const ssize_t ignored = write(wakeWrite_, &wake, 1);
  }
  if (thread_.joinable() && thread_.get_id() != std::this_thread::get_id()) thread_.join();
}

void XCaptureStream::captureLoop() {
  const std::weak_ptr<CaptureStreamClient> client = client_;
  FrameQueue& queue = *frameQueue_;
  auto reportStop = [&](std::string description) {
    queue.post([client, description = std::move(description)] {
      if (auto target = client.lock()) target->didStopWithError(description);
    });
  };

  auto opened = Session::open(configuration_.display);
  if (auto* failure = std::get_if<std::string>(&opened)) return reportStop(*failure);
  Session& session = *std::get<std::unique_ptr<Session>>(opened);

  const auto pool =
      PicturePool::create(configuration_.width, configuration_.height, kPicturePoolSize);
  Nv12Converter converter;
  const std::chrono::nanoseconds interval(1000000000 / configuration_.frameRate);
  bool damaged = true;  // the first picture is delivered at start, changed or not
  std::optional<std::chrono::steady_clock::time_point> lastGrab;
  int64_t lastPointer = -2;

  while (!stopRequested_) {
    if (!session.drainEvents(damaged))
      return reportStop("the connection to the X display was lost");
    if (configuration_.showsCursor) {
      // Pointer moves damage nothing on the X screen, but they change the captured picture.
      const int64_t position = session.pointer();
      if (position != lastPointer) {
        lastPointer = position;
        damaged = true;
      }
    }
    const auto now = std::chrono::steady_clock::now();
    if (damaged && (!lastGrab || now - *lastGrab >= interval)) {
      if (std::shared_ptr<Picture> picture = pool->take()) {
        session.rearmDamage();
        // The picture is stamped when the screen is copied, as ScreenCaptureKit stamps its frames:
        // stamped after the conversion, a slow first conversion (its pages touched for the first
        // time, 100 ms and more) moved the stream's first key frame later than the picture it
        // shows, and with it every once-a-second key frame after it.
        const MediaTime takenAt{monotonicNanoseconds(), 1000000000};
        BgrxImage image;
        if (!session.grab(image)) return reportStop("the X server refused to copy the screen");
        if (configuration_.showsCursor) session.drawCursor(image);
        converter.convert(image, *picture);
        damaged = false;
        lastGrab = now;
        CapturedFrame frame;
        frame.picture = std::move(picture);
        frame.presentationTime = takenAt;
        frame.duration = MediaTime{1, configuration_.frameRate};
        frame.attachments = FrameStatusAttachments{true, false, true, 0};
        queue.post([client, frame = std::move(frame)] {
          if (auto target = client.lock()) target->didOutputFrame(frame);
        });
        continue;
      }
      lastGrab = now;  // every picture is still held downstream: this frame is skipped
    }

    int timeoutMs = -1;
    if (damaged || configuration_.showsCursor) {
      const auto wait = lastGrab && damaged ? *lastGrab + interval - now : interval;
      timeoutMs = static_cast<int>(std::chrono::ceil<std::chrono::milliseconds>(wait).count());
      if (timeoutMs < 1) timeoutMs = 1;
    }
    pollfd watched[2] = {{session.descriptor(), POLLIN, 0}, {wakeRead_, POLLIN, 0}};
    poll(watched, 2, timeoutMs);
    if (watched[1].revents & POLLIN) {
      char drained[16];
      while (read(wakeRead_, drained, sizeof drained) > 0) {
      }
    }
  }
}

std::unique_ptr<CaptureStream> XCaptureStreamFactory::makeStream(
    const StreamConfiguration& configuration, std::weak_ptr<CaptureStreamClient>) {
  return std::make_unique<XCaptureStream>(configuration);
}

}  // namespace vornakel::capture
