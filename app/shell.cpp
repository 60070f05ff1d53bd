#include "app/shell.h"

#include <new>
#include <stdexcept>

#include "app/seams.h"
#include "core/text/refusals.h"
#include "core/text/texts.h"

HINSTANCE AppInstance;
HWND MainWindow;

int Report(HWND owner, const char* text, UINT type) {
    return ShowMessage(owner, text, kAppTitle, type);
}

void ReportRefusal(HWND owner, reduce::Outcome outcome) {
    UINT type = MB_ICONERROR;
    if (outcome == reduce::Outcome::AlreadyIndexed) {
        type = MB_ICONINFORMATION;
    } else if (outcome == reduce::Outcome::NoMemory) {
        type = MB_ICONWARNING;
    }
    Report(owner, text::RefusalText(outcome), type);
}

void ReportCaughtFailure(HWND owner) {
    try {
        throw;
    } catch (const std::bad_alloc&) {
        Report(owner, kNoMemoryText, MB_ICONWARNING);
    } catch (const std::length_error&) {
        Report(owner, kNoMemoryText, MB_ICONWARNING); // a size no allocation could give
    } catch (...) {
        Report(owner, kOperationFailedText, MB_ICONWARNING);
    }
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
