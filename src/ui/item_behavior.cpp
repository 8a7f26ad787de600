// The behaviour dialog of one launcher item: next skin of the sequence, or one skin.
//
// 1. The item's id is the low 32 bits of the initialisation parameter; it hangs on the
//    dialog until the dialog ends.
// 2. The parameters live in the host, not in the plug-in's settings: OK writes them
//    there and saves nothing of the plug-in's own.
// 3. OK stores the behaviour as 0 or 1, and the skin of the selected row whichever
//    behaviour is chosen; with no row selected (empty Skins folder) the stored skin is
//    left as it was.
#include <cstdint>

#include "catalog/catalog.h"
#include "plugin/state.h"
#include "resource.h"
#include "ui/dialog_util.h"
#include "ui/dialogs.h"

namespace {

struct ItemDialogData {
    uint32_t itemId = 0;
};

// The analyser loses the data once it is stored in DWLP_USER as an integer; the
// dialog owns it there until FreeDialogData.
// NOLINTBEGIN(clang-analyzer-cplusplus.NewDeleteLeaks)
void OpenItemDialog(HWND dialog, LPARAM lParam) {
    auto* data = new ItemDialogData;
    data->itemId = static_cast<uint32_t>(static_cast<uint64_t>(lParam) & 0xFFFFFFFFu);
    AttachDialogData(dialog, data);

    int32_t behavior = 0;
    std::wstring storedSkin;
    if (const HostServiceTable* host = AcceptedHost()) {
        if (host->GetItemParamInt != nullptr) {
            behavior = host->GetItemParamInt(data->itemId, 0, 0);
        }
        if (host->GetItemParamString != nullptr) {
            storedSkin = CopyHostString(host->GetItemParamString(data->itemId, 0));
        }
    }
    CheckRadioButton(dialog, IDC_ITEM_NEXT, IDC_ITEM_SPECIFIED,
                     behavior == 0 ? IDC_ITEM_NEXT : IDC_ITEM_SPECIFIED);

    EnumerateSkinsFolder();
    const SkinList skins = CopyAllSkins();
    FillSkinBox(dialog, IDC_ITEM_SKIN, skins, storedSkin);
    SendCommandToSelf(dialog, IDC_ITEM_NEXT, 0);
}
// NOLINTEND(clang-analyzer-cplusplus.NewDeleteLeaks)

void StoreItemBehavior(HWND dialog, const ItemDialogData& data) {
    const int32_t behavior = IsButtonChecked(dialog, IDC_ITEM_NEXT) ? 0 : 1;
    const LRESULT row = SendDlgItemMessageW(dialog, IDC_ITEM_SKIN, CB_GETCURSEL, 0, 0);
    std::wstring skin;
    const bool haveSkin = AllSkinsIdentifierAt(row, &skin);
    const HostServiceTable* host = AcceptedHost();
    if (host == nullptr) {
        return;
    }
    if (host->SetItemParamInt != nullptr) {
        host->SetItemParamInt(data.itemId, 0, behavior);
    }
    if (haveSkin && host->SetItemParamString != nullptr) {
        host->SetItemParamString(data.itemId, 0, skin.c_str());
    }
}

}  // namespace

INT_PTR CALLBACK ItemBehaviorDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        OpenItemDialog(dialog, lParam);
        return TRUE;
    }
    if (message != WM_COMMAND) {
        return FALSE;
    }
    ItemDialogData* data = DialogData<ItemDialogData>(dialog);
    if (data == nullptr) {
        return TRUE;  // the dialog is ending; its data is gone
    }
    const int id = LOWORD(wParam);
    switch (id) {
    case IDC_ITEM_NEXT:
    case IDC_ITEM_SPECIFIED:
        if (HIWORD(wParam) == BN_CLICKED) {
            EnableControl(dialog, IDC_ITEM_SKIN, IsButtonChecked(dialog, IDC_ITEM_SPECIFIED));
        }
        break;
    case IDOK:
        StoreItemBehavior(dialog, *data);
        FreeDialogData<ItemDialogData>(dialog);
        EndDialog(dialog, 1);
        break;
    case IDCANCEL:
        FreeDialogData<ItemDialogData>(dialog);
        EndDialog(dialog, 0);
        break;
    default:
        break;
    }
    return TRUE;
}
