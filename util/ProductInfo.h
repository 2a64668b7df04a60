#pragma once
// The product's identity: shown to QML as PROD_UID / PROD_VER / PROD_VERID,
// sent to the update endpoint and used as the per-user data folder's name.

namespace ProductInfo {

constexpr const char *uid = "kalvinor_audio2text_win";
constexpr const char *version = "3.1.5";
constexpr int versionId = 5;

}
