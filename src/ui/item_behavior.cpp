// The behaviour dialog of one launcher item: next skin of the sequence, or one skin.
//
// 1. The item's id is the low 32 bits of the parameter the launcher gave; it lives with
//    the dialog's data in the call that shows the dialog. The launcher is handed that
//    parameter back, whole, as the dialog's initialisation parameter; the procedure
//    never reads it.
// 2. The parameters live in the host, not in the plug-in's settings: OK writes them
//    there and saves nothing of the plug-in's own.
// 3. OK stores the behaviour as 0 or 1, and the skin of the selected row whichever
//    behaviour is chosen, taken from the list that filled the box; with no row
//    selected (empty Skins folder) the stored skin is left as it was.
#include <cstdint>

#include "core/host.h"
#include "core/state.h"
#include "resource.h"
#include "ui/dialog_util.h"
#include "ui/dialogs.h"

namespace {

struct ItemDialogData {
    uint32_t itemId = 0;
    SkinList shown;  // the rows of the skin box
};

void OpenItemDialog(HWND dialog, ItemDialogData& data) {
    const int32_t behavior = host::ItemParamInt(data.itemId, 0);
    std::wstring storedSkin;
    host::ItemParamString(data.itemId, &storedSkin);
    CheckRadioButton(dialog, IDC_ITEM_NEXT, IDC_ITEM_SPECIFIED,
                     behavior == 0 ? IDC_ITEM_NEXT : IDC_ITEM_SPECIFIED);

    data.shown = RefreshedAllSkins();
    FillSkinBox(dialog, IDC_ITEM_SKIN, data.shown, storedSkin);
    SendCommandToSelf(dialog, IDC_ITEM_NEXT, 0);
}

void StoreItemBehavior(HWND dialog, ItemDialogData& data) {
    const int32_t behavior = IsButtonChecked(dialog, IDC_ITEM_NEXT) ? 0 : 1;
    std::wstring skin;
    const bool haveSkin = SelectedSkin(dialog, IDC_ITEM_SKIN, data.shown, &skin);
    host::SetItemParamInt(data.itemId, behavior);
    if (haveSkin) {
        host::SetItemParamString(data.itemId, skin.c_str());
    }
}

void HandleItemCommand(HWND dialog, ItemDialogData&, int id, WORD code) {
    if ((id == IDC_ITEM_NEXT || id == IDC_ITEM_SPECIFIED) && code == BN_CLICKED) {
        EnableControl(dialog, IDC_ITEM_SKIN, IsButtonChecked(dialog, IDC_ITEM_SPECIFIED));
    }
}

constexpr DialogKind<ItemDialogData> kItemDialog = {IDD_ITEM_BEHAVIOR, ItemBehaviorDialogProc,
                                                    OpenItemDialog, HandleItemCommand,
                                                    StoreItemBehavior};

}  // namespace

INT_PTR ShowItemBehaviorDialog(HWND owner, uint64_t param) {
    ItemDialogData data;
    data.itemId = static_cast<uint32_t>(param & 0xFFFFFFFFu);
    return ShowDialog(kItemDialog, owner, static_cast<LPARAM>(param), data);
}

INT_PTR CALLBACK ItemBehaviorDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    return RunDialog(kItemDialog, dialog, message, wParam);
}
