// The program's user-visible messages. Sources are UTF-8; the Windows build turns these
// literals into code page 932 bytes, the command-line tool prints them as UTF-8.
// Portable: no platform headers.
#pragma once

// File commands.
inline constexpr char kCannotOpenText[] = "ファイルが開けません";
inline constexpr char kTooLargeText[] = "ファイルが大きすぎです";
inline constexpr char kCannotOverwriteText[] = "上書き保存できません";
inline constexpr char kCannotSaveText[] = "保存できません";
// Save of a document under a name that is neither .bmp nor .png, when it came from an image of
// another kind; and of a document PNG cannot hold.
inline constexpr char kSaveAsBmpOrPngText[] =
    "この形式では保存できません\n名前を付けて保存で、拡張子を .png か .bmp にしてください";
inline constexpr char kCannotWritePngText[] =
    "この画像はPNGで保存できません\n変換してから保存するか、.bmp で保存してください";
inline constexpr char kWriteFailedText[] = "書き込みに失敗しました";
inline constexpr char kCannotReadText[] = "ファイルが読めません";
inline constexpr char kNoMemoryText[] = "メモリが足りません";
inline constexpr char kOperationFailedText[] = "処理を続けられませんでした";
inline constexpr char kNameTooLongText[] = "ファイル名が長すぎます";
inline constexpr char kSafetyCopyBlockedText[] =
    "一時ファイル(.tmp)が既にあるか作れないため、上書きできません";
inline constexpr char kSafetyCopyLeftText[] =
    "保存しましたが、元のファイルの控えを削除できませんでした：";
// The view and the clipboard.
inline constexpr char kUntitledName[] = "無題";

// Animations (GIF files of several frames): more frames than the program holds; a command that
// takes the frame shown only (OK goes on, the other frames dropped); saving the frame shown as
// PNG or BMP; a GIF of frames not yet converted.
inline constexpr char kAnimationTooLargeText[] =
    "アニメーションが大きすぎるため開けません\n（全コマ合わせて6,700万画素、10,000コマまで）";
inline constexpr char kFrameShownOnlyText[] =
    "アニメーションの表示中のコマだけを変換します\nほかのコマは外れます";
inline constexpr char kFrameShownSavedText[] = "PNGとBMPには表示中のコマだけを保存します";
inline constexpr char kGifNeedsIndexedText[] = "GIFで保存できるのは8ビットの画像だけです\n誤差拡散"
                                               "（高画質）か補完無しで変換してから保存してください";
inline constexpr char kNoComparisonText[] = "元の画像を残すメモリが足りないため、比較できません";
inline constexpr char kNoClipboardImageText[] = "クリップボードに画像がありません";
inline constexpr char kCannotCopyText[] = "この画像はコピーできません";
inline constexpr char kClipboardBusyText[] = "クリップボードを使えません";
// Closing, opening, dropping, reloading or pasting over unsaved work: はい saves it first.
inline constexpr char kSaveChangesText[] = "変更を保存しますか？";
inline constexpr char kReleaseToLoadText[] =
    "メモリが足りません\n今の画像を破棄して読み込みますか？";
inline constexpr char kReadOnlyNotOpenedText[] =
    "読み取り専用のファイルは開きません\n（オプション「Readonlyはさわらない」）";

// An image that was loaded but cannot be shown, and why.
inline constexpr char kEmptyFileText[] = "ファイルが空のため表示できません";
inline constexpr char kNotBitmapText[] = "BMPファイルではないため表示できません";
inline constexpr char kCutShortText[] = "ファイルが途中で切れているため表示できません";
inline constexpr char kCannotShowLayoutText[] = "この形式のBMPは表示できません";
inline constexpr char kTooLargeToShowText[] = "画像が大きすぎるため表示できません";

// Conversions.
inline constexpr char kAlready256Text[] = "すでに２５６です";
inline constexpr char kTooManyColoursText[] = "２５６色以上使用しています";
inline constexpr char kUnsupportedLayoutText[] = "この形式のBMPは変換できません";
inline constexpr char kTruncatedImageText[] = "画像のデータが途中で切れているため変換できません";

// Error diffusion: the phase labels (3: the high-quality method's palette), the stage
// messages and the question of its command.
// 4: the frames of an animation, counted one by one.
inline constexpr const char* kPhaseLabels[5] = {"ビットマップ走査中", "パレット候補走査中",
                                                "ビットマップ変換中", "パレット作成中",
                                                "コマ変換中"};
inline constexpr char kFixedGroupText[] = "固定パレット ";
inline constexpr char kBasicGroupText[] = "基本パレット ";
inline constexpr char kFreeGroupText[] = "フリーパレット ";
inline constexpr char kPaletteCompleteText[] = "パレット完成";
inline constexpr char kFinishedText[] = "終わり";
inline constexpr char kUseFixedPaletteText[] = "固定パレットを使いますか？";

