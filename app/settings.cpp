#include "app/settings.h"

#include <cstring>

#include "app/app.h"
#include "res/texts.h"

DWORD AutoReduce;
DWORD KeepReadOnly;
DWORD PaletteAutoLoad;
char PaletteFileName[MAX_PATH];
LONG FixedCount;

bool (*MachineKeyWritable)() = nullptr;

namespace {

constexpr char kMaker[] = "Hollowmere";
constexpr char kProduct[] = "Tintwright";
constexpr char kAutoReduceName[] = "自動変換";
constexpr char kKeepReadOnlyName[] = "NoReadOnly";
constexpr char kPaletteAutoLoadName[] = "PALAutoLoad";
constexpr char kPaletteFileName[] = "PALFILENAME";
constexpr char kFixedCountName[] = "PALNum";

// A standard user of a current Windows cannot create keys under HKEY_LOCAL_MACHINE. Such a
// user keeps the same key path under HKEY_CURRENT_USER instead, so that the first-run step
// does not repeat at every start and the settings still persist.
bool CanWriteMachineKey() {
    HKEY software = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE", 0, KEY_ALL_ACCESS, &software) !=
        ERROR_SUCCESS) {
        return false;
    }
    RegCloseKey(software);
    return true;
}

HKEY SettingsRoot() {
    const bool writable = MachineKeyWritable ? MachineKeyWritable() : CanWriteMachineKey();
    return writable ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER;
}

void Close(HKEY& key) {
    if (key != nullptr) {
        RegCloseKey(key);
        key = nullptr;
    }
}

// Reads a value into `data` of `size` bytes; a missing value or one too long for it leaves
// `data` as it was.
void Query(HKEY key, const char* name, void* data, DWORD size) {
    BYTE buffer[MAX_PATH];
    DWORD length = size;
    if (RegQueryValueExA(key, name, nullptr, nullptr, buffer, &length) == ERROR_SUCCESS) {
        std::memcpy(data, buffer, length);
    }
}

void SetBinary(HKEY key, const char* name, DWORD value) {
    RegSetValueExA(key, name, 0, REG_BINARY, reinterpret_cast<const BYTE*>(&value), sizeof value);
}

// Creates the product key under the maker key with the first-run values: the three
// options as four zero bytes each.
void RegisterProduct(HKEY maker) {
    HKEY product = nullptr;
    if (RegCreateKeyExA(maker, kProduct, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS,
                        nullptr, &product, nullptr) != ERROR_SUCCESS) {
        return;
    }
    SetBinary(product, kAutoReduceName, 0);
    SetBinary(product, kKeepReadOnlyName, 0);
    SetBinary(product, kPaletteAutoLoadName, 0);
    RegCloseKey(product);
}

void TellToRestart() {
    Report(nullptr, kRegisterAndRestartText, MB_OK);
}

} // namespace

bool LoadSettings() {
    const HKEY root = SettingsRoot();
    HKEY software = nullptr, maker = nullptr, product = nullptr;
    if (RegOpenKeyExA(root, "SOFTWARE", 0, KEY_READ, &software) != ERROR_SUCCESS) {
        return true;
    }
    if (RegOpenKeyExA(software, kMaker, 0, KEY_READ, &maker) != ERROR_SUCCESS) {
        // First run: no maker key yet.
        TellToRestart();
        Close(software);
        if (RegOpenKeyExA(root, "SOFTWARE", 0, KEY_ALL_ACCESS, &software) == ERROR_SUCCESS &&
            RegCreateKeyExA(software, kMaker, 0, nullptr, REG_OPTION_NON_VOLATILE,
                            KEY_CREATE_SUB_KEY, nullptr, &maker, nullptr) == ERROR_SUCCESS) {
            RegisterProduct(maker);
        }
        Close(maker);
        Close(software);
        return false;
    }
    if (RegOpenKeyExA(maker, kProduct, 0, KEY_READ, &product) != ERROR_SUCCESS) {
        // First run: the maker key is there, the product key is not.
        TellToRestart();
        Close(maker);
        if (RegOpenKeyExA(software, kMaker, 0, KEY_ALL_ACCESS, &maker) == ERROR_SUCCESS) {
            RegisterProduct(maker);
        }
        Close(maker);
        Close(software);
        return false;
    }
    Query(product, kAutoReduceName, &AutoReduce, sizeof AutoReduce);
    Query(product, kKeepReadOnlyName, &KeepReadOnly, sizeof KeepReadOnly);
    Query(product, kPaletteAutoLoadName, &PaletteAutoLoad, sizeof PaletteAutoLoad);
    if (PaletteAutoLoad) {
        Query(product, kPaletteFileName, PaletteFileName, sizeof PaletteFileName);
        PaletteFileName[MAX_PATH - 1] = '\0';
        Query(product, kFixedCountName, &FixedCount, sizeof FixedCount);
    }
    Close(product);
    Close(maker);
    Close(software);
    return true;
}

void SaveSettings() {
    const HKEY root = SettingsRoot();
    HKEY software = nullptr, maker = nullptr, product = nullptr;
    if (RegOpenKeyExA(root, "SOFTWARE", 0, KEY_READ, &software) == ERROR_SUCCESS &&
        RegOpenKeyExA(software, kMaker, 0, KEY_READ, &maker) == ERROR_SUCCESS &&
        RegOpenKeyExA(maker, kProduct, 0, KEY_ALL_ACCESS, &product) == ERROR_SUCCESS) {
        SetBinary(product, kAutoReduceName, AutoReduce);
        SetBinary(product, kKeepReadOnlyName, KeepReadOnly);
        SetBinary(product, kPaletteAutoLoadName, PaletteAutoLoad);
        RegSetValueExA(product, kPaletteFileName, 0, REG_SZ,
                       reinterpret_cast<const BYTE*>(PaletteFileName), sizeof PaletteFileName);
        RegSetValueExA(product, kFixedCountName, 0, REG_DWORD,
                       reinterpret_cast<const BYTE*>(&FixedCount), sizeof FixedCount);
    }
    Close(product);
    Close(maker);
    Close(software);
}
