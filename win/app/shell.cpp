#include "win/app/shell.h"

#include <cstring>
#include <new>
#include <stdexcept>

#include "win/app/seams.h"
#include "core/text/number_field.h"
#include "core/text/refusals.h"
#include "core/text/texts.h"

HINSTANCE AppInstance;
HWND MainWindow;

namespace {

struct OpenDialogSearch {
    HWND owner;
    HWND found;
};

BOOL CALLBACK FindOpenDialog(HWND window, LPARAM parameter) {
    auto* search = reinterpret_cast<OpenDialogSearch*>(parameter);
    char className[8] = "";
    GetClassNameA(window, className, sizeof className);
    if (GetWindow(window, GW_OWNER) == search->owner && IsWindowVisible(window) &&
        std::strcmp(className, "#32770") == 0) {
        search->found = window;
        return FALSE;
    }
    return TRUE;
}

// A box closing re-enables and activates its owner, also when another box or dialog of that
// owner is still open (a worker's box over "変換中です", or the other way round). That one
// would then sit behind the owner, the owner would take commands it must not, and the run
// would look hung: keep the owner disabled and bring the open one back to the front.
void ReturnToOpenDialog(HWND owner) {
    OpenDialogSearch search{owner, nullptr};
    EnumThreadWindows(GetCurrentThreadId(), FindOpenDialog, reinterpret_cast<LPARAM>(&search));
    if (search.found != nullptr) {
        // A dialog with a box or a file dialog of its own: that one is in front.
        HWND front = GetLastActivePopup(search.found);
        EnableWindow(owner, FALSE);
        SetForegroundWindow(front);
        BringWindowToTop(front);
    }
}

} // namespace

int Report(HWND owner, const char* text, UINT type) {
    const int answer = ShowMessage(owner, text, kAppTitle, type);
    HWND root = owner != nullptr ? GetAncestor(owner, GA_ROOT) : nullptr;
    if (root != nullptr) {
        ReturnToOpenDialog(root);
    }
    return answer;
}

UINT RefusalType(quantize::Outcome outcome) {
    if (outcome == quantize::Outcome::AlreadyIndexed) {
        return MB_ICONINFORMATION;
    }
    return outcome == quantize::Outcome::NoMemory ? MB_ICONWARNING : MB_ICONERROR;
}

void ReportRefusal(HWND owner, quantize::Outcome outcome) {
    Report(owner, text::RefusalText(outcome), RefusalType(outcome));
}

const char* CaughtFailureText() {
    try {
        throw;
    } catch (const std::bad_alloc&) {
        return kNoMemoryText;
    } catch (const std::length_error&) {
        return kNoMemoryText; // a size no allocation could give
    } catch (...) {
        return kOperationFailedText;
    }
}

void ReportCaughtFailure(HWND owner) {
    Report(owner, CaughtFailureText(), MB_ICONWARNING);
}

bool HasAreaToPaint(HWND window) {
    RECT update;
    if (GetUpdateRect(window, &update, FALSE)) {
        return true;
    }
    ValidateRect(window, nullptr);
    return false;
}

void RepaintWindow(HWND window) {
    RECT client;
    GetClientRect(window, &client);
    RedrawWindow(window, &client, nullptr, RDW_INVALIDATE | RDW_INTERNALPAINT);
}

long ReadNumberField(HWND dialog, int id) {
    char text[MAX_PATH] = "";
    GetDlgItemTextA(dialog, id, text, sizeof text);
    return palette::ReadNumber(text);
}

void WriteNumberField(HWND dialog, int id, long value) {
    SetDlgItemTextA(dialog, id, palette::WriteNumber(value).c_str());
}
