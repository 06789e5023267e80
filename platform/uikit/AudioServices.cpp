#include "platform/uikit/AudioServices.h"

#include <alsa/asoundlib.h>

#include <atomic>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <thread>

#include "platform/foundation/NSLog.h"

namespace zvt::audio {
namespace {

uint32_t le32(const unsigned char* p) { return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<uint32_t>(p[3]) << 24); }
uint16_t le16(const unsigned char* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }

struct Wave {
  unsigned channels = 0, rate = 0, bits = 0;
  std::vector<unsigned char> samples;
};

// A PCM WAV file (8 or 16 bits); false for anything else.
bool readWave(const std::string& path, Wave& wave) {
  std::ifstream in(path, std::ios::binary);
  std::vector<unsigned char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (bytes.size() < 12 || std::memcmp(bytes.data(), "RIFF", 4) != 0 || std::memcmp(bytes.data() + 8, "WAVE", 4) != 0)
    return false;
  size_t at = 12;
  bool format = false;
  while (at + 8 <= bytes.size()) {
    const uint32_t size = le32(bytes.data() + at + 4);
    const size_t body = at + 8;
    if (size > bytes.size() - body) return false;
    if (std::memcmp(bytes.data() + at, "fmt ", 4) == 0 && size >= 16) {
      if (le16(bytes.data() + body) != 1) return false;  // PCM only
      wave.channels = le16(bytes.data() + body + 2);
      wave.rate = le32(bytes.data() + body + 4);
      wave.bits = le16(bytes.data() + body + 14);
      format = true;
    } else if (std::memcmp(bytes.data() + at, "data", 4) == 0 && format) {
      wave.samples.assign(bytes.begin() + static_cast<long>(body), bytes.begin() + static_cast<long>(body + size));
      return wave.channels > 0 && wave.rate > 0 && (wave.bits == 8 || wave.bits == 16);
    }
    at = body + size + (size & 1);
  }
  return false;
}

class SystemSoundOutput : public SoundOutput {
 public:
  void play(const std::string& path) override {
    std::thread([path] { playNow(path); }).detach();
  }
  void vibrate() override { NSLog("AudioServices: vibration (this machine has no vibration motor)"); }

 private:
  static void playNow(const std::string& path) {
    Wave wave;
    if (!readWave(path, wave)) {
      NSLog("AudioServices: %s is not a PCM WAV file", path);
      return;
    }
    snd_pcm_t* pcm = nullptr;
    if (snd_pcm_open(&pcm, "default", SND_PCM_STREAM_PLAYBACK, 0) < 0) {
      static std::atomic<bool> warned{false};
      if (!warned.exchange(true)) NSLog("AudioServices: no sound device; sounds are not played");
      return;
    }
    const snd_pcm_format_t format = wave.bits == 8 ? SND_PCM_FORMAT_U8 : SND_PCM_FORMAT_S16_LE;
    if (snd_pcm_set_params(pcm, format, SND_PCM_ACCESS_RW_INTERLEAVED, wave.channels, wave.rate, 1, 200000) == 0) {
      const size_t frameBytes = wave.channels * wave.bits / 8;
      snd_pcm_sframes_t frames = static_cast<snd_pcm_sframes_t>(wave.samples.size() / frameBytes);
      const unsigned char* data = wave.samples.data();
      while (frames > 0) {
        snd_pcm_sframes_t written = snd_pcm_writei(pcm, data, static_cast<snd_pcm_uframes_t>(frames));
        if (written < 0) written = snd_pcm_recover(pcm, static_cast<int>(written), 1);
        if (written < 0) break;
        frames -= written;
        data += static_cast<size_t>(written) * frameBytes;
      }
      snd_pcm_drain(pcm);
    }
    snd_pcm_close(pcm);
  }
};

struct Registry {
  std::mutex mutex;
  std::shared_ptr<SoundOutput> output;
  std::map<SystemSoundID, std::string> sounds;
  SystemSoundID next = 4096;  // above the system's own identifiers
};

Registry& registry() {
  static Registry r;
  return r;
}

}  // namespace

void RecordingSoundOutput::play(const std::string& path) {
  std::lock_guard lock(mutex_);
  events_.push_back("play " + path);
}

void RecordingSoundOutput::vibrate() {
  std::lock_guard lock(mutex_);
  events_.push_back("vibrate");
}

std::vector<std::string> RecordingSoundOutput::events() const {
  std::lock_guard lock(mutex_);
  return events_;
}

void RecordingSoundOutput::clear() {
  std::lock_guard lock(mutex_);
  events_.clear();
}

void setSoundOutput(std::shared_ptr<SoundOutput> output) {
  std::lock_guard lock(registry().mutex);
  registry().output = std::move(output);
}

std::shared_ptr<SoundOutput> soundOutput() {
  std::lock_guard lock(registry().mutex);
  if (!registry().output) registry().output = std::make_shared<SystemSoundOutput>();
  return registry().output;
}

}  // namespace zvt::audio

OSStatus AudioServicesCreateSystemSoundID(const std::shared_ptr<NSURL>& url, SystemSoundID* outSystemSoundID) {
  if (outSystemSoundID) *outSystemSoundID = 0;
  auto path = url && url->isFileURL() ? url->path() : nullptr;
  if (!path || !std::ifstream(path->utf8()).good()) return kAudioServicesSystemSoundUnspecifiedError;
  auto& r = zvt::audio::registry();
  std::lock_guard lock(r.mutex);
  const SystemSoundID made = r.next++;
  r.sounds[made] = path->utf8();
  if (outSystemSoundID) *outSystemSoundID = made;
  return 0;
}

OSStatus AudioServicesDisposeSystemSoundID(SystemSoundID systemSoundID) {
  auto& r = zvt::audio::registry();
  std::lock_guard lock(r.mutex);
  r.sounds.erase(systemSoundID);
  return 0;
}

void AudioServicesPlaySystemSound(SystemSoundID systemSoundID) {
  if (systemSoundID == kSystemSoundID_Vibrate) {
    zvt::audio::soundOutput()->vibrate();
    return;
  }
  std::string path;
  {
    auto& r = zvt::audio::registry();
    std::lock_guard lock(r.mutex);
    auto found = r.sounds.find(systemSoundID);
    if (found == r.sounds.end()) return;
    path = found->second;
  }
  zvt::audio::soundOutput()->play(path);
}
