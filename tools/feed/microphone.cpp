#include "tools/feed/microphone.h"

#include <poll.h>
#include <pulse/error.h>
#include <pulse/pulseaudio.h>
#include <pulse/simple.h>

#include <algorithm>

namespace earshot::feed {
namespace {

constexpr int kRate = 16000;

// `what` is what the person asked for: "microphone" or "--list-devices".
std::string whyNot(int error, const std::string& device, const std::string& what) {
  if (error == PA_ERR_CONNECTIONREFUSED || error == PA_ERR_INVALIDSERVER ||
      error == PA_ERR_CONNECTIONTERMINATED) {
    return what +
           ": no sound server is reachable (PulseAudio or PipeWire): is one running for "
           "this user?";
  }
  if (error == PA_ERR_NOENTITY) {
    return what + ": the sound server has no source named " + device +
           " (earshot-feed --list-devices shows them)";
  }
  return what + ": the sound server refused: " + pa_strerror(error);
}

class Microphone final : public AudioInput {
 public:
  Microphone(const std::string& device, int chunkMs, int wakeFd)
      : chunk_(size_t(std::max(1, kRate * chunkMs / 1000))), wakeFd_(wakeFd) {
    pa_sample_spec spec{PA_SAMPLE_S16LE, kRate, 1};
    // Fragments of one chunk: the server hands audio over as soon as a
    // chunk is there, not when its own larger buffer fills.
    pa_buffer_attr buffer{};
    buffer.maxlength = uint32_t(-1);
    buffer.fragsize = uint32_t(chunk_ * 2);
    int error = 0;
    stream_ = pa_simple_new(nullptr, "earshot-feed", PA_STREAM_RECORD,
                            device.empty() ? nullptr : device.c_str(), "dictation", &spec, nullptr,
                            &buffer, &error);
    if (stream_ == nullptr) throw InputError(whyNot(error, device, "microphone"));
  }
  ~Microphone() override { pa_simple_free(stream_); }

  double sampleRate() const override { return kRate; }

  size_t read(std::span<int16_t> out) override {
    pollfd wake{wakeFd_, POLLIN, 0};
    if (wakeFd_ >= 0 && ::poll(&wake, 1, 0) > 0) return 0;
    size_t frames = std::min(out.size(), chunk_);
    int error = 0;
    if (pa_simple_read(stream_, out.data(), frames * 2, &error) < 0) {
      throw InputError(std::string("microphone: recording failed: ") + pa_strerror(error));
    }
    return frames;
  }

 private:
  pa_simple* stream_ = nullptr;
  size_t chunk_;
  int wakeFd_;
};

struct Listing {
  std::vector<Source> sources;
  bool done = false;
};

}  // namespace

std::unique_ptr<AudioInput> openMicrophone(const std::string& device, int chunkMs, int wakeFd) {
  return std::make_unique<Microphone>(device, chunkMs, wakeFd);
}

std::vector<Source> listSources() {
  pa_mainloop* loop = pa_mainloop_new();
  pa_context* context = pa_context_new(pa_mainloop_get_api(loop), "earshot-feed");
  auto release = [&] {
    pa_context_disconnect(context);
    pa_context_unref(context);
    pa_mainloop_free(loop);
  };
  if (pa_context_connect(context, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0) {
    int error = pa_context_errno(context);
    release();
    throw InputError(whyNot(error, "", "--list-devices"));
  }
  Listing listing;
  pa_operation* operation = nullptr;
  for (;;) {
    pa_context_state_t state = pa_context_get_state(context);
    if (state == PA_CONTEXT_FAILED || state == PA_CONTEXT_TERMINATED) {
      int error = pa_context_errno(context);
      if (operation) pa_operation_unref(operation);
      release();
      throw InputError(whyNot(error, "", "--list-devices"));
    }
    if (state == PA_CONTEXT_READY && operation == nullptr) {
      operation = pa_context_get_source_info_list(
          context,
          [](pa_context*, const pa_source_info* info, int last, void* data) {
            auto* into = static_cast<Listing*>(data);
            if (last) {
              into->done = true;
              return;
            }
            into->sources.push_back({info->name, info->description ? info->description : ""});
          },
          &listing);
    }
    if (listing.done) break;
    if (pa_mainloop_iterate(loop, 1, nullptr) < 0) break;
  }
  if (operation) pa_operation_unref(operation);
  release();
  return listing.sources;
}

std::string sourcesTable(const std::vector<Source>& sources) {
  if (sources.empty()) return "The sound server has no recording sources.\n";
  size_t width = 0;
  for (const Source& source : sources) width = std::max(width, source.name.size());
  std::string table;
  for (const Source& source : sources) {
    table +=
        source.name + std::string(width - source.name.size() + 2, ' ') + source.description + "\n";
  }
  return table;
}

}  // namespace earshot::feed
