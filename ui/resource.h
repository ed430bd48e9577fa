// Identifiers of the program's resources and of the main dialog's controls.
#ifndef VELTRASS_UI_RESOURCE_H
#define VELTRASS_UI_RESOURCE_H

#define IDD_MAIN 101
#define IDB_BANNER 102
#define IDI_PROGRAM 103

#define IDC_STATIC -1
#define IDC_STATIONS 1002
#define IDC_MEAN 1003
#define IDC_DISTANCE 1004
#define IDC_SHUFFLE_DISTANCE 1005
#define IDC_PATCHINESS 1006
#define IDC_OPEN_FILE 1007
#define IDC_EXIT 1008
#define IDC_PROBABILITY 1009

#endif
