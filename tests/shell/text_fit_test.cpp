// Every caption of the player's windows fits its box, in Japanese and in
// English (which is longer): the control window with its menu bar, the main
// window's three panels and the dialogs, built by the real program offscreen
// and measured with each widget's own font. Run at device pixel ratio 1 and
// 2 (QT_SCALE_FACTOR, tests/shell/CMakeLists.txt).
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QMenuBar>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QStyleOptionButton>
#include <QStyleOptionTab>
#include <QTabBar>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <QTranslator>
#include <QXmlStreamReader>
#include <functional>

#include "player/dialogs/list_dialog.h"
#include "player/platform/language.h"
#include "player/session/translations.h"
#include "player/settings/settings_store.h"
#include "player/shell/app.h"
#include "player/shell/main_panels.h"
#include "player/shell/main_window.h"
#include "tests/session/session_fixture.h"

namespace sonfara::shell {
namespace {

QString Where(const QWidget* w) {
    QString path;
    for (const QWidget* p = w; p; p = p->parentWidget())
        path.prepend(QLatin1String(p->metaObject()->className()) + u'(' + p->objectName() +
                     QStringLiteral(")/"));
    return path;
}

// The text a control draws (mnemonic '&' not drawn) against the box the
// style gives it; one line per caption that does not fit.
class FitCheck {
  public:
    void Widget(const QWidget* w) {
        if (auto* l = qobject_cast<const QLabel*>(w)) Label(l);
        if (auto* b = qobject_cast<const QAbstractButton*>(w)) Button(b);
        if (auto* g = qobject_cast<const QGroupBox*>(w)) Group(g);
        if (auto* t = qobject_cast<const QTabBar*>(w)) Tabs(t);
        if (auto* m = qobject_cast<const QMenuBar*>(w)) MenuBar(m);
    }
    QStringList clipped;

  private:
    void Fail(const QWidget* w, const QString& text, QSize need, QSize box) {
        clipped << QStringLiteral("%1 \"%2\": needs %3x%4, has %5x%6")
                       .arg(Where(w), text)
                       .arg(need.width())
                       .arg(need.height())
                       .arg(box.width())
                       .arg(box.height());
    }
    void Label(const QLabel* l) {
        if (l->text().isEmpty() || l->wordWrap()) return;
        const QRect box =
            l->contentsRect().adjusted(l->margin(), l->margin(), -l->margin(), -l->margin());
        const QSize need = l->fontMetrics().size(Qt::TextShowMnemonic, l->text());
        if (need.width() > box.width() || need.height() > box.height())
            Fail(l, l->text(), need, box.size());
    }
    void Button(const QAbstractButton* b) {
        if (b->text().isEmpty()) return;
        QStyleOptionButton opt;
        opt.initFrom(b);
        opt.text = b->text();
        opt.icon = b->icon();
        opt.iconSize = b->iconSize();
        QStyle::SubElement contents = QStyle::SE_PushButtonContents;
        if (qobject_cast<const QCheckBox*>(b)) contents = QStyle::SE_CheckBoxContents;
        if (qobject_cast<const QRadioButton*>(b)) contents = QStyle::SE_RadioButtonContents;
        const QRect box = b->style()->subElementRect(contents, &opt, b);
        const QSize need = b->fontMetrics().size(Qt::TextShowMnemonic, b->text());
        if (need.width() > box.width() || need.height() > box.height())
            Fail(b, b->text(), need, box.size());
    }
    void Group(const QGroupBox* g) {
        if (g->title().isEmpty()) return;
        QStyleOptionGroupBox opt;
        opt.initFrom(g);
        opt.text = g->title();
        opt.subControls = QStyle::SC_GroupBoxLabel | QStyle::SC_GroupBoxFrame;
        opt.textAlignment = g->alignment();
        const QRect label =
            g->style()->subControlRect(QStyle::CC_GroupBox, &opt, QStyle::SC_GroupBoxLabel, g);
        const QSize need = g->fontMetrics().size(Qt::TextShowMnemonic, g->title());
        if (label.right() > g->rect().right() || need.width() > label.width())
            Fail(g, g->title(), need, QSize(g->width() - label.left(), label.height()));
    }
    void Tabs(const QTabBar* t) {
        for (int i = 0; i < t->count(); ++i) {
            QStyleOptionTab opt;
            opt.initFrom(t);
            opt.rect = t->tabRect(i);
            opt.text = t->tabText(i);
            opt.shape = t->shape();
            const QRect box = t->style()->subElementRect(QStyle::SE_TabBarTabText, &opt, t);
            const QSize need = t->fontMetrics().size(Qt::TextShowMnemonic, opt.text);
            if (need.width() > box.width() || need.height() > box.height())
                Fail(t, opt.text, need, box.size());
        }
    }
    // A title that does not fit goes behind the bar's extension button.
    void MenuBar(const QMenuBar* m) {
        for (QAction* a : m->actions()) {
            const QRect r = m->actionGeometry(a);
            if (r.isEmpty() || !m->rect().contains(r)) Fail(m, a->text(), r.size(), m->size());
        }
    }
};

void CheckTree(QWidget* top, FitCheck& check) {
    check.Widget(top);
    for (QWidget* w : top->findChildren<QWidget*>())
        if (w->isVisibleTo(top)) check.Widget(w);
}

// The program on a private configuration with a song open, in one language.
class Player {
  public:
    explicit Player(platform::Language language) {
        for (const char* v : {"XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME", "HOME"})
            qputenv(v, home_.path().toUtf8());
        platform::SetUiLanguage(language);
        session::RegisterEngineTranslations();
        if (language == platform::Language::kEnglish) {
            EXPECT_TRUE(
                english_.load(QStringLiteral("sonfara_en"), QStringLiteral(SONFARA_QM_DIR)));
            QCoreApplication::installTranslator(&english_);
        }
        const std::string song =
            test::WriteSong(home_.path().toStdString(), "ten.mid", test::TenSecondSong());
        app_ = std::make_unique<SonfaraApp>(
            AppPlatform{clock_, timers_, ports_, true, false, false}, nullptr);
        app_->onFinished = [] {};
        EXPECT_TRUE(app_->Start({QString::fromStdString(song)}));
        timers_.RunForMs(500);
    }
    ~Player() {
        app_.reset();
        QCoreApplication::removeTranslator(&english_);
        platform::SetUiLanguage(platform::Language::kJapanese);
    }
    SonfaraApp& App() { return *app_; }
    void Settle() {
        for (int i = 0; i < 3; ++i) QCoreApplication::processEvents();
    }

