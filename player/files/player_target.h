// The open pipeline joined to the engine's Player: the pipeline's steps
// done through the Player's own operations, and the Player's play list
// handed to the pipeline's list so the end of a song, next and previous
// open songs the same way the open command does.
#pragma once

#include "player/files/file_op.h"
#include "player/sequencer/player.h"

namespace sonfara::files {

// The GUI derives from it to add its windows' parts (captions, panels, the
// WRD window); the command line and the tests use it as it is.
class PlayerTarget : public PlaybackTarget {
  public:
    explicit PlayerTarget(Player& player) : player_(player) {}

    void StopTimer() override;
    bool OpenOrResetOutput() override;
    std::string OutputFailure() const override;
    void EnableAllChannels() override;
    LoadResult LoadSong(const std::string& path, const std::string& kindLabel,
                        const std::string& fileName) override;
    void ResendPrograms() override;
    void ResetModuleFlags() override;
    bool StartTimer() override;
    void SongStarted(const SongSource& song) override;

    // The last PlayEntry stopped because the output port did not open; the
    // player's LastError() says why.
    bool PortFailed() const { return portFailed_; }

  protected:
    Player& player_;

  private:
    bool portFailed_ = false;
};

// Makes a FileOp's play list the one the Player's sequencer steps through.
// Install with Player::SetSongOpener; it must outlive that setting.
class FilesSongOpener final : public SongOpener {
  public:
    explicit FilesSongOpener(FileOp& op) : op_(op), view_(op.List()) {}

    sonfara::PlayList& Entries() override { return view_; }
    bool OpenEntry(int index) override { return op_.PlayIndex(index); }

  private:
    class View final : public sonfara::PlayList {
      public:
        explicit View(files::PlayList& list) : list_(list) {}
        int Count() const override { return list_.Count(); }
        int Index() const override { return list_.Index(); }
        void SetIndex(int index) override { list_.SetIndex(index); }

      private:
        files::PlayList& list_;
    };
    FileOp& op_;
    View view_;
};

}  // namespace sonfara::files
