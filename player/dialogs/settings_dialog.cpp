#include "player/dialogs/settings_dialog.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QSaveFile>
#include <QStandardPaths>
#include <QTabWidget>
#include <QVBoxLayout>

#include "player/dialogs/library_window.h"
#include "player/dialogs/prompts.h"
#include "player/library/library_store.h"
#include "player/platform/sfrlib_binding.h"
#include "player/platform/text_decoding.h"
#include "player/ui/artwork.h"

namespace sonfara::dialogs {

namespace {

constexpr std::array<const char*, platform::kAssociableCount> kAssociationRows{
    QT_TRANSLATE_NOOP("sonfara::dialogs::SettingsDialog", ".MID    - 標準SMFファイル"),
    QT_TRANSLATE_NOOP("sonfara::dialogs::SettingsDialog", ".RMI    - RIFFヘッダ付加SMFファイル"),
    QT_TRANSLATE_NOOP("sonfara::dialogs::SettingsDialog", ".RCP    - レコンポーザ形式ファイル"),
    QT_TRANSLATE_NOOP("sonfara::dialogs::SettingsDialog", ".R18    - レコンポーザ形式ファイル"),
    QT_TRANSLATE_NOOP("sonfara::dialogs::SettingsDialog", ".R36    - レコンポーザ形式ファイル"),
    QT_TRANSLATE_NOOP("sonfara::dialogs::SettingsDialog", ".G18    - レコンポーザ形式ファイル"),
    QT_TRANSLATE_NOOP("sonfara::dialogs::SettingsDialog", ".G36    - レコンポーザ形式ファイル"),
    QT_TRANSLATE_NOOP("sonfara::dialogs::SettingsDialog", ".MLT    - MIDIリストファイル"),
    QT_TRANSLATE_NOOP("sonfara::dialogs::SettingsDialog", ".LMD    - 圧縮MIDIファイル(LHA)"),
    QT_TRANSLATE_NOOP("sonfara::dialogs::SettingsDialog", ".ZMD    - 圧縮MIDIファイル(ZIP)"),
};
constexpr std::array<const char*, 5> kThreadPriCaptions{
    QT_TRANSLATE_NOOP("sonfara::dialogs::SettingsDialog", "最高"),
    QT_TRANSLATE_NOOP("sonfara::dialogs::SettingsDialog", "高"),
    QT_TRANSLATE_NOOP("sonfara::dialogs::SettingsDialog", "やや高"),
    QT_TRANSLATE_NOOP("sonfara::dialogs::SettingsDialog", "標準"),
    QT_TRANSLATE_NOOP("sonfara::dialogs::SettingsDialog", "やや低")};
constexpr std::array<const char*, 3> kMinWndCaptions{
    QT_TRANSLATE_NOOP("sonfara::dialogs::SettingsDialog", "タスクトレイ"),
    QT_TRANSLATE_NOOP("sonfara::dialogs::SettingsDialog", "タスクバー"),
    QT_TRANSLATE_NOOP("sonfara::dialogs::SettingsDialog", "タスクトレイ＋タスクバー")};
constexpr std::array<const char*, 5> kOsReturnCaptions{
    QT_TRANSLATE_NOOP("sonfara::dialogs::SettingsDialog", "高"),
    QT_TRANSLATE_NOOP("sonfara::dialogs::SettingsDialog", "やや高"),
    QT_TRANSLATE_NOOP("sonfara::dialogs::SettingsDialog", "中"),
    QT_TRANSLATE_NOOP("sonfara::dialogs::SettingsDialog", "やや低"),
    QT_TRANSLATE_NOOP("sonfara::dialogs::SettingsDialog", "低")};

// The setting 言語 / Language: the same in every language, so that a user
// who cannot read the current one still finds it.
constexpr std::array<const char*, 3> kLanguageCaptions{"自動 / Automatic", "日本語", "English"};

// The setting 文字コード, item i for stored value i.
constexpr std::array<const char*, platform::kTextEncodingCodePages.size()> kTextEncodingCaptions{
    QT_TRANSLATE_NOOP("sonfara::dialogs::SettingsDialog", "自動"),
    QT_TRANSLATE_NOOP("sonfara::dialogs::SettingsDialog", "日本語 (CP932)"),
    QT_TRANSLATE_NOOP("sonfara::dialogs::SettingsDialog", "Unicode (UTF-8)"),
    QT_TRANSLATE_NOOP("sonfara::dialogs::SettingsDialog", "西欧 (CP1252)"),
    QT_TRANSLATE_NOOP("sonfara::dialogs::SettingsDialog", "韓国語 (EUC-KR)"),
    QT_TRANSLATE_NOOP("sonfara::dialogs::SettingsDialog", "中国語簡体字 (GBK)"),
    QT_TRANSLATE_NOOP("sonfara::dialogs::SettingsDialog", "中国語繁体字 (Big5)")};

constexpr const char* kMTimerLabel = QT_TRANSLATE_NOOP("sonfara::dialogs::SettingsDialog",
                                                       "演奏用マルチメディアタイマー割り込み周期");
constexpr const char* kGTimerLabel =
    QT_TRANSLATE_NOOP("sonfara::dialogs::SettingsDialog", "一般描画更新間隔");
constexpr const char* kWrdTimerLabel =
    QT_TRANSLATE_NOOP("sonfara::dialogs::SettingsDialog", "WRD描画更新間隔");

// The dialog's texts, also those kept in tables (marked for lupdate where
// they are written).
QString T(const char* utf8) {
    return QCoreApplication::translate("sonfara::dialogs::SettingsDialog", utf8);
}

QString PathText(const std::string& path) {
    return QFile::decodeName(QByteArray::fromStdString(path));
}

std::string PathBytes(const QString& path) {
    return QFile::encodeName(path).toStdString();
}

template <typename T>
T* Named(T* w, const char* name) {
    w->setObjectName(QString::fromLatin1(name));
    return w;
}

// A text box with its caption before it and "ミリ秒" after it.
QLineEdit* AddTimerRow(QGridLayout* grid, int row, QWidget* parent, const char* label,
                       const char* name) {
    auto* box = Named(new QLineEdit(parent), name);
    box->setMaximumWidth(72);
    box->setAlignment(Qt::AlignRight);
    grid->addWidget(new QLabel(T(label), parent), row, 0);
    grid->addWidget(box, row, 1);
    grid->addWidget(
        new QLabel(QCoreApplication::translate("sonfara::dialogs::SettingsDialog", "ミリ秒"),
                   parent),
        row, 2);
    return box;
}

// Option buttons in a frame; button i has id i.
template <size_t N>
QGroupBox* OptionFrame(QWidget* parent, const QString& caption, const char* name,
                       const std::array<const char*, N>& captions, QButtonGroup*& group,
                       bool horizontal) {
    auto* box = new QGroupBox(caption, parent);
    QBoxLayout* layout = horizontal ? static_cast<QBoxLayout*>(new QHBoxLayout(box))
                                    : static_cast<QBoxLayout*>(new QVBoxLayout(box));
    group = new QButtonGroup(box);
    for (size_t i = 0; i < N; ++i) {
        auto* b = new QRadioButton(T(captions[i]), box);
        b->setObjectName(QString::fromLatin1(name) + QString::number(i));
        group->addButton(b, static_cast<int>(i));
        layout->addWidget(b);
    }
    layout->addStretch();
    return box;
}

void Check(QButtonGroup* group, int id) {
    if (QAbstractButton* b = group->button(id)) {
        b->setChecked(true);
    } else if (QAbstractButton* on = group->checkedButton()) {
        // A stored value the dialog does not offer: no button is on.
        group->setExclusive(false);
        on->setChecked(false);
        group->setExclusive(true);
    }
}

int OsReturnIndex(int32_t value) {
    for (size_t i = 0; i < settings::kOsReturnValues.size(); ++i)
        if (settings::kOsReturnValues[i] == value) return static_cast<int>(i);
    return -1;
}

}  // namespace

ShortcutPlaces DefaultShortcutPlaces() {
    ShortcutPlaces p;
    p.launcher = PathBytes(QCoreApplication::applicationFilePath());
    p.desktop = PathBytes(QStandardPaths::writableLocation(QStandardPaths::DesktopLocation));
    p.applications =
        PathBytes(QStandardPaths::writableLocation(QStandardPaths::ApplicationsLocation));
    return p;
}

SettingsDialog::SettingsDialog(settings::SettingsEditor& settings,
                               platform::ShellIntegration& shell, platform::SfrLibBinding& sfrlib,
                               ShortcutPlaces places, Prompts* prompts, QWidget* parent)
    : QDialog(parent),
      settings_(settings),
      shell_(shell),
      sfrlib_(sfrlib),
      places_(std::move(places)),
      prompts_(prompts ? *prompts : DefaultPrompts()) {
    setObjectName(QStringLiteral("SettingWnd"));
    setWindowTitle(T(settings_text::kTitle));
    ApplyPanelLook(this);

    tabs_ = new QTabWidget(this);
    tabs_->addTab(PlayPage(), tr("演奏"));
    tabs_->addTab(DrawPage(), tr("描画"));
    tabs_->addTab(AssociationPage(), tr("関連付け"));
    tabs_->addTab(BehaviourPage(), tr("動作"));
    tabs_->addTab(EmulationPage(), tr("MIDIエミュレート"));
    libraryPage_ = new LibraryFoldersPage(library::DefaultLibraryPath(), this);
    tabs_->addTab(libraryPage_, tr("ライブラリ"));

    auto* ok = Named(new QPushButton(tr("OK"), this), "Command1");
    auto* apply = Named(new QPushButton(tr("適用(&A)"), this), "Command3");
    auto* cancel = Named(new QPushButton(tr("キャンセル"), this), "Command2");
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &SettingsDialog::Ok);
    connect(apply, &QPushButton::clicked, this, &SettingsDialog::ApplyAndStay);
    connect(cancel, &QPushButton::clicked, this, &SettingsDialog::Cancel);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(ok);
    buttons->addWidget(apply);
    buttons->addWidget(cancel);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(tabs_, 1);
    layout->addLayout(buttons);
    resize(540, 340);
    Refill();
}

