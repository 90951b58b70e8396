<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="ja_JP" sourcelanguage="en">
<context>
    <name>qb::PrintJob</name>
    <message>
        <source>Print %1 × %2 mm – 1 page</source>
        <translation>印刷 %1 × %2 mm – 1 ページ</translation>
    </message>
    <message>
        <source>Print %1 × %2 mm – %3 pages</source>
        <translation>印刷 %1 × %2 mm – %3 ページ</translation>
    </message>
    <message>
        <source>no page arrived: nothing was printed</source>
        <translation>ページが届かなかったため、何も印刷されませんでした</translation>
    </message>
    <message>
        <source>no printer is set up</source>
        <translation>プリンターが設定されていません</translation>
    </message>
    <message>
        <source>cancelled in the print dialog</source>
        <translation>印刷ダイアログで取り消されました</translation>
    </message>
    <message>
        <source>the document to print could not be written</source>
        <translation>印刷する文書を書き出せませんでした</translation>
    </message>
    <message>
        <source>the pages could not be drawn</source>
        <translation>ページを描画できませんでした</translation>
    </message>
</context>
<context>
    <name>qb::SaveDocument</name>
    <message>
        <source>PDF document (*.pdf)</source>
        <translation>PDF 文書 (*.pdf)</translation>
    </message>
    <message>
        <source>Label document (*.qx3)</source>
        <translation>ラベル文書 (*.qx3)</translation>
    </message>
    <message>
        <source>All files (*)</source>
        <translation>すべてのファイル (*)</translation>
    </message>
    <message>
        <source>Save PDF document</source>
        <translation>PDF 文書を保存</translation>
    </message>
    <message>
        <source>Save label document</source>
        <translation>ラベル文書を保存</translation>
    </message>
    <message>
        <source>Save PDF document “%1”</source>
        <translation>PDF 文書「%1」を保存</translation>
    </message>
    <message>
        <source>Save label document “%1”</source>
        <translation>ラベル文書「%1」を保存</translation>
    </message>
</context>
<context>
    <name>OriginPrompt</name>
    <message>
        <source>Allow %1 to use the label server on this computer?</source>
        <translation>%1 にこのコンピューターのラベルサーバーの使用を許可しますか?</translation>
    </message>
    <message>
        <source>If you allow it, this site may print, save files and read the label catalogue on this computer. Your answer is remembered; you can take it back in the label server&apos;s status window or with the command quillbox-server --forget-site %1</source>
        <translation>許可すると、このサイトはこのコンピューターで印刷、ファイルの保存、ラベルカタログの読み込みができます。回答は記憶されます。ラベルサーバーの状態ウィンドウ、またはコマンド quillbox-server --forget-site %1 で取り消せます。</translation>
    </message>
    <message>
        <source>Label server</source>
        <translation>ラベルサーバー</translation>
    </message>
    <message>
        <source>&amp;Allow</source>
        <translation>許可(&amp;A)</translation>
    </message>
    <message>
        <source>&amp;Deny</source>
        <translation>拒否(&amp;D)</translation>
    </message>
    <message>
        <source>Do&amp;n&apos;t ask again</source>
        <translation>今後は確認しない(&amp;N)</translation>
    </message>
