#include "player/session/audio_file.h"

#include <dirent.h>
#include <fcntl.h>
#include <sndfile.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <random>

#include "player/files/paths.h"
#include "player/session/export_messages.h"

namespace sonfara::session {
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

AudioFileStatus CannotWrite(const std::string& path, const std::string& why) {
    return {AudioFileError::kCannotWrite, path + " (" + why + ")"};
}

constexpr size_t kTagDigits = 8;
constexpr const char* kPartSuffix = ".part";

std::string FolderOf(const std::string& target) {
    return target.substr(0, target.size() - files::PathFileName(target).size());
}

// ".<name>.<random>.part" in the target's folder: hidden, and never the name
// of a finished file.
std::string TempNameBeside(const std::string& target, unsigned random) {
    char tag[16];
    std::snprintf(tag, sizeof tag, "%08x", random);
    return FolderOf(target) + "." + files::PathFileName(target) + "." + tag + kPartSuffix;
}

// Exactly the names TempNameBeside gives for an audio file's name.
bool IsPartName(const std::string& n) {
    const size_t suffix = std::strlen(kPartSuffix);
    if (n.size() < 2 + 1 + kTagDigits + suffix || n[0] != '.') return false;
    if (n.compare(n.size() - suffix, suffix, kPartSuffix) != 0) return false;
    const size_t tag = n.size() - suffix - kTagDigits;
    if (n[tag - 1] != '.') return false;
    for (size_t i = tag; i < tag + kTagDigits; ++i)
        if (!std::isdigit(static_cast<unsigned char>(n[i])) && (n[i] < 'a' || n[i] > 'f'))
            return false;
    const std::string name = n.substr(1, tag - 2);
    return !name.empty() && AudioFormatOfPath(name).has_value();
}

// Removes one stale part: a regular file of ours that no writer holds locked.
bool RemoveIfStale(int dirFd, const char* name) {
    const int fd = ::openat(dirFd, name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return false;
    struct stat st {};
    bool removed = false;
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_uid == ::geteuid() &&
        ::flock(fd, LOCK_EX | LOCK_NB) == 0) {
        // Still the file that was checked (not replaced meanwhile)?
        struct stat now {};
        if (::fstatat(dirFd, name, &now, AT_SYMLINK_NOFOLLOW) == 0 && now.st_ino == st.st_ino &&
            now.st_dev == st.st_dev)
            removed = ::unlinkat(dirFd, name, 0) == 0;
    }
    ::close(fd);  // also lets go of the lock
    return removed;
}

}  // namespace

int RemoveStaleAudioParts(const std::string& folder) {
    const std::string dir = folder.empty() ? std::string(".") : folder;
    const int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return 0;
    DIR* d = ::fdopendir(fd);
    if (!d) {
        ::close(fd);
        return 0;
    }
    int removed = 0;
    while (const dirent* de = ::readdir(d))
        if (IsPartName(de->d_name) && RemoveIfStale(fd, de->d_name)) ++removed;
    ::closedir(d);  // closes fd
    return removed;
}

namespace {

// Creates the temporary file beside `target` and locks it for as long as it
// is written, so a render in another process sees it is not stale. -1 with
// errno set on failure.
int CreateLockedPart(const std::string& target, std::string& temp) {
    std::random_device random;
    for (int attempt = 0; attempt < 100; ++attempt) {
        temp = TempNameBeside(target, random());
        const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0) {
            if (errno != EEXIST) return -1;
            continue;
        }
        // A file system without locks: written unlocked, and left alone by
        // the cleanup, which cannot lock it either.
        if (::flock(fd, LOCK_EX | LOCK_NB) != 0) return fd;
        // Between the creation and the lock a cleanup may have taken it for
        // a stale one: then it is gone, and another name is tried.
        struct stat mine {
        }, named{};
        if (::fstat(fd, &mine) == 0 && ::stat(temp.c_str(), &named) == 0 &&
            mine.st_ino == named.st_ino && mine.st_dev == named.st_dev)
            return fd;
        ::close(fd);
    }
    errno = EEXIST;
    return -1;
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

AudioFileStatus AudioFileOut::Open(const std::string& target, AudioFormat format, int sampleRate,
                                   const std::string& title) {
    Discard();
    SF_INFO info{};
    info.samplerate = sampleRate;
    info.channels = kChannels;
    info.format = SndfileFormat(format);
    if (!sf_format_check(&info))
        return {AudioFileError::kFormatUnavailable, AudioFormatExtension(format)};
    // What renders killed before their end left here goes first.
    RemoveStaleAudioParts(FolderOf(target));
    // Created with 0666 like any new file, so the umask decides as it would.
    fd_ = CreateLockedPart(target, temp_);
    if (fd_ < 0) {
        AudioFileStatus failed = CannotWrite(target, std::strerror(errno));
        temp_.clear();
        return failed;
    }
    // The lock lives as long as any descriptor of the file: this one keeps
    // it from the writer's close until the rename.
    lock_ = ::dup(fd_);
    target_ = target;
    file_ = sf_open_fd(fd_, SFM_WRITE, &info, SF_FALSE);
    if (!file_) {
        AudioFileStatus failed = CannotWrite(target, sf_strerror(nullptr));
        Discard();
        return failed;
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
    return {};
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

AudioFileStatus AudioFileOut::Commit() {
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
        AudioFileStatus failed = CannotWrite(target_, why);
        Discard();
        return failed;
    }
    temp_.clear();
    Unlock();
    return {};
}

void AudioFileOut::Discard() {
    CloseFile();
    if (!temp_.empty()) ::unlink(temp_.c_str());
    temp_.clear();
    Unlock();
    buffered_ = 0;
}

void AudioFileOut::Unlock() {
    if (lock_ >= 0) ::close(lock_);
    lock_ = -1;
}

}  // namespace sonfara::session
