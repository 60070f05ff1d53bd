#include "win/reduce/quality_dialog.h"

#include <commctrl.h>

#include "win/app/settings.h"
#include "win/app/shell.h"
#include "core/quantize/stages.h"
#include "core/text/texts.h"
#include "win/res/resource.h"

static constexpr int kDitherButtons[3] = {IDC_DITHER_FS, IDC_DITHER_ORDERED, IDC_DITHER_NONE};

// The strength is that of the error diffusion: the field is open only while it is chosen.
static void ShowStrengthFor(HWND dialog) {
    const bool diffusion = IsDlgButtonChecked(dialog, IDC_DITHER_FS) == BST_CHECKED;
    EnableWindow(GetDlgItem(dialog, IDC_STRENGTH), diffusion);
}

static void OnInit(HWND dialog) {
    // The arrows and the arrow keys step the number of colours within its range.
    SendDlgItemMessageA(dialog, IDC_COLOURS_SPIN, UDM_SETRANGE32, quantize::kMinColours, 256);
    SendDlgItemMessageA(dialog, IDC_COLOURS_SPIN, UDM_SETPOS32, 0,
                        static_cast<LPARAM>(QualityColours));
    WriteNumberField(dialog, IDC_COLOURS, static_cast<long>(QualityColours));
    WriteNumberField(dialog, IDC_STRENGTH, static_cast<long>(QualityStrength));
    CheckRadioButton(dialog, IDC_DITHER_FS, IDC_DITHER_NONE,
                     kDitherButtons[QualityDither <= 2 ? QualityDither : 0]);
    CheckDlgButton(dialog, IDC_KEYCOLOUR, QualityKey ? BST_CHECKED : BST_UNCHECKED);
    ShowStrengthFor(dialog);
}

// A number field and the range its value must lie in, told when it does not.
struct RangedField {
    int id;
    long low, high;
    const char* rangeText;
};
constexpr RangedField kColoursField{IDC_COLOURS, quantize::kMinColours, 256, kColoursRangeText};
constexpr RangedField kStrengthField{IDC_STRENGTH, 0, 100, kStrengthRangeText};

static bool InRange(const RangedField& field, long value) {
    return value >= field.low && value <= field.high;
}

// The field's number when it lies in its range. Otherwise the range is told and the field
// takes the focus with its text selected, to be typed again; false.
static bool ReadRangedField(HWND dialog, const RangedField& field, long& value) {
    value = ReadNumberField(dialog, field.id);
    if (InRange(field, value)) {
        return true;
    }
    Report(dialog, field.rangeText, MB_ICONWARNING);
    SendMessageA(dialog, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(GetDlgItem(dialog, field.id)),
                 TRUE);
    return false;
}

// Nothing is kept until every open field holds a number of its range.
static void OnOk(HWND dialog) {
    const bool diffusion = IsDlgButtonChecked(dialog, IDC_DITHER_FS) == BST_CHECKED;
    long colours = 0, strength = ReadNumberField(dialog, IDC_STRENGTH);
    if (!ReadRangedField(dialog, kColoursField, colours) ||
        (diffusion && !ReadRangedField(dialog, kStrengthField, strength))) {
        return;
    }
    QualityColours = static_cast<DWORD>(colours);
    if (InRange(kStrengthField, strength)) { // a closed field keeps what it showed
        QualityStrength = static_cast<DWORD>(strength);
    }
    for (DWORD k = 0; k < 3; ++k) {
        if (IsDlgButtonChecked(dialog, kDitherButtons[k]) == BST_CHECKED) {
            QualityDither = k;
        }
    }
    QualityKey = IsDlgButtonChecked(dialog, IDC_KEYCOLOUR) == BST_CHECKED ? 1 : 0;
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

static INT_PTR CALLBACK QualityDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    return HandleSafely(dialog, INT_PTR{FALSE},
                        [&] { return HandleMessage(dialog, message, wParam); });
}

void RunQualityDialog(HWND owner) {
    DialogBoxParamA(AppInstance, MAKEINTRESOURCEA(IDD_QUALITY), owner, QualityDialogProc, 0);
}
