<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en" sourcelanguage="ja">
<context>
    <name>ControlMenus</name>
    <message>
        <source>ファイル(&amp;F)</source>
        <translation>&amp;File</translation>
    </message>
    <message>
        <source>ファイルを開く</source>
        <translation>Open Files</translation>
    </message>
    <message>
        <source>フォルダを開く</source>
        <translation>Open Folder</translation>
    </message>
    <message>
        <source>リストを保存</source>
        <translation>Save List</translation>
    </message>
    <message>
        <source>SMFとして保存…</source>
        <translation>Save as SMF…</translation>
    </message>
    <message>
        <source>ファイルリスト</source>
        <translation>File List</translation>
    </message>
    <message>
        <source>再生リスト編集</source>
        <translation>Edit Play List</translation>
    </message>
    <message>
        <source>お気に入り</source>
        <translation>Favorites</translation>
    </message>
    <message>
        <source>お気に入りに追加</source>
        <translation>Add to Favorites</translation>
    </message>
    <message>
        <source>お気に入りの整理</source>
        <translation>Organize Favorites</translation>
    </message>
    <message>
        <source>最近使ったファイル</source>
        <translation>Recent Files</translation>
    </message>
    <message>
        <source>最近使ったファイルのクリア</source>
        <translation>Clear Recent Files</translation>
    </message>
    <message>
        <source>終了</source>
        <translation>Exit</translation>
    </message>
    <message>
        <source>再生(&amp;P)</source>
        <translation>&amp;Play</translation>
    </message>
    <message>
        <source>A点設定</source>
        <translation>Set Point A</translation>
    </message>
    <message>
        <source>B点設定</source>
        <translation>Set Point B</translation>
    </message>
    <message>
        <source>A-B解除</source>
        <translation>Clear A-B</translation>
    </message>
    <message>
        <source>ループ回数</source>
        <translation>Loop Count</translation>
    </message>
    <message>
        <source>オフ</source>
        <translation>Off</translation>
    </message>
    <message>
        <source>1回</source>
        <translation>Once</translation>
    </message>
    <message>
        <source>2回</source>
        <translation>2 Times</translation>
    </message>
    <message>
        <source>3回</source>
        <translation>3 Times</translation>
    </message>
    <message>
        <source>4回</source>
        <translation>4 Times</translation>
    </message>
    <message>
        <source>5回</source>
        <translation>5 Times</translation>
    </message>
    <message>
        <source>6回</source>
        <translation>6 Times</translation>
    </message>
    <message>
        <source>7回</source>
        <translation>7 Times</translation>
    </message>
    <message>
        <source>8回</source>
        <translation>8 Times</translation>
    </message>
    <message>
        <source>9回</source>
        <translation>9 Times</translation>
    </message>
    <message>
        <source>無限</source>
        <translation>Endless</translation>
    </message>
    <message>
        <source>ループ後のフェードアウト</source>
        <translation>Fade Out after the Loops</translation>
    </message>
    <message>
        <source>なし</source>
        <translation>None</translation>
    </message>
    <message>
        <source>3秒</source>
        <translation>3 Seconds</translation>
    </message>
    <message>
        <source>5秒</source>
        <translation>5 Seconds</translation>
    </message>
    <message>
        <source>10秒</source>
        <translation>10 Seconds</translation>
    </message>
    <message>
        <source>表示(&amp;V)</source>
        <translation>&amp;View</translation>
    </message>
    <message>
        <source>歌詞</source>
        <translation>Lyrics</translation>
    </message>
    <message>
        <source>拡張機能(&amp;E)</source>
        <translation>&amp;Extensions</translation>
    </message>
    <message>
        <source>起動</source>
        <translation>Launch</translation>
    </message>
    <message>
        <source>アーカイバ</source>
        <translation>Archiver</translation>
    </message>
    <message>
        <source>テキストエディタ</source>
        <translation>Text Editor</translation>
    </message>
    <message>
        <source>エクスプローラ</source>
        <translation>File Manager</translation>
    </message>
    <message>
        <source>アレンジ</source>
        <translation>Arrangement</translation>
    </message>
    <message>
        <source>イコライザ</source>
        <translation>Equalizer</translation>
    </message>
    <message>
        <source>エフェクト設定</source>
        <translation>Effects</translation>
    </message>
    <message>
        <source>コーラスエフェクト</source>
        <translation>Chorus</translation>
    </message>
    <message>
        <source>強く</source>
        <translation>Strong</translation>
    </message>
    <message>
        <source>標準</source>
        <translation>Normal</translation>
    </message>
    <message>
        <source>弱く</source>
        <translation>Weak</translation>
    </message>
    <message>
        <source>リバーブエフェクト</source>
        <translation>Reverb</translation>
    </message>
    <message>
        <source>MIMPI-WRDエミュレーション</source>
        <translation>MIMPI-WRD Emulation</translation>
    </message>
    <message>
        <source>Sherry-WRDエミュレーション</source>
        <translation>Sherry-WRD Emulation</translation>
    </message>
    <message>
        <source>設定(&amp;S)</source>
        <translation>&amp;Settings</translation>
    </message>
    <message>
        <source>設定全般</source>
        <translation>Settings…</translation>
    </message>
    <message>
        <source>コントロールパネル - マルチメディア</source>
        <translation>Sound Settings</translation>
    </message>
    <message>
        <source>音量調節</source>
        <translation>Volume Control</translation>
    </message>
    <message>
        <source>リピートモード</source>
        <translation>Repeat Mode</translation>
    </message>
    <message>
        <source>ファイルオープンモード</source>
        <translation>When Opening Files</translation>
    </message>
    <message>
        <source>リストを新規作成</source>
        <translation>Start a New List</translation>
    </message>
    <message>
        <source>リストに追加</source>
        <translation>Add to the List</translation>
    </message>
    <message>
        <source>ソートなし</source>
        <translation>Unsorted</translation>
    </message>
    <message>
        <source>ファイル名でソート</source>
        <translation>Sort by File Name</translation>
    </message>
    <message>
        <source>簡易エミュレート（送出イベント設定）</source>
        <translation>Simple Emulation (Events Sent)</translation>
    </message>
    <message>
        <source>バンクセレクト</source>
        <translation>Bank Select</translation>
    </message>
    <message>
        <source>エクスクルーシブ</source>
        <translation>Exclusive</translation>
    </message>
    <message>
        <source>出力デバイス切り替え</source>
        <translation>Output Device</translation>
    </message>
    <message>
        <source>低負荷モード（画面描画停止）</source>
        <translation>Low-Load Mode (No Drawing)</translation>
    </message>
    <message>
        <source>ヘルプ(&amp;H)</source>
        <translation>&amp;Help</translation>
    </message>
    <message>
        <source>ヘルプ</source>
        <translation>Help</translation>
    </message>
    <message>
        <source>ホームページ</source>
        <translation>Home Page</translation>
    </message>
    <message>
        <source>バージョン情報</source>
        <translation>About Sonfara</translation>
    </message>
    <message>
        <source>MIDIファイルを開く</source>
        <translation>Open MIDI Files</translation>
    </message>
    <message>
        <source>MIDIファイルがあるフォルダを指定してください</source>
        <translation>Choose the folder that holds the MIDI files</translation>
    </message>
    <message>
        <source>リストファイルの保存</source>
        <translation>Save List File</translation>
    </message>
    <message>
        <source>リストファイル(*.mlt) (*.mlt);;圧縮ファイル(*.lzh) (*.lzh);;圧縮ファイル(*.lmd) (*.lmd)</source>
        <translation>List files (*.mlt) (*.mlt);;Archives (*.lzh) (*.lzh);;Archives (*.lmd) (*.lmd)</translation>
    </message>
    <message>
        <source>音声ファイルに書き出し…</source>
        <translation>Export Audio…</translation>
    </message>
    <message>
        <source>音声ファイルに書き出し</source>
        <translation>Export Audio</translation>
    </message>
    <message>
        <source>音声ファイルに書き出し中です。終わってから選び直してください。</source>
        <translation>An audio export is running. Choose this again when it has finished.</translation>
    </message>
    <message>
        <source>ライブラリ</source>
        <translation>Library</translation>
    </message>
