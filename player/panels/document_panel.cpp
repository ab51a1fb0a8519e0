#include "player/panels/document_panel.h"

#include <QDesktopServices>
#include <QFile>
#include <QLabel>
#include <QListWidget>
#include <QPainter>
#include <QPlainTextEdit>
#include <QTextDocument>

#include "player/panels/panel_style.h"
#include "player/platform/text_decoding.h"
#include "player/ui/artwork.h"
#include "player/ui/palette.h"

namespace sonfara::panels {
namespace {

namespace P = ui::palette;

constexpr QRect kTextRect{1, 21, 609, 226};
constexpr QRect kFileNameRect{72, 1, 538, 18};
constexpr QRect kUrlRect{1, 269, 609, 65};

struct Caption {
    QPoint at;
    const char* text;
};
constexpr Caption kCaptions[] = {{{4, 1}, "DOCUMENT"}, {{4, 249}, "LINKS"}};

}  // namespace

void OpenWithDesktop(const QUrl& url) {
    QDesktopServices::openUrl(url);
}

DocumentPanel::DocumentPanel(const platform::CodePage& cp, QWidget* parent, UrlOpener opener)
    : QWidget(parent),
      cp_(cp),
      opener_(std::move(opener)),
      text_(new QPlainTextEdit(this)),
      fileName_(new QLabel(this)),
      urls_(new QListWidget(this)) {
    setFixedSize(kDocumentPanelSize);
    text_->setGeometry(kTextRect);
    text_->setReadOnly(true);
    text_->setStyleSheet(style::TextWindowSheet());
    text_->setFont(style::TextFont(13));
    text_->setLineWrapMode(QPlainTextEdit::NoWrap);
    text_->document()->setDocumentMargin(6);
    fileName_->setGeometry(kFileNameRect);
    fileName_->setStyleSheet(style::LcdLabelSheet());
    fileName_->setFont(style::TextFont(12));
    urls_->setGeometry(kUrlRect);
    urls_->setStyleSheet(style::ListSheet());
    urls_->setFont(style::TextFont(12));
    connect(urls_, &QListWidget::itemDoubleClicked, this, &DocumentPanel::OpenEntry);
}

void DocumentPanel::ShowDocument(const files::CompanionDocument& doc) {
    urls_->clear();
    // The document's lines end in CR LF; the text area wants plain newlines.
    QString text = QString::fromStdString(platform::DecodeFileText(doc.text, cp_));
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    text_->setPlainText(text);
    // A path, not document text: the file system's encoding, not the code page.
    filePath_ = doc.fileName;
    fileName_->setText(QFile::decodeName(doc.fileName.c_str()));
    for (const std::string& url : doc.urls) urls_->addItem(QString::fromStdString(url));
}

void DocumentPanel::OpenEntry(QListWidgetItem* item) {
    if (item == nullptr) return;
    opener_(QUrl(item->text()));
}

void DocumentPanel::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    QLinearGradient g(0, 0, 0, height());
    g.setColorAt(0, P::kPanelTop);
    g.setColorAt(1, P::kPanelBottom);
    painter.fillRect(rect(), g);
    painter.setFont(ui::EngraveFont(9));
    for (const Caption& c : kCaptions) {
        const QRect r(c.at, QSize(66, 18));
        painter.setPen(P::kEngraveCut);
        painter.drawText(r.translated(0, 1), Qt::AlignLeft | Qt::AlignVCenter,
                         QString::fromLatin1(c.text));
        painter.setPen(P::kEngraveText);
        painter.drawText(r, Qt::AlignLeft | Qt::AlignVCenter, QString::fromLatin1(c.text));
    }
}

}  // namespace sonfara::panels
