// The modal boxes the dialogs ask and tell through: message boxes captioned
// "Sonfara" and the input box. One seam, so the dialogs' own logic runs
// in tests without a person to press OK. UI thread only. They run only from
// inside the settings and list dialogs, while the program holds requests
// from outside back, so no hand-off or MPRIS call runs inside them.
#pragma once

#include <QString>
#include <optional>

class QWidget;

namespace sonfara::dialogs {

inline constexpr const char* kCaption = "Sonfara";

class Prompts {
  public:
    virtual ~Prompts() = default;
    // Critical-stop icon, OK button.
    virtual void Error(QWidget* parent, const QString& text) = 0;
    // Input box: nullopt when cancelled.
    virtual std::optional<QString> AskText(QWidget* parent, const QString& title,
                                           const QString& prompt, const QString& answer) = 0;
    // Open-file dialog in `folder` with a Qt filter: nullopt when cancelled.
    virtual std::optional<QString> AskOpenFile(QWidget* parent, const QString& title,
                                               const QString& filter, const QString& folder) = 0;
};

// QMessageBox and QInputDialog.
class QtPrompts final : public Prompts {
  public:
    void Error(QWidget* parent, const QString& text) override;
    std::optional<QString> AskText(QWidget* parent, const QString& title, const QString& prompt,
                                   const QString& answer) override;
    std::optional<QString> AskOpenFile(QWidget* parent, const QString& title, const QString& filter,
                                       const QString& folder) override;
};

// The prompts the program uses when a dialog is given none.
Prompts& DefaultPrompts();

// The dark front-panel palette and the Japanese face on a dialog; the
// platform style draws the controls.
void ApplyPanelLook(QWidget* dialog);

}  // namespace sonfara::dialogs
