#include "player/dialogs/prompts.h"

#include <QApplication>
#include <QFileDialog>
#include <QIcon>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPalette>
#include <QPixmap>
#include <QScreen>
#include <QStyle>
#include <QStyleFactory>
#include <QWidget>

#include "player/ui/artwork.h"
#include "player/ui/palette.h"

namespace sonfara::dialogs {

namespace {

// Texts carry the carriage returns of the program's messages; Qt breaks
// lines at line feeds.
QString Lines(QString text) {
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    text.replace(QChar(u'\r'), QChar(u'\n'));
    return text;
}

}  // namespace

void QtPrompts::Error(QWidget* parent, const QString& text) {
    QMessageBox::critical(parent, QString::fromUtf8(kCaption), Lines(text));
}

std::optional<QString> QtPrompts::AskText(QWidget* parent, const QString& title,
                                          const QString& prompt, const QString& answer) {
    QInputDialog box(parent);
    box.setWindowTitle(title);
    box.setLabelText(Lines(prompt));
    box.setTextValue(answer);
    // A long title in the prompt wraps instead of widening the box past the
    // screen (the line edit scrolls by itself).
    if (auto* label = box.findChild<QLabel*>()) label->setWordWrap(true);
    const QScreen* screen = parent ? parent->screen() : QGuiApplication::primaryScreen();
    if (screen) box.setMaximumWidth(screen->availableGeometry().width() * 2 / 3);
    if (box.exec() != QDialog::Accepted) return std::nullopt;
    return box.textValue();
}

std::optional<QString> QtPrompts::AskOpenFile(QWidget* parent, const QString& title,
                                              const QString& filter, const QString& folder) {
    const QString path = QFileDialog::getOpenFileName(parent, title, folder, filter);
    if (path.isEmpty()) return std::nullopt;
    return path;
}

Prompts& DefaultPrompts() {
    static QtPrompts prompts;
    return prompts;
}

void ApplyPanelLook(QWidget* dialog) {
    namespace pal = ui::palette;
    // Fusion honours a palette everywhere; the native styles of some
    // desktops would paint light controls on the dark panel.
    if (QStyle* fusion = QStyleFactory::create(QStringLiteral("Fusion"))) {
        fusion->setParent(dialog);
        dialog->setStyle(fusion);
    }
    QPalette p = dialog->palette();
    p.setColor(QPalette::Window, pal::kPanelTop);
    p.setColor(QPalette::WindowText, pal::kEngraveText);
    p.setColor(QPalette::Base, pal::kLcdGlass);
    p.setColor(QPalette::AlternateBase, pal::kPanelBottom);
    p.setColor(QPalette::Text, pal::kLcdText);
    p.setColor(QPalette::PlaceholderText, pal::kLcdTextDim);
    p.setColor(QPalette::Button, pal::kKeyTop);
    p.setColor(QPalette::ButtonText, pal::kSymbol);
    p.setColor(QPalette::Highlight, pal::kSegmentGlow);
    p.setColor(QPalette::HighlightedText, pal::kSymbolLit);
    p.setColor(QPalette::Light, pal::kBevelLight);
    p.setColor(QPalette::Midlight, pal::kPanelEdgeLight);
    p.setColor(QPalette::Dark, pal::kBevelDark);
    p.setColor(QPalette::Mid, pal::kPanelBottom);
    p.setColor(QPalette::Shadow, pal::kPanelEdgeDark);
    p.setColor(QPalette::ToolTipBase, pal::kPanelBottom);
    p.setColor(QPalette::ToolTipText, pal::kEngraveText);
    p.setColor(QPalette::Disabled, QPalette::WindowText, pal::kEngraveDim);
    p.setColor(QPalette::Disabled, QPalette::Text, pal::kEngraveDim);
    p.setColor(QPalette::Disabled, QPalette::ButtonText, pal::kEngraveDim);
    dialog->setPalette(p);
    dialog->setFont(ui::JapaneseFont(13));
    dialog->setWindowIcon(QIcon(QPixmap::fromImage(ui::AppIcon(64))));
}

}  // namespace sonfara::dialogs