</context>
<context>
    <name>sonfara::dialogs::ExportDialog</name>
    <message>
        <source>音声ファイルに書き出し</source>
        <translation>Export Audio</translation>
    </message>
    <message>
        <source>書き出し中: %1</source>
        <translation>Exporting: %1</translation>
    </message>
    <message>
        <source>キャンセルしています…</source>
        <translation>Cancelling…</translation>
    </message>
    <message>
        <source>書き出しました: %1</source>
        <translation>Exported: %1</translation>
    </message>
</context>
<context>
    <name>sonfara::dialogs::LibraryFoldersPage</name>
    <message>
        <source>ライブラリが曲を探すフォルダ（サブフォルダと書庫の中も）:</source>
        <translation>Folders the library looks for songs in (also sub-folders and archives):</translation>
    </message>
    <message>
        <source>追加...</source>
        <translation>Add...</translation>
    </message>
    <message>
        <source>削除</source>
        <translation>Delete</translation>
    </message>
    <message>
        <source>追加したフォルダはライブラリの「フォルダを走査」で読み込まれます。</source>
        <translation>Added folders are read by &quot;Scan Folders&quot; in the library window.</translation>
    </message>
    <message>
        <source>（見つかりません）</source>
        <translation> (not found)</translation>
    </message>
</context>
<context>
    <name>sonfara::dialogs::LibraryWindow</name>
    <message>
        <source>タイトル</source>
        <translation>Title</translation>
    </message>
    <message>
        <source>長さ</source>
        <translation>Length</translation>
    </message>
    <message>
        <source>音源</source>
        <translation>Module</translation>
    </message>
    <message>
        <source>フォルダ／書庫</source>
        <translation>Folder / Archive</translation>
    </message>
    <message>
        <source>エラー</source>
        <translation>Error</translation>
    </message>
    <message>
        <source>読み込めません: %1</source>
        <translation>Cannot be loaded: %1</translation>
    </message>
    <message>
        <source>フォルダが見つかりません（取り外されたディスク？）</source>
        <translation>Folder not found (a removed disk?)</translation>
    </message>
    <message>
        <source>ライブラリ</source>
        <translation>Library</translation>
    </message>
    <message>
        <source>検索（例: 夜空  module:gs  length:&lt;3:00  has:lyrics）</source>
        <translation>Search (e.g. night  module:gs  length:&lt;3:00  has:lyrics)</translation>
    </message>
    <message>
        <source>フォルダを走査</source>
        <translation>Scan Folders</translation>
    </message>
    <message>
        <source>中止</source>
        <translation>Stop</translation>
    </message>
    <message>
        <source>%1曲以上</source>
        <translation>%1+ songs</translation>
    </message>
    <message>
        <source>%1曲</source>
        <translation>%1 songs</translation>
    </message>
    <message>
        <source>再生</source>
        <translation>Play</translation>
    </message>
    <message>
        <source>再生リストに追加</source>
        <translation>Add to Play List</translation>
    </message>
    <message>
        <source>お気に入りに追加</source>
        <translation>Add to Favorites</translation>
    </message>
    <message>
        <source>フォルダを開く</source>
        <translation>Open Folder</translation>
    </message>
    <message>
        <source>フォルダを調べています…</source>
        <translation>Looking through the folders…</translation>
    </message>
    <message>
        <source>%1曲を読み込みました（エラー %2、削除 %3）</source>
        <translation>%1 songs read (%2 errors, %3 removed)</translation>
    </message>
    <message>
        <source>走査中 %1 / %2</source>
        <translation>Scanning %1 / %2</translation>
    </message>
    <message>
        <source>ライブラリに加えるフォルダ</source>
        <translation>Folder to add to the library</translation>
    </message>
    <message>
        <source>設定の「ライブラリ」ページで曲のあるフォルダを追加してください</source>
        <translation>Add folders with songs on the Library page of the settings</translation>
    </message>
