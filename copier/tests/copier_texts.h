// The copier's texts as the tests expect to read them (code page 932).
#pragma once

namespace texts {

const char kDialogTitle[] = "KOPIWA";
const char kAboutTitle[] = "KOPIWAのバージョン情報";
const char kAboutMenu[] = "KOPIWAのバージョン情報 (&A)...";
const char kWrongWindows[] =
    "KOPIWAは、現在のWindowsでは動作しません。\nWindows 95/98、Windows NT 4.0で使用してください。";
const char kReady[] = "[ｺﾋﾟｰ]ﾎﾞﾀﾝを押すと、ｺﾋﾟ-できます。";
const char kScanning[] = "ｽｷｬﾝ中です。しばらくお待ちください...";
const char kPrinting[] = "印刷中です。しばらくお待ちください...";
const char kNotAnInteger[] = "整数を入力してください。";
const char kScaleRange[] = "25 から 400 までの整数を入力してください。";
const char kHelpFailed[] = "ﾍﾙﾌﾟの起動に失敗しました。";
const char kImageUnusable[] =
    "ｽｷｬﾅから受け取った画像は、\n印刷できない形式です。\nｽｷｬﾅの設定を確認して、\nもう一度試してみてください。";
const char kPrintNotStarted[] = "印刷を開始できませんでした。";
const char kPrintNoMemory[] =
    "ﾒﾓﾘ不足のため、印刷できませんでした。\nｽｷｬﾝ設定を変えて、もう一度試してみてください。";

}  // namespace texts