QWidget* SettingsDialog::PlayPage() {
    auto* page = new QWidget;
    auto* grid = new QGridLayout;
    mTimer_ = AddTimerRow(grid, 0, page, kMTimerLabel, "MTimerInt");
    synthBuffer_ = Named(new QComboBox(page), "SynthBuffer");
    for (int32_t frames : settings::kSynthBufferChoices)
        synthBuffer_->addItem(QString::number(frames));
    grid->addWidget(new QLabel(tr("シンセサイザーのバッファ"), page), 1, 0);
    grid->addWidget(synthBuffer_, 1, 1);
    grid->addWidget(new QLabel(tr("フレーム"), page), 1, 2);
    grid->setColumnStretch(3, 1);
    easyDelta_ = Named(new QCheckBox(tr("簡易デルタタイム計算法の使用"), page), "EasyDltChk");
    auto* layout = new QVBoxLayout(page);
    layout->addLayout(grid);
    layout->addWidget(easyDelta_);
    layout->addStretch();
    return page;
}

QWidget* SettingsDialog::DrawPage() {
    auto* page = new QWidget;
    auto* grid = new QGridLayout;
    gTimer_ = AddTimerRow(grid, 0, page, kGTimerLabel, "GTimerInt");
    wrdTimer_ = AddTimerRow(grid, 1, page, kWrdTimerLabel, "WRDInt");
    // How the texts of songs, documents and lists are read.
    textEncoding_ = Named(new QComboBox(page), "TextEncoding");
    for (const char* caption : kTextEncodingCaptions) textEncoding_->addItem(T(caption));
    grid->addWidget(new QLabel(tr("ファイルの文字コード"), page), 2, 0);
    grid->addWidget(textEncoding_, 2, 1, 1, 2);
    grid->setColumnStretch(3, 1);
    showWrd_ = Named(
        new QCheckBox(tr("WRDファイルが存在した場合、演奏開始時にWRDウィンドウを表示する"), page),
        "ShowWRD");
    auto* layout = new QVBoxLayout(page);
    layout->addLayout(grid);
    layout->addWidget(showWrd_);
    layout->addStretch();
    return page;
}

