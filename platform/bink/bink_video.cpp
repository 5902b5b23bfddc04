// Videos through FFmpeg's demuxers and decoders. A video is read from a
// file handle starting at the handle's position at open time, so a video
// stored inside a larger file plays from where it begins. The open pass
// walks every packet once to count the frames and note the key frames;
// with BINKPRELOADALL it keeps the packets and the file is not read again.
// Frames are numbered by the order of their packets (the codecs these
// videos use have no reordering).
//
// The sound track plays through the sound layer as a stream that pulls its
// PCM from a second reader of the same file (or from the preloaded packets),
// so the picture's reads and the sound's never move each other's position.
#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/imgutils.h>
#include <libavutil/pixdesc.h>
#include <libswresample/swresample.h>
#include <libswscale/swscale.h>
}

#include "platform/bink/bink.h"
#include "platform/bink/internal.h"
#include "platform/bink/testing.h"
#include "platform/fmod/pcm_stream.h"
#include "platform/win32/win32.h"

namespace {

constexpr int kIoBufferSize = 32768;
// Larger frames than this are refused before anything is allocated.
constexpr int kMaxDimension = 8192;

std::string g_error;
uint32_t g_rate = 0;
uint32_t g_rateDiv = 0;
uint64_t g_memorySize = 0;

}  // namespace

// A read position in the video's file, the opaque of one demuxer's reads.
struct Cursor {
  BinkState* s = nullptr;
  int64_t position = 0;  // from the video's beginning
};

struct BinkState {
  HANDLE file = INVALID_HANDLE_VALUE;
  bool ownsFile = false;
  const uint8_t* memory = nullptr;  // BINKFROMMEMORY: the caller's block
  int64_t memorySize = 0;
  int64_t base = 0;      // where the video begins in the file
  int64_t extent = -1;   // its length, where the container tells it
  Cursor cursor;         // the picture's reads
  uint64_t bytesRead = 0;
  uint64_t bytesReadAtOpen = 0;

  AVIOContext* io = nullptr;
  AVFormatContext* format = nullptr;
  AVCodecContext* decoder = nullptr;
  SwsContext* scaler = nullptr;
  AVFrame* frame = nullptr;
  AVPacket* packet = nullptr;
  int videoStream = -1;
  int audioStream = -1;
  AVCodecParameters* parameters = nullptr;  // a copy, outlives the demuxer
  AVCodecParameters* audioParameters = nullptr;
  AVRational audioTimeBase{1, 1};

  bool preloaded = false;
  std::vector<AVPacket*> packets;   // preloaded video packets
  std::vector<uint8_t> keyFrames;   // per frame: 1 for a key frame
  std::vector<int64_t> timestamps;  // per frame: the packet's pts or dts
  size_t nextPacket = 0;            // next packet to feed (frame index)
  bool demuxEnded = false;
  bool draining = false;            // the decoder was told the packets ended
  int decoded = -1;                 // frame index held in `frame`, -1 none
  int received = -1;                // frame index the decoder gave last
  bool alpha = false;

  std::vector<uint8_t> pixels;  // the decoded frame as B, G, R, A
  bool haveFrame = false;

  uint32_t startTime = 0;  // the clock when startFrame was due
  uint32_t startFrame = 1;

  BINKSND sound;
  bool soundOpened = false;
  bool soundOn = true;
  int32_t volume = 32768;
  // Noted by the open pass: where each audio packet begins (in sample
  // frames) and, when preloading, the packets themselves.
  bool openPass = false;
  bool keepAudio = false;
  std::vector<uint64_t> audioStarts;
  std::vector<AVPacket*> audioPackets;
  uint64_t audioFrames = 0;
  // The track's stream in the sound layer and the channel it plays on. The
  // stream owns its reader; both go with the sound system if it goes first.
  FMOD::Sound* stream = nullptr;
  FMOD::Channel* channel = nullptr;
  platform::fmod::Decoder* reader = nullptr;  // the stream's, while it lives
};