</context>
<context>
    <name>sonfara::dialogs::ListDialog</name>
    <message>
        <source>お気に入りの整理 - Sonfara</source>
        <translation>Organize Favorites - Sonfara</translation>
    </message>
    <message>
        <source>整理するファイルを選び、処理内容を選択してください</source>
        <translation>Choose a file, then what to do with it</translation>
    </message>
    <message>
        <source>編集</source>
        <translation>Edit</translation>
    </message>
    <message>
        <source>再生リストの整理 - Sonfara</source>
        <translation>Organize Play List - Sonfara</translation>
    </message>
    <message>
        <source>リストからファイルを選び、処理内容を選んでください</source>
        <translation>Choose a file from the list, then what to do with it</translation>
    </message>
    <message>
        <source>再生</source>
        <translation>Play</translation>
    </message>
    <message>
        <source>削除</source>
        <translation>Delete</translation>
    </message>
    <message>
        <source>閉じる</source>
        <translation>Close</translation>
    </message>
    <message>
        <source>&quot;%1&quot;<byte value="xd"/>のタイトル名を変更します<byte value="xd"/><byte value="xd"/>新しいタイトル名を入力してください</source>
        <translation>Rename &quot;%1&quot;<byte value="xd"/><byte value="xd"/>Enter the new title</translation>
    </message>
    <message>
        <source>現在開いているファイルは削除できません</source>
        <translation>The file that is open now cannot be deleted</translation>
    </message>
    <message>
        <source>タイトル名に次の文字は使えません<byte value="xd"/>\ / : * ? &quot; &lt; &gt; |</source>
        <translation>A title cannot contain these characters:<byte value="xd"/>\ / : * ? &quot; &lt; &gt; |</translation>
    </message>