QWidget* SettingsDialog::AssociationPage() {
    auto* page = new QWidget;
    associations_ = Named(new QListWidget(page), "AssociationList");
    associations_->setSelectionMode(QAbstractItemView::MultiSelection);
    for (const char* row : kAssociationRows) associations_->addItem(T(row));
    auto* all = Named(new QPushButton(tr("すべて選択"), page), "Command4");
    auto* none = Named(new QPushButton(tr("すべて選択解除"), page), "Command5");
    auto* desktop =
        Named(new QPushButton(tr("デスクトップにショートカットを作成"), page), "Command6");
    auto* openWith = Named(new QPushButton(tr("\"送る\"にショートカットを作成"), page), "Command7");
    openWith->setToolTip(tr("ファイルマネージャーの「別のアプリケーションで開く」に追加します"));
    for (QPushButton* b : {all, none, desktop, openWith}) b->setAutoDefault(false);
    connect(all, &QPushButton::clicked, this, [this] { SelectAllAssociations(true); });
    connect(none, &QPushButton::clicked, this, [this] { SelectAllAssociations(false); });
    connect(desktop, &QPushButton::clicked, this, [this] { CreateDesktopShortcut(); });
    connect(openWith, &QPushButton::clicked, this, [this] { CreateOpenWithEntry(); });

    auto* side = new QVBoxLayout;
    side->addWidget(all);
    side->addWidget(none);
    side->addStretch();
    side->addWidget(desktop);
    side->addWidget(openWith);
    auto* layout = new QHBoxLayout(page);
    layout->addWidget(associations_, 1);
    layout->addLayout(side);
    return page;
}