namespace {

void SetError(const std::string& text) { g_error = text; }

// Reads from the video's file at `at` (from base); bytes read, or -1.
int64_t ReadAt(BinkState* s, int64_t at, uint8_t* buffer, uint32_t size) {
  if (s->memory) {
    if (at < 0) return -1;
    if (at >= s->memorySize) return 0;
    const int64_t n = std::min<int64_t>(size, s->memorySize - at);
    std::memcpy(buffer, s->memory + at, size_t(n));
    return n;
  }
  at += s->base;
  LONG high = LONG(at >> 32);
  SetLastError(0);
  if (SetFilePointer(s->file, LONG(uint32_t(at)), &high, FILE_BEGIN) == INVALID_SET_FILE_POINTER &&
      GetLastError() != 0)
    return -1;
  DWORD done = 0;
  if (!ReadFile(s->file, buffer, size, &done, nullptr)) return -1;
  return done;
}

// An EBML variable-length number at `p`; its length in `length`, 0 when
// malformed. All ones is "unknown" and gives -1.
int64_t ReadVint(const uint8_t* p, size_t available, int& length) {
  length = 0;
  if (available == 0 || p[0] == 0) return 0;
  int n = 1;
  while (!(p[0] & (0x80 >> (n - 1)))) ++n;
  if (size_t(n) > available) return 0;
  int64_t value = p[0] & (0xFF >> n);
  bool allOnes = value == (0xFF >> n);
  for (int i = 1; i < n; ++i) {
    value = value << 8 | p[i];
    allOnes = allOnes && p[i] == 0xFF;
  }
  length = n;
  return allOnes ? -1 : value;
}

// The video's own length from its container's header, so that reading stops
// there and not in whatever follows it in the file; -1 when it cannot tell.
int64_t ContainerExtent(BinkState* s) {
  uint8_t head[64] = {};
  const int64_t got = ReadAt(s, 0, head, sizeof head);
  if (got < 8) return -1;
  // The game's own videos: signature, version, then the size of the rest.
  if ((std::memcmp(head, "BIK", 3) == 0 || std::memcmp(head, "KB2", 3) == 0))
    return int64_t(head[4] | head[5] << 8 | head[6] << 16 | uint32_t(head[7]) << 24) + 8;
  // Matroska: the EBML header element, then the segment element.
  if (head[0] != 0x1A || head[1] != 0x45 || head[2] != 0xDF || head[3] != 0xA3) return -1;
  int length = 0;
  const int64_t headerSize = ReadVint(head + 4, size_t(got) - 4, length);
  if (length == 0 || headerSize < 0) return -1;
  const int64_t segmentAt = 4 + length + headerSize;
  uint8_t segment[12] = {};
  const int64_t more = ReadAt(s, segmentAt, segment, sizeof segment);
  if (more < 5 || segment[0] != 0x18 || segment[1] != 0x53 || segment[2] != 0x80 || segment[3] != 0x67)
    return -1;
  const int64_t segmentSize = ReadVint(segment + 4, size_t(more) - 4, length);
  if (length == 0 || segmentSize < 0) return -1;
  return segmentAt + 4 + length + segmentSize;
}

int ReadPacket(void* opaque, uint8_t* buffer, int size) {
  auto* c = static_cast<Cursor*>(opaque);
  BinkState* s = c->s;
  if (s->extent >= 0) {
    if (c->position >= s->extent) return AVERROR_EOF;
    size = int(std::min<int64_t>(size, s->extent - c->position));
  }
  const int64_t done = ReadAt(s, c->position, buffer, uint32_t(size));
  if (done < 0) return AVERROR(EIO);
  if (done == 0) return AVERROR_EOF;
  c->position += done;
  s->bytesRead += uint64_t(done);
  return int(done);
}

int64_t SeekPacket(void* opaque, int64_t offset, int whence) {
  auto* c = static_cast<Cursor*>(opaque);
  BinkState* s = c->s;
  if (whence & AVSEEK_SIZE) {
    if (s->memory) return s->extent >= 0 && s->extent < s->memorySize ? s->extent : s->memorySize;
    DWORD high = 0;
    SetLastError(0);
    const DWORD low = GetFileSize(s->file, &high);
    if (low == INVALID_FILE_SIZE && GetLastError() != 0) return -1;
    int64_t size = (int64_t(high) << 32 | low) - s->base;
    if (s->extent >= 0 && s->extent < size) size = s->extent;
    return size < 0 ? 0 : size;
  }
  whence &= ~AVSEEK_FORCE;
  int64_t target;
  if (whence == SEEK_SET)
    target = offset;
  else if (whence == SEEK_CUR)
    target = c->position + offset;
  else
    return -1;
  if (target < 0) return -1;
  c->position = target;
  return target;
}

void CloseInput(AVIOContext*& io, AVFormatContext*& format) {
  if (format) avformat_close_input(&format);
  if (io) {
    av_freep(&io->buffer);
    avio_context_free(&io);
  }
}

// Opens a demuxer at the video's beginning, reading through `cursor`;
// false with the error set.
bool OpenInput(Cursor& cursor, AVIOContext*& io, AVFormatContext*& format) {
  CloseInput(io, format);
  cursor.position = 0;
  auto* buffer = static_cast<uint8_t*>(av_malloc(kIoBufferSize));
  if (!buffer) {
    SetError("Out of memory.");
    return false;
  }
  io = avio_alloc_context(buffer, kIoBufferSize, 0, &cursor, ReadPacket, nullptr, SeekPacket);
  if (!io) {
    av_free(buffer);
    SetError("Out of memory.");
    return false;
  }
  format = avformat_alloc_context();
  if (!format) {
    SetError("Out of memory.");
    return false;
  }
  format->pb = io;
  format->flags |= AVFMT_FLAG_CUSTOM_IO;
  if (avformat_open_input(&format, nullptr, nullptr, nullptr) < 0) {
    // avformat_open_input frees the context on failure.
    format = nullptr;
    SetError("The file is not a video.");
    return false;
  }
  return true;
}

void CloseDemuxer(BinkState* s) { CloseInput(s->io, s->format); }

bool OpenDemuxer(BinkState* s) {
  s->demuxEnded = false;
  return OpenInput(s->cursor, s->io, s->format);
}

// The open pass notes each audio packet's first sample frame.
void NoteAudioPacket(BinkState* s, const AVPacket* packet) {
  int64_t frames = av_get_audio_frame_duration2(s->audioParameters, packet->size);
  if (frames <= 0 && packet->duration > 0 && s->sound.freq > 0)
    frames = av_rescale_q(packet->duration, s->audioTimeBase, AVRational{1, int(s->sound.freq)});
  if (frames < 0) frames = 0;
  if (s->keepAudio) {
    AVPacket* kept = av_packet_clone(packet);
    if (!kept) {
      // Without every packet the track cannot be played in step.
      s->keepAudio = false;
      for (AVPacket* p : s->audioPackets) av_packet_free(&p);
      s->audioPackets.clear();
      s->audioStream = -1;
      return;
    }
    s->audioPackets.push_back(kept);
  }
  s->audioStarts.push_back(s->audioFrames);
  s->audioFrames += uint64_t(frames);
}

// The next packet of the video stream from the demuxer; false at its end.
bool DemuxVideoPacket(BinkState* s, AVPacket* packet) {
  while (!s->demuxEnded) {
    if (av_read_frame(s->format, packet) < 0) {
      s->demuxEnded = true;
      break;
    }
    if (packet->stream_index == s->videoStream) return true;
    if (s->openPass && packet->stream_index == s->audioStream) NoteAudioPacket(s, packet);
    av_packet_unref(packet);
  }
  return false;
}

bool ReceiveFrame(BinkState* s) {
  if (avcodec_receive_frame(s->decoder, s->frame) != 0) return false;
  ++s->received;
  return true;
}

// Feeds the decoder until it gives the frame after the one it gave last;
// false at the end or at a packet it cannot decode (whose frame is then
// counted as passed).
bool DecodeNext(BinkState* s) {
  const size_t frameCount = s->keyFrames.size();
  for (;;) {
    if (ReceiveFrame(s)) return true;
    if (s->nextPacket >= frameCount) {
      if (s->draining) return false;
      s->draining = true;
      avcodec_send_packet(s->decoder, nullptr);
      continue;
    }
    AVPacket* packet = s->preloaded ? s->packets[s->nextPacket] : s->packet;
    if (!s->preloaded && !DemuxVideoPacket(s, packet)) {
      s->nextPacket = frameCount;
      continue;
    }
    ++s->nextPacket;
    const int sent = avcodec_send_packet(s->decoder, packet);
    if (!s->preloaded) av_packet_unref(packet);
    if (sent < 0) {
      ++s->received;
      return false;
    }
  }
}

// Puts the reader at the key frame at or before `target` (frame index).
bool Reposition(BinkState* s, int target) {
  int key = target;
  while (key > 0 && !s->keyFrames[size_t(key)]) --key;
  avcodec_flush_buffers(s->decoder);
  s->draining = false;
  if (s->preloaded) {
    s->nextPacket = size_t(key);
    s->received = key - 1;
    return true;
  }
  // Streamed: start again from the beginning and skip to the key frame.
  if (!OpenDemuxer(s)) return false;
  for (int i = 0; i < key; ++i) {
    if (!DemuxVideoPacket(s, s->packet)) return false;
    av_packet_unref(s->packet);
  }
  s->nextPacket = size_t(key);
  s->received = key - 1;
  return true;
}

bool ConvertFrame(BinkState* s) {
  AVFrame* f = s->frame;
  if (f->width != s->parameters->width || f->height != s->parameters->height) return false;
  s->scaler = sws_getCachedContext(s->scaler, f->width, f->height, AVPixelFormat(f->format), f->width,
                                   f->height, AV_PIX_FMT_BGRA, SWS_POINT, nullptr, nullptr, nullptr);
  if (!s->scaler) return false;
  uint8_t* planes[4] = {s->pixels.data(), nullptr, nullptr, nullptr};
  int pitches[4] = {f->width * 4, 0, 0, 0};
  if (sws_scale(s->scaler, f->data, f->linesize, 0, f->height, planes, pitches) != f->height)
    return false;
  if (!s->alpha)
    for (size_t i = 3; i < s->pixels.size(); i += 4) s->pixels[i] = 255;
  return true;
}

uint32_t FramePeriodDue(const BINK* b, uint32_t frame) {
  const BinkState* s = b->state;
  const uint64_t frames = frame >= s->startFrame ? frame - s->startFrame : 0;
  return s->startTime + uint32_t(frames * 1000u * b->FrameRateDiv / b->FrameRate);
}

// The sound track's reader: decodes the audio stream to interleaved 16-bit
// frames (mixed down to two channels at most) as the sound layer asks.
class VideoSound final : public platform::fmod::Decoder {
 public:
  explicit VideoSound(BinkState* s) : s_(s) { cursor_.s = s; }
  ~VideoSound() override {
    for (AVPacket* p : packets_) av_packet_free(&p);
    av_packet_free(&packet_);
    av_frame_free(&frame_);
    swr_free(&resampler_);
    avcodec_free_context(&decoder_);
    CloseInput(io_, format_);
  }
  VideoSound(const VideoSound&) = delete;
  VideoSound& operator=(const VideoSound&) = delete;

