#pragma once
// System sounds (AudioToolbox's AudioServices): a sound file registered for an identifier and
// played without waiting, and the vibration (kSystemSoundID_Vibrate).
//
// The seam is zvt::audio::SoundOutput: the system's output plays PCM WAV files through ALSA's
// "default" device on a thread of its own (a machine without a sound device only logs one
// line, once) and has no vibration motor (a vibration is logged); tests install a
// RecordingSoundOutput, which keeps what was played.

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/network/NSURL.h"

using SystemSoundID = uint32_t;
using OSStatus = int32_t;
inline constexpr SystemSoundID kSystemSoundID_Vibrate = 4095;
// The file does not exist or cannot be read.
inline constexpr OSStatus kAudioServicesSystemSoundUnspecifiedError = -1500;

// Registers the file for a new identifier (0 and an error for a missing or unreadable file).
OSStatus AudioServicesCreateSystemSoundID(const std::shared_ptr<NSURL>& url, SystemSoundID* outSystemSoundID);
OSStatus AudioServicesDisposeSystemSoundID(SystemSoundID systemSoundID);
// Plays the sound (or vibrates) without waiting; unknown identifiers play nothing.
void AudioServicesPlaySystemSound(SystemSoundID systemSoundID);

namespace zvt::audio {

class SoundOutput {
 public:
  virtual ~SoundOutput() = default;
  // A sound file's path.
  virtual void play(const std::string& path) = 0;
  virtual void vibrate() = 0;
};

// A test's output: "play <path>" and "vibrate", in order.
class RecordingSoundOutput : public SoundOutput {
 public:
  void play(const std::string& path) override;
  void vibrate() override;
  std::vector<std::string> events() const;
  void clear();

 private:
  mutable std::mutex mutex_;
  std::vector<std::string> events_;
};

// nil: the system's output again.
void setSoundOutput(std::shared_ptr<SoundOutput> output);
std::shared_ptr<SoundOutput> soundOutput();

}  // namespace zvt::audio