QWidget* SettingsDialog::BehaviourPage() {
    auto* page = new QWidget;
    auto* pri = OptionFrame(page, tr("優先度"), "ThreadPri", kThreadPriCaptions, threadPri_, true);
    auto* min = OptionFrame(page, tr("最小化時格納場所設定"), "MinWndStyle", kMinWndCaptions,
                            minWndStyle_, true);
    auto* os =
        OptionFrame(page, tr("制御をOSに渡す頻度"), "OSReturn", kOsReturnCaptions, osReturn_, true);
    alwaysMove_ = Named(new QCheckBox(tr("常駐機能を無効にする"), page), "AlwaysMove");
    sstp_ = Named(new QCheckBox(tr("SSTPを使用する"), page), "SSTPCheck");
    auto* language = OptionFrame(page, QString::fromUtf8("言語 / Language"), "Language",
                                 kLanguageCaptions, language_, true);
    // Every window is built in one language at start-up.
    language->layout()->addWidget(new QLabel(tr("次回の起動から有効になります"), language));
    auto* layout = new QVBoxLayout(page);
    layout->addWidget(pri);
    layout->addWidget(min);
    layout->addWidget(os);
    layout->addWidget(alwaysMove_);
    layout->addWidget(sstp_);
    layout->addWidget(language);
    layout->addStretch();
    return page;
}

QWidget* SettingsDialog::EmulationPage() {
    auto* page = new QWidget;
    midiEmu_ = Named(new QCheckBox(tr("MIDI音源エミュレートを行う （SMFK32.DLLが必要）"), page),
                     "MIDIEmuChk");
    auto* grid = new QGridLayout;
    const std::array<const char*, 2> captions{
        QT_TRANSLATE_NOOP("sonfara::dialogs::SettingsDialog", "Roland SCシリーズ用"),
        QT_TRANSLATE_NOOP("sonfara::dialogs::SettingsDialog", "YAMAHA XGシリーズ用")};
    for (int i = 0; i < 2; ++i) {
        configFile_[i] = new QLineEdit(page);
        configFile_[i]->setObjectName(QStringLiteral("SMFKConfigFile") + QString::number(i));
        auto* browse = new QPushButton(tr("参照"), page);
        browse->setObjectName(QStringLiteral("SMFKConfigFileSet") + QString::number(i));
        browse->setAutoDefault(false);
        connect(browse, &QPushButton::clicked, this, [this, i] { Browse(i); });
        grid->addWidget(new QLabel(T(captions[i]), page), i, 0);
        grid->addWidget(configFile_[i], i, 1);
        grid->addWidget(browse, i, 2);
    }
    smfkBank_ = Named(new QCheckBox(tr("バンクセレクト例外処理をする"), page), "SMFKBank");
    smfkRythm_ =
        Named(new QCheckBox(tr("リズムパートをトラック１０に統合する"), page), "SMFKRythm");
    auto* layout = new QVBoxLayout(page);
    layout->addWidget(midiEmu_);
    layout->addLayout(grid);
    layout->addWidget(smfkBank_);
    layout->addWidget(smfkRythm_);
    layout->addStretch();
    return page;
}