  // Takes the open pass's packet notes; false when the track cannot be decoded.
  bool Start() {
    const AVCodecParameters* par = s_->audioParameters;
    const AVCodec* codec = avcodec_find_decoder(par->codec_id);
    if (!codec || par->sample_rate <= 0 || par->ch_layout.nb_channels < 1) return false;
    decoder_ = avcodec_alloc_context3(codec);
    frame_ = av_frame_alloc();
    packet_ = av_packet_alloc();
    if (!decoder_ || !frame_ || !packet_) return false;
    if (avcodec_parameters_to_context(decoder_, par) < 0) return false;
    decoder_->thread_count = 1;
    if (avcodec_open2(decoder_, codec, nullptr) < 0) return false;
    if (decoder_->sample_rate <= 0 || decoder_->ch_layout.nb_channels < 1) return false;
    inFormat_ = decoder_->sample_fmt;
    inRate_ = decoder_->sample_rate;
    if (av_channel_layout_copy(&inLayout_, &decoder_->ch_layout) < 0) return false;
    channels = std::min(inLayout_.nb_channels, 2);
    AVChannelLayout out{};
    av_channel_layout_default(&out, channels);
    // Same rate in and out: only the sample format and the channels change.
    const int made = swr_alloc_set_opts2(&resampler_, &out, AV_SAMPLE_FMT_S16, inRate_, &inLayout_,
                                         inFormat_, inRate_, 0, nullptr);
    av_channel_layout_uninit(&out);
    if (made < 0 || swr_init(resampler_) < 0) return false;
    rate = inRate_;
    bits = 16;
    frames = s_->audioFrames;
    starts_ = std::move(s_->audioStarts);
    packets_ = std::move(s_->audioPackets);
    preloaded_ = s_->preloaded;
    return preloaded_ || OpenInput(cursor_, io_, format_);
  }

