#pragma once
// The window's own texts for the user, in one place: rewording one changes nothing else.
namespace dvo::app {

// The status bar through a search.
inline constexpr const char* kStatusStarting = "検索を開始します.";
inline constexpr const char* kStatusAddingFolder = "検索ディレクトリを指定しています...";
inline constexpr const char* kStatusSearching = "ファイルを検索しています...";
inline constexpr const char* kStatusBuildingTree = "フォルダツリーを作成しています...";
inline constexpr const char* kStatusFinished = "検索を終了しました";
inline constexpr const char* kStatusCancelled = "検索をキャンセルしました（途中までの結果です）";
inline constexpr const char* kStatusFailed = "検索できませんでした";
inline constexpr const char* kStatusStoppedShort = "検索を途中で終えました（途中までの結果です）";
// The status bar and the boxes through a rescan of one folder ("選択したフォルダを再検索").
inline constexpr const char* kStatusRescanning = "フォルダを再検索しています...";
inline constexpr const char* kStatusRescanFinished = "フォルダの再検索を終了しました";
inline constexpr const char* kStatusRescanCancelled =
    "フォルダの再検索をキャンセルしました（前の結果のままです）";
inline constexpr const char* kStatusRescanStoppedShort =
    "フォルダの再検索を途中で終えました（前の結果のままです）";
inline constexpr const char* kStatusRescanFailed = "フォルダを再検索できませんでした";
inline constexpr const char* kRescanGone = "フォルダが見つかりません。一覧から外しました。";
// After the totals of a cancelled search: they count only what was read.
inline constexpr const char* kPartialMark = "（途中まで）";

// The grid's column titles, the sort marks, and a size or time that is not known.
inline constexpr const char* kTitleName = "ファイル名";
inline constexpr const char* kTitleRatio = "比率(%)";
inline constexpr const char* kTitleSize = "サイズ";
inline constexpr const char* kTitleTime = "更新日時";
inline constexpr const char* kMarkAscending = "△";
inline constexpr const char* kMarkDescending = "▽";
inline constexpr const char* kUnknown = "不明";
// The grid's hint, shown in the status bar while the pointer is over the grid.
inline constexpr const char* kGridMenuHint = "右クリックでメニューを表示します";

// The delete question and what it adds when no trash can take the entry.
inline constexpr const char* kDeletePrefix = "ファイル：";
inline constexpr const char* kDeleteSuffix = " を削除しますか？";
inline constexpr const char* kNoTrashQuestion = "ゴミ箱に移動できません。完全に削除しますか？";
inline constexpr const char* kNoTrashFolderNote =
    "\nこのフォルダの中のファイルとフォルダもすべて完全に削除されます。";

// Results as files.
inline constexpr const char* kNoResultToExport = "エクスポートする検索結果がありません";
inline constexpr const char* kExportFailed = "エクスポートできませんでした。";
inline constexpr const char* kExported = "エクスポートしました: ";
inline constexpr const char* kOpenedResultCaption = "（開いた検索結果: ";
inline constexpr const char* kStatusOpenedResult = "検索結果を開きました";
inline constexpr const char* kOpenResultFailed = "検索結果を開けませんでした。";
inline constexpr const char* kListKindFolder = "フォルダ";
inline constexpr const char* kListKindFile = "ファイル";

} // namespace dvo::app