void SettingsDialog::Refill() {
    const settings::SettingsValues& v = settings_.Values();
    mTimer_->setText(QString::number(v.mainTimerMs));
    easyDelta_->setChecked(v.easyDeltaTime);
    synthBuffer_->setCurrentText(QString::number(v.synthBufferFrames));
    gTimer_->setText(QString::number(v.graphicsTimerMs));
    wrdTimer_->setText(QString::number(v.wrdTimerMs));
    showWrd_->setChecked(v.showWrd);
    textEncoding_->setCurrentIndex(v.textEncoding);
    const auto owned = platform::PlayerAssociations(shell_);
    for (int i = 0; i < platform::kAssociableCount; ++i)
        associations_->item(i)->setSelected(owned[i]);
    Check(threadPri_, v.threadMode);
    Check(minWndStyle_, v.taskType);
    Check(osReturn_, OsReturnIndex(v.osReturn));
    alwaysMove_->setChecked(!v.stayResidentOnClose);
    sstp_->setChecked(v.sstpNotices);
    Check(language_, v.language);
    midiEmu_->setChecked(v.moduleEmulation.enabled);
    configFile_[0]->setText(PathText(v.moduleEmulation.gsConfig));
    configFile_[1]->setText(PathText(v.moduleEmulation.xgConfig));
    smfkBank_->setChecked(v.moduleEmulation.smfkBank);
    smfkRythm_->setChecked(v.moduleEmulation.smfkRhythm);
    libraryPage_->Refill();
}

bool SettingsDialog::ReadTimer(QLineEdit* box, const char* label, const char* key, int32_t current,
                               int32_t& out) {
    const settings::SettingRange range = *settings::SettingKeyNamed(key).range;
    if (settings::ParseTimerText(box->text().toStdString(), range, out)) return true;
    // The setting keeps its value, and the box shows it again.
    box->setText(QString::number(current));
    prompts_.Error(this, tr("%1には%2から%3までの整数（ミリ秒）を入力してください")
                             .arg(T(label))
                             .arg(range.min)
                             .arg(range.max));
    box->setFocus();
    box->selectAll();
    return false;
}

bool SettingsDialog::ApplyEdits() {
    const settings::SettingsValues& now = settings_.Values();
    settings::SettingsValues e = now;
    if (!ReadTimer(mTimer_, kMTimerLabel, "MTimer", now.mainTimerMs, e.mainTimerMs) ||
        !ReadTimer(gTimer_, kGTimerLabel, "GTimer", now.graphicsTimerMs, e.graphicsTimerMs) ||
        !ReadTimer(wrdTimer_, kWrdTimerLabel, "MWRDTimer", now.wrdTimerMs, e.wrdTimerMs)) {
        return false;
    }
    const int os = osReturn_->checkedId();
    if (os >= 0) e.osReturn = settings::kOsReturnValues[static_cast<size_t>(os)];
    if (threadPri_->checkedId() >= 0) e.threadMode = threadPri_->checkedId();
    if (minWndStyle_->checkedId() >= 0) e.taskType = minWndStyle_->checkedId();
    e.sstpNotices = sstp_->isChecked();
    if (language_->checkedId() >= 0) e.language = language_->checkedId();
    e.showWrd = showWrd_->isChecked();
    if (textEncoding_->currentIndex() >= 0) e.textEncoding = textEncoding_->currentIndex();
    e.easyDeltaTime = easyDelta_->isChecked();
    e.synthBufferFrames = synthBuffer_->currentText().toInt();
    e.stayResidentOnClose = !alwaysMove_->isChecked();
    e.moduleEmulation.enabled = midiEmu_->isChecked();
    e.moduleEmulation.gsConfig = PathBytes(configFile_[0]->text());
    e.moduleEmulation.xgConfig = PathBytes(configFile_[1]->text());
    e.moduleEmulation.smfkBank = smfkBank_->isChecked();
    e.moduleEmulation.smfkRhythm = smfkRythm_->isChecked();
    settings::ApplyDialogSettings(settings_, shell_, e, SelectedAssociations());
    if (const QString problem = libraryPage_->Apply(); !problem.isEmpty())
        prompts_.Error(this, problem);
    return true;
}