  int64_t Read(int16_t* out, size_t wanted) override {
    const size_t ch = size_t(channels);
    size_t done = 0;
    while (done < wanted) {
      if (pendingAt_ == pending_.size()) {
        pending_.clear();
        pendingAt_ = 0;
        const int more = Refill();
        if (more < 0) return done ? int64_t(done) : -1;
        if (more == 0) break;
        continue;
      }
      const size_t available = (pending_.size() - pendingAt_) / ch;
      if (skip_ > 0) {
        const size_t drop = size_t(std::min<uint64_t>(skip_, available));
        pendingAt_ += drop * ch;
        skip_ -= drop;
        continue;
      }
      const size_t n = std::min(available, wanted - done);
      std::memcpy(out + done * ch, pending_.data() + pendingAt_, n * ch * sizeof(int16_t));
      pendingAt_ += n * ch;
      done += n;
    }
    return int64_t(done);
  }

  // From the packet holding `frame`; the frames before it are dropped.
  bool Seek(uint64_t frame) override {
    if (frame > frames) return false;
    size_t key = size_t(std::upper_bound(starts_.begin(), starts_.end(), frame) - starts_.begin());
    key = key > 0 ? key - 1 : 0;
    avcodec_flush_buffers(decoder_);
    draining_ = false;
    pending_.clear();
    pendingAt_ = 0;
    skip_ = frame - (starts_.empty() ? 0 : starts_[key]);
    next_ = 0;
    if (!preloaded_) {
      if (!OpenInput(cursor_, io_, format_)) return false;
      for (size_t i = 0; i < key; ++i) {
        AVPacket* p = NextPacket();
        if (!p) return false;
        av_packet_unref(p);
      }
    }
    next_ = key;
    return true;
  }

 private:
  AVPacket* NextPacket() {
    if (preloaded_) return next_ < packets_.size() ? packets_[next_++] : nullptr;
    while (format_ && av_read_frame(format_, packet_) >= 0) {
      if (packet_->stream_index == s_->audioStream) {
        ++next_;
        return packet_;
      }
      av_packet_unref(packet_);
    }
    return nullptr;
  }

