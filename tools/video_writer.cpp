#include "tools/video_writer.h"

#include <algorithm>
#include <cstring>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
}

namespace testkit {

namespace {

// A seekable output in memory, so the muxer writes its index and duration.
struct MemoryOutput {
  Bytes data;
  size_t position = 0;
};

int WritePacket(void* opaque, uint8_t* buffer, int size) {
  auto* out = static_cast<MemoryOutput*>(opaque);
  const size_t end = out->position + size_t(size);
  if (out->data.size() < end) out->data.resize(end);
  std::memcpy(out->data.data() + out->position, buffer, size_t(size));
  out->position = end;
  return size;
}

int64_t SeekOutput(void* opaque, int64_t offset, int whence) {
  auto* out = static_cast<MemoryOutput*>(opaque);
  if (whence & AVSEEK_SIZE) return int64_t(out->data.size());
  whence &= ~AVSEEK_FORCE;
  int64_t target = whence == SEEK_SET   ? offset
                   : whence == SEEK_CUR ? int64_t(out->position) + offset
                   : whence == SEEK_END ? int64_t(out->data.size()) + offset
                                        : -1;
  if (target < 0) return -1;
  out->position = size_t(target);
  return target;
}

struct Writer {
  MemoryOutput output;
  AVIOContext* io = nullptr;
  AVFormatContext* format = nullptr;
  AVCodecContext* video = nullptr;
  AVCodecContext* audio = nullptr;
  AVStream* videoStream = nullptr;
  AVStream* audioStream = nullptr;
  AVFrame* frame = nullptr;
  AVPacket* packet = nullptr;

  ~Writer() {
    av_packet_free(&packet);
    av_frame_free(&frame);
    avcodec_free_context(&video);
    avcodec_free_context(&audio);
    if (format) avformat_free_context(format);
    if (io) {
      av_freep(&io->buffer);
      avio_context_free(&io);
    }
  }

  bool Drain(AVCodecContext* codec, AVStream* stream) {
    for (;;) {
      const int got = avcodec_receive_packet(codec, packet);
      if (got == AVERROR(EAGAIN) || got == AVERROR_EOF) return true;
      if (got < 0) return false;
      av_packet_rescale_ts(packet, codec->time_base, stream->time_base);
      packet->stream_index = stream->index;
      if (av_interleaved_write_frame(format, packet) < 0) return false;
    }
  }

