#include "win/palette/palette_dialog.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <new>
#include <vector>

#include "win/app/owners.h"
#include "win/app/settings.h"
#include "win/app/shell.h"
#include "core/bmp/layout.h"
#include "core/quantize/basic_palette.h"
#include "core/quantize/compact.h"
#include "core/quantize/error_diffusion.h"
#include "core/quantize/keep_indices.h"
#include "core/text/number_field.h"
#include "core/text/refusals.h"
#include "core/text/texts.h"
#include "win/document/document.h"
#include "win/document/file_io.h"
#include "win/palette/palette_grid.h"
#include "win/palette/user_palette.h"
#include "win/res/resource.h"

static HWND GridWindow;
// Colours typed into the fields since they were last committed or filled, and whether the
// dialog itself is filling them (which is no typing).
static bool ColoursTyped;
static bool FillingFields;
// How many colours the working table was filled with; 0 when nothing said (SavedPaletteColours
// for the working copy).
static int EditColours;

static void ReleaseEditPalette() {
    if (EditPalette != nullptr) {
        GlobalFree(EditPalette);
        EditPalette = nullptr;
    }
}

static void CreateGrid(HWND dialog) {
    // The grid's client area is 271 x 271 pixels at (10, 70), or lower when the buttons above
    // it reach further down with the dialog's font, so that it never covers them.
    RECT load;
    GetWindowRect(GetDlgItem(dialog, IDC_PALLOAD), &load);
    MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&load), 2);
    const int top = load.bottom + 6 > 70 ? load.bottom + 6 : 70;
    RECT rect = {10, top, 281, top + 271};
    AdjustWindowRectEx(&rect, WS_CHILD | WS_BORDER, FALSE, WS_EX_ACCEPTFILES);
    GridWindow = CreateWindowExA(WS_EX_ACCEPTFILES, kPaletteGridClass, kAppTitle,
                                 WS_CHILD | WS_BORDER, rect.left, rect.top, rect.right - rect.left,
                                 rect.bottom - rect.top, dialog, nullptr, AppInstance, nullptr);
    ShowWindow(GridWindow, SW_SHOW);
    UpdateWindow(GridWindow);
}

// Copies the 1024 bytes of one palette table into another.
static void CopyTable(HGLOBAL from, HGLOBAL to) {
    const LockedBlock<const BYTE> source(from);
    const LockedBlock<BYTE> target(to);
    if (source.get() != nullptr && target.get() != nullptr) {
        std::memcpy(target.get(), source.get(), 1024);
    }
}

static void OnInitDialog(HWND dialog) {
    if (SavedPalette == nullptr) {
        SavedPalette = NewPaletteTable();
        palette::PaletteFileFacts facts;
        if (SavedPalette != nullptr &&
            ReadPaletteFile(PaletteFileName, SavedPalette, facts) == PaletteRead::Read) {
            SavedPaletteColours = std::max(facts.colours, 0);
        }
    }
    EditColours = SavedPaletteColours;
    if (SavedPalette != nullptr) {
        EditPalette = NewPaletteTable();
        CopyTable(SavedPalette, EditPalette);
    }
    // The name and the count in force, also when they were not loaded at start-up: OK takes
    // both back, and must not silently clear them.
    SetDlgItemTextA(dialog, IDC_PALFILE, PaletteFileName);
    WriteNumberField(dialog, IDC_USED, FixedCount);
    ColoursTyped = false;
    EnableWindow(GetDlgItem(dialog, IDC_FROMIMAGE), HasDocument() && !ConversionInProgress());
    CreateGrid(dialog);
    SendMessageA(GridWindow, UM_SHOWPALETTE, 0, reinterpret_cast<LPARAM>(EditPalette));
}

// Stores the colour fields into the entry the number field names. A number outside 0..255
// names no entry, and nothing is stored.
static void CommitFields(HWND dialog) {
    ColoursTyped = false;
    const long n = ReadNumberField(dialog, IDC_INDEX);
    if (n < 0 || n > 255 || EditPalette == nullptr) {
        return;
    }
    const long red = ReadNumberField(dialog, IDC_RED);
    const long green = ReadNumberField(dialog, IDC_GREEN);
    const long blue = ReadNumberField(dialog, IDC_BLUE);
    {
        const LockedBlock<BYTE> table(EditPalette);
        if (table.get() == nullptr) {
            return;
        }
        BYTE* entry = table.get() + 4 * n;
        entry[2] = static_cast<BYTE>(red & 0xFF);
        entry[1] = static_cast<BYTE>(green & 0xFF);
        entry[0] = static_cast<BYTE>(blue & 0xFF);
    }
    SendMessageA(GridWindow, UM_CELLCHANGED, static_cast<WPARAM>(n), 0);
}