</context>
<context>
    <name>sonfara::dialogs::LyricsWindow</name>
    <message>
        <source>歌詞</source>
        <translation>Lyrics</translation>
    </message>
    <message>
        <source>この曲には歌詞がありません</source>
        <translation>This song has no lyrics</translation>
    </message>
</context>
<context>
    <name>sonfara::dialogs::SettingsDialog</name>
    <message>
        <source>.MID    - 標準SMFファイル</source>
        <translation>.MID    - Standard MIDI File</translation>
    </message>
    <message>
        <source>.RMI    - RIFFヘッダ付加SMFファイル</source>
        <translation>.RMI    - SMF with a RIFF header</translation>
    </message>
    <message>
        <source>.RCP    - レコンポーザ形式ファイル</source>
        <translation>.RCP    - Recomposer file</translation>
    </message>
    <message>
        <source>.R18    - レコンポーザ形式ファイル</source>
        <translation>.R18    - Recomposer file</translation>
    </message>
    <message>
        <source>.R36    - レコンポーザ形式ファイル</source>
        <translation>.R36    - Recomposer file</translation>
    </message>
    <message>
        <source>.G18    - レコンポーザ形式ファイル</source>
        <translation>.G18    - Recomposer file</translation>
    </message>
    <message>
        <source>.G36    - レコンポーザ形式ファイル</source>
        <translation>.G36    - Recomposer file</translation>
    </message>
    <message>
        <source>.MLT    - MIDIリストファイル</source>
        <translation>.MLT    - MIDI list file</translation>
    </message>
    <message>
        <source>.LMD    - 圧縮MIDIファイル(LHA)</source>
        <translation>.LMD    - Compressed MIDI (LHA)</translation>
    </message>
    <message>
        <source>.ZMD    - 圧縮MIDIファイル(ZIP)</source>
        <translation>.ZMD    - Compressed MIDI (ZIP)</translation>
    </message>
    <message>
        <source>最高</source>
        <translation>Highest</translation>
    </message>
    <message>
        <source>高</source>
        <translation>High</translation>
    </message>
    <message>
        <source>やや高</source>
        <translation>Above normal</translation>
    </message>
    <message>
        <source>標準</source>
        <translation>Normal</translation>
    </message>
    <message>
        <source>やや低</source>
        <translation>Below normal</translation>
    </message>
    <message>
        <source>タスクトレイ</source>
        <translation>System tray</translation>
    </message>
    <message>
        <source>タスクバー</source>
        <translation>Taskbar</translation>
    </message>
    <message>
        <source>タスクトレイ＋タスクバー</source>
        <translation>Tray and taskbar</translation>
    </message>
    <message>
        <source>中</source>
        <translation>Medium</translation>
    </message>
    <message>
        <source>低</source>
        <translation>Low</translation>
    </message>
    <message>
        <source>演奏用マルチメディアタイマー割り込み周期</source>
        <translation>Playback timer period</translation>
    </message>
    <message>
        <source>一般描画更新間隔</source>
        <translation>Drawing interval</translation>
    </message>
    <message>
        <source>WRD描画更新間隔</source>
        <translation>WRD drawing interval</translation>
    </message>
    <message>
        <source>ミリ秒</source>
        <translation>ms</translation>
    </message>
    <message>
        <source>演奏</source>
        <translation>Playback</translation>
    </message>
    <message>
        <source>描画</source>
        <translation>Drawing</translation>
    </message>
    <message>
        <source>関連付け</source>
        <translation>File Types</translation>
    </message>
    <message>
        <source>動作</source>
        <translation>Behavior</translation>
    </message>
    <message>
        <source>MIDIエミュレート</source>
        <translation>MIDI Emulation</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>適用(&amp;A)</source>
        <translation>&amp;Apply</translation>
    </message>
    <message>
        <source>キャンセル</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>簡易デルタタイム計算法の使用</source>
        <translation>Use simple delta-time calculation</translation>
    </message>
    <message>
        <source>シンセサイザーのバッファ</source>
        <translation>Synthesizer buffer</translation>
    </message>
    <message>
        <source>フレーム</source>
        <translation>frames</translation>
    </message>
    <message>
        <source>WRDファイルが存在した場合、演奏開始時にWRDウィンドウを表示する</source>
        <translation>Show the WRD window when a song with a WRD file starts</translation>
    </message>
    <message>
        <source>すべて選択</source>
        <translation>Select All</translation>
    </message>
    <message>
        <source>すべて選択解除</source>
        <translation>Select None</translation>
    </message>
    <message>
        <source>デスクトップにショートカットを作成</source>
        <translation>Create Desktop Shortcut</translation>
    </message>
    <message>
        <source>&quot;送る&quot;にショートカットを作成</source>
        <translation>Add to &quot;Open With&quot;</translation>
    </message>
    <message>
        <source>ファイルマネージャーの「別のアプリケーションで開く」に追加します</source>
        <translation>Adds Sonfara to the file manager&apos;s &quot;Open With&quot; list</translation>
    </message>
    <message>
        <source>優先度</source>
        <translation>Priority</translation>
    </message>
    <message>
        <source>最小化時格納場所設定</source>
        <translation>When minimized, show in</translation>
    </message>
    <message>
        <source>制御をOSに渡す頻度</source>
        <translation>How often to yield to the system</translation>
    </message>
    <message>
        <source>常駐機能を無効にする</source>
        <translation>Disable staying resident</translation>
    </message>
    <message>
        <source>SSTPを使用する</source>
        <translation>Use SSTP</translation>
    </message>
    <message>
        <source>次回の起動から有効になります</source>
        <translation>Takes effect at the next start</translation>
    </message>
    <message>
        <source>ファイルの文字コード</source>
        <translation>Text encoding of files</translation>
    </message>
    <message>
        <source>自動</source>
        <translation>Automatic</translation>
    </message>
    <message>
        <source>日本語 (CP932)</source>
        <translation>Japanese (CP932)</translation>
    </message>
    <message>
        <source>Unicode (UTF-8)</source>
        <translation>Unicode (UTF-8)</translation>
    </message>
    <message>
        <source>西欧 (CP1252)</source>
        <translation>Western (CP1252)</translation>
    </message>
    <message>
        <source>韓国語 (EUC-KR)</source>
        <translation>Korean (EUC-KR)</translation>
    </message>
    <message>
        <source>中国語簡体字 (GBK)</source>
        <translation>Chinese, Simplified (GBK)</translation>
    </message>
    <message>
        <source>中国語繁体字 (Big5)</source>
        <translation>Chinese, Traditional (Big5)</translation>
    </message>
    <message>
        <source>MIDI音源エミュレートを行う （SMFK32.DLLが必要）</source>
        <translation>Emulate a MIDI module (needs SMFK32.DLL)</translation>
    </message>
    <message>
        <source>Roland SCシリーズ用</source>
        <translation>For Roland SC series</translation>
    </message>
    <message>
        <source>YAMAHA XGシリーズ用</source>
        <translation>For YAMAHA XG series</translation>
    </message>
    <message>
        <source>参照</source>
        <translation>Browse</translation>
    </message>
    <message>
        <source>バンクセレクト例外処理をする</source>
        <translation>Handle bank select exceptions</translation>
    </message>
    <message>
        <source>リズムパートをトラック１０に統合する</source>
        <translation>Merge rhythm parts into track 10</translation>
    </message>
    <message>
        <source>%1には%2から%3までの整数（ミリ秒）を入力してください</source>
        <translation>%1: enter a whole number of milliseconds from %2 to %3</translation>
    </message>
    <message>
        <source>Sonfara - 設定</source>
        <translation>Sonfara - Settings</translation>
    </message>
    <message>
        <source>SMFナイフコンフィグファイルの指定</source>
        <translation>Choose the SMF Knife Configuration File</translation>
    </message>
    <message>
        <source>SMFナイフコンフィグ(*.cfg)</source>
        <translation>SMF Knife configuration (*.cfg)</translation>
    </message>
    <message>
        <source>ショートカットを作成できませんでした</source>
        <translation>Could not create the shortcut</translation>
    </message>
    <message>
        <source>ライブラリ</source>
        <translation>Library</translation>
    </message>
