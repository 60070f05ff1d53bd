// Resource and command identifiers of Tintwright, shared by the resource script and the code.
#pragma once

// Icon, cursor, menu and accelerator table.
#define IDI_TINTWRIGHT 102
#define IDR_MAINMENU 103
#define IDC_TINTWRIGHT 104
#define IDR_ACCELERATORS 104

// Dialog templates.
#define IDD_OPTIONS 105
#define IDD_PALETTE 106
#define IDD_QUALITY 108
#define IDD_TILES 109

// The 42 basic colours of error diffusion: 126 bytes of red, green, blue.
#define IDR_BASICPALETTE 107

// Menu commands.
#define IDM_OPEN 40001
#define IDM_SAVE 40002
#define IDM_SAVEAS 40003
#define IDM_CLOSE 40004
#define IDM_REDUCE_EXACT 40005
#define IDM_REDUCE_DIFFUSE 40006
#define IDM_PALETTE 40007
#define IDM_OPTIONS 40008
#define IDM_ABOUT 40009
#define IDM_RELOAD 40010
#define IDM_REDUCE_DIFFUSE_HQ 40011
#define IDM_QUALITY 40012
#define IDM_ZOOM_100 40013
#define IDM_ZOOM_200 40014
#define IDM_ZOOM_400 40015
#define IDM_ZOOM_50 40016
#define IDM_ZOOM_FIT 40017
#define IDM_ZOOM_IN 40018
#define IDM_ZOOM_OUT 40019
#define IDM_COPY 40020
#define IDM_PASTE 40021
#define IDM_REDUCE_TILES 40022
#define IDM_TILES 40023
#define IDM_COMPACT 40140
#define IDM_STATUSBAR 40141

// Options dialog controls.
#define IDC_AUTO256 1000
#define IDC_NOREADONLY 1001
#define IDC_PALAUTOLOAD 1002
#define IDC_NOUNSAVEDPROMPT 1026
#define IDC_QUIETRUNS 1027

// Palette dialog controls.
#define IDC_PALFILE 1004
#define IDC_BROWSE 1005
#define IDC_INDEX 1006
#define IDC_RED 1007
#define IDC_GREEN 1008
#define IDC_BLUE 1009
#define IDC_INDEX_SPIN 1010
#define IDC_RED_SPIN 1011
#define IDC_GREEN_SPIN 1012
#define IDC_BLUE_SPIN 1013
#define IDC_USED 1014
#define IDC_USED_SPIN 1015
#define IDC_PALSAVE 1016
#define IDC_PALLOAD 1017
#define IDC_FROMIMAGE 1018

// High-quality settings dialog controls.
#define IDC_COLOURS 1019
#define IDC_COLOURS_SPIN 1020
#define IDC_DITHER 1021
#define IDC_LINEAR 1022
#define IDC_STRENGTH 1024
#define IDC_KEYCOLOUR 1025
#define IDC_EFFORT 1028
#define IDC_DEPTH 1029
#define IDC_BITS 1030
#define IDC_FROMFILE 1031
#define IDC_FROMBROWSE 1032
#define IDC_ORDER 1040
#define IDC_KEEPALPHA 1041

// Tile settings dialog controls.
#define IDC_TARGET 1033
#define IDC_TILEWIDTH 1034
#define IDC_TILEHEIGHT 1035
#define IDC_PALETTES 1036
#define IDC_PALETTESIZE 1037
#define IDC_SHARED 1038
#define IDC_KEEPINDICES 1039
#define IDC_KEEPREPORT 1040

// Start-up and shut-down failure messages in the string table.
#define IDS_CLASS_REGISTER_FAILED 1
#define IDS_WINDOW_CREATE_FAILED 2
#define IDS_CLASS_UNREGISTER_FAILED 3
