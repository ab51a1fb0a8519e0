// The main window's document panel: the companion text DocMain, its file
// name DocFileName and the address list RelateURL. UI thread only.
#pragma once

#include <QUrl>
#include <QWidget>
#include <functional>

#include "player/files/companion.h"
#include "player/platform/codepage.h"

class QLabel;
class QListWidget;
class QListWidgetItem;
class QPlainTextEdit;

namespace sonfara::panels {

inline constexpr QSize kDocumentPanelSize{611, 335};

// Opens an address with the desktop's handler; tests put a recorder here.
using UrlOpener = std::function<void(const QUrl&)>;
void OpenWithDesktop(const QUrl& url);

class DocumentPanel : public QWidget {
    Q_OBJECT
  public:
    // The document is read in the encoding decided for it, leaning to `cp`.
    explicit DocumentPanel(const platform::CodePage& cp, QWidget* parent = nullptr,
                           UrlOpener opener = OpenWithDesktop);

    // ReadCompanionDocument's outputs; an empty document clears the panel.
    void ShowDocument(const files::CompanionDocument& doc);

    QPlainTextEdit* DocMain() const { return text_; }
    QLabel* DocFileName() const { return fileName_; }
    // The document's path as the file system has it; empty when none.
    const std::string& FilePath() const { return filePath_; }
    QListWidget* RelateURL() const { return urls_; }

  protected:
    void paintEvent(QPaintEvent*) override;

  private:
    void OpenEntry(QListWidgetItem* item);

    const platform::CodePage& cp_;
    UrlOpener opener_;
    QPlainTextEdit* text_;
    QLabel* fileName_;
    QListWidget* urls_;
    std::string filePath_;
};

}  // namespace sonfara::panels
