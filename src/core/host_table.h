// The launcher's service table, handed to the plug-in at initialisation.
//
// 1. The host passes an array of at least 75 function pointers indexed by slot
//    number; the plug-in reads only the slots named here and never writes it.
// 2. Strings passed in are zero-terminated UTF-16. Strings returned by the host
//    stay owned by the host: the plug-in copies them at once and never frees them.
// 3. Every slot may be called from any thread of the plug-in.
// 4. Plain C: this header is shared with hosts written in any language.
#ifndef VARNEL_HOST_TABLE_H
#define VARNEL_HOST_TABLE_H

#include <windows.h>
#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#define TS_HOST_TABLE_SLOTS 75

/* Lowest host version (slot 0) the plug-in serves; also the value event 1 returns. */
#define TS_REQUIRED_HOST_VERSION 0x04020300u

typedef uint32_t (*TsGetHostVersion)(void);
typedef const wchar_t* (*TsGetSkinsFolder)(void);
typedef const wchar_t* (*TsGetCurrentSkin)(void);
typedef const wchar_t* (*TsGetSkinDisplayName)(const wchar_t* skin);
typedef int (*TsApplySkin)(const wchar_t* skin);
typedef int (*TsLoadLocalizedString)(HMODULE module, UINT stringId, wchar_t* buffer, int capacity);
typedef INT_PTR (*TsShowLocalizedDialog)(HMODULE module, UINT dialogId, HWND owner, DLGPROC proc,
                                         LPARAM param);
typedef int (*TsSetPluginCaption)(int32_t pluginId, const wchar_t* text);
typedef int (*TsWriteSettingInt)(int32_t pluginId, const wchar_t* section, const wchar_t* key,
                                 int32_t value);
typedef int (*TsWriteSettingString)(int32_t pluginId, const wchar_t* section, const wchar_t* key,
                                    const wchar_t* value);
typedef int32_t (*TsReadSettingInt)(int32_t pluginId, const wchar_t* section, const wchar_t* key,
                                    int32_t defaultValue);
typedef const wchar_t* (*TsReadSettingString)(int32_t pluginId, const wchar_t* section,
                                              const wchar_t* key);
typedef int (*TsCommitSettings)(int32_t pluginId);
typedef int (*TsSetItemParamInt)(uint32_t itemId, int32_t paramIndex, int32_t value);
typedef int (*TsSetItemParamString)(uint32_t itemId, int32_t paramIndex, const wchar_t* value);
typedef int32_t (*TsGetItemParamInt)(uint32_t itemId, int32_t paramIndex, int32_t defaultValue);
typedef const wchar_t* (*TsGetItemParamString)(uint32_t itemId, int32_t paramIndex);
typedef int (*TsDeleteSetting)(int32_t pluginId, const wchar_t* section, const wchar_t* key);

typedef struct HostServiceTable {
    TsGetHostVersion GetHostVersion;          /* slot 0 */
    void* reserved1[31];                      /* slots 1-31 */
    TsGetSkinsFolder GetSkinsFolder;          /* slot 32: full path, no trailing backslash */
    TsGetCurrentSkin GetCurrentSkin;          /* slot 33: identifier of the skin in use */
    TsGetSkinDisplayName GetSkinDisplayName;  /* slot 34: empty for a non-skin */
    TsApplySkin ApplySkin;                    /* slot 35: may take effect later */
    void* reserved36[12];                     /* slots 36-47 */
    TsLoadLocalizedString LoadLocalizedString; /* slot 48: capacity in UTF-16 units */
    TsShowLocalizedDialog ShowLocalizedDialog; /* slot 49: modal, returns after EndDialog */
    void* reserved50[14];                     /* slots 50-63 */
    TsSetPluginCaption SetPluginCaption;      /* slot 64: host copies the text */
    TsWriteSettingInt WriteSettingInt;        /* slot 65: section may be null (top level) */
    TsWriteSettingString WriteSettingString;  /* slot 66 */
    TsReadSettingInt ReadSettingInt;          /* slot 67: section may be null (top level) */
    TsReadSettingString ReadSettingString;    /* slot 68: empty when absent */
    TsCommitSettings CommitSettings;          /* slot 69: ends each full write */
    TsSetItemParamInt SetItemParamInt;        /* slot 70 */
    TsSetItemParamString SetItemParamString;  /* slot 71 */
    TsGetItemParamInt GetItemParamInt;        /* slot 72 */
    TsGetItemParamString GetItemParamString;  /* slot 73: null when nothing is stored */
    TsDeleteSetting DeleteSetting;            /* slot 74 */
} HostServiceTable;

/* The slots by name, for whoever logs or counts calls by slot number. */
enum TsSlot {
    TS_SLOT_GET_HOST_VERSION = 0,
    TS_SLOT_GET_SKINS_FOLDER = 32,
    TS_SLOT_GET_CURRENT_SKIN = 33,
    TS_SLOT_GET_SKIN_DISPLAY_NAME = 34,
    TS_SLOT_APPLY_SKIN = 35,
    TS_SLOT_LOAD_LOCALIZED_STRING = 48,
    TS_SLOT_SHOW_LOCALIZED_DIALOG = 49,
    TS_SLOT_SET_PLUGIN_CAPTION = 64,
    TS_SLOT_WRITE_SETTING_INT = 65,
    TS_SLOT_WRITE_SETTING_STRING = 66,
    TS_SLOT_READ_SETTING_INT = 67,
    TS_SLOT_READ_SETTING_STRING = 68,
    TS_SLOT_COMMIT_SETTINGS = 69,
    TS_SLOT_SET_ITEM_PARAM_INT = 70,
    TS_SLOT_SET_ITEM_PARAM_STRING = 71,
    TS_SLOT_GET_ITEM_PARAM_INT = 72,
    TS_SLOT_GET_ITEM_PARAM_STRING = 73,
    TS_SLOT_DELETE_SETTING = 74
};

#define TS_SLOT_OFFSET(slot) ((size_t)(slot) * sizeof(void*))

#ifdef __cplusplus
static_assert(offsetof(HostServiceTable, GetSkinsFolder) ==
                  TS_SLOT_OFFSET(TS_SLOT_GET_SKINS_FOLDER), "slot 32");
static_assert(offsetof(HostServiceTable, LoadLocalizedString) ==
                  TS_SLOT_OFFSET(TS_SLOT_LOAD_LOCALIZED_STRING), "slot 48");
static_assert(offsetof(HostServiceTable, SetPluginCaption) ==
                  TS_SLOT_OFFSET(TS_SLOT_SET_PLUGIN_CAPTION), "slot 64");
static_assert(offsetof(HostServiceTable, DeleteSetting) ==
                  TS_SLOT_OFFSET(TS_SLOT_DELETE_SETTING), "slot 74");
static_assert(sizeof(HostServiceTable) == TS_SLOT_OFFSET(TS_HOST_TABLE_SLOTS), "75 slots");
}
#endif

#endif