// Colours typed for a shown entry are kept before anything else happens to the fields: OK,
// Enter, another entry chosen. With no entry shown there is nothing to keep them in.
static void CommitTypedColours(HWND dialog) {
    char index[MAX_PATH] = "";
    GetDlgItemTextA(dialog, IDC_INDEX, index, sizeof index);
    if (ColoursTyped && index[0] != '\0') {
        CommitFields(dialog);
    }
    ColoursTyped = false;
}

// Shows entry n in the number and colour fields, and marks its swatch. Entry numbers are
// brought into 0..255.
static void OnSelectEntry(HWND dialog, long n) {
    CommitTypedColours(dialog);
    n = n < 0 ? 0 : (n > 255 ? 255 : n);
    FillingFields = true;
    WriteNumberField(dialog, IDC_INDEX, n);
    SendMessageA(GridWindow, UM_MARKENTRY, static_cast<WPARAM>(n), 0);
    const LockedBlock<const BYTE> table(SavedPalette != nullptr ? EditPalette : nullptr);
    if (table.get() != nullptr) {
        const BYTE* entry = table.get() + 4 * n;
        WriteNumberField(dialog, IDC_RED, entry[2]);
        WriteNumberField(dialog, IDC_BLUE, entry[0]);
        WriteNumberField(dialog, IDC_GREEN, entry[1]);
    }
    FillingFields = false;
}

// The field each up/down bar drives, or 0.
static int FieldOfSpinner(int spinner) {
    switch (spinner) {
    case IDC_INDEX_SPIN:
        return IDC_INDEX;
    case IDC_RED_SPIN:
        return IDC_RED;
    case IDC_GREEN_SPIN:
        return IDC_GREEN;
    case IDC_BLUE_SPIN:
        return IDC_BLUE;
    case IDC_USED_SPIN:
        return IDC_USED;
    }
    return 0;
}

static void OnSpinner(HWND dialog, int code, HWND bar) {
    const int spinner = GetDlgCtrlID(bar);
    const int field = FieldOfSpinner(spinner);
    if (field == 0) {
        return;
    }
    if (spinner == IDC_INDEX_SPIN && (code == SB_LINEUP || code == SB_LINEDOWN)) {
        CommitTypedColours(dialog); // into the entry shown before the step
    }
    if (code == SB_LINEUP || code == SB_LINEDOWN) {
        // One-sided bounds: up stops at 255, down at 0.
        long v = ReadNumberField(dialog, field);
        // Compared before the step, so that no number in the field can overflow.
        if (code == SB_LINEUP) {
            v = v >= 254 ? 255 : v + 1;
        } else {
            v = v <= 1 ? 0 : v - 1;
        }
        WriteNumberField(dialog, field, v);
        if (spinner == IDC_INDEX_SPIN) {
            SendMessageA(dialog, UM_SELECTENTRY, static_cast<WPARAM>(v < 0 ? 0 : v), 0);
            return;
        }
    }
    CommitFields(dialog);
}

static void OnOk(HWND dialog) {
    CommitTypedColours(dialog);
    if (SavedPalette != nullptr && EditPalette != nullptr) {
        CopyTable(EditPalette, SavedPalette);
    }
    SavedPaletteColours = EditColours;
    ReleaseEditPalette();
    GetDlgItemTextA(dialog, IDC_PALFILE, PaletteFileName, MAX_PATH);
    // A run takes this many entries of a 256-entry table.
    const long used = ReadNumberField(dialog, IDC_USED);
    FixedCount = used < 0 ? 0 : (used > 256 ? 256 : used);
    EndDialog(dialog, 0);
}

// Puts `table` in the place of the working table. The number and colour fields then show the
// selected entry of the new table, so that the next commit does not write the old table's
// colour into it.
static void ReplaceEditPalette(HWND dialog, HGLOBAL table) {
    ReleaseEditPalette();
    EditPalette = table;
    ColoursTyped = false; // they were meant for the table just replaced
    SendMessageA(GridWindow, UM_SHOWPALETTE, 0, reinterpret_cast<LPARAM>(EditPalette));
    char index[MAX_PATH] = "";
    GetDlgItemTextA(dialog, IDC_INDEX, index, sizeof index);
    const long n = palette::ReadNumber(index);
    if (index[0] != '\0' && n >= 0 && n <= 255) {
        SendMessageA(dialog, UM_SELECTENTRY, static_cast<WPARAM>(n), 0);
    }
}