</context>
<context>
    <name>StatusWindow</name>
    <message>
        <source>Quillbox label server</source>
        <translation>Quillbox ラベルサーバー</translation>
    </message>
    <message>
        <source>Server</source>
        <translation>サーバー</translation>
    </message>
    <message>
        <source>Catalogue</source>
        <translation>カタログ</translation>
    </message>
    <message>
        <source>Printers</source>
        <translation>プリンター</translation>
    </message>
    <message>
        <source>Sites</source>
        <translation>サイト</translation>
    </message>
    <message>
        <source>Recent prints</source>
        <translation>最近の印刷</translation>
    </message>
    <message>
        <source>Open log</source>
        <translation>ログを開く</translation>
    </message>
    <message>
        <source>Quit</source>
        <translation>終了</translation>
    </message>
    <message>
        <source>Listening:</source>
        <translation>待ち受け:</translation>
    </message>
    <message>
        <source>Running for:</source>
        <translation>稼働時間:</translation>
    </message>
    <message>
        <source>Dialogs:</source>
        <translation>ダイアログ:</translation>
    </message>
    <message>
        <source>Version:</source>
        <translation>バージョン:</translation>
    </message>
    <message>
        <source>Last update:</source>
        <translation>前回の更新:</translation>
    </message>
    <message>
        <source>Update progress</source>
        <translation>更新の進行状況</translation>
    </message>
    <message>
        <source>Update now</source>
        <translation>今すぐ更新</translation>
    </message>
    <message>
        <source>Printer</source>
        <translation>プリンター</translation>
    </message>
    <message>
        <source>State</source>
        <translation>状態</translation>
    </message>
    <message>
        <source>Reasons</source>
        <translation>理由</translation>
    </message>
    <message>
        <source>Printer remembered for each sheet size:</source>
        <translation>用紙サイズごとに記憶したプリンター:</translation>
    </message>
    <message>
        <source>Sheet size</source>
        <translation>用紙サイズ</translation>
    </message>
    <message>
        <source>Remembered printers</source>
        <translation>記憶したプリンター</translation>
    </message>
    <message>
        <source>Forget printer</source>
        <translation>プリンターを忘れる</translation>
    </message>
    <message>
        <source>Site</source>
        <translation>サイト</translation>
    </message>
    <message>
        <source>Answer</source>
        <translation>回答</translation>
    </message>
    <message>
        <source>Kept in</source>
        <translation>保存先</translation>
    </message>
    <message>
        <source>Remove site</source>
        <translation>サイトを削除</translation>
    </message>
    <message>
        <source>Switch allow/deny</source>
        <translation>許可/拒否を切り替え</translation>
    </message>
    <message>
        <source>Time</source>
        <translation>時刻</translation>
    </message>
    <message>
        <source>Session</source>
        <translation>セッション</translation>
    </message>
    <message>
        <source>Sheet</source>
        <translation>用紙</translation>
    </message>
    <message>
        <source>Pages</source>
        <translation>ページ</translation>
    </message>
    <message>
        <source>Outcome</source>
        <translation>結果</translation>
    </message>
    <message>
        <source>stopped</source>
        <translation>停止中</translation>
    </message>
    <message>
        <source>printing</source>
        <translation>印刷中</translation>
    </message>
    <message>
        <source>idle</source>
        <translation>待機中</translation>
    </message>
    <message>
        <source>, refusing jobs</source>
        <translation>、ジョブを受け付けていません</translation>
    </message>
    <message>
        <source>not listening (port %1 cannot be bound; see the log)</source>
        <translation>待ち受けていません (ポート %1 を使用できません。ログを参照してください)</translation>
    </message>
    <message>
        <source>none: headless</source>
        <translation>なし: ヘッドレス</translation>
    </message>
    <message>
        <source>shown on %1</source>
        <translation>%1 に表示</translation>
    </message>
    <message>
        <source>Updating: %1 downloads waiting</source>
        <translation>更新中: 残りのダウンロード %1 件</translation>
    </message>
    <message>
        <source>%1 and %2</source>
        <translation>%1 と %2</translation>
    </message>
    <message>
        <source>%1 port %2</source>
        <translation>%1 のポート %2</translation>
    </message>
    <message>
        <source>port %1 through the port broker at %2 (registered)</source>
        <translation>ポートブローカー %2 経由のポート %1 (登録済み)</translation>
    </message>
    <message>
        <source>port %1 through the port broker at %2 (waiting: another server of this user is registered)</source>
        <translation>ポートブローカー %2 経由のポート %1 (待機中: このユーザーの別のサーバーが登録されています)</translation>
    </message>
    <message>
        <source>none</source>
        <translation>なし</translation>
    </message>
    <message>
        <source>none yet</source>
        <translation>まだありません</translation>
    </message>
    <message>
        <source>none recorded</source>
        <translation>記録なし</translation>
    </message>
    <message>
        <source>%1 (failed: see the log)</source>
        <translation>%1 (失敗: ログを参照してください)</translation>
    </message>
    <message>
        <source>%1 (default)</source>
        <translation>%1 (既定)</translation>
    </message>
    <message>
        <source>the printers cannot be read</source>
        <translation>プリンターの情報を読み取れません</translation>
    </message>
    <message>
        <source>no printer is set up</source>
        <translation>プリンターが設定されていません</translation>
    </message>
    <message>
        <source>allowed</source>
        <translation>許可</translation>
    </message>
    <message>
        <source>denied</source>
        <translation>拒否</translation>
    </message>
    <message>
        <source>answer to the question (%1)</source>
        <translation>確認への回答 (%1)</translation>
    </message>
    <message>
        <source>your settings (%1)</source>
        <translation>ユーザー設定 (%1)</translation>
    </message>
    <message>
        <source>system settings, read-only (%1)</source>
        <translation>システム設定、読み取り専用 (%1)</translation>
    </message>
    <message>
        <source>The site could not be changed.</source>
        <translation>サイトを変更できませんでした。</translation>
    </message>
    <message>
        <source>The printer could not be forgotten.</source>
        <translation>プリンターを忘れることができませんでした。</translation>
    </message>
    <message>
        <source>The log could not be opened.</source>
        <translation>ログを開けませんでした。</translation>
    </message>
    <message>
        <source>This server keeps no log file: its log goes to the terminal or session that started it.</source>
        <translation>このサーバーはログファイルを作成しません。ログはサーバーを起動した端末またはセッションに出力されます。</translation>
    </message>
