// Shared by the dialog tests: the private desktop folders and the modal
// boxes answered by script.
#pragma once

#include <QString>
#include <deque>
#include <optional>
#include <vector>

#include "player/dialogs/prompts.h"

namespace sonfara::dialogs::test {

// $XDG_DATA_HOME and $XDG_CONFIG_HOME are data/ and config/ below it.
const QString& XdgRoot();

class ScriptedPrompts final : public Prompts {
  public:
    void Error(QWidget*, const QString& text) override { errors.push_back(text); }
    std::optional<QString> AskText(QWidget*, const QString& title, const QString& prompt,
                                   const QString& answer) override {
        asked.push_back(title + "|" + prompt + "|" + answer);
        return Next();
    }
    std::optional<QString> AskOpenFile(QWidget*, const QString& title, const QString& filter,
                                       const QString&) override {
        asked.push_back(title + "|" + filter);
        return Next();
    }

    std::deque<std::optional<QString>> answers;
    std::vector<QString> errors;
    std::vector<QString> asked;

  private:
    std::optional<QString> Next() {
        if (answers.empty()) return std::nullopt;
        auto a = answers.front();
        answers.pop_front();
        return a;
    }
};

}  // namespace sonfara::dialogs::test