// Reads the named file into a new working table. A file that says how many colours it holds
// proposes that number as 使用数 when the field holds 0.
static void OnLoad(HWND dialog) {
    char name[MAX_PATH] = "";
    GetDlgItemTextA(dialog, IDC_PALFILE, name, sizeof name);
    HGLOBAL table = NewPaletteTable();
    if (table == nullptr) {
        Report(dialog, kNoMemoryText, MB_ICONWARNING);
        return;
    }
    palette::PaletteFileFacts facts;
    const PaletteRead read = ReadPaletteFile(name, table, facts);
    if (read != PaletteRead::Read) {
        GlobalFree(table);
        Report(dialog, PaletteReadText(read), MB_ICONWARNING);
        return;
    }
    ReplaceEditPalette(dialog, table);
    EditColours = std::max(facts.colours, 0);
    if (facts.colours > 0 && ReadNumberField(dialog, IDC_USED) == 0) {
        WriteNumberField(dialog, IDC_USED, facts.colours);
    }
}

// With 番号を保つ: the table just made from the image (`colours` entries, the first `fixed` the
// user's) laid over the working table without moving the index of any colour the image still
// has; the dialog says what became of the entries. The entries in use.
static int KeepIndices(HWND dialog, HGLOBAL made, int colours, int fixed) {
    const LockedBlock<const BYTE> before(EditPalette);
    const LockedBlock<BYTE> after(made);
    if (before.get() == nullptr || after.get() == nullptr) {
        return colours;
    }
    const int oldCount = std::max(EditColours > 0 ? EditColours : 256, fixed);
    const quantize::KeptPalette kept =
        quantize::KeepIndices(quantize::PaletteOfColourTable(before.get()), oldCount,
                              quantize::PaletteOfColourTable(after.get()), colours, fixed);
    quantize::CopyToColourTable(kept.palette, 0, after.get());
    char report[128];
    std::snprintf(report, sizeof report, kKeptReportFormat, static_cast<int>(kept.kept.size()),
                  static_cast<int>(kept.freed.size()), static_cast<int>(kept.added.size()));
    SetDlgItemTextA(dialog, IDC_KEEPREPORT, report);
    return kept.count;
}

// Of an indexed image, the table 未使用の色を削除 would leave it (the colours its pixels take,
// each once, in their order) in `table`, and their number; `colours` and the table as they
// are when it cannot be made (an image that is not a plain 8-bit one, or memory short).
static int TakenColours(const BYTE* image, DWORD bytes, BYTE* table, int colours) {
    try {
        std::vector<std::uint8_t> copy(image, image + bytes);
        int entries = 0;
        if (quantize::CompactImage(copy.data(), copy.size(), false, entries).outcome ==
                quantize::Outcome::Converted &&
            bmp::ColourTableOf(copy.data(), copy.size(), table)) {
            return entries;
        }
    } catch (const std::bad_alloc&) {
    }
    return colours;
}

// Fills the working table from the document: an indexed image gives its colour table, a
// true-colour one the palette 誤差拡散（高画質） would make for it, after the first 使用数
// entries, which stay as they are. With 番号を保つ the colours still in the image keep their
// entries (KeepIndices).
static void OnFromImage(HWND dialog) {
    if (!HasDocument() || !ImageIsFree(dialog) || EditPalette == nullptr) {
        return;
    }
    CommitTypedColours(dialog);
    HGLOBAL table = NewPaletteTable();
    if (table == nullptr) {
        Report(dialog, kNoMemoryText, MB_ICONWARNING);
        return;
    }
    CopyTable(EditPalette, table);
    const char* problem = nullptr;
    int colours = 0;
    int fixed = 0; // entries the image's palette takes as they are
    const bool keep = IsDlgButtonChecked(dialog, IDC_KEEPINDICES) == BST_CHECKED;
    {
        const LockedBlock<const std::uint8_t> image(ImageBuffer);
        const LockedBlock<BYTE> entries(table);
        if (image.get() == nullptr || entries.get() == nullptr) {
            problem = kNoMemoryText;
        } else if (bmp::ColourTableOf(image.get(), ImageBytes, entries.get())) {
            colours = static_cast<int>(std::min<std::uint32_t>(
                bmp::PlanDrawing(image.get(), ImageBytes).colourCount, 256));
            if (keep) { // the colours the image still uses, not its table's spare entries
                colours = TakenColours(image.get(), ImageBytes, entries.get(), colours);
            }
        } else {
            const long used = ReadNumberField(dialog, IDC_USED);
            fixed = static_cast<int>(used < 0 ? 0 : std::min(used, 256L));
            quantize::DiffusionInput input{fixed, entries.get(), quantize::kBasicPalette};
            input.stages = QualityStages();
            input.choices = QualityChoices();
            quantize::DiffusionPalette chosen;
            quantize::SilentObserver silent;
            const quantize::Outcome outcome =
                quantize::PaletteOfImage(image.get(), ImageBytes, input, silent, chosen);
            if (outcome != quantize::Outcome::Converted) {
                problem = text::RefusalText(outcome);
            } else {
                quantize::CopyToColourTable(chosen, input.fixedCount, entries.get());
                colours = input.choices.colours; // the entries after them are black
            }
        }
    }
    if (problem != nullptr) {
        GlobalFree(table);
        Report(dialog, problem, MB_ICONWARNING);
        return;
    }
    SetDlgItemTextA(dialog, IDC_KEEPREPORT, "");
    if (keep) {
        colours = KeepIndices(dialog, table, colours, std::min(fixed, colours));
    }
    ReplaceEditPalette(dialog, table);
    EditColours = colours;
}