  // Decodes into pending_: 1 when it holds frames, 0 at the end, -1 when
  // the data cannot be converted.
  int Refill() {
    for (;;) {
      const int got = avcodec_receive_frame(decoder_, frame_);
      if (got == 0) {
        const int converted = Convert();
        av_frame_unref(frame_);
        if (converted < 0) return -1;
        if (converted > 0) return 1;
        continue;
      }
      if (got != AVERROR(EAGAIN) || draining_) return got == AVERROR_EOF || draining_ ? 0 : -1;
      AVPacket* p = NextPacket();
      if (!p) {
        draining_ = true;
        avcodec_send_packet(decoder_, nullptr);
        continue;
      }
      // A packet that cannot be decoded is left out.
      avcodec_send_packet(decoder_, p);
      if (!preloaded_) av_packet_unref(p);
    }
  }

  // Frames added to pending_; a frame whose shape differs from the one the
  // converter was made for is left out rather than read past its planes.
  int Convert() {
    if (frame_->format != inFormat_ || frame_->sample_rate != inRate_ ||
        av_channel_layout_compare(&frame_->ch_layout, &inLayout_) != 0 || frame_->nb_samples <= 0)
      return 0;
    const int room = swr_get_out_samples(resampler_, frame_->nb_samples);
    if (room < 0) return -1;
    const size_t ch = size_t(channels);
    const size_t old = pending_.size();
    pending_.resize(old + size_t(room) * ch);
    auto* target = reinterpret_cast<uint8_t*>(pending_.data() + old);
    const int n = swr_convert(resampler_, &target, room, const_cast<const uint8_t**>(frame_->extended_data),
                              frame_->nb_samples);
    if (n < 0) return -1;
    pending_.resize(old + size_t(n) * ch);
    return n;
  }

  BinkState* s_;
  Cursor cursor_;
  AVIOContext* io_ = nullptr;
  AVFormatContext* format_ = nullptr;
  AVCodecContext* decoder_ = nullptr;
  SwrContext* resampler_ = nullptr;
  AVFrame* frame_ = nullptr;
  AVPacket* packet_ = nullptr;
  AVSampleFormat inFormat_ = AV_SAMPLE_FMT_NONE;
  int inRate_ = 0;
  AVChannelLayout inLayout_{};
  bool preloaded_ = false;
  std::vector<AVPacket*> packets_;
  std::vector<uint64_t> starts_;
  size_t next_ = 0;
  bool draining_ = false;
  std::vector<int16_t> pending_;
  size_t pendingAt_ = 0;
  uint64_t skip_ = 0;
};

// The track's system while it and the track's stream still live; once the
// system is gone the track is forgotten.
FMOD::System* TrackSystem(BinkState* s) {
  if (!s->stream) return nullptr;
  FMOD::System* system = platform::fmod::SystemOfOutput(reinterpret_cast<const void*>(s->sound.output));
  if (system != s->sound.system || !platform::fmod::SoundIsLive(system, s->stream)) {
    s->stream = nullptr;
    s->channel = nullptr;
    s->reader = nullptr;
    return nullptr;
  }
  return system;
}

float ChannelVolume(const BinkState* s) { return std::min(1.0f, float(s->volume) / 32768.0f); }

void StopTrack(BinkState* s) {
  if (TrackSystem(s) && s->channel) s->channel->stop();
  s->channel = nullptr;
}

// Plays the track from where frame `frame` (from 1) of the picture is.
void StartTrack(BINK* b, uint32_t frame) {
  BinkState* s = b->state;
  StopTrack(s);
  FMOD::System* system = TrackSystem(s);
  if (!system || !s->soundOn) return;
  FMOD::Channel* channel = nullptr;
  if (system->playSound(FMOD_CHANNEL_FREE, s->stream, true, &channel) != FMOD_OK || !channel) return;
  const uint64_t at = frame > 1 ? uint64_t(frame - 1) * s->sound.freq * b->FrameRateDiv / b->FrameRate : 0;
  if (at > 0 && (at > UINT32_MAX || channel->setPosition(uint32_t(at), FMOD_TIMEUNIT_PCM) != FMOD_OK)) {
    // The picture is past the sound's end.
    channel->stop();
    return;
  }
  channel->setVolume(ChannelVolume(s));
  channel->setPaused(b->Paused != 0);
  s->channel = channel;
}

// Opens the sound track on the chosen output and starts it with the picture.
void OpenSound(BINK* b) {
  BinkState* s = b->state;
  if (!platform::bink::OpenTrack(&s->sound, b) || !s->sound.system) return;
  auto source = std::make_unique<VideoSound>(s);
  if (!source->Start()) return;
  FMOD::Sound* stream = nullptr;
  platform::fmod::Decoder* reader = source.get();
  if (platform::fmod::CreatePcmStream(s->sound.system, std::move(source), &stream) != FMOD_OK) return;
  s->reader = reader;
  s->stream = stream;
  s->soundOpened = true;
  StartTrack(b, 1);
}

void ReleaseSound(BinkState* s) {
  StopTrack(s);
  if (TrackSystem(s)) s->stream->release();
  s->stream = nullptr;
  s->reader = nullptr;
}

void Destroy(BINK* b) {
  BinkState* s = b->state;
  ReleaseSound(s);
  for (AVPacket* p : s->audioPackets) av_packet_free(&p);
  avcodec_parameters_free(&s->audioParameters);
  for (AVPacket* p : s->packets) av_packet_free(&p);
  av_packet_free(&s->packet);
  av_frame_free(&s->frame);
  avcodec_free_context(&s->decoder);
  avcodec_parameters_free(&s->parameters);
  sws_freeContext(s->scaler);
  CloseDemuxer(s);
  if (s->ownsFile && s->file != INVALID_HANDLE_VALUE) CloseHandle(s->file);
  delete s;
  delete b;
}

HBINK Fail(BINK* b, const std::string& text) {
  SetError(text);
  Destroy(b);
  return nullptr;
}

}  // namespace

