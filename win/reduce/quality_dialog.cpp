#include "win/reduce/quality_dialog.h"

#include <commctrl.h>

#include "win/app/settings.h"
#include "win/app/shell.h"
#include "core/quantize/ditherings.h"
#include "core/quantize/entry_order.h"
#include "core/text/texts.h"
#include "win/document/file_io.h"
#include "win/res/resource.h"

// The ditherings as the list shows them: the error diffusions, the patterns, then none. Each
// item's data is the dithering's number.
static constexpr int kListOrder[] = {0, 3, 4, 5, 6, 7, 8, 9, 10, 11, 1, 12, 13, 2};
static_assert(sizeof kListOrder / sizeof kListOrder[0] == quantize::kDitheringCount);
static_assert(sizeof kDitheringTexts / sizeof kDitheringTexts[0] == quantize::kDitheringCount);

// The number of the dithering chosen in the list.
static DWORD ChosenDithering(HWND dialog) {
    const LRESULT item = SendDlgItemMessageA(dialog, IDC_DITHER, CB_GETCURSEL, 0, 0);
    const LRESULT number =
        item == CB_ERR ? 0 : SendDlgItemMessageA(dialog, IDC_DITHER, CB_GETITEMDATA, item, 0);
    return number >= 0 && number < quantize::kDitheringCount ? static_cast<DWORD>(number) : 0;
}

// The strength, the light and the quality are those of an error diffusion: open only while
// one is chosen.
static void ShowDiffusionFor(HWND dialog) {
    const bool diffusion =
        quantize::kDitherings[ChosenDithering(dialog)].method == quantize::DitherMethod::Kernel;
    EnableWindow(GetDlgItem(dialog, IDC_STRENGTH), diffusion);
    EnableWindow(GetDlgItem(dialog, IDC_LINEAR), diffusion);
    EnableWindow(GetDlgItem(dialog, IDC_EFFORT), diffusion);
}

static void FillDitherList(HWND dialog) {
    for (const int number : kListOrder) {
        const LRESULT item = SendDlgItemMessageA(dialog, IDC_DITHER, CB_ADDSTRING, 0,
                                                 reinterpret_cast<LPARAM>(kDitheringTexts[number]));
        SendDlgItemMessageA(dialog, IDC_DITHER, CB_SETITEMDATA, static_cast<WPARAM>(item), number);
        if (static_cast<DWORD>(number) == QualityDither) {
            SendDlgItemMessageA(dialog, IDC_DITHER, CB_SETCURSEL, static_cast<WPARAM>(item), 0);
        }
    }
}

// 品質: each item's data is its effort; the effort in force is chosen, or none when it is none
// of them.
static void FillEffortList(HWND dialog) {
    for (int k = 0; k < 3; ++k) {
        const LRESULT item = SendDlgItemMessageA(dialog, IDC_EFFORT, CB_ADDSTRING, 0,
                                                 reinterpret_cast<LPARAM>(kEffortTexts[k]));
        SendDlgItemMessageA(dialog, IDC_EFFORT, CB_SETITEMDATA, static_cast<WPARAM>(item),
                            static_cast<LPARAM>(kQualityEfforts[k]));
        if (kQualityEfforts[k] == QualityEffort) {
            SendDlgItemMessageA(dialog, IDC_EFFORT, CB_SETCURSEL, static_cast<WPARAM>(item), 0);
        }
    }
}

static_assert(sizeof kDepthTexts / sizeof kDepthTexts[0] == kQualityDepthCount);
static_assert(sizeof kBitsTexts / sizeof kBitsTexts[0] == kQualityBitChoices);
static_assert(sizeof kOrderTexts / sizeof kOrderTexts[0] == quantize::kEntryOrderCount);

// A list whose items are `texts` in their order, the one of index `chosen` selected.
static void FillIndexList(HWND dialog, int id, const char* const* texts, int count, DWORD chosen) {
    for (int k = 0; k < count; ++k) {
        SendDlgItemMessageA(dialog, id, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(texts[k]));
    }
    SendDlgItemMessageA(dialog, id, CB_SETCURSEL, chosen, 0);
}

static DWORD ChosenIndex(HWND dialog, int id) {
    const LRESULT item = SendDlgItemMessageA(dialog, id, CB_GETCURSEL, 0, 0);
    return item == CB_ERR ? 0 : static_cast<DWORD>(item);
}

// The arrows of 色数 keep within what the chosen ビット数 holds; returns that many.
static long LimitColoursToBits(HWND dialog) {
    const int bits = kQualityBitCounts[ChosenIndex(dialog, IDC_BITS)];
    const long most = bits == 0 ? 256 : 1L << bits;
    SendDlgItemMessageA(dialog, IDC_COLOURS_SPIN, UDM_SETRANGE32, quantize::kMinColours, most);
    return most;
}