// Saves the working table under the name in the field; when the save changed a z name to
// ".pal", the field shows the name the file was written under. The file holds the colours in
// force: 使用数 when it is above 0, else as many as the table was filled with, else 256.
static void OnSave(HWND dialog) {
    char name[MAX_PATH] = "";
    GetDlgItemTextA(dialog, IDC_PALFILE, name, sizeof name);
    const long used = ReadNumberField(dialog, IDC_USED);
    const int colours = used > 0          ? static_cast<int>(std::min(used, 256L))
                        : EditColours > 0 ? EditColours
                                          : 256;
    char written[MAX_PATH];
    if (EditPalette != nullptr && WritePaletteFile(dialog, name, EditPalette, colours, written) &&
        std::strcmp(written, name) != 0) {
        SetDlgItemTextA(dialog, IDC_PALFILE, written);
    }
}

// 参照 starts in the folder of the palette file in force: the one the field names, else the
// one kept.
static void OnBrowse(HWND dialog) {
    char inForce[MAX_PATH];
    GetDlgItemTextA(dialog, IDC_PALFILE, inForce, sizeof inForce);
    if (ChoosePaletteFile(PathWorkBuffer, dialog, inForce[0] ? inForce : PaletteFileName)) {
        SetDlgItemTextA(dialog, IDC_PALFILE, PathWorkBuffer);
    }
}

static INT_PTR OnCommand(HWND dialog, int id, int code) {
    if (code == EN_CHANGE && !FillingFields &&
        (id == IDC_RED || id == IDC_GREEN || id == IDC_BLUE)) {
        ColoursTyped = true;
        return FALSE;
    }
    switch (id) {
    case IDOK:
        OnOk(dialog);
        return TRUE;
    case IDCANCEL:
        ReleaseEditPalette();
        EndDialog(dialog, 0);
        return TRUE;
    case IDC_BROWSE:
        OnBrowse(dialog);
        return FALSE;
    case IDC_PALSAVE:
        OnSave(dialog);
        return FALSE;
    case IDC_PALLOAD:
        OnLoad(dialog);
        return FALSE;
    case IDC_FROMIMAGE:
        OnFromImage(dialog);
        return FALSE;
    }
    return FALSE;
}

static INT_PTR HandleMessage(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_INITDIALOG:
        OnInitDialog(dialog);
        return FALSE;
    case WM_COMMAND:
        return OnCommand(dialog, LOWORD(wParam), HIWORD(wParam));
    case WM_VSCROLL:
        OnSpinner(dialog, LOWORD(wParam), reinterpret_cast<HWND>(lParam));
        return FALSE;
    case UM_SELECTENTRY:
        OnSelectEntry(dialog, LOWORD(wParam));
        return TRUE;
    case WM_CLOSE:
        ReleaseEditPalette();
        EndDialog(dialog, 0);
        return TRUE;
    }
    return FALSE;
}

static INT_PTR CALLBACK PaletteDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    return HandleSafely(dialog, INT_PTR{FALSE},
                        [&] { return HandleMessage(dialog, message, wParam, lParam); });
}

void RunPaletteDialog(HWND owner) {
    DialogBoxParamA(AppInstance, MAKEINTRESOURCEA(IDD_PALETTE), owner, PaletteDialogProc, 0);
}
