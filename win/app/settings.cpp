#include "win/app/settings.h"

#include <algorithm>
#include <cstring>

#include "win/app/owners.h"
#include "win/app/shell.h"
#include "core/quantize/ditherings.h"
#include "core/quantize/entry_order.h"
#include "core/text/texts.h"

DWORD AutoReduce;
DWORD KeepReadOnly;
DWORD PaletteAutoLoad;
char PaletteFileName[MAX_PATH];
LONG FixedCount;
DWORD QualityColours = 256;
DWORD QualityDither = 0;
DWORD QualityStrength = 100;
DWORD QualityKey = 0;
DWORD QualityLinear = 0;
DWORD QualityEffort = quantize::kDefaultEffort;
DWORD QualityDepth = 0;
DWORD QualityBits = 0;
DWORD QualityOrder = 0;
DWORD QualityAlpha = 0;
char QualityFrom[MAX_PATH];
DWORD TileWidth = tiles::TileShape{}.width;
DWORD TileHeight = tiles::TileShape{}.height;
DWORD TilePalettes = tiles::TileShape{}.palettes;
DWORD TileSize = tiles::TileShape{}.size;
DWORD TileShared = tiles::TileShape{}.shared;
static constexpr char kDefaultTarget[] = "snes";
char TileTarget[16] = "snes";
DWORD NoUnsavedPrompt = 0;
DWORD QuietRuns = 0;
DWORD StatusBarShown = 1;

bool (*MachineKeyWritable)() = nullptr;