// Palette files and the settings store.
inline constexpr char kNoZExtensionText[] = "拡張子にzを使わないでください\nPALに変更しますか？";
inline constexpr char kOverwriteQuestionText[] = "上書きしますか？";
inline constexpr char kRegisterAndRestartText[] = "レジストリに登録します\n再起動してください";

// Error diffusion in the program.
inline constexpr char kConversionBusyText[] = "変換中です";
inline constexpr char kCannotStartConversionText[] = "変換を開始できません";
// 高画質の設定's ditherings, by their number (core/quantize/ditherings.h).
inline constexpr const char* kDitheringTexts[14] = {
    "誤差拡散（フロイド-スタインバーグ）",
    "網点（8×8）",
    "なし",
    "誤差拡散（アトキンソン）",
    "誤差拡散（シエラ）",
    "誤差拡散（シエラ2行）",
    "誤差拡散（シエラ・ライト）",
    "誤差拡散（ジャービス-ジュディス-ニンケ）",
    "誤差拡散（スタッキ）",
    "誤差拡散（バークス）",
    "網点（2×2）",
    "網点（4×4）",
    "網点（16×16）",
    "網点（ブルーノイズ）",
};
// 高画質の設定's qualities, fastest first.
inline constexpr const char* kEffortTexts[3] = {"速い", "標準", "最高"};
// 高画質の設定's channel depths, in the order of the settings' list of depths.
inline constexpr const char* kDepthTexts[7] = {
    "フル (8-8-8)",  "15-bit (5-5-5)", "16-bit (5-6-5)", "12-bit (4-4-4)",
    "9-bit (3-3-3)", "6-bit (2-2-2)",  "8-bit (3-3-2)",
};
// 高画質の設定's bits a pixel of a saved image, in the order of the settings' list of bits.
inline constexpr const char* kBitsTexts[5] = {"8", "4", "2", "1", "自動"};
// 高画質の設定's orders of the chosen entries, in quantize::EntryOrder's order.
inline constexpr const char* kOrderTexts[4] = {"そのまま", "頻度順", "明るさ順", "色相順"};
// What the palette dialog's 画像から did with 番号を保つ: the entries whose colour the image
// still has (their index kept), the entries freed, and the new colours placed.
inline constexpr char kKeptReportFormat[] = "番号を保った色 %d\n空いた番号 %d\n加えた色 %d";
// The status bar's units: the image's bits a pixel and its distinct colours.
inline constexpr char kStatusBitsText[] = "ビット";
inline constexpr char kStatusColoursText[] = "色";
// 未使用の色を削除 on an image that is not 8-bit.
inline constexpr char kCompactNot8BitText[] = "未使用の色を削除できるのは8ビットの画像だけです";
// 高画質の設定: a ビット数 that holds fewer colours than 色数.
inline constexpr char kColoursLoweredText[] = "ビット数に合わせて色数を下げました";
// 誤差拡散（高画質） with 色の深さ and a fixed colour off its grid: the run goes on.
inline constexpr char kFixedOffGridText[] =
    "固定パレットに色の深さにない色があります\nそのまま使います";
// 誤差拡散（高画質） with a 選択元パレット that cannot be used; the reason and the name follow.
inline constexpr char kFromListText[] = "選択元パレットを使えません";
// 高画質の設定: a number out of its field's range.
inline constexpr char kColoursRangeText[] = "色数は2～256で指定してください";
inline constexpr char kStrengthRangeText[] = "強さは0～100で指定してください";
// 誤差拡散（高画質） with the key colour on, but no fixed colour to be it.
// 誤差拡散（高画質） of an image with transparency, with 透明度を保つ on, and choices entries
// with alpha cannot have; and a result with alpha saved under another name than .png.
inline constexpr char kAlphaChoicesText[] =
    "透明度を保つ変換には、色の深さ、選択元パレット、誤差を線形光で拡散する、並び順、"
    "網点のディザは使えません\n高画質の設定で外すか、透明度を保つを外してください";
inline constexpr char kAlphaNeedsPngText[] =
    "透明度を保存できるのはPNGだけです（BMPにはありません）\n.png で保存してください"
    "（BMPで透過させるには、"
    "パレットの0番を透過色にして変換します）";
inline constexpr char kKeyNeedsFixedText[] =
    "透過色にはパレットの0番を使います\n固定パレットを使い、使用数を1以上にしてください";

// タイルの設定: the preset list's item for numbers of the user's own, and what is wrong with
// a tile rule (by tiles::ShapeProblem, Fine first, FixedColours told when タイル starts).
inline constexpr char kCustomTargetText[] = "カスタム";
inline constexpr const char* kShapeProblemTexts[7] = {
    "",
    "タイルの大きさは1～256で指定してください",
    "パレット数は1～256で指定してください",
    "色数/パレットは2～256で指定してください",
    "パレット数×色数/パレットは256以下にしてください",
    "共通色は0～色数/パレットで指定してください",
    "固定パレットの使用数は共通色以下にしてください",
};