</context>
<context>
    <name>sonfara::dialogs::VersionWindow</name>
    <message>
        <source>バージョン情報 - Sonfara</source>
        <translation>About Sonfara</translation>
    </message>
</context>
<context>
    <name>sonfara::panels::InstrumentMenu</name>
    <message>
        <source>ピアノ</source>
        <translation>Piano</translation>
    </message>
    <message>
        <source>メロディ</source>
        <translation>Chromatic Percussion</translation>
    </message>
    <message>
        <source>オルガン</source>
        <translation>Organ</translation>
    </message>
    <message>
        <source>ギター</source>
        <translation>Guitar</translation>
    </message>
    <message>
        <source>ベース</source>
        <translation>Bass</translation>
    </message>
    <message>
        <source>弦楽器</source>
        <translation>Strings</translation>
    </message>
    <message>
        <source>アンサンブル</source>
        <translation>Ensemble</translation>
    </message>
    <message>
        <source>金管楽器</source>
        <translation>Brass</translation>
    </message>
    <message>
        <source>リード楽器</source>
        <translation>Reed</translation>
    </message>
    <message>
        <source>管楽器</source>
        <translation>Pipe</translation>
    </message>
    <message>
        <source>シンセリード</source>
        <translation>Synth Lead</translation>
    </message>
    <message>
        <source>シンセパッド</source>
        <translation>Synth Pad</translation>
    </message>
    <message>
        <source>シンセエフェクト</source>
        <translation>Synth Effects</translation>
    </message>
    <message>
        <source>民族楽器</source>
        <translation>Ethnic</translation>
    </message>
    <message>
        <source>パーカッション</source>
        <translation>Percussive</translation>
    </message>
    <message>
        <source>サウンドエフェクト</source>
        <translation>Sound Effects</translation>
    </message>
    <message>
        <source>Track%1 演奏楽器変更</source>
        <translation>Track %1 Instrument</translation>
    </message>
    <message>
        <source>GM規格</source>
        <translation>GM Instruments</translation>
    </message>
    <message>
        <source>(パーカッション)</source>
        <translation> (Percussion)</translation>
    </message>
</context>
<context>
    <name>sonfara::panels::TrackMenu</name>
    <message>
        <source>トラック</source>
        <translation>Track</translation>
    </message>
    <message>
        <source>イベントウィンドウトラック</source>
        <translation>Event Window Track</translation>
    </message>
    <message>
        <source>トラック %1～%2</source>
        <translation>Tracks %1–%2</translation>
    </message>
</context>
<context>
    <name>sonfara::shell::ControlWindow</name>
    <message>
        <source>読み込み中…</source>
        <translation>Loading…</translation>
    </message>
</context>
</TS>
