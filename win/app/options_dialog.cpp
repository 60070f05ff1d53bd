#include "win/app/options_dialog.h"

#include "win/app/settings.h"
#include "win/app/shell.h"
#include "win/res/resource.h"

static void CheckIfOn(HWND dialog, int box, DWORD option) {
    if (option) {
        SendDlgItemMessageA(dialog, box, BM_SETCHECK, BST_CHECKED, 0);
    }
}

static DWORD IsChecked(HWND dialog, int box) {
    return SendDlgItemMessageA(dialog, box, BM_GETCHECK, 0, 0) == BST_CHECKED ? 1 : 0;
}

static INT_PTR HandleMessage(HWND dialog, UINT message, WPARAM wParam) {
    switch (message) {
    case WM_INITDIALOG:
        CheckIfOn(dialog, IDC_AUTO256, AutoReduce);
        CheckIfOn(dialog, IDC_NOREADONLY, KeepReadOnly);
        CheckIfOn(dialog, IDC_PALAUTOLOAD, PaletteAutoLoad);
        CheckIfOn(dialog, IDC_NOUNSAVEDPROMPT, NoUnsavedPrompt);
        CheckIfOn(dialog, IDC_QUIETRUNS, QuietRuns);
        break;
    case WM_COMMAND:
        if (LOWORD(wParam) == IDOK) {
            AutoReduce = IsChecked(dialog, IDC_AUTO256);
            KeepReadOnly = IsChecked(dialog, IDC_NOREADONLY);
            PaletteAutoLoad = IsChecked(dialog, IDC_PALAUTOLOAD);
            NoUnsavedPrompt = IsChecked(dialog, IDC_NOUNSAVEDPROMPT);
            QuietRuns = IsChecked(dialog, IDC_QUIETRUNS);
            EndDialog(dialog, 0);
        } else if (LOWORD(wParam) == IDCANCEL) {
            EndDialog(dialog, 0);
        }
        break;
    case WM_CLOSE:
        EndDialog(dialog, 0);
        break;
    }
    return 0;
}

static INT_PTR CALLBACK OptionsDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    return HandleSafely(dialog, INT_PTR{0}, [&] { return HandleMessage(dialog, message, wParam); });
}

void RunOptionsDialog(HWND owner) {
    DialogBoxParamA(AppInstance, MAKEINTRESOURCEA(IDD_OPTIONS), owner, OptionsDialogProc, 0);
}
