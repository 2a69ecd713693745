// WebP for create, still or animated, decoded and composed by libwebp's animation decoder.
#include <webp/demux.h>

#include <cstring>

#include "tools/picture_input.h"

namespace {

struct DemuxerCloser {
  WebPDemuxer* demuxer;
  ~DemuxerCloser() { WebPDemuxDelete(demuxer); }
};

struct DecoderCloser {
  WebPAnimDecoder* decoder;
  ~DecoderCloser() { WebPAnimDecoderDelete(decoder); }
};

}  // namespace

bool read_webp(const unsigned char* bytes, size_t size, int32_t max_side, const FrameSink& sink,
               PictureFileInfo& info, std::string& why) {
  const WebPData data{bytes, size};
  {
    // The canvas's size first, before the decoder allocates for it.
    DemuxerCloser demuxer{WebPDemux(&data)};
    if (demuxer.demuxer == nullptr) {
      why = "not a WebP file libwebp reads";
      return false;
    }
    const uint32_t width = WebPDemuxGetI(demuxer.demuxer, WEBP_FF_CANVAS_WIDTH);
    const uint32_t height = WebPDemuxGetI(demuxer.demuxer, WEBP_FF_CANVAS_HEIGHT);
    if (width == 0 || height == 0 || width > uint32_t(max_side) || height > uint32_t(max_side)) {
      why = "its size " + std::to_string(width) + "x" + std::to_string(height) + " is outside 1 to " +
            std::to_string(max_side) + " pixels a side";
      return false;
    }
    const uint32_t flags = WebPDemuxGetI(demuxer.demuxer, WEBP_FF_FORMAT_FLAGS);
    info.has_alpha = (flags & ALPHA_FLAG) != 0;
    info.timed = (flags & ANIMATION_FLAG) != 0;
    info.loops = info.timed && WebPDemuxGetI(demuxer.demuxer, WEBP_FF_LOOP_COUNT) == 0;
  }
  WebPAnimDecoderOptions options;
  if (!WebPAnimDecoderOptionsInit(&options)) {
    why = "libwebp cannot start decoding";
    return false;
  }
  options.color_mode = MODE_RGBA;  // straight alpha
  options.use_threads = 0;
  DecoderCloser decoder{WebPAnimDecoderNew(&data, &options)};
  WebPAnimInfo anim;
  if (decoder.decoder == nullptr || !WebPAnimDecoderGetInfo(decoder.decoder, &anim)) {
    why = "not a WebP file libwebp reads";
    return false;
  }
  RgbaPicture canvas;
  canvas.width = static_cast<int32_t>(anim.canvas_width);
  canvas.height = static_cast<int32_t>(anim.canvas_height);
  const size_t bytes_per_frame = size_t(canvas.width) * size_t(canvas.height) * 4;
  canvas.pixels.resize(bytes_per_frame);
  int previous_end = 0;
  for (int frame = 1; WebPAnimDecoderHasMoreFrames(decoder.decoder); ++frame) {
    uint8_t* pixels = nullptr;
    int end = 0;  // the time at which the frame ends, in ms from the start
    if (!WebPAnimDecoderGetNext(decoder.decoder, &pixels, &end)) {
      why = "frame " + std::to_string(frame) + ": a damaged WebP file";
      return false;
    }
    std::memcpy(canvas.pixels.data(), pixels, bytes_per_frame);
    const int32_t delay = info.timed ? viewer_delay_ms(int64_t{end} - previous_end) : 0;
    previous_end = end;
    if (!sink(canvas, delay, why)) return false;
  }
  return true;
}