  private:
    QTemporaryDir home_;
    QTranslator english_;
    platform::ManualClock clock_;
    platform::ManualTimerService timers_{clock_};
    platform::RecordingOutputSystem ports_{clock_};
    std::unique_ptr<SonfaraApp> app_;
};

void ExpectEveryCaptionFits(platform::Language language) {
    Player p(language);
    FitCheck check;
    SonfaraApp& app = p.App();
    for (int panel = 0; panel < 3; ++panel) {
        app.Panels()->SelectPanel(panel);
        p.Settle();
        CheckTree(app.Main(), check);
    }
    CheckTree(app.ControlWidget(), check);
    // Measured in the language asked for (the catalogue was found).
    const QList<QAction*> titles = app.ControlWidget()->findChild<QMenuBar*>()->actions();
    ASSERT_FALSE(titles.isEmpty());
    EXPECT_EQ(titles.front()->text(), language == platform::Language::kEnglish
                                          ? QStringLiteral("&File")
                                          : QStringLiteral("ファイル(&F)"));
    // Every page of a window (the settings dialog's tabs).
    auto checkPages = [&](QWidget* top) {
        auto* tabs = top->findChild<QTabWidget*>();
        for (int i = 0; i < (tabs ? tabs->count() : 1); ++i) {
            if (tabs) tabs->setCurrentIndex(i);
            p.Settle();
            CheckTree(top, check);
        }
    };
    // The program's modal dialogs are measured while they are up.
    auto checkModal = [&](const std::function<void()>& open) {
        QTimer::singleShot(0, [&] {
            QWidget* dialog = QApplication::activeModalWidget();
            ASSERT_NE(dialog, nullptr);
            checkPages(dialog);
            dialog->close();
        });
        open();
    };
    checkModal([&] { app.ShowVersion(); });
    checkModal([&] { app.ShowListEditor(dialogs::ListMode::kFavorites); });
    checkModal([&] { app.ShowListEditor(dialogs::ListMode::kPlayList); });
    checkModal([&] { app.ShowSettings(); });
    app.ShowLyricsWindow();
    p.Settle();
    for (QWidget* top : QApplication::topLevelWidgets())
        if (top->isVisible() && top != app.Main() && top != app.ControlWidget()) checkPages(top);
    EXPECT_TRUE(check.clipped.isEmpty()) << check.clipped.join(u'\n').toStdString();
}

TEST(TextFit, EveryCaptionFitsInJapanese) {
    ExpectEveryCaptionFits(platform::Language::kJapanese);
}

TEST(TextFit, EveryCaptionFitsInEnglish) {
    ExpectEveryCaptionFits(platform::Language::kEnglish);
}

// The catalogue a new text would be missing from: every entry has a finished
// English translation, with no Japanese left in it, no number glued to a
// word ("Track%1" reads "Track1"), and a menu accelerator "(&F)" keeps an
// accelerator.
TEST(TextFit, EveryCatalogueEntryIsTranslated) {
    QFile ts(QString::fromUtf8(SONFARA_SOURCE_DIR "/translations/sonfara_en.ts"));
    ASSERT_TRUE(ts.open(QIODevice::ReadOnly));
    QXmlStreamReader xml(&ts);
    QString source;
    int entries = 0;
    const QRegularExpression japanese(QStringLiteral("[\\x{3000}-\\x{9fff}\\x{ff00}-\\x{ffef}]"));
    const QRegularExpression glued(QStringLiteral("[A-Za-z]%\\d|%\\d[A-Za-z]"));
    while (!xml.atEnd()) {
        if (xml.readNext() != QXmlStreamReader::StartElement) continue;
        if (xml.name() == u"source")
            source = xml.readElementText(QXmlStreamReader::IncludeChildElements);
        if (xml.name() != u"translation") continue;
        const bool unfinished =
            xml.attributes().value(QLatin1String("type")) == QLatin1String("unfinished");
        const QString english = xml.readElementText(QXmlStreamReader::IncludeChildElements);
        ++entries;
        EXPECT_FALSE(unfinished || english.isEmpty()) << source.toStdString();
        EXPECT_FALSE(english.contains(japanese)) << source.toStdString();
        EXPECT_FALSE(english.contains(glued)) << english.toStdString();
        if (source.contains(QStringLiteral("(&"))) {
            EXPECT_TRUE(english.contains(u'&')) << source.toStdString();
        }
    }
    EXPECT_FALSE(xml.hasError()) << xml.errorString().toStdString();
    EXPECT_GT(entries, 100);
}

}  // namespace
}  // namespace sonfara::shell

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
