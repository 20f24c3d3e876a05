#pragma once
// Every text the engine shows the user, in one place, so wording is changed here and nowhere
// else. The user reads them in Japanese; the C library describes any reason not listed here.
namespace dvo::texts {

// What could not be done: the start of a failure's message ("action: path: reason").
inline constexpr const char* kCannotTrash = "ゴミ箱に移動できません";
inline constexpr const char* kCannotDelete = "削除できません";
inline constexpr const char* kCannotCopy = "コピーできません";
inline constexpr const char* kCannotMove = "移動できません";
inline constexpr const char* kCannotOperate = "操作できません";
inline constexpr const char* kCannotShow = "表示できません";
inline constexpr const char* kCannotOpen = "開けません";
inline constexpr const char* kCannotPrint = "印刷できません";
inline constexpr const char* kCannotShowProperties = "プロパティを表示できません";

// Reasons for an errno value (see ErrorTable.h).
inline constexpr const char* kAccessDenied = "アクセスが拒否されました";
inline constexpr const char* kReadOnlyFileSystem = "読み取り専用のファイルシステムです";
inline constexpr const char* kNotFound = "見つかりません";
inline constexpr const char* kNameTaken = "同じ名前の項目がすでにあります";
inline constexpr const char* kNoSpace = "ディスクの空き領域が足りません";
inline constexpr const char* kQuotaExceeded = "ディスク使用量の上限を超えています";
inline constexpr const char* kInUse = "使用中です";
inline constexpr const char* kNameTooLong = "名前が長すぎます";
inline constexpr const char* kIsLink = "シンボリックリンクです";
inline constexpr const char* kIoError = "入出力エラーが起きました";
inline constexpr const char* kNotAFolder = "フォルダーではありません";
inline constexpr const char* kReplaced = "検索の後で別のものに置き換えられています";
inline constexpr const char* kCancelled = "キャンセルされました";
inline constexpr const char* kTooManyOpenFiles = "開いているファイルが多すぎます";
inline constexpr const char* kErrorNumber = "エラー "; // followed by the errno value

// Reasons of the file operations themselves.
inline constexpr const char* kReplacedSearchAgain =
    "検索の後で別のものに置き換えられています。もう一度検索してください";
inline constexpr const char* kBadName = "名前が正しくありません";
inline constexpr const char* kMountPoint = "マウントポイントです";
inline constexpr const char* kOtherFileSystem =
    "別のファイルシステム（マウントポイント）には立ち入りません";
inline constexpr const char* kIntoItself = "フォルダーをそれ自身の中にはコピー・移動できません";
inline constexpr const char* kAttributePrefix = "拡張属性 ";       // then the attribute's name
inline constexpr const char* kAttributeSuffix = " を保てません: "; // then the reason
inline constexpr const char* kChangedDuringMove = "移動中に変更されたため、元の場所に残しました";
inline constexpr const char* kNoDestination = "行き先のフォルダーが指定されていません";
inline constexpr const char* kDestinationMissing = "行き先のフォルダーがありません";
inline constexpr const char* kFolderUnknown = "フォルダーの場所がわかりません";
inline constexpr const char* kNoTrashHere =
    "このファイルシステムには使えるゴミ箱がありません（何も削除していません）";
inline constexpr const char* kNoTrashLocation =
    "ゴミ箱の場所がわかりません（XDG_DATA_HOME も HOME も使えません）。何も削除していません";
inline constexpr const char* kTrashPrefix = "ゴミ箱 ";           // then the trash folder
inline constexpr const char* kTrashUnusable = " を使えません: "; // then the reason
inline constexpr const char* kCommandPrefix = "コマンド ";       // then the command
inline constexpr const char* kNotInstalled = " がインストールされていません";
inline constexpr const char* kOpNumberPrefix = "操作の番号 "; // then the number
inline constexpr const char* kOpNumberUnusable = " は使えません";
inline constexpr const char* kPrintFilesOnly = "印刷できるのはファイルだけです";

// Reasons the library's entry points give before an operation starts.
inline constexpr const char* kNoNameOrFolder = ": 名前またはフォルダーがありません";
inline constexpr const char* kBadNamePrefix = ": 名前が正しくありません: "; // then the name
inline constexpr const char* kNotInLastSearch = ": 最後の検索の結果にありません";
inline constexpr const char* kSearching = ": 検索中です";
inline constexpr const char* kNoEngine = ": エンジンが初期化されていません";
inline constexpr const char* kOpenedResult = ": ファイルから開いた検索結果です";
inline constexpr const char* kNoMemory = ": メモリが足りません";
inline constexpr const char* kNoCopyTarget = ": コピー先がありません";
inline constexpr const char* kNoMoveTarget = ": 移動先がありません";

// Given when memory or threads ran out inside the engine.
inline constexpr const char* kOutOfResources =
    "メモリまたはスレッドが足りないため、処理を中断しました";
// Given when a search stopped where its records would not have fitted in memory.
inline constexpr const char* kRecordBudget =
    "フォルダの階層が深すぎるため、メモリに収まる所までで検索を終えました";

} // namespace dvo::texts