  bool Send(AVCodecContext* codec, AVStream* stream, AVFrame* f) {
    return avcodec_send_frame(codec, f) >= 0 && Drain(codec, stream);
  }
};

}  // namespace

uint32_t VideoFrameColour(int frame) {
  const uint32_t b = uint32_t(frame * 7) & 0xFF;
  const uint32_t g = uint32_t(255 - frame * 3) & 0xFF;
  const uint32_t r = uint32_t(40 + frame) & 0xFF;
  return b | g << 8 | r << 16 | 0xFFu << 24;
}

Bytes BuildVideo(const VideoSpec& recipe) {
  if (recipe.width < 1 || recipe.height < 1 || recipe.frames < 1 || recipe.rate < 1) return {};
  av_log_set_level(AV_LOG_QUIET);
  Writer w;
  if (avformat_alloc_output_context2(&w.format, nullptr, "matroska", nullptr) < 0) return {};
  auto* buffer = static_cast<uint8_t*>(av_malloc(32768));
  w.io = avio_alloc_context(buffer, 32768, 1, &w.output, nullptr, WritePacket, SeekOutput);
  if (!w.io) {
    av_free(buffer);
    return {};
  }
  w.format->pb = w.io;
  w.format->flags |= AVFMT_FLAG_CUSTOM_IO;

  const AVCodec* ffv1 = avcodec_find_encoder(AV_CODEC_ID_FFV1);
  if (!ffv1) return {};
  w.video = avcodec_alloc_context3(ffv1);
  w.video->width = recipe.width;
  w.video->height = recipe.height;
  w.video->pix_fmt = recipe.alpha ? AV_PIX_FMT_BGRA : AV_PIX_FMT_BGR0;
  w.video->time_base = AVRational{1, recipe.rate};
  w.video->framerate = AVRational{recipe.rate, 1};
  w.video->gop_size = 1;
  w.video->thread_count = 1;
  if (w.format->oformat->flags & AVFMT_GLOBALHEADER) w.video->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
  if (avcodec_open2(w.video, ffv1, nullptr) < 0) return {};
  w.videoStream = avformat_new_stream(w.format, nullptr);
  if (!w.videoStream || avcodec_parameters_from_context(w.videoStream->codecpar, w.video) < 0) return {};
  w.videoStream->time_base = w.video->time_base;
  w.videoStream->avg_frame_rate = w.video->framerate;

  const bool sound = !recipe.audio.empty() && recipe.audioChannels > 0 && recipe.audioRate > 0;
  if (sound) {
    const AVCodec* pcm = avcodec_find_encoder(AV_CODEC_ID_PCM_S16LE);
    if (!pcm) return {};
    w.audio = avcodec_alloc_context3(pcm);
    w.audio->sample_fmt = AV_SAMPLE_FMT_S16;
    w.audio->sample_rate = recipe.audioRate;
    av_channel_layout_default(&w.audio->ch_layout, recipe.audioChannels);
    w.audio->time_base = AVRational{1, recipe.audioRate};
    if (avcodec_open2(w.audio, pcm, nullptr) < 0) return {};
    w.audioStream = avformat_new_stream(w.format, nullptr);
    if (!w.audioStream || avcodec_parameters_from_context(w.audioStream->codecpar, w.audio) < 0)
      return {};
    w.audioStream->time_base = w.audio->time_base;
  }
  if (avformat_write_header(w.format, nullptr) < 0) return {};

  w.frame = av_frame_alloc();
  w.packet = av_packet_alloc();
  if (!w.frame || !w.packet) return {};

  Picture picture(recipe.width, recipe.height);
  // Sound in blocks of one frame's length, sent in step with the pictures.
  const int channels = sound ? recipe.audioChannels : 0;
  const size_t totalSamples = sound ? recipe.audio.size() / size_t(channels) : 0;
  const size_t perFrame = sound ? std::max<size_t>(1, size_t(recipe.audioRate / recipe.rate)) : 0;
  size_t soundDone = 0;
  for (int n = 0; n < recipe.frames; ++n) {
    if (recipe.paint) {
      recipe.paint(n, picture);
    } else {
      const uint32_t colour = VideoFrameColour(n);
      for (int y = 0; y < recipe.height; ++y)
        for (int x = 0; x < recipe.width; ++x)
          std::memcpy(picture.At(x, y), &colour, 4);
    }
    av_frame_unref(w.frame);
    w.frame->format = w.video->pix_fmt;
    w.frame->width = recipe.width;
    w.frame->height = recipe.height;
    if (av_frame_get_buffer(w.frame, 0) < 0) return {};
    for (int y = 0; y < recipe.height; ++y)
      std::memcpy(w.frame->data[0] + size_t(y) * size_t(w.frame->linesize[0]), picture.At(0, y),
                  size_t(recipe.width) * 4);
    w.frame->pts = n;
    if (!w.Send(w.video, w.videoStream, w.frame)) return {};

    while (sound && soundDone < totalSamples &&
           (soundDone < perFrame * size_t(n + 1) || n == recipe.frames - 1)) {
      const size_t count = std::min(perFrame, totalSamples - soundDone);
      av_frame_unref(w.frame);
      w.frame->format = AV_SAMPLE_FMT_S16;
      w.frame->sample_rate = recipe.audioRate;
      w.frame->nb_samples = int(count);
      if (av_channel_layout_copy(&w.frame->ch_layout, &w.audio->ch_layout) < 0 ||
          av_frame_get_buffer(w.frame, 0) < 0)
        return {};
      std::memcpy(w.frame->data[0], recipe.audio.data() + soundDone * size_t(channels),
                  count * size_t(channels) * 2);
      w.frame->pts = int64_t(soundDone);
      if (!w.Send(w.audio, w.audioStream, w.frame)) return {};
      soundDone += count;
    }
  }
  if (!w.Send(w.video, w.videoStream, nullptr)) return {};
  if (sound && !w.Send(w.audio, w.audioStream, nullptr)) return {};
  if (av_write_trailer(w.format) < 0) return {};
  avio_flush(w.io);
  return std::move(w.output.data);
}

}  // namespace testkit
