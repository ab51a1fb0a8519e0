#include "player/session/audio_file.h"

#include <fcntl.h>
#include <sndfile.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <random>

#include "player/files/paths.h"
#include "player/session/export_messages.h"

namespace sonfara {
namespace {

// Frames collected before each write: the synthesizer hands over a tick's
// worth at a time, a few hundred frames.
constexpr size_t kBufferFrames = 16384;
constexpr int kChannels = 2;
constexpr double kVorbisQuality = 0.6;

int SndfileFormat(AudioFormat format) {
    switch (format) {
        case AudioFormat::kFlac:
            return SF_FORMAT_FLAC | SF_FORMAT_PCM_16;
        case AudioFormat::kOgg:
            return SF_FORMAT_OGG | SF_FORMAT_VORBIS;
        case AudioFormat::kWav:
            break;
    }
    return SF_FORMAT_WAV | SF_FORMAT_PCM_16;
}

std::string CannotWrite(const std::string& path, const std::string& why) {
    return session::msg::kCannotWrite + path + " (" + why + ")";
}

// ".<name>.<random>.part" in the target's folder: hidden, and never the name
// of a finished file.
std::string TempNameBeside(const std::string& target, unsigned random) {
    const std::string name = files::PathFileName(target);
    const std::string folder = target.substr(0, target.size() - name.size());
    char tag[16];
    std::snprintf(tag, sizeof tag, "%08x", random);
    return folder + "." + name + "." + tag + ".part";
}

}  // namespace

const char* AudioFormatExtension(AudioFormat format) {
    switch (format) {
        case AudioFormat::kFlac:
            return "flac";
        case AudioFormat::kOgg:
            return "ogg";
        case AudioFormat::kWav:
            break;
    }
    return "wav";
}

std::optional<AudioFormat> AudioFormatNamed(const std::string& name) {
    const std::string n = files::Upper(name);
    if (n == "WAV") return AudioFormat::kWav;
    if (n == "FLAC") return AudioFormat::kFlac;
    if (n == "OGG") return AudioFormat::kOgg;
    return std::nullopt;
}

std::optional<AudioFormat> AudioFormatOfPath(const std::string& path) {
    const std::string name = files::PathFileName(path);
    const size_t dot = name.rfind('.');
    if (dot == std::string::npos || dot == 0) return std::nullopt;
    const std::string ext = name.substr(dot + 1);
    if (files::Upper(ext) == "OGA") return AudioFormat::kOgg;
    return AudioFormatNamed(ext);
}

AudioFileOut::~AudioFileOut() {
    Discard();
}

bool AudioFileOut::Open(const std::string& target, AudioFormat format, int sampleRate,
                        const std::string& title, std::string* error) {
    Discard();
    SF_INFO info{};
    info.samplerate = sampleRate;
    info.channels = kChannels;
    info.format = SndfileFormat(format);
    if (!sf_format_check(&info)) {
        *error = session::msg::kFormatUnavailable + std::string(AudioFormatExtension(format));
        return false;
    }
    // Created with 0666 like any new file, so the umask decides as it would.
    std::random_device random;
    for (int attempt = 0; attempt < 100 && fd_ < 0; ++attempt) {
        temp_ = TempNameBeside(target, random());
        fd_ = ::open(temp_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd_ < 0 && errno != EEXIST) break;
    }
    if (fd_ < 0) {
        *error = CannotWrite(target, std::strerror(errno));
        temp_.clear();
        return false;
    }
    target_ = target;
    file_ = sf_open_fd(fd_, SFM_WRITE, &info, SF_FALSE);
    if (!file_) {
        *error = CannotWrite(target, sf_strerror(nullptr));
        Discard();
        return false;
    }
    double quality = kVorbisQuality;
    if (format == AudioFormat::kOgg)
        sf_command(file_, SFC_SET_VBR_ENCODING_QUALITY, &quality, sizeof quality);
    if (format != AudioFormat::kWav) {
        if (!title.empty()) sf_set_string(file_, SF_STR_TITLE, title.c_str());
        sf_set_string(file_, SF_STR_SOFTWARE, "Sonfara");
    }
    buffer_.assign(kBufferFrames * kChannels, 0);
    buffered_ = 0;
    frames_ = 0;
    ok_ = true;
    return true;
}

bool AudioFileOut::Write(const int16_t* frames, size_t count) {
    while (ok_ && count > 0) {
        const size_t n = std::min(count, kBufferFrames - buffered_);
        std::copy_n(frames, n * kChannels, buffer_.data() + buffered_ * kChannels);
        buffered_ += n;
        frames_ += n;
        frames += n * kChannels;
        count -= n;
        if (buffered_ == kBufferFrames) ok_ = Flush();
    }
    return ok_;
}

bool AudioFileOut::Flush() {
    if (!file_) return false;
    const sf_count_t n = static_cast<sf_count_t>(buffered_);
    buffered_ = 0;
    return sf_writef_short(file_, buffer_.data(), n) == n;
}

std::string AudioFileOut::WriteError() const {
    if (file_ && sf_error(file_) != SF_ERR_NO_ERROR) return sf_strerror(file_);
    return std::strerror(errno);
}

bool AudioFileOut::CloseFile() {
    bool ok = true;
    if (file_) ok = sf_close(file_) == 0;
    file_ = nullptr;
    if (fd_ >= 0) ok = ::close(fd_) == 0 && ok;
    fd_ = -1;
    return ok;
}

bool AudioFileOut::Commit(std::string* error) {
    bool ok = ok_ && Flush();
    std::string why = ok ? std::string() : WriteError();
    // Closing writes the final header (and the last Vorbis pages).
    if (!CloseFile() && ok) {
        ok = false;
        why = std::strerror(errno);
    }
    if (ok && ::rename(temp_.c_str(), target_.c_str()) != 0) {
        ok = false;
        why = std::strerror(errno);
    }
    if (!ok) {
        if (error) *error = CannotWrite(target_, why);
        Discard();
        return false;
    }
    temp_.clear();
    return true;
}

void AudioFileOut::Discard() {
    CloseFile();
    if (!temp_.empty()) ::unlink(temp_.c_str());
    temp_.clear();
    buffered_ = 0;
}

}  // namespace sonfara