void BinkSetFrameRate(uint32_t frameRate, uint32_t frameRateDiv) {
  g_rate = frameRate;
  g_rateDiv = frameRateDiv;
}

void BinkSetMemorySize(uint64_t size) { g_memorySize = size; }

const char* BinkGetError() { return g_error.c_str(); }

HBINK BinkOpen(const char* name, uint32_t flags) {
  av_log_set_level(AV_LOG_QUIET);
  auto* b = new BINK{};
  b->state = new BinkState;
  BinkState* s = b->state;
  s->cursor.s = s;
  if (flags & BINKFROMMEMORY) {
    const uint64_t size = g_memorySize;
    g_memorySize = 0;
    if (!name || size == 0) return Fail(b, "No memory block.");
    s->memory = reinterpret_cast<const uint8_t*>(name);
    s->memorySize = int64_t(std::min<uint64_t>(size, uint64_t(INT64_MAX)));
  } else if (flags & BINKFILEHANDLE) {
    s->file = reinterpret_cast<HANDLE>(const_cast<char*>(name));
    LONG high = 0;
    SetLastError(0);
    const DWORD low = SetFilePointer(s->file, 0, &high, FILE_CURRENT);
    if (low == INVALID_SET_FILE_POINTER && GetLastError() != 0)
      return Fail(b, "Invalid file handle.");
    s->base = int64_t(uint32_t(high)) << 32 | low;
  } else {
    if (!name) return Fail(b, "No file name.");
    s->file = CreateFileA(name, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (s->file == INVALID_HANDLE_VALUE) return Fail(b, std::string("Cannot open file ") + name + ".");
    s->ownsFile = true;
  }

  s->extent = ContainerExtent(s);
  if (!OpenDemuxer(s)) {
    Destroy(b);
    return nullptr;
  }
  if (avformat_find_stream_info(s->format, nullptr) < 0) return Fail(b, "The file is not a video.");
  s->videoStream = av_find_best_stream(s->format, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
  if (s->videoStream < 0) return Fail(b, "The file has no video stream.");
  s->audioStream = av_find_best_stream(s->format, AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0);
  if (s->audioStream >= 0) {
    const AVCodecParameters* audio = s->format->streams[s->audioStream]->codecpar;
    s->sound.freq = audio->sample_rate > 0 ? uint32_t(audio->sample_rate) : 0;
    s->sound.chans = audio->ch_layout.nb_channels;
    s->audioParameters = avcodec_parameters_alloc();
    if (!s->audioParameters || avcodec_parameters_copy(s->audioParameters, audio) < 0)
      return Fail(b, "Out of memory.");
    s->audioTimeBase = s->format->streams[s->audioStream]->time_base;
  }
  AVStream* stream = s->format->streams[s->videoStream];
  const AVCodecParameters* par = stream->codecpar;
  if (par->width < 1 || par->height < 1 || par->width > kMaxDimension || par->height > kMaxDimension)
    return Fail(b, "Bad video size.");
  const AVCodec* codec = avcodec_find_decoder(par->codec_id);
  if (!codec) return Fail(b, "No decoder for the video.");
  s->parameters = avcodec_parameters_alloc();
  s->decoder = avcodec_alloc_context3(codec);
  s->frame = av_frame_alloc();
  s->packet = av_packet_alloc();
  if (!s->parameters || !s->decoder || !s->frame || !s->packet) return Fail(b, "Out of memory.");
  avcodec_parameters_copy(s->parameters, par);
  if (avcodec_parameters_to_context(s->decoder, par) < 0) return Fail(b, "Bad video parameters.");
  s->decoder->thread_count = 1;
  if (avcodec_open2(s->decoder, codec, nullptr) < 0) return Fail(b, "Cannot start the decoder.");

  AVRational rate = stream->avg_frame_rate;
  if (rate.num <= 0 || rate.den <= 0) rate = stream->r_frame_rate;
  if (rate.num <= 0 || rate.den <= 0) rate = AVRational{25, 1};

  // The open pass: count the frames, note key frames, keep the packets
  // when preloading.
  const bool preload = (flags & BINKPRELOADALL) != 0;
  s->openPass = true;
  s->keepAudio = preload && s->audioStream >= 0 && platform::bink::SoundOutputChosen();
  while (DemuxVideoPacket(s, s->packet)) {
    s->keyFrames.push_back((s->packet->flags & AV_PKT_FLAG_KEY) || s->keyFrames.empty() ? 1 : 0);
    s->timestamps.push_back(s->packet->pts != AV_NOPTS_VALUE ? s->packet->pts : s->packet->dts);
    if (preload) {
      AVPacket* kept = av_packet_clone(s->packet);
      if (!kept) {
        av_packet_unref(s->packet);
        return Fail(b, "Out of memory.");
      }
      s->packets.push_back(kept);
    }
    av_packet_unref(s->packet);
  }
  s->openPass = false;
  if (s->keyFrames.empty()) return Fail(b, "The video has no frames.");
  if (preload) {
    s->preloaded = true;
    CloseDemuxer(s);
  } else if (!OpenDemuxer(s)) {
    Destroy(b);
    return nullptr;
  }
  s->bytesReadAtOpen = s->bytesRead;

  par = s->parameters;  // the stream's went with a preloaded demuxer
  const AVPixFmtDescriptor* pixel = av_pix_fmt_desc_get(AVPixelFormat(par->format));
  s->alpha = (flags & BINKALPHA) && pixel && (pixel->flags & AV_PIX_FMT_FLAG_ALPHA);
  s->pixels.assign(size_t(par->width) * size_t(par->height) * 4, 0);

  b->Width = uint32_t(par->width);
  b->Height = uint32_t(par->height);
  b->Frames = uint32_t(s->keyFrames.size());
  b->FrameNum = 1;
  b->LastFrameNum = 0;
  if ((flags & BINKFRAMERATE) && g_rate != 0 && g_rateDiv != 0) {
    b->FrameRate = g_rate;
    b->FrameRateDiv = g_rateDiv;
  } else {
    b->FrameRate = uint32_t(rate.num);
    b->FrameRateDiv = uint32_t(rate.den);
  }
  s->startTime = timeGetTime();
  s->startFrame = 1;
  if (s->audioStream >= 0) {
    b->NumTracks = 1;
    if (s->sound.freq != 0 && s->sound.chans > 0) OpenSound(b);
    b->SoundOn = s->soundOpened ? 1 : 0;
  }
  // Notes the track did not take.
  for (AVPacket* p : s->audioPackets) av_packet_free(&p);
  s->audioPackets.clear();
  s->audioStarts.clear();
  return b;
}

void BinkClose(HBINK bink) {
  if (bink) Destroy(bink);
}

int32_t BinkDoFrame(HBINK bink) {
  if (!bink) return -1;
  BinkState* s = bink->state;
  const int target = int(bink->FrameNum) - 1;
  if (target < 0 || uint32_t(target) >= bink->Frames) return -1;
  if (s->decoded == target) return 0;
  if (target <= s->received) {
    if (!Reposition(s, target)) return -1;
  } else if (target > s->received + 1) {
    // Far ahead: start at a key frame when one lies on the way.
    int key = target;
    while (key > 0 && !s->keyFrames[size_t(key)]) --key;
    if (key > s->received + 1 && !Reposition(s, target)) return -1;
  }
  // A frame that cannot be decoded leaves nothing to copy.
  while (s->received < target)
    if (!DecodeNext(s)) {
      s->decoded = -1;
      s->haveFrame = false;
      return -1;
    }
  if (s->received != target || !ConvertFrame(s)) {
    s->decoded = -1;
    s->haveFrame = false;
    return -1;
  }
  s->decoded = target;
  s->haveFrame = true;
  bink->LastFrameNum = bink->FrameNum;
  return 0;
}

int32_t BinkCopyToBuffer(HBINK bink, void* dest, int32_t destPitch, uint32_t destHeight,
                         uint32_t destX, uint32_t destY, uint32_t flags) {
  if (!bink || !dest || destPitch <= 0) return 1;
  const uint32_t surface = flags & 0xF;
  if (surface != BINKSURFACE24 && surface != BINKSURFACE32 && surface != BINKSURFACE32A) return 1;
  BinkState* s = bink->state;
  if (!s->haveFrame) return 1;
  const uint64_t pixelBytes = surface == BINKSURFACE24 ? 3 : 4;
  const uint64_t rowBytes = uint64_t(destPitch);
  if (uint64_t(destX) * pixelBytes >= rowBytes || destY >= destHeight) return 1;
  const uint32_t columns = uint32_t(std::min<uint64_t>(bink->Width, rowBytes / pixelBytes - destX));
  const uint32_t rows = std::min(bink->Height, destHeight - destY);
  for (uint32_t y = 0; y < rows; ++y) {
    uint8_t* out = static_cast<uint8_t*>(dest) + (uint64_t(destY) + y) * rowBytes + uint64_t(destX) * pixelBytes;
    const uint8_t* in = s->pixels.data() + size_t(y) * bink->Width * 4;
    if (surface == BINKSURFACE24) {
      for (uint32_t x = 0; x < columns; ++x) {
        out[x * 3] = in[x * 4];
        out[x * 3 + 1] = in[x * 4 + 1];
        out[x * 3 + 2] = in[x * 4 + 2];
      }
      continue;
    }
    std::memcpy(out, in, size_t(columns) * 4);
    if (surface == BINKSURFACE32)
      for (uint32_t x = 0; x < columns; ++x) out[x * 4 + 3] = 255;
  }
  return 0;
}

void BinkNextFrame(HBINK bink) {
  if (!bink) return;
  bink->FrameNum = bink->FrameNum >= bink->Frames ? 1 : bink->FrameNum + 1;
  if (bink->FrameNum == 1) {
    bink->state->startTime = timeGetTime();
    bink->state->startFrame = 1;
    // Round again: so is the sound.
    if (bink->state->soundOn) StartTrack(bink, 1);
  }
}

int32_t BinkWait(HBINK bink) {
  if (!bink) return 0;
  if (bink->Paused) return 1;
  return int32_t(timeGetTime() - FramePeriodDue(bink, bink->FrameNum)) < 0 ? 1 : 0;
}

void BinkService(HBINK) {}

void BinkGoto(HBINK bink, uint32_t frame, int32_t) {
  if (!bink) return;
  if (frame == 0) frame = 1;
  if (frame > bink->Frames) frame = bink->Frames;
  bink->FrameNum = frame;
  bink->state->startTime = timeGetTime();
  bink->state->startFrame = frame;
  if (bink->state->soundOn) StartTrack(bink, frame);
}

int32_t BinkPause(HBINK bink, int32_t pause) {
  if (!bink) return 0;
  const uint32_t now = pause ? 1 : 0;
  if (bink->Paused && !now) {
    bink->state->startTime = timeGetTime();
    bink->state->startFrame = bink->FrameNum;
  }
  bink->Paused = now;
  BinkState* s = bink->state;
  if (TrackSystem(s) && s->channel) s->channel->setPaused(now != 0);
  return int32_t(now);
}

int32_t BinkSetSoundOnOff(HBINK bink, int32_t onOff) {
  if (!bink) return 0;
  BinkState* s = bink->state;
  const bool was = s->soundOn;
  s->soundOn = onOff != 0;
  bink->SoundOn = s->soundOn && s->soundOpened ? 1 : 0;
  if (!s->soundOn)
    StopTrack(s);
  else if (!was)
    StartTrack(bink, bink->FrameNum);
  return onOff ? 1 : 0;
}

void BinkSetVolume(HBINK bink, uint32_t trackId, int32_t volume) {
  if (!bink || trackId >= bink->NumTracks) return;
  BinkState* s = bink->state;
  s->volume = std::clamp(volume, 0, 65536);
  if (TrackSystem(s) && s->channel) s->channel->setVolume(ChannelVolume(s));
}

void BinkGetFrameBuffersInfo(HBINK bink, BINKFRAMEBUFFERS* info) {
  if (!bink || !info) return;
  *info = BINKFRAMEBUFFERS{};
  info->TotalFrames = 1;
  info->YABufferWidth = bink->Width;
  info->YABufferHeight = bink->Height;
  info->cRcBBufferWidth = (bink->Width + 1) / 2;
  info->cRcBBufferHeight = (bink->Height + 1) / 2;
  info->FrameNum = bink->LastFrameNum;
  info->Frames[0].YPlane.Allocate = 1;
  info->Frames[0].cRPlane.Allocate = 1;
  info->Frames[0].cBPlane.Allocate = 1;
  info->Frames[0].APlane.Allocate = bink->state->alpha ? 1 : 0;
}

namespace platform::testing {

BinkTrackState BinkTrack(HBINK bink) {
  BinkTrackState t;
  if (!bink) return t;
  const BinkState* s = bink->state;
  t.opened = s->soundOpened;
  t.on = s->soundOn;
  t.volume = s->volume;
  t.frequency = s->sound.freq;
  t.channels = s->sound.chans;
  t.channel = s->channel;
  return t;
}

std::vector<int16_t> BinkTrackSamples(HBINK bink, uint64_t from, size_t frames) {
  std::vector<int16_t> out;
  if (!bink || !TrackSystem(bink->state)) return out;
  platform::fmod::Decoder* reader = bink->state->reader;
  if (!reader->Seek(from)) return out;
  out.resize(frames * size_t(reader->channels));
  const int64_t got = reader->Read(out.data(), frames);
  out.resize(got > 0 ? size_t(got) * size_t(reader->channels) : 0);
  return out;
}

uint64_t BinkBytesReadAfterOpen(HBINK bink) {
  return bink ? bink->state->bytesRead - bink->state->bytesReadAtOpen : 0;
}

}  // namespace platform::testing