// 色数 above what the chosen ビット数 holds is lowered to that, and the user is told.
static void FitColoursToBits(HWND dialog) {
    const long most = LimitColoursToBits(dialog);
    const long colours = ReadNumberField(dialog, IDC_COLOURS);
    if (colours > most && colours <= 256) { // a number out of range is told by OK
        WriteNumberField(dialog, IDC_COLOURS, most);
        Report(dialog, kColoursLoweredText, MB_ICONINFORMATION);
    }
}

static void OnBrowseFrom(HWND dialog) {
    char inForce[MAX_PATH];
    GetDlgItemTextA(dialog, IDC_FROMFILE, inForce, sizeof inForce);
    if (ChoosePaletteFile(PathWorkBuffer, dialog, inForce)) {
        SetDlgItemTextA(dialog, IDC_FROMFILE, PathWorkBuffer);
    }
}

static void OnInit(HWND dialog) {
    // The arrows and the arrow keys step the number of colours within its range.
    SendDlgItemMessageA(dialog, IDC_COLOURS_SPIN, UDM_SETRANGE32, quantize::kMinColours, 256);
    SendDlgItemMessageA(dialog, IDC_COLOURS_SPIN, UDM_SETPOS32, 0,
                        static_cast<LPARAM>(QualityColours));
    WriteNumberField(dialog, IDC_COLOURS, static_cast<long>(QualityColours));
    WriteNumberField(dialog, IDC_STRENGTH, static_cast<long>(QualityStrength));
    FillEffortList(dialog);
    FillDitherList(dialog);
    CheckDlgButton(dialog, IDC_LINEAR, QualityLinear ? BST_CHECKED : BST_UNCHECKED);
    CheckDlgButton(dialog, IDC_KEYCOLOUR, QualityKey ? BST_CHECKED : BST_UNCHECKED);
    CheckDlgButton(dialog, IDC_KEEPALPHA, QualityAlpha ? BST_CHECKED : BST_UNCHECKED);
    FillIndexList(dialog, IDC_DEPTH, kDepthTexts, kQualityDepthCount, QualityDepth);
    FillIndexList(dialog, IDC_BITS, kBitsTexts, kQualityBitChoices, QualityBits);
    FillIndexList(dialog, IDC_ORDER, kOrderTexts, quantize::kEntryOrderCount, QualityOrder);
    SendDlgItemMessageA(dialog, IDC_FROMFILE, EM_LIMITTEXT, MAX_PATH - 1, 0);
    SetDlgItemTextA(dialog, IDC_FROMFILE, QualityFrom);
    LimitColoursToBits(dialog);
    ShowDiffusionFor(dialog);
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
    const DWORD dithering = ChosenDithering(dialog);
    const bool diffusion =
        quantize::kDitherings[dithering].method == quantize::DitherMethod::Kernel;
    long colours = 0, strength = ReadNumberField(dialog, IDC_STRENGTH);
    FitColoursToBits(dialog);
    if (!ReadRangedField(dialog, kColoursField, colours) ||
        (diffusion && !ReadRangedField(dialog, kStrengthField, strength))) {
        return;
    }
    QualityColours = static_cast<DWORD>(colours);
    if (InRange(kStrengthField, strength)) { // a closed field keeps what it showed
        QualityStrength = static_cast<DWORD>(strength);
    }
    QualityDither = dithering;
    const LRESULT effort = SendDlgItemMessageA(dialog, IDC_EFFORT, CB_GETCURSEL, 0, 0);
    if (effort != CB_ERR) { // an effort the list does not show stays as it is
        QualityEffort = static_cast<DWORD>(SendDlgItemMessageA(dialog, IDC_EFFORT, CB_GETITEMDATA,
                                                               static_cast<WPARAM>(effort), 0));
    }
    QualityLinear = IsDlgButtonChecked(dialog, IDC_LINEAR) == BST_CHECKED ? 1 : 0;
    QualityKey = IsDlgButtonChecked(dialog, IDC_KEYCOLOUR) == BST_CHECKED ? 1 : 0;
    QualityAlpha = IsDlgButtonChecked(dialog, IDC_KEEPALPHA) == BST_CHECKED ? 1 : 0;
    QualityDepth = ChosenIndex(dialog, IDC_DEPTH);
    QualityBits = ChosenIndex(dialog, IDC_BITS);
    QualityOrder = ChosenIndex(dialog, IDC_ORDER);
    GetDlgItemTextA(dialog, IDC_FROMFILE, QualityFrom, sizeof QualityFrom);
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
        case IDC_DITHER:
            if (HIWORD(wParam) == CBN_SELCHANGE) {
                ShowDiffusionFor(dialog);
            }
            break;
        case IDC_BITS:
            if (HIWORD(wParam) == CBN_SELCHANGE) {
                FitColoursToBits(dialog);
            }
            break;
        case IDC_FROMBROWSE:
            OnBrowseFrom(dialog);
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