</context>
<context>
    <name>TrayIcon</name>
    <message>
        <source>&amp;Show</source>
        <translation>表示(&amp;S)</translation>
    </message>
    <message>
        <source>&amp;Update catalogue</source>
        <translation>カタログを更新(&amp;U)</translation>
    </message>
    <message>
        <source>&amp;Quit</source>
        <translation>終了(&amp;Q)</translation>
    </message>
    <message>
        <source>Quillbox label server: updating the catalogue</source>
        <translation>Quillbox ラベルサーバー: カタログを更新中</translation>
    </message>
    <message>
        <source>Quillbox label server: the last catalogue update failed</source>
        <translation>Quillbox ラベルサーバー: 前回のカタログ更新に失敗しました</translation>
    </message>
    <message>
        <source>Quillbox label server: the default printer %1 is stopped</source>
        <translation>Quillbox ラベルサーバー: 既定のプリンター %1 が停止しています</translation>
    </message>
    <message>
        <source>Quillbox label server: idle</source>
        <translation>Quillbox ラベルサーバー: 待機中</translation>
    </message>
</context>
<context>
    <name>qb::PrintOutcome</name>
    <message>
        <source>Label not printed</source>
        <translation>ラベルは印刷されませんでした</translation>
    </message>
    <message>
        <source>%1 %2 (%3)</source>
        <translation>%1 は%2 (%3)</translation>
    </message>
</context>
<context>
    <name>qb::CupsStateMap</name>
    <message>
        <source>is out of labels</source>
        <translation>ラベル切れです</translation>
    </message>
    <message>
        <source>has a label jam</source>
        <translation>ラベルが詰まっています</translation>
    </message>
    <message>
        <source>is offline</source>
        <translation>オフラインです</translation>
    </message>
    <message>
        <source>is paused</source>
        <translation>一時停止中です</translation>
    </message>
    <message>
        <source>is open</source>
        <translation>カバーが開いています</translation>
    </message>
    <message>
        <source>is out of ink or toner</source>
        <translation>インクまたはトナー切れです</translation>
    </message>
    <message>
        <source>needs attention</source>
        <translation>確認が必要です</translation>
    </message>
    <message>
        <source>%1 stopped the job</source>
        <translation>%1 がジョブを停止しました</translation>
    </message>
    <message>
        <source>the job was cancelled on %1</source>
        <translation>%1 でジョブが取り消されました</translation>
    </message>
    <message>
        <source>%1 aborted the job</source>
        <translation>%1 がジョブを中止しました</translation>
    </message>
</context>
<context>
    <name>qb::PrintJobStatus</name>
    <message>
        <source>state unknown: %1</source>
        <translation>状態不明: %1</translation>
    </message>
</context>
<context>
    <name>qb::CPrintMgr</name>
    <message>
        <source>the page stopped sending it: nothing was printed</source>
        <translation>ページからの送信が止まったため、何も印刷されませんでした</translation>
    </message>
</context>
<context>
    <name>qb::DesktopControl</name>
    <message>
        <source>the server stopped before it was printed</source>
        <translation>印刷される前にサーバーが停止しました</translation>
    </message>
</context>
</TS>