void SettingsDialog::Ok() {
    if (ApplyEdits()) hide();
}

void SettingsDialog::Cancel() {
    Refill();
    hide();
}

void SettingsDialog::reject() {
    Cancel();
}

void SettingsDialog::closeEvent(QCloseEvent* event) {
    event->ignore();
    hide();
}

std::array<bool, platform::kAssociableCount> SettingsDialog::SelectedAssociations() const {
    std::array<bool, platform::kAssociableCount> s{};
    for (int i = 0; i < platform::kAssociableCount; ++i)
        s[i] = associations_->item(i)->isSelected();
    return s;
}

void SettingsDialog::SelectAllAssociations(bool selected) {
    for (int i = 0; i < platform::kAssociableCount; ++i)
        associations_->item(i)->setSelected(selected);
}

int SettingsDialog::ReportShortcut(int result) {
    if (result != 0) prompts_.Error(this, T(settings_text::kShortcutFailed));
    return result;
}

int SettingsDialog::CreateDesktopShortcut() {
    return ReportShortcut(
        platform::CreateShortcut(sfrlib_, places_.desktop, "Sonfara", places_.launcher, ""));
}

int SettingsDialog::CreateOpenWithEntry() {
    int result =
        platform::CreateShortcut(sfrlib_, places_.applications, "Sonfara", places_.launcher, "");
    std::string folder = places_.applications;
    if (!folder.empty() && folder.back() != '/') folder += '/';
    if (result == 0 && !MakeOpenWithEntry(folder + "Sonfara.desktop")) result = -1;
    return ReportShortcut(result);
}

void SettingsDialog::Browse(int index) {
    QLineEdit* box = configFile_.at(static_cast<size_t>(index));
    const QString folder = QFileInfo(box->text()).absolutePath();
    const auto path =
        prompts_.AskOpenFile(this, T(settings_text::kBrowseTitle), T(settings_text::kBrowseFilter),
                             box->text().isEmpty() ? QString() : folder);
    if (path) box->setText(*path);
}

bool MakeOpenWithEntry(const std::string& desktopFile) {
    const QString path = PathText(desktopFile);
    QFile in(path);
    if (!in.open(QIODevice::ReadOnly)) return false;
    QByteArrayList lines = in.readAll().split('\n');
    in.close();
    QByteArray types;
    for (const auto& ext : platform::AssociableExtensions())
        types += QByteArray(ext.mime_type) + ';';
    QByteArray out;
    for (const QByteArray& line : lines) {
        if (line.isEmpty() || line.startsWith("MimeType=") || line.startsWith("NoDisplay="))
            continue;
        out += line;
        if (line.startsWith("Exec=") && !line.contains(" %F")) out += " %F";
        out += '\n';
    }
    out += "MimeType=" + types + "\nNoDisplay=true\n";
    QSaveFile save(path);
    if (!save.open(QIODevice::WriteOnly)) return false;
    save.write(out);
    if (!save.commit()) return false;
    QFile::setPermissions(path, QFile::permissions(path) | QFileDevice::ExeOwner);
    return true;
}

}  // namespace sonfara::dialogs
