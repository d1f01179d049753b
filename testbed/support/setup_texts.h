// What Setup shows, as its tests look for it: the titles of its pages and
// dialogs (its resources), the captions the shipped script gives its runs,
// and the message that ends a cancelled run.
#pragma once

namespace setuptext {

const char kWelcomeTitle[] = "セットアップの開始";
const char kSelectionTitle[] = "セットアップの選択";
const char kFolderTitle[] = "インストール先のフォルダの指定";
const char kStartMenuTitle[] = "スタートメニューへの登録確認";
const char kInstallConfirmTitle[] = "インストールの確認";
const char kUninstallConfirmTitle[] = "アンインストールの確認";
const char kInstallDoneTitle[] = "インストールの終了";
const char kUninstallDoneTitle[] = "アンインストールの終了";
const char kProgressTitle[] = "セットアップの進行状況";
const char kRunningTitle[] = "動作中のアプリケーションの終了";

// The captions of the shipped script's install and uninstall runs.
const char kInstallCaption[] = "KOPIWA セットアップ";
const char kUninstallCaption[] = "KOPIWA セットアップ (アンインストール)";

const char kAbortText[] = "セットアップを中止します。";

}  // namespace setuptext