namespace {

constexpr char kMaker[] = "Hollowmere";
constexpr char kProduct[] = "Tintwright";
constexpr char kAutoReduceName[] = "自動変換";
constexpr char kKeepReadOnlyName[] = "NoReadOnly";
constexpr char kPaletteAutoLoadName[] = "PALAutoLoad";
constexpr char kPaletteFileName[] = "PALFILENAME";
constexpr char kFixedCountName[] = "PALNum";
constexpr char kQualityFromName[] = "HQFrom";
constexpr char kTileTargetName[] = "TileTarget";
constexpr tiles::TileShape kDefaultTiles;

// The DWORD values that later versions added, each read within its range: a missing value, or
// one out of range, reads as the default.
struct RangedValue {
    const char* name;
    DWORD* value;
    DWORD low, high, fallback;
};
const RangedValue kRangedValues[] = {
    {"HQColours", &QualityColours, quantize::kMinColours, 256, 256},
    {"HQDither", &QualityDither, 0, quantize::kDitheringCount - 1, 0},
    {"HQStrength", &QualityStrength, 0, 100, 100},
    {"HQKey", &QualityKey, 0, 1, 0},
    {"HQLinear", &QualityLinear, 0, 1, 0},
    {"HQEffort", &QualityEffort, quantize::kMinEffort, quantize::kMaxEffort,
     quantize::kDefaultEffort},
    {"HQDepth", &QualityDepth, 0, kQualityDepthCount - 1, 0},
    {"HQBits", &QualityBits, 0, kQualityBitChoices - 1, 0},
    {"TileWidth", &TileWidth, 1, tiles::kMaxTileSide, kDefaultTiles.width},
    {"TileHeight", &TileHeight, 1, tiles::kMaxTileSide, kDefaultTiles.height},
    {"TilePalettes", &TilePalettes, 1, 256, kDefaultTiles.palettes},
    {"TileSize", &TileSize, 2, 256, kDefaultTiles.size},
    {"TileShared", &TileShared, 0, 256, kDefaultTiles.shared},
    {"HQOrder", &QualityOrder, 0, quantize::kEntryOrderCount - 1, 0},
    {"NoUnsavedPrompt", &NoUnsavedPrompt, 0, 1, 0},
    {"QuietRuns", &QuietRuns, 0, 1, 0},
    {"StatusBar", &StatusBarShown, 0, 1, 1},
    {"HQAlpha", &QualityAlpha, 0, 1, 0},
};

// A standard user of a current Windows cannot create keys under HKEY_LOCAL_MACHINE. Such a
// user keeps the same key path under HKEY_CURRENT_USER instead, so that the first-run step
// does not repeat at every start and the settings still persist.
bool CanWriteMachineKey() {
    RegistryKey software;
    return RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE", 0, KEY_ALL_ACCESS, software.Receive()) ==
           ERROR_SUCCESS;
}

HKEY SettingsRoot() {
    const bool writable = MachineKeyWritable ? MachineKeyWritable() : CanWriteMachineKey();
    return writable ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER;
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
    RegistryKey product;
    if (RegCreateKeyExA(maker, kProduct, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS,
                        nullptr, product.Receive(), nullptr) != ERROR_SUCCESS) {
        return;
    }
    SetBinary(product.get(), kAutoReduceName, 0);
    SetBinary(product.get(), kKeepReadOnlyName, 0);
    SetBinary(product.get(), kPaletteAutoLoadName, 0);
}

DWORD QueryInRange(HKEY key, const RangedValue& ranged) {
    DWORD value = ranged.fallback;
    Query(key, ranged.name, &value, sizeof value);
    return value >= ranged.low && value <= ranged.high ? value : ranged.fallback;
}

void SetDword(HKEY key, const char* name, DWORD value) {
    RegSetValueExA(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
}

// The tile numbers as a shape, at full depth.
tiles::TileShape TileNumbers() {
    tiles::TileShape shape;
    shape.width = static_cast<int>(TileWidth);
    shape.height = static_cast<int>(TileHeight);
    shape.palettes = static_cast<int>(TilePalettes);
    shape.size = static_cast<int>(TileSize);
    shape.shared = static_cast<int>(TileShared);
    shape.depth = {8, 8, 8};
    return shape;
}

// Numbers that make no shape together return to the defaults; a device whose shape they are
// not is no longer the one chosen.
void SettleTileSettings() {
    if (tiles::CheckShape(TileNumbers(), 0) != tiles::ShapeProblem::Fine) {
        TileWidth = kDefaultTiles.width;
        TileHeight = kDefaultTiles.height;
        TilePalettes = kDefaultTiles.palettes;
        TileSize = kDefaultTiles.size;
        TileShared = kDefaultTiles.shared;
    }
    if (TileTargetSetting() == nullptr) {
        TileTarget[0] = '\0';
    }
}

void TellToRestart() {
    Report(nullptr, kRegisterAndRestartText, MB_OK);
}

} // namespace

bool LoadSettings() {
    const HKEY root = SettingsRoot();
    RegistryKey software, maker, product;
    if (RegOpenKeyExA(root, "SOFTWARE", 0, KEY_READ, software.Receive()) != ERROR_SUCCESS) {
        return true;
    }
    if (RegOpenKeyExA(software.get(), kMaker, 0, KEY_READ, maker.Receive()) != ERROR_SUCCESS) {
        // First run: no maker key yet.
        TellToRestart();
        if (RegOpenKeyExA(root, "SOFTWARE", 0, KEY_ALL_ACCESS, software.Receive()) ==
                ERROR_SUCCESS &&
            RegCreateKeyExA(software.get(), kMaker, 0, nullptr, REG_OPTION_NON_VOLATILE,
                            KEY_CREATE_SUB_KEY, nullptr, maker.Receive(),
                            nullptr) == ERROR_SUCCESS) {
            RegisterProduct(maker.get());
        }
        return false;
    }
    if (RegOpenKeyExA(maker.get(), kProduct, 0, KEY_READ, product.Receive()) != ERROR_SUCCESS) {
        // First run: the maker key is there, the product key is not.
        TellToRestart();
        if (RegOpenKeyExA(software.get(), kMaker, 0, KEY_ALL_ACCESS, maker.Receive()) ==
            ERROR_SUCCESS) {
            RegisterProduct(maker.get());
        }
        return false;
    }
    Query(product.get(), kAutoReduceName, &AutoReduce, sizeof AutoReduce);
    Query(product.get(), kKeepReadOnlyName, &KeepReadOnly, sizeof KeepReadOnly);
    Query(product.get(), kPaletteAutoLoadName, &PaletteAutoLoad, sizeof PaletteAutoLoad);
    for (const RangedValue& ranged : kRangedValues) {
        *ranged.value = QueryInRange(product.get(), ranged);
    }
    std::memset(QualityFrom, 0, sizeof QualityFrom); // a missing value is none
    Query(product.get(), kQualityFromName, QualityFrom, sizeof QualityFrom);
    QualityFrom[MAX_PATH - 1] = '\0';
    std::strcpy(TileTarget, kDefaultTarget); // a missing value is the default
    Query(product.get(), kTileTargetName, TileTarget, sizeof TileTarget);
    TileTarget[sizeof TileTarget - 1] = '\0';
    SettleTileSettings();
    if (PaletteAutoLoad) {
        Query(product.get(), kPaletteFileName, PaletteFileName, sizeof PaletteFileName);
        PaletteFileName[MAX_PATH - 1] = '\0';
        Query(product.get(), kFixedCountName, &FixedCount, sizeof FixedCount);
    }
    return true;
}

void SaveSettings() {
    const HKEY root = SettingsRoot();
    RegistryKey software, maker, product;
    if (RegOpenKeyExA(root, "SOFTWARE", 0, KEY_READ, software.Receive()) != ERROR_SUCCESS ||
        RegOpenKeyExA(software.get(), kMaker, 0, KEY_READ, maker.Receive()) != ERROR_SUCCESS ||
        RegOpenKeyExA(maker.get(), kProduct, 0, KEY_ALL_ACCESS, product.Receive()) !=
            ERROR_SUCCESS) {
        return;
    }
    SetBinary(product.get(), kAutoReduceName, AutoReduce);
    SetBinary(product.get(), kKeepReadOnlyName, KeepReadOnly);
    SetBinary(product.get(), kPaletteAutoLoadName, PaletteAutoLoad);
    RegSetValueExA(product.get(), kPaletteFileName, 0, REG_SZ,
                   reinterpret_cast<const BYTE*>(PaletteFileName), sizeof PaletteFileName);
    RegSetValueExA(product.get(), kFixedCountName, 0, REG_DWORD,
                   reinterpret_cast<const BYTE*>(&FixedCount), sizeof FixedCount);
    RegSetValueExA(product.get(), kQualityFromName, 0, REG_SZ,
                   reinterpret_cast<const BYTE*>(QualityFrom), sizeof QualityFrom);
    RegSetValueExA(product.get(), kTileTargetName, 0, REG_SZ,
                   reinterpret_cast<const BYTE*>(TileTarget),
                   static_cast<DWORD>(std::strlen(TileTarget) + 1));
    for (const RangedValue& ranged : kRangedValues) {
        SetDword(product.get(), ranged.name, *ranged.value);
    }
}

// The dithering of QualityDither; an unknown number is the first, as an unknown value reads.
static const quantize::Dithering& QualityDithering() {
    return quantize::kDitherings[QualityDither < static_cast<DWORD>(quantize::kDitheringCount)
                                     ? QualityDither
                                     : 0];
}

quantize::Stages QualityStages() {
    quantize::Choices choices;
    return quantize::ApplyDithering(QualityDithering(), choices);
}

quantize::Choices QualityChoices() {
    quantize::Choices choices;
    choices.colours = static_cast<int>(QualityColours);
    choices.strength = static_cast<int>(QualityStrength);
    choices.key = QualityKey != 0;
    choices.linear = QualityLinear != 0;
    choices.effort = static_cast<int>(QualityEffort);
    choices.depth = kQualityDepths[QualityDepth < DWORD{kQualityDepthCount} ? QualityDepth : 0];
    choices.order = static_cast<quantize::EntryOrder>(
        QualityOrder < DWORD{quantize::kEntryOrderCount} ? QualityOrder : 0);
    if (const int bits = QualityBitCount(); bits != 0) {
        choices.colours = std::min(choices.colours, 1 << bits);
    }
    quantize::ApplyDithering(QualityDithering(), choices);
    return choices;
}

int QualityBitCount() {
    return kQualityBitCounts[QualityBits < DWORD{kQualityBitChoices} ? QualityBits : 0];
}

const tiles::Target* TileTargetSetting() {
    const tiles::Target* target = tiles::FindTarget(TileTarget);
    if (target == nullptr) {
        return nullptr;
    }
    tiles::TileShape shape = TileNumbers();
    shape.depth = target->shape.depth;
    return shape == target->shape ? target : nullptr;
}

tiles::TileShape TileShapeSetting() {
    tiles::TileShape shape = TileNumbers();
    const tiles::Target* target = TileTargetSetting();
    shape.depth = target ? target->shape.depth : QualityChoices().depth;
    return shape;
}
