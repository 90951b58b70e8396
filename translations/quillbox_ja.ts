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
        <source>If you allow it, this site may print, save files and read the label catalogue on this computer. Your answer is remembered; you can take it back with the command quillbox-server --forget-site %1</source>
        <translation>許可すると、このサイトはこのコンピューターで印刷、ファイルの保存、ラベルカタログの読み込みができます。回答は記憶されます。コマンド quillbox-server --forget-site %1 で取り消せます。</translation>
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
</TS>
