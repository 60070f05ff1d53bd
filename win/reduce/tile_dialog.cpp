#include "win/reduce/tile_dialog.h"

#include <string>

#include "win/app/settings.h"
#include "win/app/shell.h"
#include "core/text/texts.h"
#include "core/tiles/tiles.h"
#include "win/res/resource.h"

// The preset chosen: an index of tiles::kTargets, or tiles::kTargetCount for カスタム.
static int ChosenTarget(HWND dialog) {
    const LRESULT item = SendDlgItemMessageA(dialog, IDC_TARGET, CB_GETCURSEL, 0, 0);
    return item == CB_ERR || item > tiles::kTargetCount ? tiles::kTargetCount
                                                        : static_cast<int>(item);
}

static void ShowShape(HWND dialog, const tiles::TileShape& shape) {
    WriteNumberField(dialog, IDC_TILEWIDTH, shape.width);
    WriteNumberField(dialog, IDC_TILEHEIGHT, shape.height);
    WriteNumberField(dialog, IDC_PALETTES, shape.palettes);
    WriteNumberField(dialog, IDC_PALETTESIZE, shape.size);
    WriteNumberField(dialog, IDC_SHARED, shape.shared);
}

// The shape the fields hold, at full depth; a field without digits reads as 0.
static tiles::TileShape ReadShape(HWND dialog) {
    tiles::TileShape shape;
    shape.width = static_cast<int>(ReadNumberField(dialog, IDC_TILEWIDTH));
    shape.height = static_cast<int>(ReadNumberField(dialog, IDC_TILEHEIGHT));
    shape.palettes = static_cast<int>(ReadNumberField(dialog, IDC_PALETTES));
    shape.size = static_cast<int>(ReadNumberField(dialog, IDC_PALETTESIZE));
    shape.shared = static_cast<int>(ReadNumberField(dialog, IDC_SHARED));
    shape.depth = {8, 8, 8};
    return shape;
}

// A preset fills the fields with its rule; カスタム leaves them as they are.
static void OnTargetChosen(HWND dialog) {
    const int target = ChosenTarget(dialog);
    if (target < tiles::kTargetCount) {
        ShowShape(dialog, tiles::kTargets[target].shape);
    }
}

static void OnInit(HWND dialog) {
    const tiles::Target* chosen = TileTargetSetting();
    for (int k = 0; k < tiles::kTargetCount; ++k) {
        const std::string name(tiles::kTargets[k].name);
        SendDlgItemMessageA(dialog, IDC_TARGET, CB_ADDSTRING, 0,
                            reinterpret_cast<LPARAM>(name.c_str()));
    }
    SendDlgItemMessageA(dialog, IDC_TARGET, CB_ADDSTRING, 0,
                        reinterpret_cast<LPARAM>(kCustomTargetText));
    const auto item = chosen ? chosen - tiles::kTargets : tiles::kTargetCount;
    SendDlgItemMessageA(dialog, IDC_TARGET, CB_SETCURSEL, static_cast<WPARAM>(item), 0);
    ShowShape(dialog, TileShapeSetting());
    for (const int id :
         {IDC_TILEWIDTH, IDC_TILEHEIGHT, IDC_PALETTES, IDC_PALETTESIZE, IDC_SHARED}) {
        SendDlgItemMessageA(dialog, id, EM_LIMITTEXT, 3, 0);
    }
}

// The field to type again for each problem of the shape.
static int FieldOf(tiles::ShapeProblem problem, const tiles::TileShape& shape) {
    switch (problem) {
    case tiles::ShapeProblem::TileSide:
        return shape.width < 1 || shape.width > tiles::kMaxTileSide ? IDC_TILEWIDTH
                                                                    : IDC_TILEHEIGHT;
    case tiles::ShapeProblem::PaletteCount:
        return IDC_PALETTES;
    case tiles::ShapeProblem::PaletteSize:
    case tiles::ShapeProblem::TooManyEntries:
        return IDC_PALETTESIZE;
    default:
        return IDC_SHARED;
    }
}

// Nothing is kept until the fields make a rule; the preset stays chosen only while the fields
// are its rule.
static void OnOk(HWND dialog) {
    const tiles::TileShape shape = ReadShape(dialog);
    const tiles::ShapeProblem problem = tiles::CheckShape(shape, 0);
    if (problem != tiles::ShapeProblem::Fine) {
        Report(dialog, kShapeProblemTexts[static_cast<int>(problem)], MB_ICONWARNING);
        SendMessageA(dialog, WM_NEXTDLGCTL,
                     reinterpret_cast<WPARAM>(GetDlgItem(dialog, FieldOf(problem, shape))), TRUE);
        return;
    }
    TileWidth = static_cast<DWORD>(shape.width);
    TileHeight = static_cast<DWORD>(shape.height);
    TilePalettes = static_cast<DWORD>(shape.palettes);
    TileSize = static_cast<DWORD>(shape.size);
    TileShared = static_cast<DWORD>(shape.shared);
    const int target = ChosenTarget(dialog);
    const std::string name(target < tiles::kTargetCount ? tiles::kTargets[target].name : "");
    lstrcpynA(TileTarget, name.c_str(), sizeof TileTarget);
    if (TileTargetSetting() == nullptr) {
        TileTarget[0] = '\0';
    }
    EndDialog(dialog, IDOK);
}

static INT_PTR HandleMessage(HWND dialog, UINT message, WPARAM wParam) {
    switch (message) {
    case WM_INITDIALOG:
        OnInit(dialog);
        return TRUE;
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case IDOK:
            OnOk(dialog);
            break;
        case IDCANCEL:
            EndDialog(dialog, IDCANCEL);
            break;
        case IDC_TARGET:
            if (HIWORD(wParam) == CBN_SELCHANGE) {
                OnTargetChosen(dialog);
            }
            break;
        }
        break;
    case WM_CLOSE:
        EndDialog(dialog, IDCANCEL);
        break;
    }
    return FALSE;
}

static INT_PTR CALLBACK TileDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    return HandleSafely(dialog, INT_PTR{FALSE},
                        [&] { return HandleMessage(dialog, message, wParam); });
}

void RunTileDialog(HWND owner) {
    DialogBoxParamA(AppInstance, MAKEINTRESOURCEA(IDD_TILES), owner, TileDialogProc, 0);
}
