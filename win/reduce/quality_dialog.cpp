#include "win/reduce/quality_dialog.h"

#include <algorithm>

#include "win/app/settings.h"
#include "win/app/shell.h"
#include "core/quantize/stages.h"
#include "win/res/resource.h"

static constexpr int kDitherButtons[3] = {IDC_DITHER_FS, IDC_DITHER_ORDERED, IDC_DITHER_NONE};

// The strength is that of the error diffusion: the field is open only while it is chosen.
static void ShowStrengthFor(HWND dialog) {
    const bool diffusion = IsDlgButtonChecked(dialog, IDC_DITHER_FS) == BST_CHECKED;
    EnableWindow(GetDlgItem(dialog, IDC_STRENGTH), diffusion);
}

static void OnInit(HWND dialog) {
    WriteNumberField(dialog, IDC_COLOURS, static_cast<long>(QualityColours));
    WriteNumberField(dialog, IDC_STRENGTH, static_cast<long>(QualityStrength));
    CheckRadioButton(dialog, IDC_DITHER_FS, IDC_DITHER_NONE,
                     kDitherButtons[QualityDither <= 2 ? QualityDither : 0]);
    CheckDlgButton(dialog, IDC_KEYCOLOUR, QualityKey ? BST_CHECKED : BST_UNCHECKED);
    ShowStrengthFor(dialog);
}

// The arrows step the number of colours within its range.
static void OnColoursSpin(HWND dialog, int code) {
    if (code == SB_LINEUP || code == SB_LINEDOWN) {
        const long step = code == SB_LINEUP ? 1 : -1;
        WriteNumberField(dialog, IDC_COLOURS,
                         std::clamp(ReadNumberField(dialog, IDC_COLOURS) + step,
                                    long{quantize::kMinColours}, 256L));
    }
}

static void OnOk(HWND dialog) {
    QualityColours = static_cast<DWORD>(
        std::clamp(ReadNumberField(dialog, IDC_COLOURS), long{quantize::kMinColours}, 256L));
    QualityStrength =
        static_cast<DWORD>(std::clamp(ReadNumberField(dialog, IDC_STRENGTH), 0L, 100L));
    for (DWORD k = 0; k < 3; ++k) {
        if (IsDlgButtonChecked(dialog, kDitherButtons[k]) == BST_CHECKED) {
            QualityDither = k;
        }
    }
    QualityKey = IsDlgButtonChecked(dialog, IDC_KEYCOLOUR) == BST_CHECKED ? 1 : 0;
    EndDialog(dialog, IDOK);
}

static INT_PTR HandleMessage(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_INITDIALOG:
        OnInit(dialog);
        return TRUE;
    case WM_VSCROLL:
        if (GetDlgCtrlID(reinterpret_cast<HWND>(lParam)) == IDC_COLOURS_SPIN) {
            OnColoursSpin(dialog, LOWORD(wParam));
        }
        break;
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case IDOK:
            OnOk(dialog);
            break;
        case IDCANCEL:
            EndDialog(dialog, IDCANCEL);
            break;
        case IDC_DITHER_FS:
        case IDC_DITHER_ORDERED:
        case IDC_DITHER_NONE:
            ShowStrengthFor(dialog);
            break;
        }
        break;
    case WM_CLOSE:
        EndDialog(dialog, IDCANCEL);
        break;
    }
    return FALSE;
}

static INT_PTR CALLBACK QualityDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    return HandleSafely(dialog, INT_PTR{FALSE},
                        [&] { return HandleMessage(dialog, message, wParam, lParam); });
}

void RunQualityDialog(HWND owner) {
    DialogBoxParamA(AppInstance, MAKEINTRESOURCEA(IDD_QUALITY), owner, QualityDialogProc, 0);
}
